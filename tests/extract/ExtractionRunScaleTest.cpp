// Runs at scale: threads, cancelling, time going back, progress and the noise threshold.
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

TEST_F(ExtractionRunTest, GroupsOnSeveralThreadsWriteTheSameFilesAsOnOne) {
  // Random groups with spikes, pauses, channels out of step and unequal lengths: whatever the number
  // of threads, every file is the one a single thread writes.
  std::mt19937 random(20261208);
  for (int32_t i = 0; i < 8; ++i) {
    const int32_t records = 20 + static_cast<int32_t>(random() % 30);
    const int32_t source = AddSource("s" + std::to_string(i) + ".kcs", records);
    if (i % 3 == 1) {
      for (int32_t r = records / 2; r < records; ++r) Source(source).timestamps[r] += 400'000;
    }
    if (i % 4 == 2) Source(source).timestamps.erase(Source(source).timestamps.begin()), Source(source).samples.pop_back();
    for (int32_t n = 0; n < records * 2; ++n) {
      Source(source).AddSpike(static_cast<int32_t>(random() % (records - 1)), static_cast<int32_t>(random() % 512),
                              static_cast<int16_t>(60 + random() % 200));
    }
  }
  ShowAll();
  const std::string single = dir.File("jobs1");  // two folder names of one length: the same header size
  const std::string several = dir.File("jobs3");
  std::filesystem::create_directory(single);
  std::filesystem::create_directory(several);
  for (const int32_t groupSize : {1, 2, 4}) {
    run.Parameters().NumChannels = groupSize;
    run.Parameters().ExtractionType = kExtractionTypeBoth;
    run.SetJobs(1);
    run.Parameters().OutputDirectory = single;
    ASSERT_EQ(run.CreateSpikeFiles(channels), 0);
    run.SetJobs(3);
    run.Parameters().OutputDirectory = several;
    ASSERT_EQ(run.CreateSpikeFiles(channels), 0);
    ASSERT_EQ(run.WrittenFiles().size(), 8u / static_cast<std::size_t>(groupSize));
    const auto names = SpikeFilesIn(single);
    ASSERT_EQ(names, SpikeFilesIn(several));
    for (const std::string& name : names) {
      std::string one = test::ReadWholeFile(single + "/" + name);
      std::string many = test::ReadWholeFile(several + "/" + name);
      // The header names the file's own folder.
      const std::size_t at = many.find(several);
      ASSERT_NE(at, std::string::npos);
      many.replace(at, several.size(), single);
      EXPECT_TRUE(WithoutTimeLine(one) == WithoutTimeLine(many)) << name;
    }
  }
}

TEST_F(ExtractionRunTest, TimeGoingBackIsReportedOncePerFileAndTheSpikesAfterItAreFound) {
  AddSource("a.kcs", 120);
  AddSource("b.kcs", 120);
  int32_t clear = 0;
  for (int32_t r = 1; r < 119; ++r) {
    for (const int32_t at : {100, 300}) {
      Source(0).AddSpike(r, at);
      Source(1).AddSpike(r, at, 80);
      ++clear;
    }
  }
  // Part-way the clock starts again from the first record's time, twice.
  for (int32_t r = 50; r < 120; ++r) {
    for (int32_t i : {0, 1}) Source(i).timestamps[r] = kStart + (r - 50) * kRecordSpan;
  }
  for (int32_t r = 90; r < 120; ++r) {
    for (int32_t i : {0, 1}) Source(i).timestamps[r] = kStart + (r - 90) * kRecordSpan;
  }
  ShowAll();
  run.Parameters().NumChannels = 2;
  test::CapturedReports reports;
  ASSERT_EQ(run.CreateSpikeFiles(channels), 0);
  const std::string message = "Timestamps go back here; the recording is taken up again as after a pause, at record 50: ";
  EXPECT_EQ(reports.Texts(), (std::vector<std::string>{message + dir.File("a.kcs"), message + dir.File("b.kcs")}));
  const auto file = Output("SpikeFile_a_b.kst", 2);
  EXPECT_EQ(static_cast<int32_t>(file.Spikes.size()), clear);
  EXPECT_EQ(run.FailedGroups(), 0);
}

