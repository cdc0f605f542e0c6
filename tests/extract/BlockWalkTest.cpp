// The walk over a group's records: where spikes are searched, which neighbours join a window, channels
// out of step, gaps, and the sample times.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <limits>
#include <memory>
#include <random>

#include "extract/ExtractionRun.h"
#include "tests/extract/ExtractionRunFixture.h"
#include "tests/support/FakeDataSourceManager.h"
#include "tests/extract/SpikeFileContents.h"
#include "tests/support/CapturedReports.h"
#include "tests/support/TempDir.h"

namespace skelvane {
namespace {

using namespace test;

// ---- The block walk -------------------------------------------------------------------------

TEST_F(ExtractionRunTest, SpikeIsStoredAtItsPeakTimeWithTheWindowAlignedOnThePeak) {
  AddSource("a.kcs", 5);
  Source(0).AddSpike(2, 100);
  ShowAll();
  ASSERT_EQ(run.CreateSpikeFiles(channels), 0);
  const auto file = Output("SpikeFile_a.kse", 1);
  ASSERT_EQ(file.Spikes.size(), 1u);
  EXPECT_EQ(file.Spikes[0].Timestamp, SampleTime(kStart + 2 * kRecordSpan, 100));
  EXPECT_EQ(file.Spikes[0].Samples[kAlignmentIndex - 2], 40);
  EXPECT_EQ(file.Spikes[0].Samples[kAlignmentIndex - 1], 80);
  EXPECT_EQ(file.Spikes[0].Samples[kAlignmentIndex], 100);
  EXPECT_EQ(file.Spikes[0].Samples[kAlignmentIndex + 1], 60);
  EXPECT_EQ(file.Spikes[0].Samples[kAlignmentIndex + 2], 20);
  EXPECT_TRUE(file.WholeRecords);
  EXPECT_EQ(run.WrittenFiles().at(0).spikeCount, 1);
}

TEST_F(ExtractionRunTest, WindowReachingIntoTheNextRecordIsStoredOnce) {
  AddSource("a.kcs", 5);
  Source(0).AddSpike(2, 510);  // the shape's last sample is sample 0 of record 3
  ShowAll();
  ASSERT_EQ(run.CreateSpikeFiles(channels), 0);
  const auto file = Output("SpikeFile_a.kse", 1);
  ASSERT_EQ(file.Spikes.size(), 1u);
  EXPECT_EQ(file.Spikes[0].Timestamp, SampleTime(kStart + 2 * kRecordSpan, 510));
  EXPECT_EQ(file.Spikes[0].Samples[kAlignmentIndex + 2], 20);
}

TEST_F(ExtractionRunTest, WindowReachingBackIntoThePreviousRecordIsStored) {
  AddSource("a.kcs", 5);
  Source(0).AddSpike(2, 3);  // the window starts at sample 508 of record 1
  ShowAll();
  ASSERT_EQ(run.CreateSpikeFiles(channels), 0);
  const auto file = Output("SpikeFile_a.kse", 1);
  ASSERT_EQ(file.Spikes.size(), 1u);
  EXPECT_EQ(file.Spikes[0].Timestamp, SampleTime(kStart + 2 * kRecordSpan, 3));
  EXPECT_EQ(file.Spikes[0].Samples[kAlignmentIndex], 100);
  EXPECT_EQ(file.Spikes[0].Samples[kAlignmentIndex - 2], 40);  // sample 1 of record 2
}

TEST_F(ExtractionRunTest, FirstRecordIsSearchedFromTheAlignmentPointOn) {
  // Peak 10: the crossing at sample 9 follows a quiet sample 8 and its window starts at sample 3.
  // Peak 9: the excursion is already under way at sample 8, where the search begins.
  AddSource("early.kcs", 3);
  AddSource("late.kcs", 3);
  Source(0).AddSpike(0, 9);
  Source(1).AddSpike(0, 10);
  ShowAll();
  ASSERT_EQ(run.CreateSpikeFiles(channels), 0);
  EXPECT_EQ(Output("SpikeFile_early.kse", 1).Spikes.size(), 0u);
  const auto late = Output("SpikeFile_late.kse", 1);
  ASSERT_EQ(late.Spikes.size(), 1u);
  EXPECT_EQ(late.Spikes[0].Timestamp, SampleTime(kStart, 10));
}

TEST_F(ExtractionRunTest, LastRecordKeepsWindowsInsideTheRecord) {
  // Peak 487: window 480..511 fits; peak 488 would need sample 512.
  AddSource("fits.kcs", 3);
  AddSource("spills.kcs", 3);
  Source(0).AddSpike(2, 487);
  Source(1).AddSpike(2, 488);
  ShowAll();
  ASSERT_EQ(run.CreateSpikeFiles(channels), 0);
  const auto fits = Output("SpikeFile_fits.kse", 1);
  ASSERT_EQ(fits.Spikes.size(), 1u);
  EXPECT_EQ(fits.Spikes[0].Timestamp, SampleTime(kStart + 2 * kRecordSpan, 487));
  EXPECT_EQ(Output("SpikeFile_spills.kse", 1).Spikes.size(), 0u);
}

TEST_F(ExtractionRunTest, RecordsAcrossATimeGapAreNotJoined) {
  // Spikes whose windows straddle records 3 and 4: joined when contiguous, dropped across a gap.
  AddSource("joined.kcs", 8);
  AddSource("gap.kcs", 8);
  for (int32_t r = 4; r < 8; ++r) Source(1).timestamps[r] += 1'000'000;
  for (int32_t i : {0, 1}) {
    Source(i).AddSpike(3, 505);
    Source(i).AddSpike(5, 2);
  }
  ShowAll();
  ASSERT_EQ(run.CreateSpikeFiles(channels), 0);
  EXPECT_EQ(Output("SpikeFile_joined.kse", 1).Spikes.size(), 2u);
  EXPECT_EQ(Output("SpikeFile_gap.kse", 1).Spikes.size(), 1u);  // records 4 and 5 are still joined
}

TEST_F(ExtractionRunTest, SpikeRightAfterAGapIsDroppedButOneLaterIsKept) {
  AddSource("gap.kcs", 8);
  for (int32_t r = 4; r < 8; ++r) Source(0).timestamps[r] += 1'000'000;
  Source(0).AddSpike(4, 3);    // would need record 3 for its window
  Source(0).AddSpike(4, 200);
  ShowAll();
  ASSERT_EQ(run.CreateSpikeFiles(channels), 0);
  const auto file = Output("SpikeFile_gap.kse", 1);
  ASSERT_EQ(file.Spikes.size(), 1u);
  EXPECT_EQ(file.Spikes[0].Timestamp, SampleTime(kStart + 4 * kRecordSpan + 1'000'000, 200));
}

TEST_F(ExtractionRunTest, OutOfStepChannelIsBroughtIntoStep) {
  // Channel b starts three records earlier; spikes on both channels at the same times must end up
  // in the same records, channel by channel.
  AddSource("a.kcs", 10);
  AddSource("b.kcs", 13, kStart - 3 * kRecordSpan);
  Source(0).AddSpike(4, 100, 100);
  Source(1).AddSpike(7, 100, 200);
  Source(0).AddSpike(9, 300, 100);
  Source(1).AddSpike(12, 300, 200);
  ShowAll();
  run.Parameters().NumChannels = 2;
  ASSERT_EQ(run.CreateSpikeFiles(channels), 0);
  const auto file = Output("SpikeFile_a_b.kst", 2);
  ASSERT_EQ(file.Spikes.size(), 2u);
  EXPECT_EQ(file.Spikes[0].Timestamp, SampleTime(kStart + 4 * kRecordSpan, 100));
  EXPECT_EQ(SampleAt(file.Spikes[0], kAlignmentIndex, 0, 2), 100);
  EXPECT_EQ(SampleAt(file.Spikes[0], kAlignmentIndex, 1, 2), 200);
  EXPECT_EQ(file.Spikes[1].Timestamp, SampleTime(kStart + 9 * kRecordSpan, 300));
  EXPECT_EQ(SampleAt(file.Spikes[1], kAlignmentIndex, 1, 2), 200);
}

TEST_F(ExtractionRunTest, PassesThatOnlyBringChannelsIntoStepAreNotCounted) {
  // a leads by three records, then lacks three that b has: six catch-up passes in all. Were they
  // counted, the walk would stop three blocks before the spike at the end.
  test::FakeSource a;
  a.path = dir.File("a.kcs");
  test::FakeSource b;
  b.path = dir.File("b.kcs");
  for (int64_t t = -3; t <= 12; ++t) {
    if (t < 5 || t > 7) a.AddRecords(kStart + t * kRecordSpan, kRecordSpan, 1);
    if (t >= 0) b.AddRecords(kStart + t * kRecordSpan, kRecordSpan, 1);
  }
  sources.sources = {a, b};
  Source(0).AddSpike(12, 100);  // a's record 12 is time 12, its last
  Source(1).AddSpike(12, 100);
  Source(0).AddSpike(6, 100);   // a's record 6 is time 3
  Source(1).AddSpike(3, 100);
  ShowAll();
  run.Parameters().NumChannels = 2;
  ASSERT_EQ(run.CreateSpikeFiles(channels), 0);
  const auto file = Output("SpikeFile_a_b.kst", 2);
  ASSERT_EQ(file.Spikes.size(), 2u);
  EXPECT_EQ(file.Spikes[0].Timestamp, SampleTime(kStart + 3 * kRecordSpan, 100));
  EXPECT_EQ(file.Spikes[1].Timestamp, SampleTime(kStart + 12 * kRecordSpan, 100));
}

TEST_F(ExtractionRunTest, NeighboursThatDifferAcrossChannelsStayOutOfTheWindows) {
  // b lacks the record at time 5. At time 4 the channels' next records differ (5 and 6), at time 6
  // their previous ones (5 and 4): windows reaching into them are dropped, even though channel 0's
  // own neighbours are seamless; the others are kept.
  test::FakeSource a;
  a.path = dir.File("a.kcs");
  test::FakeSource b;
  b.path = dir.File("b.kcs");
  for (int64_t t = 0; t < 10; ++t) {
    a.AddRecords(kStart + t * kRecordSpan, kRecordSpan, 1);
    if (t != 5) b.AddRecords(kStart + t * kRecordSpan, kRecordSpan, 1);
  }
  sources.sources = {a, b};
  Source(0).AddSpike(4, 505);
  Source(1).AddSpike(4, 505);  // b's record 4 is time 4
  Source(0).AddSpike(6, 3);
  Source(1).AddSpike(5, 3);    // b's record 5 is time 6
  Source(0).AddSpike(6, 200);
  Source(1).AddSpike(5, 200);
  ShowAll();
  run.Parameters().NumChannels = 2;
  ASSERT_EQ(run.CreateSpikeFiles(channels), 0);
  const auto file = Output("SpikeFile_a_b.kst", 2);
  ASSERT_EQ(file.Spikes.size(), 1u);
  EXPECT_EQ(file.Spikes[0].Timestamp, SampleTime(kStart + 6 * kRecordSpan, 200));
}

TEST_F(ExtractionRunTest, ScanAfterAGapStartsAtTheAlignmentPoint) {
  // A broad spike crossing at sample 5 is already under way at sample 8, so after a gap it is not
  // taken; in a record joined to its predecessor it is. Records up to 2 x 512 sample intervals
  // apart still count as joined.
  AddSource("joined.kcs", 6);
  AddSource("atlimit.kcs", 6);
  AddSource("beyond.kcs", 6);
  AddSource("gap.kcs", 6);
  const int64_t shifts[] = {0, kRecordSpan, kRecordSpan + 1, 5'000'000};
  for (int32_t i = 0; i < 4; ++i) {
    for (int32_t r = 3; r < 6; ++r) Source(i).timestamps[r] += shifts[i];
    for (int32_t k = 5; k <= 12; ++k) Source(i).samples[3][k] = static_cast<int16_t>(50 + 10 * (k - 5));
    Source(i).samples[3][13] = 40;
  }
  ShowAll();
  ASSERT_EQ(run.CreateSpikeFiles(channels), 0);
  const auto joined = Output("SpikeFile_joined.kse", 1);
  ASSERT_EQ(joined.Spikes.size(), 1u);
  EXPECT_EQ(joined.Spikes[0].Timestamp, SampleTime(kStart + 3 * kRecordSpan, 12));
  EXPECT_EQ(Output("SpikeFile_atlimit.kse", 1).Spikes.size(), 1u);
  EXPECT_EQ(Output("SpikeFile_beyond.kse", 1).Spikes.size(), 0u);
  EXPECT_EQ(Output("SpikeFile_gap.kse", 1).Spikes.size(), 0u);
}

TEST_F(ExtractionRunTest, GroupEndsWhereItsShortestChannelEnds) {
  AddSource("long.kcs", 10);
  AddSource("short.kcs", 6);
  for (int32_t i : {0, 1}) {
    Source(i).AddSpike(3, 100);
    if (i == 0) Source(i).AddSpike(8, 100);
  }
  ShowAll();
  run.Parameters().NumChannels = 2;
  ASSERT_EQ(run.CreateSpikeFiles(channels), 0);
  const auto file = Output("SpikeFile_long_short.kst", 2);
  ASSERT_EQ(file.Spikes.size(), 1u);
  EXPECT_EQ(file.Spikes[0].Timestamp, SampleTime(kStart + 3 * kRecordSpan, 100));
}

TEST_F(ExtractionRunTest, UnreadableRecordEndsItsGroupQuietlyAndTheNextGroupFollows) {
  AddSource("broken.kcs", 10);
  AddSource("fine.kcs", 10);
  for (int32_t i : {0, 1}) {
    Source(i).AddSpike(2, 100);
    Source(i).AddSpike(8, 100);
  }
  Source(0).failingRecord = 6;
  ShowAll();
  test::CapturedReports reports;
  ASSERT_EQ(run.CreateSpikeFiles(channels), 0);
  EXPECT_TRUE(reports.Empty());
  EXPECT_EQ(Output("SpikeFile_broken.kse", 1).Spikes.size(), 1u);
  EXPECT_EQ(Output("SpikeFile_fine.kse", 1).Spikes.size(), 2u);
}

TEST_F(ExtractionRunTest, SampleTimesAreComputedInDoublePrecisionAndRoundedDown) {
  // Above 2^52 a double holds whole microseconds only, so the sum rounds before it is rounded down.
  const double dt = 1e6 / 30000.0;
  const int64_t start = 5'000'000'000'000'001;
  test::FakeSource source;
  source.path = dir.File("a.kcs");
  for (int32_t r = 0; r < 4; ++r) {
    source.timestamps.push_back(start + static_cast<int64_t>(r * 512 * dt));
    source.samples.emplace_back(kSamplesPerRecord, int16_t{0});
  }
  sources.sources.push_back(source);
  Source(0).AddSpike(1, 250);
  Source(0).AddSpike(2, 509);
  ShowAll(dt, 30000.0);
  ASSERT_EQ(run.CreateSpikeFiles(channels), 0);
  const auto file = Output("SpikeFile_a.kse", 1);
  ASSERT_EQ(file.Spikes.size(), 2u);
  EXPECT_EQ(file.Spikes[0].Timestamp, SampleTime(Source(0).timestamps[1], 250, dt));
  EXPECT_EQ(file.Spikes[1].Timestamp, SampleTime(Source(0).timestamps[2], 509, dt));
  EXPECT_NE(file.Spikes[1].Timestamp, Source(0).timestamps[2] + static_cast<int64_t>(509 * dt));
}

TEST_F(ExtractionRunTest, SampleTimesPastTheSignedRangeStayAtItsTopInsteadOfWrapping) {
  // Records stamped just below 2^63: the sample times after them cannot be represented and must not
  // wrap around to the most negative time.
  test::FakeSource source;
  source.path = dir.File("a.kcs");
  source.AddRecords(std::numeric_limits<int64_t>::max() - 2 * kRecordSpan - 100, kRecordSpan, 3);
  sources.sources.push_back(source);
  Source(0).AddSpike(2, 100);
  ShowAll();
  ASSERT_EQ(run.CreateSpikeFiles(channels), 0);
  const auto file = Output("SpikeFile_a.kse", 1);
  ASSERT_EQ(file.Spikes.size(), 1u);
  EXPECT_EQ(file.Spikes[0].Timestamp, std::numeric_limits<int64_t>::max());
}

// A recording moved in time by a whole number of microseconds (before zero, across it, far out) gives
// the same spike file with every spike time moved by exactly as much, for each sample period whose
// offsets a double holds exactly, as far as the sums stay exact (2^52 for half microseconds, 2^51 for
// quarters: the arithmetic positive recordings have always had).
TEST_F(ExtractionRunTest, ShiftingARecordingShiftsEverySpikeTimeByExactlyThatMuch) {
  std::mt19937_64 random(22);
  struct Rate {
    double dt;
    int32_t fractionBits;  // of the sample offsets j x dt
  };
  for (const Rate rate : {Rate{31.25, 2}, Rate{62.5, 1}, Rate{25.0, 0}}) {
    const auto span = static_cast<int64_t>(kSamplesPerRecord * rate.dt);
    const int64_t limit = (int64_t{1} << (53 - rate.fractionBits)) - 200 * span;
    const auto extract = [&](int64_t offset) {
      sources.sources.clear();
      channels.clear();
      std::mt19937_64 shape(7);  // the same recording every time, only its times moved
      const int32_t records = 60;
      AddSource("a.kcs", records, kStart + offset);
      for (int32_t r = 0; r < records; ++r) Source(0).timestamps[r] = kStart + offset + r * span;
      for (int32_t r = 30; r < records; ++r) Source(0).timestamps[r] += 50 * span;  // a pause
      for (int32_t n = 0; n < 150; ++n) {
        Source(0).AddSpike(static_cast<int32_t>(shape() % records), static_cast<int32_t>(shape() % 512),
                           static_cast<int16_t>(60 + shape() % 200));
      }
      ShowAll(rate.dt, 1e6 / rate.dt);
      test::CapturedReports reports;  // no time going back where it crosses zero
      EXPECT_EQ(run.CreateSpikeFiles(channels), 0);
      EXPECT_TRUE(reports.Empty()) << reports.Texts().front();
      return Output("SpikeFile_a.kse", 1);
    };
    const auto reference = extract(0);
    ASSERT_GT(reference.Spikes.size(), 50u);
    std::vector<int64_t> offsets = {-kStart, -kStart - 20 * span - 7, -kStart - 40 * span, -limit, limit - kStart,
                                    -1, 1};
    for (int i = 0; i < 12; ++i) {
      offsets.push_back(std::uniform_int_distribution<int64_t>(-limit, limit - kStart)(random));
    }
    for (const int64_t offset : offsets) {
      SCOPED_TRACE(::testing::Message() << "period " << rate.dt << " offset " << offset);
      const auto moved = extract(offset);
      ASSERT_EQ(moved.Spikes.size(), reference.Spikes.size());
      for (std::size_t k = 0; k < moved.Spikes.size(); ++k) {
        EXPECT_EQ(moved.Spikes[k].Timestamp, reference.Spikes[k].Timestamp + offset) << k;
        EXPECT_EQ(moved.Spikes[k].Samples, reference.Spikes[k].Samples) << k;
      }
      EXPECT_EQ(WithoutTimeLine(moved.Header), WithoutTimeLine(reference.Header));
      if (HasFailure()) return;
    }
  }
}

TEST_F(ExtractionRunTest, ModeAndTypeReachTheDetectorInTheirOwnPlaces) {
  AddSource("a.kcs", 5);
  Source(0).AddSpike(1, 100, 100);
  Source(0).AddSpike(3, 100, -100);
  ShowAll();
  run.Parameters().ExtractionMode = 0;
  run.Parameters().ExtractionType = 1;  // negative only
  ASSERT_EQ(run.CreateSpikeFiles(channels), 0);
  const auto file = Output("SpikeFile_a.kse", 1);
  ASSERT_EQ(file.Spikes.size(), 1u);
  EXPECT_EQ(file.Spikes[0].Timestamp, SampleTime(kStart + 3 * kRecordSpan, 100));
  EXPECT_EQ(file.Spikes[0].Samples[kAlignmentIndex], -100);
}

TEST_F(ExtractionRunTest, SlopeModeFindsSteepRisesButNotSlowOnes) {
  AddSource("a.kcs", 5);
  // A slow ramp to 300 in steps of 10 per sample, then a steep spike (steps of 40).
  for (int32_t i = 0; i < 30; ++i) Source(0).samples[1][100 + i] = static_cast<int16_t>(10 * (i + 1));
  Source(0).AddSpike(3, 100, 100);
  ShowAll();
  run.Parameters().ExtractionMode = 1;
  run.Parameters().Threshold = 30.0;
  ASSERT_EQ(run.CreateSpikeFiles(channels), 0);
  const auto file = Output("SpikeFile_a.kse", 1);
  ASSERT_EQ(file.Spikes.size(), 1u);
  EXPECT_EQ(file.Spikes[0].Timestamp, SampleTime(kStart + 3 * kRecordSpan, 100));
}

}  // namespace
}  // namespace skelvane
