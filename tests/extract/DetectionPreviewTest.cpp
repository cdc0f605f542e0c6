// The detection preview against the spike files the run writes: over random recordings (1, 2 or 4
// channels, gaps, channels out of step, times before zero, records going back in time) and random
// parameters, the spikes the preview finds in any span are the file's spikes in that span.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "datafile/ChannelSource.h"
#include "extract/DetectionPreview.h"
#include "extract/ExtractionRun.h"
#include "extract/LayoutSources.h"
#include "extract/RecordTimes.h"
#include "tests/extract/SpikeFileContents.h"
#include "tests/support/CapturedReports.h"
#include "tests/support/FakeDataSourceManager.h"
#include "tests/support/TempDir.h"

namespace skelvane {
namespace {

using namespace test;

using Rng = std::mt19937_64;

int64_t Uniform(Rng& rng, int64_t low, int64_t high) { return std::uniform_int_distribution<int64_t>(low, high)(rng); }
bool Chance(Rng& rng, double p) { return std::bernoulli_distribution(p)(rng); }

// One channel group's timeline: its record times, with gaps (some short enough to stay joined but
// long enough to break a window) and, now and then, a step back in time.
std::vector<int64_t> GroupTimeline(Rng& rng, int64_t start, int64_t recordSpan, bool goesBack) {
  std::vector<int64_t> times;
  int64_t t = start;
  const int64_t records = Uniform(rng, 24, 70);
  for (int64_t r = 0; r < records; ++r) {
    times.push_back(t);
    int64_t step = recordSpan;
    if (Chance(rng, 0.08)) step += Uniform(rng, 1000, 200000);
    if (goesBack && r == records / 2) step = -Uniform(rng, recordSpan, 20 * recordSpan);
    t += step;
  }
  return times;
}

// Noise, spikes of either sign on some or all channels of the group, and now and then a burst.
void AddSignal(Rng& rng, std::vector<FakeSource*>& channels) {
  std::normal_distribution<double> noise(0.0, 12.0);
  const std::size_t records = channels.front()->timestamps.size();
  for (FakeSource* channel : channels) {
    channel->samples.assign(channel->timestamps.size(), std::vector<int16_t>(kSamplesPerRecord));
    for (auto& record : channel->samples) {
      for (int16_t& sample : record) sample = static_cast<int16_t>(std::lround(noise(rng)));
    }
  }
  const int16_t shape[] = {10, 35, 80, 100, 70, 30, -10, -25, -15, -5};
  for (std::size_t r = 0; r < records; ++r) {
    const int64_t spikes = Chance(rng, 0.1) ? Uniform(rng, 4, 12) : Uniform(rng, 0, 2);
    for (int64_t s = 0; s < spikes; ++s) {
      // A quarter of the spikes straddle the end of a record.
      const int64_t at = Chance(rng, 0.25) ? Uniform(rng, kSamplesPerRecord - 8, kSamplesPerRecord - 1)
                                            : Uniform(rng, 0, kSamplesPerRecord - 1);
      const double amplitude = static_cast<double>(Uniform(rng, 40, 300)) * (Chance(rng, 0.5) ? 1 : -1) / 100.0;
      for (FakeSource* channel : channels) {
        if (!Chance(rng, 0.7)) continue;
        const double scale = amplitude * static_cast<double>(Uniform(rng, 50, 150)) / 100.0;
        for (int d = 0; d < 10; ++d) {
          std::size_t rr = r;
          int64_t i = at + d;
          if (i >= kSamplesPerRecord) {
            ++rr;
            i -= kSamplesPerRecord;
          }
          if (rr >= channel->samples.size()) break;
          int16_t& sample = channel->samples[rr][static_cast<std::size_t>(i)];
          sample = static_cast<int16_t>(std::clamp<double>(sample + shape[d] * scale, -32768, 32767));
        }
      }
    }
  }
}

// A channel's own records: the group's timeline with a few records more at the front, a few less,
// or one missing in the middle, so that channels go out of step.
std::vector<int64_t> ChannelTimeline(Rng& rng, std::vector<int64_t> times, int64_t recordSpan) {
  if (Chance(rng, 0.25)) {
    for (int64_t extra = Uniform(rng, 1, 3); extra > 0; --extra) times.insert(times.begin(), times.front() - recordSpan);
  } else if (Chance(rng, 0.25)) {
    times.erase(times.begin(), times.begin() + Uniform(rng, 1, 3));
  }
  if (Chance(rng, 0.15)) times.erase(times.begin() + Uniform(rng, 4, static_cast<int64_t>(times.size()) - 4));
  return times;
}

ExtractionParameters RandomParameters(Rng& rng, int32_t channels) {
  ExtractionParameters p;
  p.NumChannels = channels;
  p.ExtractionMode = Chance(rng, 0.75) ? kExtractionModeThreshold : kExtractionModeSlope;
  p.ExtractionType = static_cast<int32_t>(Uniform(rng, 0, 2));
  if (p.ExtractionMode == kExtractionModeThreshold) {
    // Mostly above the noise; sometimes within it, where crossings come back to back.
    p.Threshold = static_cast<double>(Chance(rng, 0.15) ? Uniform(rng, 0, 25) : Uniform(rng, 40, 150));
  } else {
    p.Threshold = static_cast<double>(Uniform(rng, 8, 60));
  }
  if (Chance(rng, 0.2)) p.NoiseThresholdFactor = static_cast<double>(Uniform(rng, 20, 60)) / 10.0;
  const int32_t points[] = {32, 32, 16, 40, 4};
  p.NumSpikePoints = points[Uniform(rng, 0, 4)];
  p.AlignmentPt = Chance(rng, 0.5) ? std::min(8, p.NumSpikePoints) : static_cast<int32_t>(Uniform(rng, 1, p.NumSpikePoints));
  return p;
}

struct PreviewTally {
  std::map<DetectionPreview::Method, int> methods;
  int64_t spikesCompared = 0;
};

// One or two groups of random recordings written to files, each with its plot.
struct RandomRecordings {
  TempDir dir;
  FakeDataSourceManager sources;
  std::vector<ChannelSource> shown;
  int32_t channels = 0;
  int64_t groups = 0;
  double dt = 0.0;
  int64_t recordSpan = 0;

