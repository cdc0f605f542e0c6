#include "extract/SpikeExtractor.h"

#include <cstdint>
#include <gtest/gtest.h>
#include <limits>
#include <random>
#include <span>
#include <ostream>
#include <string>
#include <vector>

#include "tests/extract/SpikeFileContents.h"
#include "tests/support/CapturedReports.h"
#include "tests/support/TempDir.h"

namespace skelvane {
namespace {

constexpr int32_t kPositive = SpikeExtractor::kTypePositive;
constexpr int32_t kNegative = SpikeExtractor::kTypeNegative;
constexpr int32_t kBoth = SpikeExtractor::kTypeBoth;
constexpr int32_t kThreshold = SpikeExtractor::kModeThreshold;
constexpr int32_t kSlope = SpikeExtractor::kModeSlope;

constexpr uint64_t kFirstTimestamp = 1'000'000;
constexpr uint64_t kStep = 10;

// One block as the extraction run hands it over: evenly spaced timestamps unless a test bends them.
struct Block {
  std::vector<uint64_t> Timestamps;
  std::vector<std::vector<int16_t>> Channels;

  explicit Block(std::vector<std::vector<int16_t>> channels, uint64_t firstTimestamp = kFirstTimestamp)
      : Channels(std::move(channels)) {
    for (std::size_t i = 0; i < Channels.front().size(); ++i) Timestamps.push_back(firstTimestamp + kStep * i);
  }
  int32_t Last() const { return static_cast<int32_t>(Timestamps.size()) - 1; }
};

// Zeros with the given samples placed at their indices.
std::vector<int16_t> Signal(std::size_t length, std::initializer_list<std::pair<int, int16_t>> samples) {
  std::vector<int16_t> signal(length, 0);
  for (const auto& [index, value] : samples) signal[static_cast<std::size_t>(index)] = value;
  return signal;
}

class SpikeDetection : public ::testing::Test {
 protected:
  void Configure(int32_t type, int32_t mode, int32_t threshold, int32_t points, int32_t alignmentPt,
                 int32_t channels) {
    points_ = points;
    channels_ = channels;
    ASSERT_EQ(extractor_.SetExtractionParameters(type, mode, threshold, points, alignmentPt, channels), 0);
    ASSERT_EQ(extractor_.OpenSpikeFile(path_), 0);
    ASSERT_EQ(extractor_.WriteSpikeFileHeader(path_, {}), 0);
  }

  // Scans the whole block: every index may be tested and every window may use the whole block.
  int32_t DetectAll(const Block& block) { return Detect(block, 0, block.Last(), 0, block.Last()); }

  int32_t Detect(const Block& block, int32_t start, int32_t searchEnd, int32_t windowLow, int32_t windowHigh) {
    std::vector<std::span<const int16_t>> channels(block.Channels.begin(), block.Channels.end());
    return extractor_.DetectSpikes(block.Timestamps, channels, start, searchEnd, windowLow, windowHigh);
  }

  std::vector<test::StoredSpike> Finish() {
    EXPECT_EQ(extractor_.CloseSpikeFile(), 0);
    const auto contents = test::ReadSpikeFile(path_, points_, channels_);
    EXPECT_TRUE(contents.WholeRecords);
    EXPECT_EQ(static_cast<int64_t>(contents.Spikes.size()), extractor_.GetSpikeCount());
    return contents.Spikes;
  }

  static std::vector<int16_t> Window(const std::vector<int16_t>& signal, int first, int count) {
    return std::vector<int16_t>(signal.begin() + first, signal.begin() + first + count);
  }

