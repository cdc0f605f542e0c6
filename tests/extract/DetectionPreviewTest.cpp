// The detection preview against the spike files the run writes: over random recordings (1, 2 or 4
// channels, gaps, channels out of step, times before zero, records going back in time; spiky noise,
// slow waves under the spikes, flat lines) and random parameters and band filters, the spikes the
// preview finds in any span are the file's spikes in that span. A run with a band filter writes what
// a run without one writes from recordings filtered beforehand by a pass over each whole file.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <filesystem>
#include <map>
#include <optional>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "datafile/ChannelSource.h"
#include "extract/DetectionPreview.h"
#include "extract/ExtractionRun.h"
#include "extract/LayoutSources.h"
#include "extract/RecordTimes.h"
#include "filter/FilterStream.h"
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
std::vector<int64_t> GroupTimeline(Rng& rng, int64_t start, int64_t recordSpan, bool goesBack, int64_t longest) {
  std::vector<int64_t> times;
  int64_t t = start;
  const int64_t records = Uniform(rng, 24, longest);
  for (int64_t r = 0; r < records; ++r) {
    times.push_back(t);
    int64_t step = recordSpan;
    if (Chance(rng, 0.08)) step += Uniform(rng, 1000, 200000);
    if (goesBack && r == records / 2) step = -Uniform(rng, recordSpan, 20 * recordSpan);
    t += step;
  }
  return times;
}

