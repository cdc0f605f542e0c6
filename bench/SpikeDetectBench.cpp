// Measures spike detection over synthetic tetrode recordings against a plain pass that sums the
// samples the detector scans, in the same run. The figure that matters is the ratio printed last.

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <map>
#include <random>
#include <set>
#include <span>
#include <string>
#include <unistd.h>
#include <vector>

#include "extract/SpikeExtractor.h"

namespace {

using skelvane::SpikeExtractor;

constexpr int kChannels = 4;
constexpr int kSamplesPerRecord = 512;
constexpr int kBlockLength = 3 * kSamplesPerRecord;
constexpr int kRecords = 258;                // 256 blocks with a previous and a next record each
constexpr double kSamplingFrequency = 32000.0;
constexpr double kNoiseSigma = 25.0;         // A/D counts
constexpr int32_t kThreshold = 125;          // five noise deviations
constexpr int32_t kSlopeThreshold = 100;     // counts per sample, about four deviations of the noise's steps
constexpr int kPoints = 32;
constexpr int kAlignmentPt = 8;
constexpr const char* kOutput = "/dev/null";

// A continuous tetrode recording: smoothed Gaussian noise plus three units firing at 10-20 spikes
// per second, each seen on all four channels with its own amplitudes.
struct Recording {
  std::vector<std::vector<int16_t>> Channels;
  std::vector<int64_t> Timestamps;
  int SpikesPerChannel = 0;

  Recording() : Channels(kChannels), Timestamps(kRecords * kSamplesPerRecord) {
    const std::size_t length = Timestamps.size();
    const double interval = 1e6 / kSamplingFrequency;
    for (std::size_t i = 0; i < length; ++i) Timestamps[i] = 5'000'000 + static_cast<int64_t>(i * interval);

    std::mt19937 random(20240611);
    std::normal_distribution<double> noise(0.0, kNoiseSigma * 1.3);
    std::vector<std::vector<double>> signal(kChannels, std::vector<double>(length));
    for (auto& channel : signal) {
      double previous = 0.0;
      for (auto& value : channel) {
        const double fresh = noise(random);
        value = 0.6 * fresh + 0.4 * previous;  // a little low-pass, as after the amplifier's filter
        previous = fresh;
      }
    }

    // Spike shape: a sharp positive peak and a slower, shallower trough, about 1 ms long.
    std::vector<double> shape(32);
    for (std::size_t j = 0; j < shape.size(); ++j) {
      const double t = static_cast<double>(j) - 6.0;
      shape[j] = std::exp(-t * t / 4.0) - 0.35 * std::exp(-(t - 8.0) * (t - 8.0) / 30.0);
    }
    const double rates[] = {10.0, 15.0, 20.0};
    const double amplitudes[3][kChannels] = {{300, 180, 120, 90}, {150, 260, 200, 140}, {110, 130, 170, 320}};
    for (int unit = 0; unit < 3; ++unit) {
      std::exponential_distribution<double> gap(rates[unit] / kSamplingFrequency);
      for (double at = gap(random); at + shape.size() < length; at += gap(random) + shape.size()) {
        const auto first = static_cast<std::size_t>(at);
        for (int k = 0; k < kChannels; ++k) {
          for (std::size_t j = 0; j < shape.size(); ++j) signal[k][first + j] += amplitudes[unit][k] * shape[j];
        }
        ++SpikesPerChannel;
      }
    }
    for (int k = 0; k < kChannels; ++k) {
      Channels[k].resize(length);
      for (std::size_t i = 0; i < length; ++i) Channels[k][i] = static_cast<int16_t>(std::lround(signal[k][i]));
    }
  }

