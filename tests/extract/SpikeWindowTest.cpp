// Which windows are stored: inside the block's limits, without a recording gap, never overlapping
// the last stored one; and the records as they go into the file.
#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <ostream>
#include <random>
#include <span>
#include <string>
#include <vector>

#include "extract/SpikeExtractor.h"
#include "tests/extract/SpikeDetection.h"
#include "tests/extract/SpikeFileContents.h"
#include "tests/support/CapturedReports.h"
#include "tests/support/TempDir.h"

namespace skelvane {
namespace {

using namespace test;

// ---------------------------------------------------------------------------------------------
// Window checks

struct WindowBounds {
  int32_t Low, High;
  bool Stored;
};

void PrintTo(const WindowBounds& value, std::ostream* out) {
  *out << "low " << value.Low << " high " << value.High << (value.Stored ? " stored" : " dropped");
}

class SpikeWindowBounds : public SpikeDetection, public ::testing::WithParamInterface<WindowBounds> {};

TEST_P(SpikeWindowBounds, WindowMustLieWithinLowAndHigh) {
  Configure(kPositive, kThreshold, 50, 4, 2, 1);
  // Peak at 10: the window is 9..12.
  const Block block({Signal(30, {{10, 90}})});
  Detect(block, 0, 20, GetParam().Low, GetParam().High);
  EXPECT_EQ(Finish().size(), GetParam().Stored ? 1u : 0u);
}

INSTANTIATE_TEST_SUITE_P(AtTheEdges, SpikeWindowBounds,
                         ::testing::Values(WindowBounds{9, 29, true}, WindowBounds{10, 29, false},
                                           WindowBounds{0, 12, true}, WindowBounds{0, 11, false}));

struct GapCase {
  const char* Name;
  int StepIndex;     // timestamp index whose step from the one before is changed
  int64_t NewStep;   // that step, in microseconds (the regular step is 10)
  bool Stored;
};

void PrintTo(const GapCase& value, std::ostream* out) { *out << value.Name; }

class SpikeWindowGaps : public SpikeDetection, public ::testing::WithParamInterface<GapCase> {};

TEST_P(SpikeWindowGaps, NoStepInsideTheWindowMayExceedTwiceTheFirst) {
  Configure(kPositive, kThreshold, 50, 6, 3, 1);
  // Peak at 10: the window is 8..13, its first step 8 -> 9.
  Block block({Signal(30, {{10, 90}})});
  const int64_t change = GetParam().NewStep - static_cast<int64_t>(kStep);
  for (std::size_t i = static_cast<std::size_t>(GetParam().StepIndex); i < block.Timestamps.size(); ++i) {
    block.Timestamps[i] += change;
  }
  DetectAll(block);
  const auto spikes = Finish();
  ASSERT_EQ(spikes.size(), GetParam().Stored ? 1u : 0u);
  if (GetParam().Stored) {
    EXPECT_EQ(spikes[0].Timestamp, block.Timestamps[10]);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Steps, SpikeWindowGaps,
    ::testing::Values(GapCase{"TwiceTheFirstPasses", 12, 20, true}, GapCase{"OneMoreIsAGap", 12, 21, false},
                      GapCase{"LastStepCounts", 13, 21, false}, GapCase{"StepAfterTheWindowIsIgnored", 14, 500, true},
                      GapCase{"BackwardsStepIsAGap", 11, -1, false},
                      GapCase{"BackwardsFirstStepIsAGap", 9, -1, false}),
    [](const auto& info) { return std::string(info.param.Name); });

TEST_F(SpikeDetection, ANewWindowMayBeginAtTheLastTimestampOfThePreviousOne) {
  Configure(kPositive, kThreshold, 50, 4, 2, 1);
  const Block first({Signal(20, {{5, 90}})});  // window 4..7
  DetectAll(first);
  const int64_t previousEnd = first.Timestamps[7];

  // The next block's spike (peak at 6, window 5..8) begins exactly at previousEnd: stored.
  const Block equal({Signal(20, {{6, 90}})}, previousEnd - 5 * kStep);
  DetectAll(equal);
  const int64_t equalEnd = equal.Timestamps[8];

  // One beginning a microsecond before the end of the last stored window: dropped.
  const Block earlier({Signal(20, {{6, 90}})}, equalEnd - 5 * kStep - 1);
  DetectAll(earlier);

  const auto spikes = Finish();
  ASSERT_EQ(spikes.size(), 2u);
  EXPECT_EQ(spikes[0].Timestamp, first.Timestamps[5]);
  EXPECT_EQ(spikes[1].Timestamp, equal.Timestamps[6]);
}

TEST_F(SpikeDetection, TheSameSpikeSeenInTheNextBlockIsNotStoredTwice) {
  Configure(kPositive, kThreshold, 50, 4, 2, 1);
  // The same samples seen again in the next block (shifted by 10 indices) are not stored twice.
  const auto signal = Signal(40, {{25, 90}});
  const Block block({signal});
  Detect(block, 0, 29, 0, 39);
  const Block again({Signal(40, {{15, 90}})}, kFirstTimestamp + 10 * kStep);
  Detect(again, 0, 29, 0, 39);
  const auto spikes = Finish();
  ASSERT_EQ(spikes.size(), 1u);
  EXPECT_EQ(spikes[0].Timestamp, block.Timestamps[25]);
}

// ---------------------------------------------------------------------------------------------
// Block bounds

TEST_F(SpikeDetection, PeakSearchEndsWithoutAPeakAtTheBlocksLastSample) {
  Configure(kPositive, kThreshold, 50, 4, 4, 1);
  // A rise to the block's last sample. Past the end lies a lower value: reading it would make the
  // last sample a peak whose window (8..11) fits the block.
  std::vector<int16_t> storage = Signal(13, {{8, 60}, {9, 70}, {10, 80}, {11, 90}, {12, -1000}});
  std::vector<int64_t> timestamps;
  for (int i = 0; i < 13; ++i) timestamps.push_back(kFirstTimestamp + kStep * static_cast<int64_t>(i));
  const std::span<const int16_t> samples(storage.data(), 12);
  const std::span<const int64_t> times(timestamps.data(), 12);
  // Bounds beyond the block are held to it as well.
  EXPECT_EQ(extractor_.DetectSpikes(times, {samples}, 0, 40, 0, 40), -1);
  EXPECT_TRUE(Finish().empty());
}

TEST_F(SpikeDetection, SpikeAtTheLastPossibleIndexIsStored) {
  Configure(kPositive, kThreshold, 50, 4, 4, 1);
  // Peak at 10, window 7..10, the block's last sample 11 follows the peak.
  const auto signal = Signal(12, {{9, 60}, {10, 90}, {11, 5}});
  const Block block({signal});
  DetectAll(block);
  const auto spikes = Finish();
  ASSERT_EQ(spikes.size(), 1u);
  EXPECT_EQ(spikes[0].Samples, Window(signal, 7, 4));
}

TEST_F(SpikeDetection, CrossingsAreOnlySearchedFromStartToSearchEnd) {
  Configure(kPositive, kThreshold, 50, 4, 2, 1);
  const Block block({Signal(40, {{4, 90}, {15, 90}, {30, 90}})});
  Detect(block, 10, 20, 0, 39);
  const auto spikes = Finish();
  ASSERT_EQ(spikes.size(), 1u);
  EXPECT_EQ(spikes[0].Timestamp, block.Timestamps[15]);
}

TEST_F(SpikeDetection, LongQuietStretchesAreScannedExactly) {
  // Many crossings spread over a long block, some right at chunk-sized boundaries, each found once
  // and on the right sample, on the right channel.
  Configure(kBoth, kThreshold, 100, 8, 3, 2);
  std::vector<int16_t> ch0(2000), ch1(2000);
  for (std::size_t i = 0; i < ch0.size(); ++i) {
    ch0[i] = static_cast<int16_t>((i * 37) % 199 - 99);  // noise just inside +-99
    ch1[i] = static_cast<int16_t>((i * 53) % 197 - 98);
  }
  const std::vector<std::size_t> peaks0 = {63, 64, 200, 511, 512, 1023, 1500};
  const std::vector<std::size_t> peaks1 = {127, 128 + 64 * 3, 1700};
  for (std::size_t p : peaks0) ch0[p] = 100;
  for (std::size_t p : peaks1) ch1[p] = -100;
  // 63 and 64 are too close for both to be stored: 64 comes within one window after 63.
  const Block block({ch0, ch1});
  DetectAll(block);
  points_ = 8;
  channels_ = 2;
  const auto spikes = Finish();
  std::vector<int64_t> expected;
  for (std::size_t p : {63, 127, 200, 320, 511, 1023, 1500, 1700}) expected.push_back(block.Timestamps[p]);
  std::vector<int64_t> found;
  for (const auto& spike : spikes) found.push_back(spike.Timestamp);
  EXPECT_EQ(found, expected);
}

TEST_F(SpikeDetection, LongQuietStretchesAreScannedExactlyInSlopeMode) {
  Configure(kPositive, kSlope, 25, 8, 3, 1);
  std::vector<int16_t> signal(400);
  for (std::size_t i = 0; i < signal.size(); ++i) signal[i] = static_cast<int16_t>((i * 7) % 11) - 5;  // steps < 25
  // Rises of exactly 25 starting at 64 (the scan re-armed at 0) and at 137 (re-armed at 73, one
  // window after the first peak at 65): each starts a fresh stretch of the scan.
  for (std::size_t start : {64, 137}) {
    signal[start] = 0;
    signal[start + 1] = 25;
    signal[start + 2] = 10;
  }
  const Block block({signal});
  DetectAll(block);
  points_ = 8;
  const auto spikes = Finish();
  ASSERT_EQ(spikes.size(), 2u);
  EXPECT_EQ(spikes[0].Timestamp, block.Timestamps[65]);
  EXPECT_EQ(spikes[1].Timestamp, block.Timestamps[138]);
}

TEST(SpikeDetectionBounds, AnyBoundsGiveOnlyWindowsInsideTheBlockAndItsLimits) {
  // Random blocks with random, partly absurd bounds: every stored record must be a window of the
  // block that lies within [max(WindowLow, 0), min(WindowHigh, last index)], with its peak at the
  // alignment point, and windows must not overlap.
  std::mt19937 random(7);
  std::uniform_int_distribution<int> sample(-200, 200);
  test::TempDir dir;
  for (int round = 0; round < 300; ++round) {
    const int length = 2 + static_cast<int>(random() % 80);
    const int channels = 1 + static_cast<int>(random() % 4);
    const int points = 1 + static_cast<int>(random() % 12);
    const int alignmentPt = 1 + static_cast<int>(random() % static_cast<unsigned>(points));
    const int type = static_cast<int>(random() % 3);
    const int mode = static_cast<int>(random() % 2);
    std::vector<std::vector<int16_t>> samples(static_cast<std::size_t>(channels));
    for (auto& channel : samples) {
      for (int i = 0; i < length; ++i) channel.push_back(static_cast<int16_t>(sample(random)));
    }
    std::vector<int64_t> timestamps;
    for (int i = 0; i < length; ++i) timestamps.push_back(100 + 10 * static_cast<int64_t>(i));
    const auto bound = [&] { return static_cast<int32_t>(random() % 120) - 20; };
    const int32_t start = bound(), searchEnd = bound(), windowLow = bound(), windowHigh = bound();

    SpikeExtractor extractor;
    const std::string path = dir.File("r.kse");
    ASSERT_EQ(extractor.SetExtractionParameters(type, mode, 60, points, alignmentPt, channels), 0);
    ASSERT_EQ(extractor.OpenSpikeFile(path), 0);
    ASSERT_EQ(extractor.WriteSpikeFileHeader(path, {}), 0);
    std::vector<std::span<const int16_t>> spans(samples.begin(), samples.end());
    extractor.DetectSpikes(timestamps, spans, start, searchEnd, windowLow, windowHigh);
    ASSERT_EQ(extractor.CloseSpikeFile(), 0);

    const auto contents = test::ReadSpikeFile(path, points, channels);
    ASSERT_TRUE(contents.WholeRecords);
    int64_t previousLast = -1;
    for (const auto& spike : contents.Spikes) {
      const int64_t peak = static_cast<int64_t>((spike.Timestamp - 100) / 10);
      const int64_t first = peak - (alignmentPt - 1);
      const int64_t last = first + points - 1;
      ASSERT_GE(first, std::max(windowLow, 0)) << "round " << round;
      ASSERT_LE(last, std::min(windowHigh, length - 1)) << "round " << round;
      ASSERT_GE(peak, std::max(start, 0)) << "round " << round;
      ASSERT_GT(first, previousLast) << "round " << round;
      previousLast = last;
      for (int j = 0; j < points; ++j) {
        for (int k = 0; k < channels; ++k) {
          ASSERT_EQ(spike.Samples[static_cast<std::size_t>(j * channels + k)],
                    samples[static_cast<std::size_t>(k)][static_cast<std::size_t>(first + j)])
              << "round " << round;
        }
      }
    }
  }
}

// ---------------------------------------------------------------------------------------------
// Records

TEST_F(SpikeDetection, RecordBytesAreLittleEndianPointMajor) {
  Configure(kPositive, kThreshold, 50, 3, 2, 2);
  Block block({Signal(10, {{3, 1}, {4, 0x1234}, {5, -2}}), Signal(10, {{3, -32768}, {4, 32767}, {5, 0x0102}})});
  block.Timestamps[4] = 0x0102030405060708ULL;  // first step 0x100, the next one 5: a valid window
  for (std::size_t i = 5; i < block.Timestamps.size(); ++i) block.Timestamps[i] = 0x0102030405060708ULL + i;
  block.Timestamps[3] = 0x0102030405060708ULL - 0x100;
  DetectAll(block);
  EXPECT_EQ(extractor_.CloseSpikeFile(), 0);

  const std::string bytes = test::ReadWholeFile(path_);
  ASSERT_EQ(bytes.size(), 16384u + 60u);
  const std::string expected =
      std::string("\x08\x07\x06\x05\x04\x03\x02\x01", 8) + std::string(40, '\0') +  // timestamp, words, features
      std::string("\x01\x00\x00\x80", 4) +                                          // point 0: 1, -32768
      std::string("\x34\x12\xff\x7f", 4) +                                          // point 1: 0x1234, 32767
      std::string("\xfe\xff\x02\x01", 4);                                           // point 2: -2, 0x0102
  EXPECT_EQ(bytes.substr(16384), expected);
}

TEST_F(SpikeDetection, FileSizeIsHeaderPlusWholeRecordsAndCountMatches) {
  Configure(kNegative, kThreshold, 40, 32, 8, 4);
  std::vector<std::vector<int16_t>> channels(4, std::vector<int16_t>(1536, 0));
  for (int p = 100; p < 1400; p += 97) channels[static_cast<std::size_t>(p % 4)][static_cast<std::size_t>(p)] = -300;
  const Block block(channels);
  Detect(block, 512, 1023, 0, 1535);
  // Spikes every 97 samples: 585, 682, 779, 876 and 973 lie in the searched record.
  const int64_t count = extractor_.GetSpikeCount();
  EXPECT_EQ(count, 5);
  EXPECT_EQ(extractor_.CloseSpikeFile(), 0);
  EXPECT_EQ(test::ReadWholeFile(path_).size(), static_cast<std::size_t>(16384 + count * 304));
}

}  // namespace
}  // namespace skelvane
