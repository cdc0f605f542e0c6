// The band filters against a plain pass over the same samples, in the same run: the Spike Band and
// the LFP Band per core (and per vector path, and on full-scale samples, which the folded paths do not
// take), a filtered frame drawn sample by sample (16 plots of 1920 columns of 128 samples, read from
// the files) against the same frame read raw, and a whole pass over 16 files through FilterStream
// against reading them. Every figure is printed as a ratio of processor times (the filters run on one
// thread; the machines the benches run on are shared).
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "bench/RatioReporter.h"
#include "datafile/CscRecord.h"
#include "datafile/RecordReader.h"
#include "filter/FilterDesign.h"
#include "filter/FilterStream.h"
#include "filter/FilteredRecords.h"
#include "tools/SyntheticRecording.h"

namespace {

using skelvane::FilterDesign;
using skelvane::FilterChoice;
using skelvane::FirStage;
using skelvane::kSamplesPerRecord;

constexpr double kRate = 32000.0;
constexpr int64_t kSamples = 1 << 22;  // about two minutes of one channel
constexpr int32_t kPlots = 16;
constexpr int64_t kColumns = 1920;
constexpr int64_t kSamplesPerColumn = 128;
constexpr int64_t kFrameRecords = kColumns * kSamplesPerColumn / kSamplesPerRecord;
constexpr double kSeconds = 60.0;
constexpr int64_t kHeaderBytes = 16384;

const FilterDesign& Design(const FilterChoice& chosen) {
  static std::map<std::string, FilterDesign> designs;
  auto found = designs.find(chosen.Key());
  if (found == designs.end()) {
    std::string refusal;
    found = designs.emplace(chosen.Key(), *FilterDesign::For(chosen, kRate, refusal)).first;
  }
  return found->second;
}

// Spiky noise over a slow wave (or full-scale noise), with its support on both sides and the FIR's
// read pad.
const std::vector<int16_t>& Samples(int64_t extra, bool fullScale = false) {
  static std::map<std::pair<int64_t, bool>, std::vector<int16_t>> made;
  std::vector<int16_t>& samples = made[{extra, fullScale}];
  if (samples.empty()) {
    std::mt19937 random(3);
    std::normal_distribution<double> noise(0.0, 30.0);
    std::uniform_int_distribution<int32_t> full(-32768, 32767);
    samples.resize(static_cast<std::size_t>(kSamples + extra));
    for (std::size_t i = 0; i < samples.size(); ++i) {
      samples[i] = fullScale ? static_cast<int16_t>(full(random))
                             : static_cast<int16_t>(noise(random) + 400.0 * std::sin(static_cast<double>(i) * 0.0006));
    }
  }
  return samples;
}

// 16 channels of a minute, written once for the frame and pass figures.
struct Files {
  std::string folder;
  std::vector<std::string> paths;
  ~Files() {
    std::error_code ec;
    std::filesystem::remove_all(folder, ec);
  }
};

const Files& BenchFiles() {
  static const Files files = [] {
    Files f;
    f.folder = (std::filesystem::temp_directory_path() / "skelvane-filter-bench-XXXXXX").string();
    if (::mkdtemp(f.folder.data()) == nullptr) std::abort();
    skelvane::SynthOptions options;
    options.outDir = f.folder;
    options.prefix = "CH";
    options.channels = kPlots;
    options.seconds = kSeconds;
    skelvane::SynthResult result;
    if (skelvane::SyntheticRecording::Generate(options, result) != 0) std::abort();
    f.paths = result.paths;
    return f;
  }();
  return files;
}

std::vector<skelvane::RecordReader> OpenReaders() {
  std::vector<skelvane::RecordReader> readers(BenchFiles().paths.size());
  for (std::size_t i = 0; i < readers.size(); ++i) {
    const auto records = static_cast<int64_t>((std::filesystem::file_size(BenchFiles().paths[i]) - kHeaderBytes) /
                                              skelvane::kCscRecordSize);
    if (readers[i].Open({BenchFiles().paths[i], kHeaderBytes, skelvane::kCscRecordSize, records}, true) != 0) std::abort();
  }
  return readers;
}

void SetRate(benchmark::State& state, int64_t samples) {
  state.counters["samples/s"] =
      benchmark::Counter(static_cast<double>(state.iterations()) * static_cast<double>(samples), benchmark::Counter::kIsRate);
}

// The baseline: the smallest and largest of the samples, as a plot's column does.
void BM_PlainPass(benchmark::State& state) {
  const std::vector<int16_t>& samples = Samples(0);
  for (auto _ : state) {
    int16_t low = samples[0];
    int16_t high = samples[0];
    for (const int16_t v : samples) {
      low = std::min(low, v);
      high = std::max(high, v);
    }
    benchmark::DoNotOptimize(low);
    benchmark::DoNotOptimize(high);
  }
  SetRate(state, kSamples);
}
BENCHMARK(BM_PlainPass)->Unit(benchmark::kMillisecond);

void Filter(benchmark::State& state, const FilterDesign& design, bool fullScale = false) {
  const std::vector<int16_t>& in = Samples(2 * design.HalfSupport() + FirStage::kReadPad, fullScale);
  std::vector<int16_t> out(static_cast<std::size_t>(kSamples));
  skelvane::FilterWorkspace work;
  for (auto _ : state) {
    design.Apply(in.data(), kSamples, out.data(), work);
    benchmark::DoNotOptimize(out.data());
  }
  SetRate(state, kSamples);
}

void BM_SpikeBand(benchmark::State& state) { Filter(state, Design(FilterChoice::Spike())); }
BENCHMARK(BM_SpikeBand)->Unit(benchmark::kMillisecond);

void BM_LfpBand(benchmark::State& state) { Filter(state, Design(FilterChoice::Lfp())); }
BENCHMARK(BM_LfpBand)->Unit(benchmark::kMillisecond);

void BM_SpikeBandFullScale(benchmark::State& state) { Filter(state, Design(FilterChoice::Spike()), true); }
BENCHMARK(BM_SpikeBandFullScale)->Unit(benchmark::kMillisecond);

void BM_LfpBandFullScale(benchmark::State& state) { Filter(state, Design(FilterChoice::Lfp()), true); }
BENCHMARK(BM_LfpBandFullScale)->Unit(benchmark::kMillisecond);

void BM_SpikeBandPath(benchmark::State& state) {
  const auto path = static_cast<FirStage::Path>(state.range(0));
  if (!FirStage::Supports(path)) {
    state.SkipWithError("this machine cannot run the path");
    return;
  }
  const FirStage& fir = *Design(FilterChoice::Spike()).Fir();
  const std::vector<int16_t>& in = Samples(2 * fir.HalfSupport() + FirStage::kReadPad);
  std::vector<int16_t> out(static_cast<std::size_t>(kSamples));
  for (auto _ : state) {
    fir.ApplyWith(path, in.data(), kSamples, out.data());
    benchmark::DoNotOptimize(out.data());
  }
  SetRate(state, kSamples);
}
BENCHMARK(BM_SpikeBandPath)->Arg(0)->Arg(1)->Arg(2)->Arg(3)->Unit(benchmark::kMillisecond);

// A frame at 128 samples per column: each plot's records from the middle of its file, raw.
void BM_RawFrame(benchmark::State& state) {
  const std::vector<skelvane::RecordReader> readers = OpenReaders();
  std::vector<uint8_t> raw;
  std::vector<int16_t> samples(static_cast<std::size_t>(kFrameRecords * kSamplesPerRecord));
  for (auto _ : state) {
    for (const skelvane::RecordReader& reader : readers) {
      const int64_t first = reader.NumRecords() / 2 - kFrameRecords / 2;
      if (reader.Read(first, kFrameRecords, raw) != 0) state.SkipWithError("read failed");
      for (int64_t r = 0; r < kFrameRecords; ++r) {
        skelvane::CscRecord(raw.data() + r * skelvane::kCscRecordSize).CopySamples(samples.data() + r * kSamplesPerRecord);
      }
      benchmark::DoNotOptimize(samples.data());
    }
  }
}
BENCHMARK(BM_RawFrame)->Unit(benchmark::kMillisecond);

void Frame(benchmark::State& state, const FilterDesign& design) {
  const std::vector<skelvane::RecordReader> readers = OpenReaders();
  std::vector<skelvane::FilteredRecords> filtered;
  for (const skelvane::RecordReader& reader : readers) filtered.emplace_back(reader, design, 1e6 / kRate);
  skelvane::FilteredRecords::Buffers buffers;
  std::vector<int16_t> samples(static_cast<std::size_t>(kFrameRecords * kSamplesPerRecord));
  for (auto _ : state) {
    for (const skelvane::FilteredRecords& plot : filtered) {
      const int64_t first = readers.front().NumRecords() / 2 - kFrameRecords / 2;
      if (plot.Read(first, first + kFrameRecords, samples.data(), buffers) != 0) state.SkipWithError("read failed");
      benchmark::DoNotOptimize(samples.data());
    }
  }
}

void BM_SpikeBandFrame(benchmark::State& state) { Frame(state, Design(FilterChoice::Spike())); }
BENCHMARK(BM_SpikeBandFrame)->Unit(benchmark::kMillisecond);

void BM_LfpBandFrame(benchmark::State& state) { Frame(state, Design(FilterChoice::Lfp())); }
BENCHMARK(BM_LfpBandFrame)->Unit(benchmark::kMillisecond);

// Every file read once in blocks of about 1 MiB, every sample summed.
void BM_ReadFiles(benchmark::State& state) {
  const std::vector<skelvane::RecordReader> readers = OpenReaders();
  constexpr int64_t kBlock = 1004;
  std::vector<uint8_t> raw;
  for (auto _ : state) {
    int64_t sum = 0;
    for (const skelvane::RecordReader& reader : readers) {
      for (int64_t first = 0; first < reader.NumRecords(); first += kBlock) {
        const int64_t count = std::min(kBlock, reader.NumRecords() - first);
        if (reader.Read(first, count, raw) != 0) state.SkipWithError("read failed");
        for (int64_t r = 0; r < count; ++r) {
          const skelvane::CscRecord record(raw.data() + r * skelvane::kCscRecordSize);
          for (int32_t i = 0; i < kSamplesPerRecord; ++i) sum += record.Sample(i);
        }
      }
    }
    benchmark::DoNotOptimize(sum);
  }
}
BENCHMARK(BM_ReadFiles)->Unit(benchmark::kMillisecond);

// The same reads, every record through the Spike Band's stream.
void BM_SpikeBandPass(benchmark::State& state) {
  const std::vector<skelvane::RecordReader> readers = OpenReaders();
  constexpr int64_t kBlock = 1004;
  std::vector<uint8_t> raw;
  std::vector<int16_t> samples(kSamplesPerRecord);
  for (auto _ : state) {
    int64_t sum = 0;
    for (const skelvane::RecordReader& reader : readers) {
      skelvane::FilterStream stream(Design(FilterChoice::Spike()), 1e6 / kRate);
      const auto take = [&] {
        for (; stream.Ready() > 0; stream.Pop()) sum += stream.FrontSamples()[0];
      };
      for (int64_t first = 0; first < reader.NumRecords(); first += kBlock) {
        const int64_t count = std::min(kBlock, reader.NumRecords() - first);
        if (reader.Read(first, count, raw) != 0) state.SkipWithError("read failed");
        for (int64_t r = 0; r < count; ++r) {
          const skelvane::CscRecord record(raw.data() + r * skelvane::kCscRecordSize);
          record.CopySamples(samples.data());
          stream.Push(record.Timestamp(), samples.data());
        }
        take();
      }
      stream.Finish();
      take();
    }
    benchmark::DoNotOptimize(sum);
  }
}
BENCHMARK(BM_SpikeBandPass)->Unit(benchmark::kMillisecond);

// Keeps each benchmark's processor time per iteration beside the wall time the base keeps.
class ProcessorTimeReporter : public skelvane::bench::RatioReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& run : runs) {
      if (run.run_type == Run::RT_Iteration && !run.error_occurred) processor[run.benchmark_name()] = run.GetAdjustedCPUTime();
    }
    RatioReporter::ReportRuns(runs);
  }
  std::map<std::string, double> processor;
};

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  ProcessorTimeReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  const auto& t = reporter.processor;
  const auto ratio = [&](const char* name, const char* baseline, const char* what) {
    const auto a = t.find(name);
    const auto b = t.find(baseline);
    if (a == t.end() || b == t.end() || b->second <= 0) return;
    std::printf("%s: %.2f (%.2f ms vs %.2f ms)\n", what, a->second / b->second, a->second, b->second);
  };
  std::printf("\nRatios of processor time:\n");
  ratio("BM_SpikeBand", "BM_PlainPass", "Spike Band over a plain pass (min and max) of the same samples, one core");
  ratio("BM_LfpBand", "BM_PlainPass", "LFP Band over the same plain pass");
  ratio("BM_SpikeBandFullScale", "BM_SpikeBand", "Spike Band on full-scale noise (plain paths) over the same on these samples");
  ratio("BM_LfpBandFullScale", "BM_LfpBand", "LFP Band on full-scale noise (plain paths) over the same on these samples");
  ratio("BM_SpikeBandPath/0", "BM_SpikeBandPath/2", "Spike Band, scalar path over AVX2 path");
  ratio("BM_SpikeBandPath/1", "BM_SpikeBandPath/2", "Spike Band, SSE2 path over AVX2 path");
  ratio("BM_SpikeBandPath/2", "BM_SpikeBandPath/3", "Spike Band, AVX2 path over AVX-512 path");
  ratio("BM_SpikeBandFrame", "BM_RawFrame", "Spike Band frame (16 x 1920 columns x 128 samples) over the raw one");
  ratio("BM_LfpBandFrame", "BM_RawFrame", "LFP Band frame over the raw one");
  ratio("BM_SpikeBandPass", "BM_ReadFiles", "Spike Band pass over 16 files of 60 s over reading them");
  benchmark::Shutdown();
  return 0;
}