TEST_F(ExtractionRunTest, CancelKeepsFinishedGroupsAndLeavesNothingOfTheGroupBeingWritten) {
  for (const char* name : {"g0.kcs", "g1.kcs", "g2.kcs"}) {
    const int32_t source = AddSource(name, 40);
    for (int32_t r = 1; r < 39; ++r) Source(source).AddSpike(r, 200);
  }
  ShowAll();
  sources.onRead = [&](int32_t source, int64_t record) {
    if (source == 1 && record == 20) run.Cancel();
  };
  ASSERT_EQ(run.CreateSpikeFiles(channels), 0);
  EXPECT_TRUE(run.WasCancelled());
  EXPECT_EQ(SpikeFilesIn(dir.Path()), std::vector<std::string>{"SpikeFile_g0.kse"});
  EXPECT_EQ(Output("SpikeFile_g0.kse", 1).Spikes.size(), 38u);
  ASSERT_EQ(run.WrittenFiles().size(), 2u);
  EXPECT_EQ(run.WrittenFiles()[0].outcome, ExtractionRun::Outcome::Written);
  EXPECT_EQ(run.WrittenFiles()[1].outcome, ExtractionRun::Outcome::Cancelled);
  EXPECT_FALSE(run.WrittenFiles()[1].complete);
  EXPECT_EQ(run.FailedGroups(), 0);

  // The next run starts afresh.
  sources.onRead = nullptr;
  ASSERT_EQ(run.CreateSpikeFiles(channels), 0);
  EXPECT_FALSE(run.WasCancelled());
  EXPECT_EQ(SpikeFilesIn(dir.Path()).size(), 3u);
}

TEST_F(ExtractionRunTest, ProgressEndsWithEveryGroupDoneAndEveryRecordWalked) {
  AddSource("p0.kcs", 7);
  AddSource("p1.kcs", 9);
  AddSource("p2.kcs", 4);
  ShowAll();
  run.SetJobs(2);
  ASSERT_EQ(run.CreateSpikeFiles(channels), 0);
  const auto views = run.Progress().Snapshot();
  ASSERT_EQ(views.size(), 3u);
  for (std::size_t i = 0; i < views.size(); ++i) {
    EXPECT_EQ(views[i].state, ExtractionProgress::State::Done);
    EXPECT_EQ(views[i].doneRecords, sources.GetNumRecords(static_cast<int32_t>(i)));
    EXPECT_EQ(views[i].totalRecords, views[i].doneRecords);
    EXPECT_EQ(views[i].path, run.WrittenFiles()[i].path);
  }
}

TEST_F(ExtractionRunTest, NoiseThresholdIsKTimesTheLargestChannelsMedianMagnitudeOverItsFirstTenSeconds) {
  // 1000 Hz: ten seconds are 10000 samples, 19.5 records; what follows must not count.
  std::mt19937 random(7);
  for (const double spread : {30.0, 55.0}) {
    const int32_t source = AddSource("n" + std::to_string(static_cast<int>(spread)) + ".kcs", 30);
    std::normal_distribution<double> noise(0.0, spread);
    for (auto& record : Source(source).samples) {
      for (auto& sample : record) sample = static_cast<int16_t>(std::lround(noise(random)));
    }
    for (std::size_t r = 20; r < 30; ++r) std::fill(Source(source).samples[r].begin(), Source(source).samples[r].end(), 5000);
  }
  ShowAll(1000.0, 1000.0);
  // The reference: sort the first 10000 magnitudes of each channel and take the middle one.
  double expectedNoise = 0.0;
  for (int32_t i : {0, 1}) {
    std::vector<int32_t> magnitudes;
    for (const auto& record : Source(i).samples) {
      for (const int16_t sample : record) {
        if (magnitudes.size() < 10000) magnitudes.push_back(std::abs(int32_t{sample}));
      }
    }
    std::sort(magnitudes.begin(), magnitudes.end());
    expectedNoise = std::max(expectedNoise, magnitudes[magnitudes.size() / 2] / 0.6745);
  }
  run.Parameters().NumChannels = 2;
  run.Parameters().NoiseThresholdFactor = 4.5;
  ASSERT_EQ(run.CreateSpikeFiles(channels), 0);
  ASSERT_EQ(run.WrittenFiles().size(), 1u);
  const auto& written = run.WrittenFiles()[0];
  EXPECT_DOUBLE_EQ(written.noiseLevel, expectedNoise);
  EXPECT_EQ(written.threshold, static_cast<int32_t>(4.5 * expectedNoise));
  const auto lines = HeaderLines(Output("SpikeFile_n30_n55.kst", 2).Header);
  const std::string thresholdText = std::to_string(written.threshold);
  EXPECT_NE(std::find(lines.begin(), lines.end(), "\t-ThreshVal  " + thresholdText + "  " + thresholdText),
            lines.end());
}

}  // namespace
}  // namespace skelvane
