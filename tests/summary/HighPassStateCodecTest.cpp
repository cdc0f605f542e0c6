// The kept states of a spaced high-pass read back as the very sums a whole pass captured, on signals
// that drive each sum to its bound, for bands of different lengths and spacings; slots not held, or
// whose head does not fit their size, are not read.
#include "summary/HighPassStateCodec.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <string>
#include <vector>

#include "datafile/CscRecord.h"
#include "filter/FilterDesign.h"
#include "filter/FilterStream.h"
#include "filter/SpacedHighPassResume.h"

namespace skelvane {
namespace {

enum class Signal { kFullScaleNoise, kLowestFlat, kFullScaleSquare, kSlowWaves };

// Sample n of `signal`; the square wave turns every `halfPeriod` samples, where the high-pass's
// differences of window sums are largest.
int16_t SampleOf(Signal signal, int64_t n, int64_t halfPeriod, std::mt19937& random) {
  switch (signal) {
    case Signal::kFullScaleNoise:
      return static_cast<int16_t>(std::uniform_int_distribution<int32_t>(-32768, 32767)(random));
    case Signal::kLowestFlat:
      return -32768;
    case Signal::kFullScaleSquare:
      return (n / halfPeriod) % 2 == 0 ? int16_t{32767} : int16_t{-32768};
    case Signal::kSlowWaves:
      return static_cast<int16_t>(std::lround(600.0 * std::sin(static_cast<double>(n) * 1e-3)));
  }
  return 0;
}

TEST(HighPassStateCodecTest, StatesOfAWholePassReadBackExactly) {
  std::string refusal;
  const std::vector<FilterDesign> designs = {*FilterDesign::For(FilterChoice::Lfp(), 32000.0, refusal),
                                             *FilterDesign::For(FilterChoice::Lfp(), 20000.0, refusal),
                                             *FilterDesign::For(FilterChoice::Custom(0.5, 40.0), 4000.0, refusal)};
  std::mt19937 random(5);
  for (const FilterDesign& design : designs) {
    ASSERT_TRUE(SpacedHighPassResume::Fits(design)) << design.Structure();
    const SpacedHighPass& highPass = *design.Parts()[1].spacedHighPass;
    const HighPassStateCodec codec(highPass);
    ASSERT_TRUE(HighPassStateCodec::Readable(codec.SlotBytes()));
    const int64_t halfPeriod = highPass.Spacing() * highPass.Length();
    for (const Signal signal : {Signal::kFullScaleNoise, Signal::kLowestFlat, Signal::kFullScaleSquare, Signal::kSlowWaves}) {
      SCOPED_TRACE(design.Choice().Description() + " at " + FilterChoice::FormatHz(design.RateHz()) + " Hz, signal " +
                   std::to_string(static_cast<int>(signal)));
      std::vector<SpacedHighPass::Running> captured;
      FilterStream stream(design, 1e6 / design.RateHz());
      stream.KeepStates(1, [&](int64_t, const SpacedHighPass::Running& sums) { captured.push_back(sums); });
      // Long enough for the window to reach three of its spans into the pass.
      const int64_t records = 8 * halfPeriod / kSamplesPerRecord + 8;
      std::vector<int16_t> samples(kSamplesPerRecord);
      for (int64_t r = 0; r < records; ++r) {
        for (int32_t i = 0; i < kSamplesPerRecord; ++i) {
          samples[static_cast<std::size_t>(i)] = SampleOf(signal, r * kSamplesPerRecord + i, halfPeriod, random);
        }
        stream.Push(r * kSamplesPerRecord * 1'000'000 / static_cast<int64_t>(design.RateHz()), samples.data());
        for (; stream.Ready() > 0; stream.Pop()) {}
      }
      stream.Finish();
      ASSERT_GT(captured.size(), static_cast<std::size_t>(records / 2));
      std::vector<uint8_t> slot(static_cast<std::size_t>(codec.SlotBytes()), 0xA5);
      for (std::size_t k = 0; k < captured.size(); ++k) {
        codec.Encode(captured[k], slot.data());
        SpacedHighPass::Running read;
        read.third[0] = 1.0;
        ASSERT_TRUE(HighPassStateCodec::Decode(slot.data(), codec.SlotBytes(), read));
        for (std::size_t p = 0; p < SpacedHighPass::kMostSpacing; ++p) {
          // The phases past the spacing are empty in a pass and read back as such.
          ASSERT_EQ(read.first[p], captured[k].first[p]) << "state " << k << " phase " << p;
          ASSERT_EQ(read.second[p], captured[k].second[p]) << "state " << k << " phase " << p;
          ASSERT_EQ(read.third[p], captured[k].third[p]) << "state " << k << " phase " << p;
        }
      }
    }
  }
}

TEST(HighPassStateCodecTest, UnheldOrMisfitSlotsAreNotRead) {
  std::string refusal;
  const FilterDesign design = *FilterDesign::For(FilterChoice::Lfp(), 32000.0, refusal);
  const HighPassStateCodec codec(*design.Parts()[1].spacedHighPass);
  std::vector<uint8_t> slot(static_cast<std::size_t>(codec.SlotBytes()), 0);
  SpacedHighPass::Running sums;
  EXPECT_FALSE(HighPassStateCodec::Decode(slot.data(), codec.SlotBytes(), sums));  // as the build leaves it
  codec.Encode(SpacedHighPass::Running{}, slot.data());
  EXPECT_TRUE(HighPassStateCodec::Decode(slot.data(), codec.SlotBytes(), sums));
  EXPECT_FALSE(HighPassStateCodec::Decode(slot.data(), codec.SlotBytes() - 1, sums));  // a size its head overruns
  slot[1] = SpacedHighPass::kMostSpacing + 1;                                           // a garbled spacing
  EXPECT_FALSE(HighPassStateCodec::Decode(slot.data(), codec.SlotBytes(), sums));
  EXPECT_FALSE(HighPassStateCodec::Readable(HighPassStateCodec::kMostSlotBytes + 1));
}

}  // namespace
}  // namespace skelvane