  test::TempDir dir_;
  std::string path_ = dir_.File("SpikeFile_test.kse");
  SpikeExtractor extractor_;
  int32_t points_ = 0;
  int32_t channels_ = 0;
};

// ---------------------------------------------------------------------------------------------
// Parameters

TEST(SpikeExtractorParameters, RecordSizeFollowsPointsAndChannels) {
  SpikeExtractor extractor;
  ASSERT_EQ(extractor.SetExtractionParameters(kPositive, kThreshold, 50, 32, 8, 1), 0);
  EXPECT_EQ(extractor.GetRecordSize(), 112);
  ASSERT_EQ(extractor.SetExtractionParameters(kPositive, kThreshold, 50, 32, 8, 2), 0);
  EXPECT_EQ(extractor.GetRecordSize(), 176);
  ASSERT_EQ(extractor.SetExtractionParameters(kNegative, kSlope, -7, 32, 8, 4), 0);
  EXPECT_EQ(extractor.GetRecordSize(), 304);
  EXPECT_EQ(extractor.GetAlignmentIndex(), 7);
  ASSERT_EQ(extractor.SetExtractionParameters(kBoth, kThreshold, 0, 1, 1, 3), 0);
  EXPECT_EQ(extractor.GetRecordSize(), 48 + 2 * 1 * 3);
  EXPECT_EQ(extractor.GetAlignmentIndex(), 0);
}

struct RejectedParameters {
  int32_t Type, Mode, Points, AlignmentPt, Channels;
  std::string Message;
};

void PrintTo(const RejectedParameters& value, std::ostream* out) { *out << value.Message; }

class SpikeExtractorRejectedParameters : public ::testing::TestWithParam<RejectedParameters> {};

TEST_P(SpikeExtractorRejectedParameters, ReportsTheOffendingValueOnce) {
  const RejectedParameters& p = GetParam();
  test::CapturedReports reports;
  SpikeExtractor extractor;
  EXPECT_EQ(extractor.SetExtractionParameters(p.Type, p.Mode, 50, p.Points, p.AlignmentPt, p.Channels), -1);
  ASSERT_EQ(reports.Count(), 1u);
  EXPECT_EQ(reports.Texts()[0], p.Message);
}

INSTANTIATE_TEST_SUITE_P(
    EachCheck, SpikeExtractorRejectedParameters,
    ::testing::Values(
        RejectedParameters{3, 0, 32, 8, 1,
                           "Invalid Type For Extracting Paramters In SetExtractionParameters(), Extraction Type = 3"},
        RejectedParameters{-1, 0, 32, 8, 1,
                           "Invalid Type For Extracting Paramters In SetExtractionParameters(), Extraction Type = -1"},
        RejectedParameters{0, 2, 32, 8, 1,
                           "Invalid Mode For Extracting Paramters In SetExtractionParameters(), Extraction Mode = 2"},
        RejectedParameters{0, 1, 0, 8, 1,
                           "Invalid Number Of Spike Points For Extracting Paramters In SetExtractionParameters(), "
                           "NumSpikePoints = "},
        RejectedParameters{0, 1, -5, 8, 1,
                           "Invalid Number Of Spike Points For Extracting Paramters In SetExtractionParameters(), "
                           "NumSpikePoints = -5"},
        RejectedParameters{0, 0, 32, 0, 1,
                           "Invalid Alignment Point For Extracting Paramters In SetExtractionParameters(), "
                           "Alignment Point  = -1"},
        RejectedParameters{0, 0, 32, 33, 1,
                           "Invalid Alignment Point For Extracting Paramters In SetExtractionParameters(), "
                           "Alignment Point  = 32"},
        RejectedParameters{0, 0, 32, 1, 0,
                           "Invalid Number Of Channels For Extracting Paramters In SetExtractionParameters(), "
                           "NumChannels = "},
        RejectedParameters{0, 0, 32, 32, -2,
                           "Invalid Number Of Channels For Extracting Paramters In SetExtractionParameters(), "
                           "NumChannels = -2"},
        // The alignment check comes before the channel check.
        RejectedParameters{0, 0, 32, 40, 0,
                           "Invalid Alignment Point For Extracting Paramters In SetExtractionParameters(), "
                           "Alignment Point  = 39"}));

TEST(SpikeExtractorParameters, AFailedCheckKeepsEarlierValuesAndLeavesLaterOnes) {
  test::CapturedReports reports;
  SpikeExtractor extractor;
  ASSERT_EQ(extractor.SetExtractionParameters(kPositive, kThreshold, 50, 32, 8, 4), 0);

  // Points and alignment pass and are stored; the channel count fails, so the record size stays.
  EXPECT_EQ(extractor.SetExtractionParameters(kPositive, kThreshold, 50, 16, 4, 0), -1);
  EXPECT_EQ(extractor.GetNumSpikePoints(), 16);
  EXPECT_EQ(extractor.GetAlignmentIndex(), 3);
  EXPECT_EQ(extractor.GetNumChannels(), 4);
  EXPECT_EQ(extractor.GetRecordSize(), 304);

  // A bad mode stops before the points are looked at.
  EXPECT_EQ(extractor.SetExtractionParameters(kPositive, 9, 50, 8, 2, 1), -1);
  EXPECT_EQ(extractor.GetNumSpikePoints(), 16);
  EXPECT_EQ(extractor.GetAlignmentIndex(), 3);
  EXPECT_EQ(reports.Count(), 2u);
}

TEST_F(SpikeDetection, AFailedModeCheckHasStoredTheTypeButNotTheThreshold) {
  test::CapturedReports reports;
  Configure(kPositive, kThreshold, 50, 4, 2, 1);
  // The type (Negative) passes its check and is stored; the bad mode keeps the threshold at 50.
  EXPECT_EQ(extractor_.SetExtractionParameters(kNegative, 7, 10, 4, 2, 1), -1);
  EXPECT_EQ(reports.CountOf("Invalid Mode For Extracting Paramters In SetExtractionParameters(), Extraction Mode = 7"),
            1u);

  const Block block({Signal(30, {{5, 80}, {10, -30}, {15, -50}, {16, -20}})});
  DetectAll(block);
  const auto spikes = Finish();
  ASSERT_EQ(spikes.size(), 1u);  // only the -50: not the +80 (type) nor the -30 (threshold 10)
  EXPECT_EQ(spikes[0].Timestamp, block.Timestamps[15]);
}

TEST(SpikeExtractorParameters, ARecordTooLargeForItsSizeFieldIsRefused) {
  test::CapturedReports reports;
  SpikeExtractor extractor;
  const int32_t points = 1 << 30;
  EXPECT_EQ(extractor.SetExtractionParameters(kPositive, kThreshold, 50, points, 1, 4), -1);
  const int64_t size = 48 + int64_t{2} * points * 4;
  EXPECT_EQ(reports.CountOf("Spike Record Too Large For Extracting Paramters In SetExtractionParameters(), "
                            "RecordSize = " +
                            std::to_string(size)),
            1u);
}

TEST_F(SpikeDetection, ABlockWithAnotherChannelCountIsRefusedWithOneReport) {
  test::CapturedReports reports;
  Configure(kPositive, kThreshold, 50, 4, 2, 2);
  const Block block({Signal(20, {{5, 90}})});
  EXPECT_EQ(DetectAll(block), -1);
  EXPECT_EQ(DetectAll(block), -1);
  EXPECT_EQ(reports.Texts(), std::vector<std::string>{
                                 "Block Does Not Match The Extraction Parameters In DetectSpikes(), Channels In Block = 1"});
  points_ = 4;
  channels_ = 2;
  EXPECT_TRUE(Finish().empty());
}

TEST(SpikeExtractorParameters, DetectionBeforeAnyParametersStoresNothing) {
  test::CapturedReports reports;
  test::TempDir dir;
  SpikeExtractor extractor;
  ASSERT_EQ(extractor.OpenSpikeFile(dir.File("x.kse")), 0);
  std::vector<uint64_t> timestamps(10, 0);
  std::vector<int16_t> samples(10, 500);
  EXPECT_EQ(extractor.DetectSpikes(timestamps, {samples}, 0, 8, 0, 9), -1);
  EXPECT_EQ(reports.Count(), 1u);
  EXPECT_EQ(extractor.GetSpikeCount(), 0);
}

// ---------------------------------------------------------------------------------------------
// Crossing test: types and modes at the threshold

TEST_F(SpikeDetection, PositiveThresholdCountsASampleEqualToIt) {
  Configure(kPositive, kThreshold, 50, 4, 2, 1);
  const auto signal = Signal(30, {{5, 49}, {12, 50}, {13, 30}, {20, -90}});
  const Block block({signal});
  DetectAll(block);
  const auto spikes = Finish();
  ASSERT_EQ(spikes.size(), 1u);
  EXPECT_EQ(spikes[0].Timestamp, block.Timestamps[12]);  // the crossing sample is the peak
  EXPECT_EQ(spikes[0].Samples, Window(signal, 11, 4));
}

TEST_F(SpikeDetection, NegativeThresholdCrossesAtMinusThresholdAndPeaksAtTheFirstMinimum) {
  Configure(kNegative, kThreshold, 50, 4, 2, 1);
  const auto signal = Signal(30, {{3, 90}, {6, -49}, {12, -50}, {13, -70}, {14, -70}, {15, -20}});
  const Block block({signal});
  DetectAll(block);
  const auto spikes = Finish();
  ASSERT_EQ(spikes.size(), 1u);
  EXPECT_EQ(spikes[0].Timestamp, block.Timestamps[13]);
  EXPECT_EQ(spikes[0].Samples, Window(signal, 12, 4));
}

TEST_F(SpikeDetection, BothFindsEitherPolarityAtTheThresholdWithItsOwnPeak) {
  Configure(kBoth, kThreshold, 50, 4, 2, 1);
  const auto signal =
      Signal(40, {{3, 49}, {6, -49}, {10, 50}, {11, 70}, {12, 20}, {20, -50}, {21, -80}, {22, -10}, {30, -50}, {31, -40}});
  const Block block({signal});
  DetectAll(block);
  const auto spikes = Finish();
  ASSERT_EQ(spikes.size(), 3u);
  EXPECT_EQ(spikes[0].Timestamp, block.Timestamps[11]);  // maximum
  EXPECT_EQ(spikes[1].Timestamp, block.Timestamps[21]);  // minimum
  EXPECT_EQ(spikes[1].Samples, Window(signal, 20, 4));
  EXPECT_EQ(spikes[2].Timestamp, block.Timestamps[30]);  // exactly -50, and its own minimum
}

TEST_F(SpikeDetection, NegativeThresholdValueMakesEverySampleAtOrAboveItCross) {
  Configure(kPositive, kThreshold, -5, 4, 2, 1);
  // All -10 (below the threshold) except a rise that starts exactly at -5.
  std::vector<int16_t> signal(30, -10);
  signal[8] = -6;
  signal[12] = -5;
  signal[13] = 0;
  signal[14] = 3;
  signal[15] = 2;
  const Block block({signal});
  DetectAll(block);
  const auto spikes = Finish();
  ASSERT_EQ(spikes.size(), 1u);
  EXPECT_EQ(spikes[0].Timestamp, block.Timestamps[14]);
  EXPECT_EQ(spikes[0].Samples, Window(signal, 13, 4));
}

TEST_F(SpikeDetection, PositiveSlopeCrossesOnTheStepButPeaksOnTheSampleValues) {
  Configure(kPositive, kSlope, 20, 4, 2, 1);
  // Steps: 19 at 3 (no), 20 at 9 (crossing); the values then rise to 60 at 12.
  const auto signal = Signal(30, {{4, 19}, {5, 19}, {9, 0}, {10, 20}, {11, 41}, {12, 60}, {13, 50}, {14, 0}});
  const Block block({signal});
  DetectAll(block);
  const auto spikes = Finish();
  ASSERT_EQ(spikes.size(), 1u);
  EXPECT_EQ(spikes[0].Timestamp, block.Timestamps[12]);
  EXPECT_EQ(spikes[0].Samples, Window(signal, 11, 4));
}

TEST_F(SpikeDetection, NegativeSlopeCrossesOnAFallOfAtLeastTheThreshold) {
  Configure(kNegative, kSlope, 20, 4, 2, 1);
  // Falls: 19 from 3 to 4 (no); 20 from 10 to 11 (crossing at 10); the minimum -45 is at 12.
  const auto signal = Signal(30, {{3, 19}, {4, 0}, {10, 5}, {11, -15}, {12, -45}, {13, -30}});
  const Block block({signal});
  DetectAll(block);
  const auto spikes = Finish();
  ASSERT_EQ(spikes.size(), 1u);
  EXPECT_EQ(spikes[0].Timestamp, block.Timestamps[12]);
}

// ---------------------------------------------------------------------------------------------
// Peak, re-arming and channel order

TEST_F(SpikeDetection, PeakOnAPlateauIsTheFirstOfTheEqualSamples) {
  Configure(kPositive, kThreshold, 50, 5, 3, 1);
  const auto signal = Signal(20, {{2, 10}, {3, 60}, {4, 80}, {5, 80}, {6, 40}});
  const Block block({signal});
  DetectAll(block);
  const auto spikes = Finish();
  ASSERT_EQ(spikes.size(), 1u);
  EXPECT_EQ(spikes[0].Timestamp, block.Timestamps[4]);
  EXPECT_EQ(spikes[0].Samples, (std::vector<int16_t>{10, 60, 80, 80, 40}));
}

TEST_F(SpikeDetection, ScanResumesOneWindowAfterThePeakAndWaitsForRearm) {
  Configure(kPositive, kThreshold, 50, 4, 2, 1);
  // Peak at 3; the scan resumes at 7, where the signal is still over the threshold, so the 80 there
  // is no new crossing. The 75 at 12 comes after a re-arm at 8 and is one.
  const auto signal = Signal(30, {{2, 60}, {3, 100}, {4, 90}, {5, 55}, {6, 0}, {7, 80}, {12, 75}});
  const Block block({signal});
  DetectAll(block);
  const auto spikes = Finish();
  ASSERT_EQ(spikes.size(), 2u);
  EXPECT_EQ(spikes[0].Timestamp, block.Timestamps[3]);
  EXPECT_EQ(spikes[1].Timestamp, block.Timestamps[12]);
}

TEST_F(SpikeDetection, AnExcursionUnderWayAtTheBlockStartIsNoCrossing) {
  Configure(kPositive, kThreshold, 50, 4, 2, 1);
  const Block block({Signal(20, {{0, 80}, {1, 90}, {2, 60}})});
  DetectAll(block);
  EXPECT_TRUE(Finish().empty());
}

TEST_F(SpikeDetection, WhenTwoChannelsCrossTogetherTheLowerChannelSetsThePeak) {
  Configure(kPositive, kThreshold, 50, 4, 2, 2);
  const auto ch0 = Signal(20, {{5, 60}, {6, 70}, {7, 90}, {8, 10}});
  const auto ch1 = Signal(20, {{5, 100}, {6, 20}, {7, -3}, {8, -4}, {9, 7}});
  const Block block({ch0, ch1});
  DetectAll(block);
  const auto spikes = Finish();
  ASSERT_EQ(spikes.size(), 1u);
  EXPECT_EQ(spikes[0].Timestamp, block.Timestamps[7]);
  // Window 6..9, point-major: channel 0 then channel 1 at each point.
  EXPECT_EQ(spikes[0].Samples, (std::vector<int16_t>{70, 20, 90, -3, 10, -4, 0, 7}));
}

TEST_F(SpikeDetection, AfterASpikeOnlyTheCrossingChannelRearmsTheScan) {
  Configure(kPositive, kThreshold, 50, 4, 2, 2);
  // Channel 0 peaks at 3; the scan resumes at 7 with channel 0 still over the threshold up to 8.
  // Channel 1 is quiet all along, but only channel 0 going under (at 9) re-arms: no second spike.
  const auto ch0 = Signal(30, {{2, 60}, {3, 100}, {4, 90}, {5, 55}, {6, 60}, {7, 60}, {8, 55}});
  const auto ch1 = Signal(30, {});
  const Block block({ch0, ch1});
  DetectAll(block);
  const auto spikes = Finish();
  ASSERT_EQ(spikes.size(), 1u);
  EXPECT_EQ(spikes[0].Timestamp, block.Timestamps[3]);
}

TEST_F(SpikeDetection, AtTheBlockStartAnyChannelBelowTheThresholdArmsTheScan) {
  Configure(kPositive, kThreshold, 50, 4, 2, 2);
  // Channel 0 is already over the threshold at the block's first index; channel 1 is not, which
  // arms the scan there, so channel 0's excursion counts from index 0 (peak at 1).
  const auto ch0 = Signal(20, {{0, 80}, {1, 90}, {2, 60}});
  const Block block({ch0, Signal(20, {})});
  DetectAll(block);
  const auto spikes = Finish();
  ASSERT_EQ(spikes.size(), 1u);
  EXPECT_EQ(spikes[0].Timestamp, block.Timestamps[1]);
}

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
    block.Timestamps[i] = static_cast<uint64_t>(static_cast<int64_t>(block.Timestamps[i]) + change);
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
  const uint64_t previousEnd = first.Timestamps[7];

