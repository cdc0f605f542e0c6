// The detection preview's worker on a synthetic tetrode opened as the window opens it: the marks it
// hands out are the spike file's spikes on every trace of the group, a span is worked out once per
// parameters, new parameters or a cleared preview drop the old marks, and a frame being drawn holds
// the worker off. On recordings whose timestamps jump to absurd values, never increase, cross or are
// random, the whole span and a step to the next spike finish, with the run's spikes.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <future>
#include <limits>
#include <mutex>
#include <random>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "datafile/ChannelSource.h"
#include "datafile/CscRecord.h"
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

// Ends the test program with a failure when the case it guards is still running after a minute: a
// preview that hangs must fail the suite, not stall it. A bound on hanging, not a speed threshold.
class Watchdog {
 public:
  explicit Watchdog(std::string what)
      : what_(std::move(what)), thread_([this] {
          std::unique_lock lock(mutex_);
          if (done_.wait_for(lock, std::chrono::seconds(60), [this] { return over_; })) return;
          std::fprintf(stderr, "Still running after 60 s, taken as a hang: %s\n", what_.c_str());
          std::_Exit(EXIT_FAILURE);
        }) {}
  ~Watchdog() {
    {
      std::lock_guard lock(mutex_);
      over_ = true;
    }
    done_.notify_all();
    thread_.join();
  }

 private:
  std::string what_;
  std::mutex mutex_;
  std::condition_variable done_;
  bool over_ = false;
  std::thread thread_;
};

// Rewrites the timestamps of a recording written by the generator: `stamp(record, timestamp)`.
template <typename Stamp>
void Restamp(const std::string& path, Stamp stamp) {
  RecordLayout layout;
  {
    DataSourceManager probe;
    ASSERT_EQ(probe.OpenSource(path), 0);
    ASSERT_EQ(probe.GetRecordLayout(0, layout), 0);
  }
  std::fstream file(path, std::ios::in | std::ios::out | std::ios::binary);
  for (int64_t r = 0; r < layout.numRecords; ++r) {
    const std::streamoff at = layout.dataOffset + r * layout.recordSize;
    int64_t timestamp = 0;
    file.seekg(at);
    file.read(reinterpret_cast<char*>(&timestamp), sizeof timestamp);
    timestamp = stamp(r, layout.numRecords, timestamp);
    file.seekp(at);
    file.write(reinterpret_cast<const char*>(&timestamp), sizeof timestamp);
  }
  ASSERT_TRUE(file.good());
}

struct HostileTimes {
  const char* name;
  int32_t channels;
  bool filtered;
  // The new timestamp of a record of channel `channel`.
  int64_t (*stamp)(int32_t channel, int64_t record, int64_t records, int64_t timestamp);
};

const HostileTimes kHostileTimes[] = {
    {"last record at bit 44", 1, false,
     [](int32_t, int64_t r, int64_t n, int64_t t) { return r + 1 == n ? t | (int64_t{1} << 44) : t; }},
    {"last record at bit 48", 1, true,
     [](int32_t, int64_t r, int64_t n, int64_t t) { return r + 1 == n ? t | (int64_t{1} << 48) : t; }},
    {"last record at bit 56", 2, true,
     [](int32_t, int64_t r, int64_t n, int64_t t) { return r + 1 == n ? t | (int64_t{1} << 56) : t; }},
    {"every record at the least time", 2, false,
     [](int32_t, int64_t, int64_t, int64_t) { return std::numeric_limits<int64_t>::min(); }},
    {"channels crossing in time", 2, false,
     [](int32_t c, int64_t r, int64_t n, int64_t) { return (c == 0 ? r : n - r) * int64_t{16'000}; }},
    {"random times", 2, false,
     [](int32_t c, int64_t r, int64_t, int64_t) {
       std::mt19937_64 random(static_cast<uint64_t>(r * 7 + c));
       return static_cast<int64_t>(random());
     }},
};

TEST(DetectionPreviewWorkerBoundTest, AbsurdTimestampsFinishTheWholeSpanAndAStepWithTheRunsSpikes) {
  for (const HostileTimes& hostile : kHostileTimes) {
    SCOPED_TRACE(hostile.name);
    test::TempDir dir;
    SynthOptions options;
    options.outDir = dir.Path();
    options.channels = hostile.channels;
    options.seconds = 6.0;
    options.seed = 11;
    SynthResult synth;
    ASSERT_EQ(SyntheticRecording::Generate(options, synth), 0);
    for (int32_t c = 0; c < hostile.channels; ++c) {
      Restamp(synth.paths[static_cast<std::size_t>(c)],
              [&](int64_t r, int64_t n, int64_t t) { return hostile.stamp(c, r, n, t); });
    }
    test::CapturedReports reports;  // times that never increase or go back are said
    DataSourceManager sources;
    std::vector<ChannelSource> channels;
    int64_t first = std::numeric_limits<int64_t>::max();
    int64_t last = std::numeric_limits<int64_t>::min();
    for (const std::string& path : synth.paths) {
      ASSERT_EQ(sources.OpenSource(path), 0);
      const int32_t id = sources.GetNumSources() - 1;
      channels.push_back(ChannelSource::Measured(sources, id));
      for (int64_t r = 0; r < sources.GetNumRecords(id); ++r) {
        const uint8_t* record = nullptr;
        ASSERT_EQ(sources.GetRecord(r, id, record), 0);
        const int64_t t = CscRecord(record).Timestamp();
        first = std::min(first, t);
        last = std::max(last, t);
      }
    }
    ExtractionRun run(sources);
    run.Parameters().NumChannels = hostile.channels;
    run.Parameters().Threshold = 90;
    run.Parameters().OutputDirectory = dir.Path();
    if (hostile.filtered) run.Parameters().Filter = FilterChoice::Spike();
    ASSERT_EQ(run.CreateSpikeFiles(channels), 0) << reports.Texts().back();
    ASSERT_EQ(run.WrittenFiles().size(), 1u);
    const ExtractionRun::WrittenFile& file = run.WrittenFiles()[0];
    std::vector<int64_t> written;
    if (file.complete) {
      for (const auto& spike : test::ReadSpikeFile(file.path, 32, hostile.channels).Spikes) {
        written.push_back(spike.Timestamp);
      }
    }
    std::sort(written.begin(), written.end());
    const int64_t end = last == std::numeric_limits<int64_t>::max() ? last : last + 1;

    const Watchdog watchdog(hostile.name);
    DetectionPreviewWorker worker;
    worker.Configure(run.Parameters(), DetectionPreviewWorker::Locate(sources, run.GroupsToWrite(channels)));
    worker.Show(first, end);
    worker.Wait();
    ASSERT_NE(worker.Marks(), nullptr);
    EXPECT_EQ(worker.Marks()->CountBetween(first, end), static_cast<int64_t>(written.size()));
    // A step from the start to the next spike, the whole recording away at most.
    std::promise<std::optional<int64_t>> step;
    worker.Seek(first, true, end, [&](std::optional<int64_t> found) { step.set_value(found); });
    const std::optional<int64_t> next = step.get_future().get();
    const auto after = std::upper_bound(written.begin(), written.end(), first);
    EXPECT_EQ(next, after != written.end() ? std::optional<int64_t>(*after) : std::nullopt);
  }
}

}  // namespace
}  // namespace skelvane
