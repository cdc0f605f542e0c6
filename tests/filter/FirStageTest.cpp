// Why the vector paths of the FIR may be trusted: every path this machine runs gives the scalar path's
// bytes, for the bands' own taps and for taps at the sum bound, neighbouring or spaced apart, on inputs
// that push every product and sum to its limits (folded at the edge of the fold range, plain beyond it,
// and both within one call), at lengths that leave every kind of tail.
#include "filter/FirStage.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <numeric>
#include <limits>
#include <random>
#include <vector>

#include "filter/FilterDesign.h"

namespace skelvane {
namespace {

using Path = FirStage::Path;

// Taps as a band design quantises them, and random taps whose magnitudes sum to the bound.
std::vector<FirStage> Stages() {
  std::vector<FirStage> stages;
  std::string refusal;
  for (const char* band : {"spike", "lfp", "300:3000", ":3000", "5000:"}) {
    const auto design = FilterDesign::For(*FilterSpec::Parse(band, refusal), 32000.0, refusal);
    stages.push_back(*design->Fir());
  }
  std::mt19937 random(7);
  for (const int32_t half : {0, 1, 2, 7, 8, 40, 133}) {
    std::vector<double> taps(static_cast<std::size_t>(2 * half + 1));
    double magnitude = 0.0;
    for (double& tap : taps) {
      tap = std::uniform_real_distribution<double>(-1.0, 1.0)(random);
      magnitude += std::abs(tap);
    }
    for (std::size_t k = 0; k < taps.size() / 2; ++k) taps[taps.size() - 1 - k] = taps[k];
    for (double& tap : taps) tap /= magnitude;
    const int32_t dcGain = half == 0 ? 1 : 0;
    stages.push_back(FirStage::Quantise(taps, dcGain));
    stages.push_back(FirStage::Quantise(taps, dcGain, half % 2 == 1 ? 16 : 2 + half % 7));
  }
  return stages;
}

std::vector<int16_t> Input(int64_t count, int32_t kind, std::mt19937& random) {
  constexpr int16_t kLowest = FirStage::kFoldLowest;
  constexpr int16_t kHighest = FirStage::kFoldHighest;
  std::vector<int16_t> in(static_cast<std::size_t>(count));
  for (int64_t i = 0; i < count; ++i) {
    int16_t& v = in[static_cast<std::size_t>(i)];
    switch (kind) {
      case 0:  // full-scale noise with the extremes over-represented
        v = static_cast<int16_t>(std::uniform_int_distribution<int32_t>(-32768, 32767)(random));
        if (random() % 4 == 0) v = random() % 2 ? std::numeric_limits<int16_t>::min() : std::numeric_limits<int16_t>::max();
        break;
      case 1:  // alternating extremes: the largest sums of both signs
        v = i % 2 ? std::numeric_limits<int16_t>::min() : std::numeric_limits<int16_t>::max();
        break;
      case 2:  // the ends of the fold range, the largest folded sums
        v = random() % 2 ? kLowest : kHighest;
        if (random() % 3 == 0) v = static_cast<int16_t>(std::uniform_int_distribution<int32_t>(kLowest, kHighest)(random));
        break;
      case 3:  // inside the fold range but for one sample just past it somewhere
        v = static_cast<int16_t>(std::uniform_int_distribution<int32_t>(kLowest, kHighest)(random));
        break;
      default:  // small noise
        v = static_cast<int16_t>(std::uniform_int_distribution<int32_t>(-50, 50)(random));
    }
  }
  if (kind == 3) in[random() % in.size()] = random() % 2 ? kLowest - 1 : kHighest + 1;
  return in;
}

TEST(FirStageTest, EveryPathGivesTheScalarBytes) {
  ASSERT_TRUE(FirStage::Supports(Path::kScalar));
  std::mt19937 random(11);
  int32_t compared = 0;
  for (const FirStage& stage : Stages()) {
    ASSERT_LE(std::accumulate(stage.Taps().begin(), stage.Taps().end(), int64_t{0},
                              [](int64_t sum, int16_t tap) { return sum + std::abs(tap); }),
              FirStage::kMostTapMagnitude);
    for (const int64_t count : {int64_t{1}, int64_t{15}, int64_t{16}, int64_t{17}, int64_t{48}, int64_t{1000}, int64_t{9001}}) {
      for (int32_t kind = 0; kind < 5; ++kind) {
        const std::vector<int16_t> in = Input(count + 2 * stage.HalfSupport() + FirStage::kReadPad, kind, random);
        std::vector<int16_t> expected(static_cast<std::size_t>(count));
        stage.ApplyWith(Path::kScalar, in.data(), count, expected.data());
        for (const Path path : {Path::kSse2, Path::kAvx2}) {
          if (!FirStage::Supports(path)) continue;
          std::vector<int16_t> got(static_cast<std::size_t>(count), 0x5555);
          stage.ApplyWith(path, in.data(), count, got.data());
          ASSERT_EQ(got, expected) << "path " << static_cast<int>(path) << ", " << count << " samples, kind " << kind;
          ++compared;
        }
      }
    }
  }
  EXPECT_GT(compared, 0) << "no vector path ran on this machine";
}

}  // namespace
}  // namespace skelvane
