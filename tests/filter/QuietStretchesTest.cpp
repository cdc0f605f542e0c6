// The outputs QuietStretches calls quiet are inside the level: for the Spike Band and random custom
// bands that are one FIR, over random levels and four kinds of signal (spiky noise, slow waves of
// hundreds of counts, full-scale noise, a flat line), every filtered sample outside the loud chunks
// a whole segment or a stretch of it is told is strictly between -level and level.
#include "filter/QuietStretches.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <numbers>
#include <random>
#include <string>
#include <vector>

#include "filter/SegmentFilter.h"
#include "tests/support/RandomBand.h"

namespace skelvane {
namespace {

std::vector<int16_t> Signal(int64_t count, int kind, std::mt19937& random) {
  std::vector<int16_t> samples(static_cast<std::size_t>(count));
  std::normal_distribution<double> noise(0.0, 20.0);
  std::uniform_int_distribution<int32_t> any(-32768, 32767);
  const double wave = std::uniform_real_distribution<double>(100.0, 900.0)(random);
  const auto flat = static_cast<int16_t>(random() % 3 == 0 ? 32767 : any(random));
  for (int64_t n = 0; n < count; ++n) {
    double value = 0.0;
    switch (kind) {
      case 0:  // noise with a spike now and then
        value = noise(random);
        if (random() % 400 == 0) value += std::uniform_real_distribution<double>(-400.0, 400.0)(random);
        break;
      case 1:  // a 3 Hz wave at 32 kHz under the noise
        value = wave * std::sin(2.0 * std::numbers::pi * 3.0 * static_cast<double>(n) / 32000.0) + noise(random);
        break;
      case 2:
        value = any(random);
        break;
      default:
        value = flat;
    }
    samples[static_cast<std::size_t>(n)] = static_cast<int16_t>(std::clamp(std::lround(value), -32768L, 32767L));
  }
  samples.push_back(0);  // the FIR's read pad
  return samples;
}

TEST(QuietStretchesTest, OutputsOutsideTheLoudChunksStayInsideTheLevel) {
  std::mt19937 random(2024);
  std::string refusal;
  int64_t quietChunks = 0;
  int64_t loudChunks = 0;
  int64_t designs = 0;
  for (int trial = 0; trial < 300; ++trial) {
    const double rate = trial % 3 == 0 ? 20000.0 : 32000.0;
    const FilterChoice band =
        trial % 2 == 0 ? FilterChoice::Spike() : test::RandomCustomBand(random, rate, 1.0 / 200.0);
    const std::optional<FilterDesign> design = FilterDesign::For(band, rate, refusal);
    ASSERT_TRUE(design) << refusal;
    const auto level = static_cast<int32_t>(trial % 10 == 0 ? 40000 : 1 + random() % 400);
    const std::optional<QuietStretches> quiet = QuietStretches::For(*design, level);
    if (!quiet) continue;
    ++designs;
    const auto count = static_cast<int64_t>(2000 + random() % 20000);
    const std::vector<int16_t> in = Signal(count, trial % 4, random);
    std::vector<int16_t> out(static_cast<std::size_t>(count));
    FilterWorkspace work;
    bool shortSegment = false;
    ASSERT_EQ(SegmentFilter::Filter(*design, {in.data(), count, true, true}, 0, count, out.data(), work, shortSegment),
              0);

    // The whole segment, and a stretch of it whose ends are not the segment's.
    const auto from = static_cast<int64_t>(random() % static_cast<uint32_t>(count));
    const auto to = from + static_cast<int64_t>(random() % static_cast<uint32_t>(count - from + 1));
    for (const bool whole : {true, false}) {
      std::vector<FilterDesign::OutputRange> loud;
      quiet->Loud(in.data(), count, whole, whole, whole ? 0 : from, whole ? count : to, loud);
      int64_t at = whole ? 0 : from;
      for (std::size_t i = 0; i <= loud.size(); ++i) {
        const int64_t quietEnd = i < loud.size() ? loud[i].from : (whole ? count : to);
        ASSERT_LE(at, quietEnd) << "ranges ascending, trial " << trial;
        for (int64_t p = at; p < quietEnd; ++p) {
          ASSERT_LT(std::abs(int32_t{out[static_cast<std::size_t>(p)]}), level)
              << "trial " << trial << ", " << band.Text() << ", level " << level << ", output " << p;
          // Outside a segment's own edges the support is not known: never quiet.
          if (!whole) {
            ASSERT_TRUE(p - design->HalfSupport() >= 0 && p + design->HalfSupport() < count) << p;
          }
        }
        quietChunks += (quietEnd - at + QuietStretches::kChunk - 1) / QuietStretches::kChunk;
        if (i < loud.size()) {
          loudChunks += (loud[i].to - loud[i].from + QuietStretches::kChunk - 1) / QuietStretches::kChunk;
          at = loud[i].to;
        }
      }
    }
  }
  EXPECT_GT(designs, 100);
  EXPECT_GT(quietChunks, 10000);
  EXPECT_GT(loudChunks, 10000);
}

TEST(QuietStretchesTest, OnlyOneFirWithALevelAboveZeroIsJudged) {
  std::string refusal;
  const FilterDesign spike = *FilterDesign::For(FilterChoice::Spike(), 32000.0, refusal);
  EXPECT_TRUE(QuietStretches::For(spike, 1));
  EXPECT_FALSE(QuietStretches::For(spike, 0));
  EXPECT_FALSE(QuietStretches::For(*FilterDesign::For(FilterChoice::Lfp(), 32000.0, refusal), 150));
  // A level no 16-bit sample reaches leaves every support quiet; -32768 reaches 32768.
  EXPECT_EQ(QuietStretches::For(spike, 32769)->WidestQuietRange(), 65535);
  EXPECT_LT(QuietStretches::For(spike, 32768)->WidestQuietRange(), 65535);
}

}  // namespace
}  // namespace skelvane
