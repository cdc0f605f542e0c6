// The detection preview's worker on a synthetic tetrode opened as the window opens it: the marks it
// hands out are the spike file's spikes on every trace of the group, a span is worked out once per
// parameters, new parameters or a cleared preview drop the old marks, and a frame being drawn holds
// the worker off.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "datafile/ChannelSource.h"
#include "datafile/DataSourceManager.h"
#include "extract/DetectionPreviewWorker.h"
#include "extract/ExtractionRun.h"
#include "platform/ForegroundWork.h"
#include "spikes/SpikeMarks.h"
#include "tests/extract/SpikeFileContents.h"
#include "tests/support/CapturedReports.h"
#include "tests/support/TempDir.h"
#include "tools/SyntheticRecording.h"

namespace skelvane {
namespace {

class DetectionPreviewWorkerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    SynthOptions options;
    options.outDir = dir.Path();
    options.channels = 4;
    options.seconds = 30.0;
    options.seed = 5;
    options.gaps = {{400, 250'000}};
    options.lateChannel = 2;
    options.lateRecords = 3;
    ASSERT_EQ(SyntheticRecording::Generate(options, synth), 0);
    for (const std::string& path : synth.paths) {
      ASSERT_EQ(sources.OpenSource(path), 0);
      channels.push_back(ChannelSource::Measured(sources, sources.GetNumSources() - 1));
    }
    run.Parameters().NumChannels = 4;
    run.Parameters().Threshold = 90;
    run.Parameters().ExtractionType = kExtractionTypeBoth;
    run.Parameters().OutputDirectory = dir.Path();
  }

  // The spike file the run writes with the current parameters, its peak times in [from, to).
  std::vector<int64_t> Written(int64_t from, int64_t to) {
    EXPECT_EQ(run.CreateSpikeFiles(channels), 0);
    std::vector<int64_t> peaks;
    for (const auto& spike : test::ReadSpikeFile(run.WrittenFiles().at(0).path, 32, 4).Spikes) {
      if (spike.Timestamp >= from && spike.Timestamp < to) peaks.push_back(spike.Timestamp);
    }
    return peaks;
  }

  void Configure() {
    worker.Configure(run.Parameters(), DetectionPreviewWorker::Locate(sources, run.GroupsToWrite(channels)));
  }

  test::TempDir dir;
  SynthResult synth;
  DataSourceManager sources;
  std::vector<ChannelSource> channels;
  ExtractionRun run{sources};
  std::atomic<int> published{0};
  DetectionPreviewWorker worker{[this] { ++published; }};
};

TEST_F(DetectionPreviewWorkerTest, MarksEveryTraceOfTheGroupWithTheSpikeFilesSpikes) {
  test::CapturedReports reports;
  constexpr int64_t kFrom = 9'000'000;
  constexpr int64_t kTo = 26'000'000;  // longer than a piece, across the gap
  Configure();
  worker.Show(kFrom, kTo);
  worker.Wait();
  const std::shared_ptr<const SpikeMarks> marks = worker.Marks();
  ASSERT_NE(marks, nullptr);
  const std::vector<int64_t> expected = Written(kFrom, kTo);
  ASSERT_GT(expected.size(), 50u);
  EXPECT_EQ(marks->CountBetween(kFrom, kTo), static_cast<int64_t>(expected.size()));
  EXPECT_TRUE(marks->CompleteBetween(kFrom, kTo));
  for (const std::string& path : synth.paths) {
    const std::span<const int64_t> peaks = marks->PeaksFor(path);
    const auto first = std::lower_bound(peaks.begin(), peaks.end(), kFrom);
    EXPECT_EQ(std::vector<int64_t>(first, std::lower_bound(first, peaks.end(), kTo)), expected) << path;
  }
  // The neighbours the N and P keys step to.
  EXPECT_EQ(marks->NextAfter(expected.front()), expected[1]);
  EXPECT_EQ(marks->PreviousBefore(expected[1]), expected.front());
  EXPECT_TRUE(reports.Empty());
}

TEST_F(DetectionPreviewWorkerTest, ASpanIsWorkedOutOncePerParameters) {
  Configure();
  worker.Show(2'000'000, 3'000'000);
  worker.Wait();
  const std::shared_ptr<const SpikeMarks> first = worker.Marks();
  ASSERT_NE(first, nullptr);
  const int handedOut = published;
  Configure();  // the same parameters and groups: nothing to do again
  worker.Show(2'000'000, 3'000'000);
  worker.Wait();
  EXPECT_EQ(worker.Marks(), first);
  EXPECT_EQ(published, handedOut);

  run.Parameters().Threshold = 200;
  Configure();
  // The old parameters' marks are gone at once (the worker may already have the new ones).
  EXPECT_NE(worker.Marks(), first);
  worker.Wait();
  ASSERT_NE(worker.Marks(), nullptr);
  EXPECT_EQ(worker.Marks()->CountBetween(2'000'000, 3'000'000),
            static_cast<int64_t>(Written(2'000'000, 3'000'000).size()));

  worker.Clear();
  EXPECT_EQ(worker.Marks(), nullptr);
  worker.Wait();  // returns: nothing is asked for
}

// A frame being drawn holds the worker off: it finds nothing while the frame lasts, then completes.
TEST_F(DetectionPreviewWorkerTest, SitsOutAFrameAndCompletesTheSpanAfterIt) {
  constexpr int64_t kFrom = 9'000'000;
  constexpr int64_t kTo = 26'000'000;
  const int64_t waitsBefore = ForegroundWork::Waits();
  std::optional<ForegroundWork::Scope> frame(std::in_place);
  Configure();
  worker.Show(kFrom, kTo);
  for (int i = 0; i < 1000 && ForegroundWork::Waits() == waitsBefore; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  ASSERT_GT(ForegroundWork::Waits(), waitsBefore) << "the worker never stepped aside for the frame";
  const std::shared_ptr<const SpikeMarks> during = worker.Marks();
  EXPECT_TRUE(during == nullptr || during->CountBetween(kFrom, kTo) == 0);
  frame.reset();
  worker.Wait();
  ASSERT_NE(worker.Marks(), nullptr);
  EXPECT_EQ(worker.Marks()->CountBetween(kFrom, kTo), static_cast<int64_t>(Written(kFrom, kTo).size()));
}

TEST_F(DetectionPreviewWorkerTest, InvalidParametersMarkNothingAndSayWhyAsTheRunWould) {
  test::CapturedReports reports;
  run.Parameters().AlignmentPt = 40;  // past the 32-point window
  Configure();
  worker.Show(2'000'000, 3'000'000);
  worker.Wait();
  EXPECT_EQ(worker.Marks(), nullptr);
  ASSERT_EQ(reports.Count(), 1u);
  EXPECT_EQ(reports.Texts()[0],
            "Invalid Alignment Point For Extracting Paramters In SetExtractionParameters(), Alignment Point  = 39");
}

}  // namespace
}  // namespace skelvane
