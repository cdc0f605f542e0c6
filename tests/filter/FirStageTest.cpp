// Why the vector paths may be trusted: every path this machine runs gives the scalar path's bytes for
// the FIR, with the bands' own taps and taps at the sum bound, neighbouring or spaced apart, and gives
// the spaced high-pass's definition; on inputs that push every product and sum to its limits (folded
// at the edge of the fold range, plain beyond it, and both within one call), at lengths that leave
// every kind of tail.
#include "filter/FirStage.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <numeric>
#include <limits>
#include <random>
#include <utility>
#include <vector>

#include "filter/FilterDesign.h"
#include "filter/SpacedHighPass.h"

namespace skelvane {
namespace {

using Path = FirStage::Path;

// Taps as a band design quantises them, and random taps whose magnitudes sum to the bound.
std::vector<FirStage> Stages() {
  std::vector<FirStage> stages;
  std::string refusal;
  for (const char* band : {"spike", "lfp", "300:3000", ":3000", "5000:"}) {
    const auto design = FilterDesign::For(*FilterChoice::Parse(band, refusal), 32000.0, refusal);
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
    for (const int64_t count : {int64_t{1}, int64_t{2}, int64_t{15}, int64_t{16}, int64_t{17}, int64_t{31}, int64_t{48},
                                 int64_t{63}, int64_t{1000}, int64_t{9001}}) {
      for (int32_t kind = 0; kind < 5; ++kind) {
        const std::vector<int16_t> in = Input(count + 2 * stage.HalfSupport() + FirStage::kReadPad, kind, random);
        std::vector<int16_t> expected(static_cast<std::size_t>(count));
        stage.ApplyWith(Path::kScalar, in.data(), count, expected.data());
        for (const Path path : {Path::kSse2, Path::kAvx2, Path::kAvx512}) {
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

// The spaced high-pass by its definition: the centre sample less the mean of the values its window
// weighs as B^3 does, rounded to the nearest integer (an odd length leaves no halves).
std::vector<int16_t> ByDefinition(const SpacedHighPass& stage, const std::vector<int16_t>& in, int64_t count) {
  const int64_t length = stage.Length();
  std::vector<int64_t> weights(static_cast<std::size_t>(3 * (length - 1) + 1));
  std::vector<int64_t> twice(static_cast<std::size_t>(2 * (length - 1) + 1));
  for (int64_t a = 0; a < length; ++a) {
    for (int64_t b = 0; b < length; ++b) ++twice[static_cast<std::size_t>(a + b)];
  }
  for (std::size_t a = 0; a < twice.size(); ++a) {
    for (int64_t b = 0; b < length; ++b) weights[a + static_cast<std::size_t>(b)] += twice[a];
  }
  const int64_t cube = length * length * length;
  std::vector<int16_t> out(static_cast<std::size_t>(count));
  for (int64_t i = 0; i < count; ++i) {
    int64_t sum = 0;
    for (std::size_t k = 0; k < weights.size(); ++k) {
      sum += weights[k] * in[static_cast<std::size_t>(i + static_cast<int64_t>(k) * stage.Spacing())];
    }
    const int64_t twiceSum = 2 * sum + cube;
    const int64_t nearest = twiceSum / (2 * cube) - (twiceSum % (2 * cube) < 0 ? 1 : 0);
    out[static_cast<std::size_t>(i)] =
        static_cast<int16_t>(std::clamp<int64_t>(in[static_cast<std::size_t>(i + stage.HalfSupport())] - nearest, -32768, 32767));
  }
  return out;
}

TEST(FirStageTest, EveryPathOfTheSpacedHighPassGivesItsDefinition) {
  std::mt19937 random(13);
  int32_t compared = 0;
  for (const auto& [length, spacing] : std::vector<std::pair<int64_t, int32_t>>{{3, 8}, {9, 16}, {5, 6}, {915, 8}, {733, 16}}) {
    const SpacedHighPass stage(length, spacing);
    for (const int64_t count : {int64_t{1}, int64_t{7}, int64_t{8}, int64_t{40}, int64_t{1001}}) {
      for (int32_t kind = 0; kind < 5; ++kind) {
        const std::vector<int16_t> in = Input(count + 2 * stage.HalfSupport(), kind, random);
        const std::vector<int16_t> expected = ByDefinition(stage, in, count);
        for (const Path path : {Path::kScalar, Path::kSse2, Path::kAvx2, Path::kAvx512}) {
          if (!FirStage::Supports(path)) continue;
          std::vector<int16_t> got(static_cast<std::size_t>(count), 0x5555);
          stage.ApplyWith(path, in.data(), count, got.data());
          ASSERT_EQ(got, expected) << "path " << static_cast<int>(path) << ", length " << length << " spaced " << spacing
                                   << ", " << count << " samples, kind " << kind;
          compared += path == Path::kAvx2 ? 1 : 0;

          // The same pass in pieces of any size, its input moved along by whole spacings between them
          // as a stream keeps only what the window still reaches back to.
          std::vector<int16_t> pieces(static_cast<std::size_t>(count), 0x5555);
          std::vector<int16_t> held;
          int64_t heldFrom = 0;  // input position of held[0]
          int64_t done = 0;      // outputs made
          SpacedHighPass::Running running;
          const int64_t reach = 3 * stage.Spacing() * stage.Length();
          for (int64_t at = 0; at < static_cast<int64_t>(in.size());) {
            const int64_t to = std::min<int64_t>(static_cast<int64_t>(in.size()), at + 1 + static_cast<int64_t>(random() % 700));
            held.insert(held.end(), in.begin() + at, in.begin() + to);
            const int64_t firstOutput = 2 * stage.HalfSupport() - heldFrom;
            stage.Continue(path, held.data(), at - heldFrom, to - heldFrom, firstOutput, running, pieces.data() + done);
            done += std::max<int64_t>(0, to - std::max(at, 2 * stage.HalfSupport()));
            at = to;
            const int64_t drop = std::max<int64_t>(0, at - heldFrom - reach) / stage.Spacing() * stage.Spacing();
            held.erase(held.begin(), held.begin() + drop);
            heldFrom += drop;
          }
          ASSERT_EQ(pieces, expected) << "in pieces, path " << static_cast<int>(path) << ", length " << length
                                      << " spaced " << spacing << ", " << count << " samples, kind " << kind;
        }
      }
    }
  }
  EXPECT_GT(compared, 0) << "no vector path ran on this machine";
}

// Taking samples back out of the running sums, on every path, reaches the sums a pass forward to the
// same sample holds: a bar end resumed from the next kept state equals one resumed from the last.
TEST(FirStageTest, TheSpacedHighPassRetreatsToTheSumsOfAPassForward) {
  std::mt19937 random(29);
  for (const auto& [length, spacing] : std::vector<std::pair<int64_t, int32_t>>{{3, 8}, {9, 16}, {5, 6}, {733, 16}}) {
    const SpacedHighPass stage(length, spacing);
    const int64_t reach = 3 * stage.Spacing() * stage.Length();
    for (int32_t kind = 0; kind < 5; ++kind) {
      const std::vector<int16_t> in = Input(2 * reach + 3000, kind, random);
      std::vector<int16_t> unused(in.size());
      for (int32_t trial = 0; trial < 6; ++trial) {
        const auto to = static_cast<int64_t>(random() % in.size()) + 1;
        const int64_t from = static_cast<int64_t>(random() % static_cast<uint64_t>(to));
        SpacedHighPass::Running atFrom;
        SpacedHighPass::Running atTo;
        stage.Continue(Path::kScalar, in.data(), 0, from, to, atFrom, unused.data());
        stage.Continue(Path::kScalar, in.data(), 0, to, to, atTo, unused.data());
        for (const Path path : {Path::kScalar, Path::kAvx2, Path::kAvx512}) {
          if (!FirStage::Supports(path)) continue;
          SpacedHighPass::Running back = atTo;
          stage.Retreat(path, in.data(), from, to, back);
          EXPECT_EQ(back.first, atFrom.first) << "path " << static_cast<int>(path) << ", " << from << "-" << to;
          EXPECT_EQ(back.second, atFrom.second) << "path " << static_cast<int>(path) << ", " << from << "-" << to;
          EXPECT_EQ(back.third, atFrom.third) << "path " << static_cast<int>(path) << ", " << from << "-" << to;
        }
      }
    }
  }
}

}  // namespace
}  // namespace skelvane
