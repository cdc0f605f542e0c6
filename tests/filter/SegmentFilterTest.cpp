// Why a short segment may be filtered over one period of its mirrored extension: for random short
// segments of random and full-scale samples, through every kind of band part, Filter gives exactly
// the samples of FilterDirectly (the whole support extended as it lies), for the whole segment and for
// stretches of it; and FilterDesign::ApplyPeriodic on any period (not only a mirrored one) gives what
// Apply gives on the period repeated over the support.
#include "filter/SegmentFilter.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "filter/FilterDesign.h"
#include "tests/support/RandomBand.h"

namespace skelvane {
namespace {

// Every kind of part: the Spike Band (a FIR); at 32000 Hz the LFP Band (suppressor, spaced high-pass
// 16 apart, spaced FIR), at 20000 Hz the same 8 apart, at 1000 Hz a boxcar high-pass and a FIR;
// 1.5-4 Hz a boxcar high-pass and an interpolated low-pass; 0.05-0.2 Hz both boxcar stages; random
// custom bands, open at either end or not.
std::vector<FilterDesign> Designs(std::mt19937& random) {
  std::vector<FilterDesign> designs;
  std::string refusal;
  designs.push_back(*FilterDesign::For(FilterChoice::Spike(), 32000.0, refusal));
  designs.push_back(*FilterDesign::For(FilterChoice::Lfp(), 32000.0, refusal));
  designs.push_back(*FilterDesign::For(FilterChoice::Lfp(), 20000.0, refusal));
  designs.push_back(*FilterDesign::For(FilterChoice::Lfp(), 1000.0, refusal));
  designs.push_back(*FilterDesign::For(FilterChoice::Custom(1.5, 4.0), 1000.0, refusal));
  designs.push_back(*FilterDesign::For(FilterChoice::Custom(0.05, 0.2), 1000.0, refusal));
  for (const double rate : {8000.0, 20000.0, 32000.0}) {
    designs.push_back(*FilterDesign::For(test::RandomCustomBand(random, rate, 1.0 / 3000.0), rate, refusal));
  }
  return designs;
}

// `count` samples of one of: noise, a full-scale square wave, full-scale noise with stretches held
// at either end of the range, one constant (at either end sometimes).
std::vector<int16_t> Samples(int64_t count, std::mt19937& random) {
  std::vector<int16_t> samples(static_cast<std::size_t>(count));
  const auto kind = random() % 4;
  std::uniform_int_distribution<int32_t> any(-32768, 32767);
  std::normal_distribution<double> noise(0.0, 400.0);
  const auto steady = static_cast<int16_t>(random() % 2 ? any(random) : (random() % 2 ? -32768 : 32767));
  const int64_t width = 1 + static_cast<int64_t>(random() % 64);
  for (int64_t n = 0; n < count; ++n) {
    int16_t& sample = samples[static_cast<std::size_t>(n)];
    switch (kind) {
      case 0:
        sample = static_cast<int16_t>(std::clamp(std::lround(noise(random)), -32768L, 32767L));
        break;
      case 1:
        sample = static_cast<int16_t>((n / width) % 2 ? 32767 : -32768);
        break;
      case 2:
        sample = static_cast<int16_t>(random() % 4 == 0 ? (random() % 2 ? 32767 : -32768) : any(random));
        break;
      default:
        sample = steady;
        break;
    }
  }
  return samples;
}

// Segment lengths from 1 to a few thousand, short ones as often as long ones.
int64_t ShortLength(std::mt19937& random) {
  return static_cast<int64_t>(std::exp(std::uniform_real_distribution<double>(0.0, std::log(4000.0))(random)));
}

TEST(SegmentFilterTest, AShortSegmentFilteredOverOnePeriodIsTheBytesOfItsWholeSupport) {
  std::mt19937 random(20261211);
  for (const FilterDesign& design : Designs(random)) {
    SCOPED_TRACE(design.Structure() + " at " + std::to_string(design.RateHz()) + " Hz");
    const int64_t half = design.HalfSupport();
    FilterWorkspace work;
    FilterWorkspace directWork;
    for (int32_t round = 0; round < 24; ++round) {
      const int64_t length = ShortLength(random);
      const std::vector<int16_t> segment = Samples(length, random);
      const SegmentFilter::Stretch stretch{segment.data(), length, true, true};
      // The whole segment, then a random stretch of it.
      const int64_t from = round % 2 ? static_cast<int64_t>(random() % length) : 0;
      const int64_t to = round % 2 ? from + 1 + static_cast<int64_t>(random() % (length - from)) : length;
      std::vector<int16_t> periodic(static_cast<std::size_t>(to - from));
      std::vector<int16_t> direct(periodic.size());
      bool periodicShort = false;
      bool directShort = false;
      ASSERT_EQ(SegmentFilter::Filter(design, stretch, from, to, periodic.data(), work, periodicShort), 0);
      ASSERT_EQ(SegmentFilter::FilterDirectly(design, stretch, from, to, direct.data(), directWork, directShort), 0);
      ASSERT_EQ(periodic, direct) << "segment of " << length << " samples, outputs " << from << " to " << to;
      EXPECT_EQ(periodicShort, directShort);

      // Any period, repeated both ways over the support of one period of outputs.
      const std::vector<int16_t> period = Samples(length, random);
      std::vector<int16_t> repeated(static_cast<std::size_t>(length + 2 * half + FirStage::kReadPad));
      for (int64_t p = -half; p < length + half; ++p) {
        repeated[static_cast<std::size_t>(p + half)] = period[static_cast<std::size_t>((p % length + length) % length)];
      }
      std::vector<int16_t> once(static_cast<std::size_t>(length));
      std::vector<int16_t> applied(once.size());
      design.ApplyPeriodic(period.data(), length, once.data(), work);
      design.Apply(repeated.data(), length, applied.data(), directWork);
      ASSERT_EQ(once, applied) << "period of " << length << " samples";
    }
  }
}

}  // namespace
}  // namespace skelvane