// Noise, spikes of either sign on some or all channels of the group, and now and then a burst; on
// some groups a slow wave of hundreds of counts under it all, on a few channels a flat line.
void AddSignal(Rng& rng, std::vector<FakeSource*>& channels, double dt) {
  std::normal_distribution<double> noise(0.0, 12.0);
  const std::size_t records = channels.front()->timestamps.size();
  const bool wave = Chance(rng, 0.3);
  const double waveHz = static_cast<double>(Uniform(rng, 2, 12));
  const double waveCounts = static_cast<double>(Uniform(rng, 200, 800));
  for (FakeSource* channel : channels) {
    channel->samples.assign(channel->timestamps.size(), std::vector<int16_t>(kSamplesPerRecord));
    if (Chance(rng, 0.08)) continue;  // flat: no noise, and whatever spikes land on it below
    for (std::size_t r = 0; r < channel->samples.size(); ++r) {
      for (int32_t i = 0; i < kSamplesPerRecord; ++i) {
        double value = noise(rng);
        if (wave) {
          const double seconds = (static_cast<double>(channel->timestamps[r]) + i * dt) / 1e6;
          value += waveCounts * std::sin(2.0 * 3.141592653589793 * waveHz * seconds);
        }
        channel->samples[r][static_cast<std::size_t>(i)] = static_cast<int16_t>(std::lround(value));
      }
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

// None half the time; else the Spike Band, the LFP Band or a Custom band, one side open at times, that
// every rate of the recordings can take.
FilterChoice RandomFilter(Rng& rng) {
  if (Chance(rng, 0.5)) return FilterChoice();
  switch (Uniform(rng, 0, 3)) {
    case 0:
    case 1:
      return FilterChoice::Spike();
    case 2:
      return FilterChoice::Lfp();
    default:
      break;
  }
  const int64_t low = Uniform(rng, 20, 3000);
  const int64_t high = Uniform(rng, low * 2, 7000);
  const int64_t sides = Uniform(rng, 0, 2);
  return FilterChoice::Custom(sides != 2 ? std::optional<double>(low) : std::nullopt,
                            sides != 1 ? std::optional<double>(high) : std::nullopt);
}

struct PreviewTally {
  std::map<DetectionPreview::Method, int> methods;
  int64_t spikesCompared = 0;
  int64_t filteredViews = 0;
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

  /// Groups of 24 to `longest` records.
  explicit RandomRecordings(Rng& rng, int64_t longest = 70);
};

RandomRecordings::RandomRecordings(Rng& rng, int64_t longest)
    : channels(std::vector<int32_t>{1, 2, 4}[Uniform(rng, 0, 2)]),
      groups(Uniform(rng, 1, 2)),
      dt(std::vector<double>{31.25, 40.0, 62.5}[Uniform(rng, 0, 2)]),
      recordSpan(std::llround(kSamplesPerRecord * dt)) {
  const int64_t start = Uniform(rng, -4'000'000, 2'000'000);  // often before zero, sometimes across it
  for (int64_t g = 0; g < groups; ++g) {
    const std::vector<int64_t> timeline = GroupTimeline(rng, start + g * 777, recordSpan, Chance(rng, 0.1), longest);
    std::vector<FakeSource*> members;
    for (int32_t k = 0; k < channels; ++k) {
      FakeSource source;
      source.path = dir.File("g" + std::to_string(g) + "c" + std::to_string(k) + ".kcs");
      source.timestamps = ChannelTimeline(rng, timeline, recordSpan);
      source.frequencies.assign(source.timestamps.size(), kFakeFrequency);
      sources.sources.push_back(std::move(source));
    }
    for (int32_t k = 0; k < channels; ++k) members.push_back(&sources.sources[sources.sources.size() - channels + k]);
    AddSignal(rng, members, dt);
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
  run.Parameters().Filter = RandomFilter(rng);
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
    DetectionPreview preview(read, parameters, group.sourceIds, group.sampleInterval, group.samplingFrequency, times,
                             group.filters);
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
      ASSERT_EQ(shown, expected) << "method " << static_cast<int>(preview.LastMethod()) << " seed " << seed
                                 << ", filter " << parameters.Filter.Text() << ", group " << group.path << ", view "
                                 << from << " + " << span
                                 << ", threshold " << parameters.Threshold << ", mode " << parameters.ExtractionMode
                                 << ", type " << parameters.ExtractionType << ", points " << parameters.NumSpikePoints
                                 << ", alignment " << parameters.AlignmentPt;
      ++tally.methods[preview.LastMethod()];
      if (!parameters.Filter.IsNone()) ++tally.filteredViews;
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
  EXPECT_GT(tally.filteredViews, 500);
}

// Every channel of `from` filtered by a pass over its whole file, as `filtered` (same timestamps,
// files of the same names in `folder`).
void FilterBeforehand(const FakeDataSourceManager& from, const std::vector<ChannelSource>& shown,
                      const FilterChoice& chosen, const std::string& folder, FakeDataSourceManager& filtered) {
  for (std::size_t i = 0; i < from.sources.size(); ++i) {
    const FakeSource& raw = from.sources[i];
    std::string refusal;
    const std::optional<FilterDesign> design = FilterDesign::For(chosen, shown[i].samplingFrequency, refusal);
    ASSERT_TRUE(design) << refusal;
    FilterStream stream(*design, shown[i].sampleInterval);
    FakeSource source;
    source.path = folder + raw.path.substr(raw.path.rfind('/'));
    const auto take = [&] {
      for (; stream.Ready() > 0; stream.Pop()) {
        source.AddRecord(stream.FrontTimestamp(), kFakeFrequency,
                         std::vector<int16_t>(stream.FrontSamples(), stream.FrontSamples() + kSamplesPerRecord));
      }
    };
    for (std::size_t r = 0; r < raw.timestamps.size(); ++r) {
      stream.Push(raw.timestamps[r], raw.samples[r].data());
      take();
    }
    stream.Finish();
    take();
    filtered.sources.push_back(std::move(source));
  }
  filtered.SealAll();
  for (std::size_t i = 0; i < filtered.sources.size(); ++i) {
    filtered.WriteFile(static_cast<int32_t>(i), filtered.sources[i].path, 0);
  }
}

// The line of `header` that starts with `key`.
std::string HeaderLine(const std::string& header, const std::string& key) {
  const std::size_t at = header.find(key);
  return at == std::string::npos ? std::string() : header.substr(at, header.find("\r\n", at) - at);
}

TEST(DetectionPreviewTest, AFilteredRunWritesWhatARunOverTheRecordingsFilteredBeforehandWrites) {
  int64_t spikes = 0;
  for (uint64_t seed = 1000; seed < 1040; ++seed) {
    Rng rng(seed);
    // Now and then longer than the blocks the run reads at a time, so that blocks meet inside segments.
    RandomRecordings recordings(rng, seed % 8 == 0 ? 2 * RecordStream::kBlockRecords : 70);
    ExtractionParameters parameters = RandomParameters(rng, recordings.channels);
    parameters.Filter = RandomFilter(rng);
    if (parameters.Filter.IsNone()) parameters.Filter = FilterChoice::Spike();
    const std::string reference = recordings.dir.File("reference");
    ASSERT_TRUE(std::filesystem::create_directory(reference));
    FakeDataSourceManager filtered;
    FilterBeforehand(recordings.sources, recordings.shown, parameters.Filter, reference, filtered);
    std::vector<ChannelSource> filteredShown = recordings.shown;
    for (std::size_t i = 0; i < filteredShown.size(); ++i) filteredShown[i].path = filtered.sources[i].path;

    ExtractionRun run(recordings.sources);
    run.Parameters() = parameters;
    run.Parameters().OutputDirectory = recordings.dir.Path();
    ExtractionRun direct(filtered);
    direct.Parameters() = parameters;
    direct.Parameters().Filter = FilterChoice();
    direct.Parameters().OutputDirectory = reference;
    {
      CapturedReports quiet;  // records going back in time are said
      ASSERT_EQ(run.CreateSpikeFiles(recordings.shown), 0);
      ASSERT_EQ(direct.CreateSpikeFiles(filteredShown), 0);
    }
    ASSERT_EQ(run.WrittenFiles().size(), direct.WrittenFiles().size());
    for (std::size_t f = 0; f < run.WrittenFiles().size(); ++f) {
      const SpikeFileContents got =
          ReadSpikeFile(run.WrittenFiles()[f].path, parameters.NumSpikePoints, recordings.channels);
      const SpikeFileContents want =
          ReadSpikeFile(direct.WrittenFiles()[f].path, parameters.NumSpikePoints, recordings.channels);
      // The waveforms and their times, and the threshold (K x the noise of the filtered samples).
      ASSERT_TRUE(got.Bytes.substr(16384) == want.Bytes.substr(16384))
          << "seed " << seed << ", filter " << parameters.Filter.Text() << ": " << got.Spikes.size() << " spikes against "
          << want.Spikes.size();
      EXPECT_EQ(HeaderLine(got.Header, "\t-ThreshVal"), HeaderLine(want.Header, "\t-ThreshVal")) << "seed " << seed;
      // The filter's line closes the header's lines, and only a filtered run's header has one.
      EXPECT_NE(got.Header.find(parameters.Filter.HeaderLine() + "\r\n\r\n"), std::string::npos);
      EXPECT_EQ(want.Header.find("-Filter"), std::string::npos);
      spikes += static_cast<int64_t>(got.Spikes.size());
    }
  }
  EXPECT_GT(spikes, 3000);
}

}  // namespace
}  // namespace skelvane
