// Crossings, peaks and re-arming: each extraction type and mode at its threshold, plateaus, and
// which channel sets the peak when several cross.
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

}  // namespace
}  // namespace skelvane