  // The next block's spike (peak at 6, window 5..8) begins exactly at previousEnd: stored.
  const Block equal({Signal(20, {{6, 90}})}, previousEnd - 5 * kStep);
  DetectAll(equal);
  const uint64_t equalEnd = equal.Timestamps[8];

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
  std::vector<uint64_t> timestamps;
  for (int i = 0; i < 13; ++i) timestamps.push_back(kFirstTimestamp + kStep * static_cast<uint64_t>(i));
  const std::span<const int16_t> samples(storage.data(), 12);
  const std::span<const uint64_t> times(timestamps.data(), 12);
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
  std::vector<uint64_t> expected;
  for (std::size_t p : {63, 127, 200, 320, 511, 1023, 1500, 1700}) expected.push_back(block.Timestamps[p]);
  std::vector<uint64_t> found;
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
    std::vector<uint64_t> timestamps;
    for (int i = 0; i < length; ++i) timestamps.push_back(100 + 10 * static_cast<uint64_t>(i));
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

// The detection rules applied literally, one sample and one channel at a time, on blocks whose
// bounds never make a test read past the block. The detector skips quiet stretches in chunks; it
// must store exactly what this plain scan stores.
class PlainScan {
 public:
  PlainScan(int32_t type, int32_t mode, int32_t threshold, int32_t points, int32_t alignmentIndex)
      : type_(type), mode_(mode), threshold_(threshold), points_(points), alignment_(alignmentIndex) {}

