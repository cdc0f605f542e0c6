// The detector's parameters: checked in order, the offending value reported once, the record size
// following points and channels; blocks that do not fit them are refused.
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
  std::vector<int64_t> timestamps(10, 0);
  std::vector<int16_t> samples(10, 500);
  EXPECT_EQ(extractor.DetectSpikes(timestamps, {samples}, 0, 8, 0, 9), -1);
  EXPECT_EQ(reports.Count(), 1u);
  EXPECT_EQ(extractor.GetSpikeCount(), 0);
}

}  // namespace
}  // namespace skelvane