  explicit RandomRecordings(Rng& rng);
};

RandomRecordings::RandomRecordings(Rng& rng)
    : channels(std::vector<int32_t>{1, 2, 4}[Uniform(rng, 0, 2)]),
      groups(Uniform(rng, 1, 2)),
      dt(std::vector<double>{31.25, 40.0, 62.5}[Uniform(rng, 0, 2)]),
      recordSpan(std::llround(kSamplesPerRecord * dt)) {
  const int64_t start = Uniform(rng, -4'000'000, 2'000'000);  // often before zero, sometimes across it
  for (int64_t g = 0; g < groups; ++g) {
    const std::vector<int64_t> timeline = GroupTimeline(rng, start + g * 777, recordSpan, Chance(rng, 0.1));
    std::vector<FakeSource*> members;
    for (int32_t k = 0; k < channels; ++k) {
      FakeSource source;
      source.path = dir.File("g" + std::to_string(g) + "c" + std::to_string(k) + ".kcs");
      source.timestamps = ChannelTimeline(rng, timeline, recordSpan);
      source.frequencies.assign(source.timestamps.size(), kFakeFrequency);
      sources.sources.push_back(std::move(source));
    }
    for (int32_t k = 0; k < channels; ++k) members.push_back(&sources.sources[sources.sources.size() - channels + k]);
    AddSignal(rng, members);
  }
  sources.SealAll();
  for (std::size_t i = 0; i < sources.sources.size(); ++i) {
    sources.WriteFile(static_cast<int32_t>(i), sources.sources[i].path, 0);
    shown.push_back({sources.sources[i].path, dt, 1e6 / dt, 2047});
  }
}

void CheckOneRecording(uint64_t seed, PreviewTally& tally) {
  Rng rng(seed);
  RandomRecordings recordings(rng);
  auto& [dir, sources, shown, channels, groups, dt, recordSpan] = recordings;
  ExtractionRun run(sources);
  run.Parameters() = RandomParameters(rng, channels);
  run.Parameters().OutputDirectory = dir.Path();
  const ExtractionParameters parameters = run.Parameters();
  {
    CapturedReports quiet;  // a run over records that go back in time says so
    ASSERT_EQ(run.CreateSpikeFiles(shown), 0);
  }
  std::map<std::string, std::vector<int64_t>> written;
  for (const ExtractionRun::WrittenFile& file : run.WrittenFiles()) {
    for (const auto& spike : ReadSpikeFile(file.path, parameters.NumSpikePoints, channels).Spikes) {
      written[file.path].push_back(spike.Timestamp);
    }
    std::sort(written[file.path].begin(), written[file.path].end());
  }

  // Half the time the preview reads the files by their layouts alone, as the window's worker does.
  LayoutSources layouts;
  const bool byLayout = Chance(rng, 0.5);
  for (int32_t i = 0; i < sources.GetNumSources(); ++i) {
    RecordLayout layout;
    ASSERT_EQ(sources.GetRecordLayout(i, layout), 0);
    layouts.Add(layout);
  }
  IDataSourceManager& read = byLayout ? static_cast<IDataSourceManager&>(layouts) : sources;

  CapturedReports reports;
  const std::vector<ExtractionRun::Group> planned = run.GroupsToWrite(shown);
  ASSERT_EQ(planned.size(), static_cast<std::size_t>(groups));
  const std::atomic<bool> cancel{false};
  for (const ExtractionRun::Group& group : planned) {
    std::vector<std::shared_ptr<RecordTimes>> times;
    for (const int32_t id : group.sourceIds) times.push_back(std::make_shared<RecordTimes>(read, id));
    DetectionPreview preview(read, parameters, group.sourceIds, group.sampleInterval, group.samplingFrequency, times);
    const std::vector<int64_t>& file = written[group.path];
    const FakeSource& first = sources.sources[static_cast<std::size_t>(group.sourceIds.front())];
    const int64_t low = first.timestamps.front() - 3 * recordSpan;
    const int64_t high = first.timestamps.back() + 3 * recordSpan;
    for (int view = 0; view < 12; ++view) {
      // Views begin anywhere, just before a spike, or about a record's start, where the spikes
      // of the block before the resumed walk lie.
      int64_t from = Uniform(rng, low, high);
      const int64_t near = Uniform(rng, -2 * std::llround(dt), 2);
      if (view % 3 == 1 && !file.empty()) from = file[static_cast<std::size_t>(Uniform(rng, 0, file.size() - 1))] + near;
      if (view % 3 == 2) from = first.timestamps[static_cast<std::size_t>(Uniform(rng, 0, first.timestamps.size() - 1))] + near;
      const double longest = std::log(static_cast<double>(high - low));
      const int64_t span = std::llround(std::exp(std::uniform_real_distribution<double>(0.0, longest)(rng)));
      const int64_t to = from + span;
      std::vector<int64_t> shown;
      ASSERT_TRUE(preview.SpikesBetween(from, to, shown, cancel));
      const std::vector<int64_t> expected(std::lower_bound(file.begin(), file.end(), from),
                                          std::lower_bound(file.begin(), file.end(), to));
      ASSERT_EQ(shown, expected) << "method " << static_cast<int>(preview.LastMethod()) << " seed " << seed << ", group " << group.path << ", view " << from << " + " << span
                                 << ", threshold " << parameters.Threshold << ", mode " << parameters.ExtractionMode
                                 << ", type " << parameters.ExtractionType << ", points " << parameters.NumSpikePoints
                                 << ", alignment " << parameters.AlignmentPt;
      ++tally.methods[preview.LastMethod()];
      tally.spikesCompared += static_cast<int64_t>(expected.size());
    }
  }
  EXPECT_TRUE(reports.Empty()) << "seed " << seed << ": " << reports.Texts().front();
}

TEST(DetectionPreviewTest, SpikesInAnySpanAreTheSpikeFilesSpikesInThatSpan) {
  PreviewTally tally;
  for (uint64_t seed = 1; seed <= 160; ++seed) {
    CheckOneRecording(seed, tally);
    if (::testing::Test::HasFatalFailure()) return;
  }
  // The comparison must have had something to compare, and every way of finding spikes must have run.
  EXPECT_GT(tally.spikesCompared, 20000);
  EXPECT_GT(tally.methods[DetectionPreview::Method::Resumed], 1000);
  EXPECT_GT(tally.methods[DetectionPreview::Method::FromStart], 50);
  EXPECT_GT(tally.methods[DetectionPreview::Method::WholeGroup], 20);
}

}  // namespace
}  // namespace skelvane