  void Detect(const std::vector<uint64_t>& t, const std::vector<std::vector<int16_t>>& ch, int start, int searchEnd,
              int windowLow, int windowHigh) {
    const int channels = static_cast<int>(ch.size());
    const auto sample = [&ch](int k, int i) { return int32_t{ch[static_cast<std::size_t>(k)][static_cast<std::size_t>(i)]}; };
    int crossing = -1;
    int index = start;
    while (index <= searchEnd) {
      bool found = false;
      for (int i = index; i <= searchEnd && !found; ++i) {  // re-arm
        for (int k = 0; k < channels && !found; ++k) {
          if ((crossing == -1 || k == crossing) && !Over(sample(k, i), sample(k, i + 1))) {
            crossing = k;
            index = i;
            found = true;
          }
        }
      }
      if (!found) return;
      found = false;
      for (int i = index; i <= searchEnd && !found; ++i) {  // crossing
        for (int k = 0; k < channels && !found; ++k) {
          if (Over(sample(k, i), sample(k, i + 1))) {
            crossing = k;
            index = i;
            found = true;
          }
        }
      }
      if (!found) return;
      found = false;
      for (int i = index; i <= windowHigh && !found; ++i) {  // peak
        const bool peak = spikeType_ == 0 ? sample(crossing, i) >= sample(crossing, i + 1)
                                          : sample(crossing, i) <= sample(crossing, i + 1);
        if (peak) {
          index = i;
          found = true;
        }
      }
      if (!found) return;
      const int first = index - alignment_;
      bool storable = first >= windowLow && first + points_ - 1 <= windowHigh;
      if (storable && points_ >= 3) {
        const auto at = [&t](int i) { return t[static_cast<std::size_t>(i)]; };
        storable = at(first + 1) >= at(first);
        for (int i = 1; storable && i <= points_ - 2; ++i) {
          storable = at(first + i + 1) - at(first + i) <= 2 * (at(first + 1) - at(first));
        }
      }
      if (!storable || t[static_cast<std::size_t>(first)] < lastWindowEnd_) continue;
      lastWindowEnd_ = t[static_cast<std::size_t>(first + points_ - 1)];
      test::StoredSpike spike;
      spike.Timestamp = t[static_cast<std::size_t>(index)];
      for (int j = 0; j < points_; ++j) {
        for (int k = 0; k < channels; ++k) spike.Samples.push_back(static_cast<int16_t>(sample(k, first + j)));
      }
      Spikes.push_back(spike);
      index += points_;
    }
  }