  // Block b (0-based): records b, b + 1, b + 2 with the middle one searched, as the extraction run
  // hands them over.
  std::vector<std::span<const int16_t>> BlockChannels(int b) const {
    std::vector<std::span<const int16_t>> channels;
    for (const auto& channel : Channels) {
      channels.emplace_back(channel.data() + static_cast<std::size_t>(b) * kSamplesPerRecord, kBlockLength);
    }
    return channels;
  }
  std::span<const int64_t> BlockTimestamps(int b) const {
    return {Timestamps.data() + static_cast<std::size_t>(b) * kSamplesPerRecord, kBlockLength};
  }
};

const Recording& TheRecording() {
  static const Recording recording;
  return recording;
}

constexpr int kBlocks = kRecords - 2;
constexpr int kStart = kSamplesPerRecord;             // the current record of a block
constexpr int kSearchEnd = 2 * kSamplesPerRecord - 1;
constexpr int64_t kScannedSamplesPerBlock = int64_t{kChannels} * (kSearchEnd - kStart + 1);

void SetRate(benchmark::State& state) {
  state.counters["samples/s"] = benchmark::Counter(static_cast<double>(state.iterations()) * kBlocks *
                                                       kScannedSamplesPerBlock,
                                                   benchmark::Counter::kIsRate);
}

// The baseline: one plain pass summing the samples the detector scans in each block.
void PlainSum(benchmark::State& state) {
  const Recording& recording = TheRecording();
  std::vector<std::vector<std::span<const int16_t>>> blocks;
  for (int b = 0; b < kBlocks; ++b) blocks.push_back(recording.BlockChannels(b));
  for (auto _ : state) {
    int64_t sum = 0;
    for (const auto& block : blocks) {
      for (const auto& channel : block) {
        for (int i = kStart; i <= kSearchEnd; ++i) sum += channel[static_cast<std::size_t>(i)];
      }
    }
    benchmark::DoNotOptimize(sum);
  }
  SetRate(state);
}

void Detect(benchmark::State& state, int32_t type, int32_t mode, int32_t threshold) {
  const Recording& recording = TheRecording();
  std::vector<std::vector<std::span<const int16_t>>> blocks;
  for (int b = 0; b < kBlocks; ++b) blocks.push_back(recording.BlockChannels(b));
  SpikeExtractor extractor;
  if (extractor.SetExtractionParameters(type, mode, threshold, kPoints, kAlignmentPt, kChannels) != 0) {
    state.SkipWithError("parameters refused");
    return;
  }
  int64_t spikes = 0;
  for (auto _ : state) {
    // A fresh file per pass: the same spikes again would be refused as overlapping the last one.
    state.PauseTiming();
    extractor.OpenSpikeFile(kOutput);
    extractor.WriteSpikeFileHeader(kOutput, {});
    state.ResumeTiming();
    for (int b = 0; b < kBlocks; ++b) {
      extractor.DetectSpikes(recording.BlockTimestamps(b), blocks[static_cast<std::size_t>(b)], kStart, kSearchEnd,
                             0, kBlockLength - 1);
    }
    state.PauseTiming();
    spikes = extractor.GetSpikeCount();
    extractor.CloseSpikeFile();
    state.ResumeTiming();
  }
  SetRate(state);
  state.counters["spikes/pass"] = static_cast<double>(spikes);
  state.counters["records/s"] =
      static_cast<double>(spikes) / (static_cast<double>(kBlocks) * kSamplesPerRecord / kSamplingFrequency);
}

BENCHMARK(PlainSum)->Name("PlainSum");
BENCHMARK_CAPTURE(Detect, ThresholdPositive, SpikeExtractor::kTypePositive, SpikeExtractor::kModeThreshold,
                  kThreshold);
BENCHMARK_CAPTURE(Detect, ThresholdBoth, SpikeExtractor::kTypeBoth, SpikeExtractor::kModeThreshold, kThreshold);
BENCHMARK_CAPTURE(Detect, SlopePositive, SpikeExtractor::kTypePositive, SpikeExtractor::kModeSlope,
                  kSlopeThreshold);

// Shows the usual table and keeps each benchmark's time per pass for the summary.
class RatioReporter : public benchmark::ConsoleReporter {
 public:
  RatioReporter() : ConsoleReporter(::isatty(::fileno(stdout)) ? OO_ColorTabular : OO_Tabular) {}
  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const auto& run : runs) {
      if (run.error_occurred) continue;
      // Processor time: the machine is shared, and waiting for it is no cost of the code. With
      // repetitions the median stands for the benchmark.
      const std::string name = run.run_name.str();
      if (run.run_type == Run::RT_Aggregate && run.aggregate_name == "median") {
        seconds_[name] = run.GetAdjustedCPUTime();
        fromMedian_.insert(name);
      } else if (run.run_type == Run::RT_Iteration && !fromMedian_.count(name)) {
        seconds_[name] = run.GetAdjustedCPUTime();
      }
    }
  }
  void PrintRatios() const {
    const auto baseline = seconds_.find("PlainSum");
    if (baseline == seconds_.end() || baseline->second <= 0.0) return;
    std::printf("\nProcessor time per pass relative to the plain sum of the same samples (target: at most 1.5):\n");
    for (const auto& [name, time] : seconds_) {
      if (name != baseline->first) std::printf("  %-28s %6.2f\n", name.c_str(), time / baseline->second);
    }
  }

 private:
  std::map<std::string, double> seconds_;
  std::set<std::string> fromMedian_;
};

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  std::printf("Synthetic tetrode: %d blocks of %d x %d samples, %d spikes per channel over %.1f s\n", kBlocks,
              kBlockLength, kChannels, TheRecording().SpikesPerChannel,
              kRecords * kSamplesPerRecord / kSamplingFrequency);
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  reporter.PrintRatios();
  benchmark::Shutdown();
  return 0;
}
