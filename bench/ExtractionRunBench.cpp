// "Create Spike File" over a ten-minute synthetic tetrode, opened as the main window holds it,
// against the cheapest pass that touches the same data: reading every sample of the four mapped
// files once. Both run in the same process on the same warm files; the summary prints their ratio.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "bench/RatioReporter.h"
#include "datafile/CscRecord.h"
#include "datafile/DataSourceManager.h"
#include "display/PlotCanvas.h"
#include "display/PlotCollection.h"
#include "extract/ExtractionRun.h"
#include "platform/FileMapping.h"
#include "platform/PathHelpers.h"
#include "platform/ReportError.h"
#include "tools/SyntheticRecording.h"

namespace {

constexpr double kSeconds = 600.0;
constexpr int32_t kChannels = 4;
constexpr double kThreshold = 150.0;  // the demo's: 7.5 noise deviations
constexpr std::size_t kDataHeaderSize = 16384;

struct Recording {
  std::string folder;
  std::vector<std::string> files;
};

const Recording& BenchRecording() {
  static const Recording recording = [] {
    Recording r;
    r.folder = (std::filesystem::temp_directory_path() / "skelvane-bench-XXXXXX").string();
    if (::mkdtemp(r.folder.data()) == nullptr) std::abort();
    skelvane::SynthOptions options;
    options.outDir = r.folder;
    options.channels = kChannels;
    options.seconds = kSeconds;
    options.seed = 1;
    skelvane::SynthResult result;
    if (skelvane::SyntheticRecording::Generate(options, result) != 0) std::abort();
    r.files = result.paths;
    return r;
  }();
  return recording;
}

// The four files open in the window: sources, one plot each, the canvas's pointers set.
struct WindowSession {
  WindowSession() {
    skelvane::PlotCanvas::dataSourceManager = &manager;
    skelvane::PlotCanvas::plotCollection = &plots;
    for (const std::string& path : BenchRecording().files) {
      const int32_t index = manager.GetNumSources();
      int32_t type = 0;
      std::string sourcePath;
      if (manager.OpenSource(path) != 0 || manager.GetSourceFileType(index, type) != 0 ||
          manager.GetSourcePath(index, sourcePath) != 0 ||
          plots.CreatePlot(skelvane::FileTitleOf(sourcePath), type, sourcePath) != 0) {
        std::abort();
      }
    }
    skelvane::ExtractionParameters& p = run.Parameters();
    p.NumChannels = kChannels;
    p.Threshold = kThreshold;
    p.ExtractionType = skelvane::kExtractionTypeBoth;
    p.OutputDirectory = BenchRecording().folder;
  }
  ~WindowSession() {
    skelvane::PlotCanvas::dataSourceManager = nullptr;
    skelvane::PlotCanvas::plotCollection = nullptr;
  }
  skelvane::DataSourceManager manager;
  skelvane::PlotCollection plots;
  skelvane::ExtractionRun run{plots, manager};
};

void BM_ReadEverySample(benchmark::State& state) {
  BenchRecording();  // generated outside the timing
  int64_t samples = 0;
  for (auto _ : state) {
    int64_t sum = 0;
    samples = 0;
    for (const std::string& path : BenchRecording().files) {
      skelvane::FileMapping mapping;
      if (mapping.MapPath(path) != 0) state.SkipWithError("map failed");
      for (std::size_t at = kDataHeaderSize; at + skelvane::kCscRecordSize <= mapping.Size();
           at += skelvane::kCscRecordSize) {
        const skelvane::CscRecord record(mapping.Data() + at);
        for (int32_t i = 0; i < skelvane::kSamplesPerRecord; ++i) sum += record.Sample(i);
        samples += skelvane::kSamplesPerRecord;
      }
    }
    benchmark::DoNotOptimize(sum);
  }
  state.counters["samples"] = static_cast<double>(samples);
}
BENCHMARK(BM_ReadEverySample)->Unit(benchmark::kMillisecond);

void BM_CreateSpikeFiles(benchmark::State& state) {
  WindowSession session;
  const skelvane::ReportSink previous = skelvane::SetReportSink([](const std::string&) {});
  for (auto _ : state) {
    if (session.run.CreateSpikeFiles() != 0) state.SkipWithError("run failed");
  }
  skelvane::SetReportSink(previous);
  const auto& files = session.run.WrittenFiles();
  state.counters["spikes"] = files.empty() ? 0.0 : static_cast<double>(files.front().spikeCount);
}
BENCHMARK(BM_CreateSpikeFiles)->Unit(benchmark::kMillisecond);


}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  skelvane::bench::RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  const auto run = reporter.times.find("BM_CreateSpikeFiles");
  const auto pass = reporter.times.find("BM_ReadEverySample");
  if (run != reporter.times.end() && pass != reporter.times.end() && pass->second > 0) {
    std::printf("\nExtracting a %d x %.0f-second tetrode costs %.2f plain passes over its samples (%.1f ms vs %.1f ms)\n",
                kChannels, kSeconds, run->second / pass->second, run->second, pass->second);
  }
  std::error_code ec;
  std::filesystem::remove_all(BenchRecording().folder, ec);
  benchmark::Shutdown();
  return 0;
}
