// Every signal kind, and sines at random frequencies up to half the sampling rate, against a reference:
// a recording is its noise and spikes (which a wave or clipping leaves alone) plus the cosine its
// options name, held at the limits, to within the rounding to whole counts. Full-scale noise covers
// the full scale evenly, a flat line is flat, and the records served from memory are synth's files.
#include "tools/SignalKinds.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <fstream>
#include <iterator>
#include <numbers>
#include <random>
#include <string>
#include <vector>

#include "datafile/CscRecord.h"
#include "datafile/FileHeader.h"
#include "tests/support/SyntheticSources.h"
#include "tests/support/TempDir.h"
#include "tools/SyntheticRecording.h"

namespace skelvane {
namespace {

// Rounding to whole counts moves a sample by at most half a count, both in the recording and in the
// unwaved one it is compared with; the wave's phase is computed two ways, a hair apart.
constexpr double kRoundingTolerance = 1.001;

struct Samples {
  std::vector<std::vector<int16_t>> channels;
  std::vector<SynthSpike> spikes;
};

Samples SamplesOf(const SynthOptions& options) {
  test::FakeDataSourceManager manager;
  Samples made;
  const std::vector<int32_t> sources = test::AddSyntheticSources(manager, options, &made.spikes);
  EXPECT_EQ(static_cast<int32_t>(sources.size()), options.channels);
  for (const int32_t s : sources) {
    std::vector<int16_t> all;
    for (const std::vector<int16_t>& record : manager.sources[static_cast<std::size_t>(s)].samples) {
      all.insert(all.end(), record.begin(), record.end());
    }
    made.channels.push_back(std::move(all));
  }
  return made;
}

std::vector<int64_t> PeakTimes(const std::vector<SynthSpike>& spikes) {
  std::vector<int64_t> times;
  for (const SynthSpike& s : spikes) times.push_back(s.peakTimestamp);
  return times;
}

// Checks `options`' samples against those made without its wave and clipping (the base, returned),
// with the reference cosine added and the limits applied.
Samples ExpectWaveOverBase(const SynthOptions& options, const std::string& what) {
  SynthOptions unwaved = options;
  unwaved.oscillation = {};
  unwaved.clip = false;
  const Samples made = SamplesOf(options);
  const Samples base = SamplesOf(unwaved);
  EXPECT_EQ(PeakTimes(made.spikes), PeakTimes(base.spikes)) << what;
  const double lowest = options.clip ? -SyntheticSignal::kFullScale : -32768.0;
  const double highest = options.clip ? SyntheticSignal::kFullScale : 32767.0;
  for (std::size_t c = 0; c < made.channels.size(); ++c) {
    for (std::size_t n = 0; n < made.channels[c].size(); ++n) {
      const double wave = options.oscillation.counts * std::cos(2.0 * std::numbers::pi * options.oscillation.hz *
                                                                static_cast<double>(n) / options.samplingHz);
      const double unheld = base.channels[c][n] + wave;
      const double expected = std::clamp(unheld, lowest, highest);
      // Well beyond a limit, the sample is the limit itself.
      const bool held = unheld <= lowest - kRoundingTolerance || unheld >= highest + kRoundingTolerance;
      if (held ? made.channels[c][n] != expected : std::abs(made.channels[c][n] - expected) > kRoundingTolerance) {
        ADD_FAILURE() << what << ": channel " << c << " sample " << n << " is " << made.channels[c][n] << ", expected "
                      << expected;
        return base;
      }
    }
  }
  EXPECT_EQ(made.spikes.empty(), options.units == 0 || options.spikeRateHz == 0.0) << what;
  return base;
}

TEST(SignalKinds, EveryKindIsItsNoiseAndSpikesWithItsWaveAndClipping) {
  for (const SignalKind& kind : SignalKinds::All()) {
    const std::string what(kind.name);
    const SynthOptions options = test::SignalKindOptions(kind.name, 0.5, 2);
    const Samples base = ExpectWaveOverBase(options, what);
    for (const std::vector<int16_t>& samples : base.channels) {
      const auto [low, high] = std::minmax_element(samples.begin(), samples.end());
      if (options.fullScaleNoise) {
        // Every whole count of the full scale alike: both ends reached, half the samples beyond half scale.
        EXPECT_EQ(*low, -SyntheticSignal::kFullScale) << what;
        EXPECT_EQ(*high, SyntheticSignal::kFullScale) << what;
        const auto outer = std::count_if(samples.begin(), samples.end(),
                                         [](int16_t v) { return std::abs(v) > SyntheticSignal::kFullScale / 2; });
        EXPECT_NEAR(static_cast<double>(outer) / samples.size(), 0.5, 0.02) << what;
      } else if (options.noiseCounts == 0.0 && options.units == 0) {
        EXPECT_EQ(*low, 0) << what;
        EXPECT_EQ(*high, 0) << what;
      }
    }
  }
}

TEST(SignalKinds, SinesAtAnyFrequencyUpToHalfTheRateOverAnyBase) {
  std::mt19937_64 random(29);
  const auto uniform = [&random](double low, double high) {
    return std::uniform_real_distribution<double>(low, high)(random);
  };
  const std::vector<std::string> bases = {"spiky", "noise", "flat"};
  for (int32_t round = 0; round < 24; ++round) {
    const std::string& base = bases[static_cast<std::size_t>(round) % bases.size()];
    SynthOptions options = test::SignalKindOptions(base, 0.1, 1, static_cast<uint64_t>(round) + 1);
    options.samplingHz = round % 4 == 3 ? 30'000.0 : 32'000.0;
    options.oscillation.hz = round == 0 ? options.samplingHz / 2.0 : uniform(0.1, options.samplingHz / 2.0);
    options.oscillation.counts = uniform(0.0, 4000.0);
    options.clip = round % 2 == 1;
    const std::string what = base + " with " + std::to_string(options.oscillation.hz) + " Hz of " +
                             std::to_string(options.oscillation.counts) + (options.clip ? " clipped" : "");
    ExpectWaveOverBase(options, what);
  }
}

TEST(SignalKinds, ServedRecordsAreTheFilesSynthWritesInWhateverOrderTheyAreMade) {
  test::TempDir dir;
  SynthOptions options = test::SignalKindOptions("clipped", 20.0, 3);  // more records than the writer's batch
  options.outDir = dir.Path();
  options.lateChannel = 1;
  options.lateRecords = 7;
  options.missingTailRecords = {0, 0, 5};
  options.gaps = {{100, 40'000}};
  SynthResult written;
  ASSERT_EQ(SyntheticRecording::Generate(options, written), 0);
  test::FakeDataSourceManager manager;
  const std::vector<int32_t> sources = test::AddSyntheticSources(manager, options);
  ASSERT_EQ(sources.size(), 3u);
  for (std::size_t c = 0; c < 3; ++c) {
    std::ifstream in(written.paths[c], std::ios::binary);
    const std::string file(std::istreambuf_iterator<char>(in), {});
    const std::vector<uint8_t>& served = manager.sources[static_cast<std::size_t>(sources[c])].bytes;
    ASSERT_EQ(file.size(), kFileHeaderSize + served.size()) << c;
    EXPECT_EQ(std::memcmp(served.data(), file.data() + kFileHeaderSize, served.size()), 0) << c;
    EXPECT_EQ(manager.sources[static_cast<std::size_t>(sources[c])].path, "TT1" + std::string(1, 'a' + c) + ".kcs");
  }

  // Records asked for out of order, late ones first, are the same records, with noise or without.
  SynthOptions quiet = test::SignalKindOptions("flat", 20.0);
  quiet.units = 3;
  for (const SynthOptions& o : {options, quiet}) {
    SyntheticSignal inOrder;
    SyntheticSignal outOfOrder;
    ASSERT_EQ(inOrder.Plan(o), 0);
    ASSERT_EQ(outOfOrder.Plan(o), 0);
    std::vector<CscRecordData> whole(static_cast<std::size_t>(inOrder.RecordCount(0)));
    inOrder.Fill(0, 0, whole);
    std::vector<CscRecordData> late(40);
    std::vector<CscRecordData> early(40);
    outOfOrder.Fill(0, 900, late);
    outOfOrder.Fill(0, 3, early);
    for (std::size_t k = 0; k < 40; ++k) {
      EXPECT_EQ(late[k].timestamp, whole[900 + k].timestamp);
      EXPECT_EQ(late[k].samples, whole[900 + k].samples) << k;
      EXPECT_EQ(early[k].samples, whole[3 + k].samples) << k;
    }
  }
}

}  // namespace
}  // namespace skelvane