  std::vector<test::StoredSpike> Spikes;

 private:
  bool Over(int32_t s, int32_t next) {
    const int64_t v = mode_ == kSlope ? int64_t{next} - s : s;
    const bool high = v >= threshold_;
    const bool low = v <= -int64_t{threshold_};
    if (type_ == kPositive) spikeType_ = 0;
    if (type_ == kNegative) spikeType_ = 1;
    if (type_ == kBoth && (high || low)) spikeType_ = high ? 0 : 1;
    return type_ == kPositive ? high : type_ == kNegative ? low : high || low;
  }

  int32_t type_, mode_, threshold_, points_, alignment_;
  int32_t spikeType_ = 0;
  uint64_t lastWindowEnd_ = 0;
};

TEST(SpikeDetectionEquivalence, StoresExactlyWhatAPlainScanStores) {
  std::mt19937 random(11);
  test::TempDir dir;
  std::size_t spikesCompared = 0;
  for (int round = 0; round < 240; ++round) {
    const int length = 4 + static_cast<int>(random() % 300);
    const int channels = 1 + static_cast<int>(random() % 4);
    const int points = 1 + static_cast<int>(random() % 12);
    const int alignmentIndex = static_cast<int>(random() % static_cast<unsigned>(points));
    const int type = static_cast<int>(random() % 3);
    const int mode = static_cast<int>(random() % 2);
    // Every third round spans the whole 16-bit range, with thresholds beyond it, where the quiet-stretch
    // scan compares saturated 16-bit values: steps of up to 65535 and limits of 32767 or more.
    const bool fullRange = round % 3 == 2;
    const int32_t wideThresholds[] = {32767, 32768, 40000, 65535, 65536, -32768, -32769, -65536,
                                      std::numeric_limits<int32_t>::max(), std::numeric_limits<int32_t>::min() + 1};
    const int threshold = fullRange && random() % 2 == 0 ? wideThresholds[random() % 10]
                          : fullRange                    ? static_cast<int>(random() % 65536) - 32768
                                                         : static_cast<int>(random() % 160) - 10;
    // Noise mostly below the threshold with sparse excursions of either sign, so that whole quiet
    // stretches can be skipped and crossings still lie between them.
    const int noise = 5 + static_cast<int>(random() % 60);
    std::uniform_int_distribution<int> quiet(-noise, noise);
    const auto sample = [&random, &quiet, fullRange]() {
      if (random() % 60 != 0) return quiet(random);
      const int size = fullRange ? 20000 + static_cast<int>(random() % 12769) : 50 + static_cast<int>(random() % 300);
      return random() % 2 == 0 ? size : -size - (fullRange ? 1 : 0);
    };

    PlainScan plain(type, mode, threshold, points, alignmentIndex);
    SpikeExtractor extractor;
    const std::string path = dir.File("e.kse");
    ASSERT_EQ(extractor.SetExtractionParameters(type, mode, threshold, points, alignmentIndex + 1, channels), 0);
    ASSERT_EQ(extractor.OpenSpikeFile(path), 0);
    ASSERT_EQ(extractor.WriteSpikeFileHeader(path, {}), 0);
    uint64_t time = 1000;
    for (int block = 0; block < 3; ++block) {
      // Consecutive blocks overlap by half, with an occasional jump in the timestamps.
      std::vector<uint64_t> timestamps;
      for (int i = 0; i < length; ++i) {
        if (random() % 50 == 0) time += random() % 40;
        timestamps.push_back(time + 10 * static_cast<uint64_t>(i));
      }
      time += 10 * static_cast<uint64_t>(length / 2);
      std::vector<std::vector<int16_t>> samples(static_cast<std::size_t>(channels));
      for (auto& channel : samples) {
        for (int i = 0; i < length; ++i) channel.push_back(static_cast<int16_t>(sample()));
      }
      int start = 0, searchEnd = length - 2, windowLow = 0, windowHigh = length - 2;
      if (random() % 2 == 0) {
        start = static_cast<int>(random() % static_cast<unsigned>(length - 1));
        searchEnd = static_cast<int>(random() % static_cast<unsigned>(length - 1));
        windowLow = static_cast<int>(random() % static_cast<unsigned>(length));
        windowHigh = static_cast<int>(random() % static_cast<unsigned>(length - 1));
      }
      plain.Detect(timestamps, samples, start, searchEnd, windowLow, windowHigh);
      std::vector<std::span<const int16_t>> spans(samples.begin(), samples.end());
      extractor.DetectSpikes(timestamps, spans, start, searchEnd, windowLow, windowHigh);
    }
    ASSERT_EQ(extractor.CloseSpikeFile(), 0);

    const auto contents = test::ReadSpikeFile(path, points, channels);
    ASSERT_EQ(contents.Spikes.size(), plain.Spikes.size()) << "round " << round;
    for (std::size_t s = 0; s < plain.Spikes.size(); ++s) {
      ASSERT_EQ(contents.Spikes[s].Timestamp, plain.Spikes[s].Timestamp) << "round " << round << " spike " << s;
      ASSERT_EQ(contents.Spikes[s].Samples, plain.Spikes[s].Samples) << "round " << round << " spike " << s;
    }
    spikesCompared += plain.Spikes.size();
  }
  EXPECT_GT(spikesCompared, 1000u);  // the random blocks did make the rules work
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
