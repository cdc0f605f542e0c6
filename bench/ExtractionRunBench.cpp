// "Create Spike File" over synthetic tetrodes, opened as the main window holds them and extracted on
// the default number of threads, against the cheapest pass that touches the same data: reading the
// files once in 1 MiB blocks, as `cat` does; and the same run through the Spike Band against the run
// as recorded. All run in the same process on the same warm files; the summary prints the ratios
// (targets: at most 3 plain reads, the filtered run at most 2 unfiltered ones).
#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "bench/BenchSignal.h"
#include "bench/RatioReporter.h"
#include "datafile/CscRecord.h"
#include "datafile/DataSourceManager.h"
#include "display/ColorTable.h"
#include "display/PlotChannels.h"
#include "display/PlotCollection.h"
#include "extract/ExtractionRun.h"
#include "platform/FileMapping.h"
#include "platform/PathHelpers.h"
#include "platform/ReportError.h"
#include "tools/SyntheticRecording.h"

namespace {

constexpr double kSeconds = 300.0;
constexpr int32_t kChannels = 4;
constexpr int32_t kTetrodes = 4;
constexpr std::size_t kReadBlock = 1 << 20;
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
    for (int32_t t = 0; t < kTetrodes; ++t) {
      skelvane::SynthOptions options;
      options.outDir = r.folder;
      options.prefix = "TT" + std::to_string(t + 1);
      options.channels = kChannels;
      options.seconds = kSeconds;
      options.seed = static_cast<uint64_t>(t + 1);
      options.spikeRateHz = 20.0;  // three units: about 60 spikes per second per tetrode
      skelvane::SynthResult result;
      if (!skelvane::bench::ApplyBenchSignal(options) || skelvane::SyntheticRecording::Generate(options, result) != 0) {
        std::abort();
      }
      r.files.insert(r.files.end(), result.paths.begin(), result.paths.end());
    }
    return r;
  }();
  return recording;
}

// The four files open in the window: sources and one plot each.
struct WindowSession {
  explicit WindowSession(const skelvane::FilterChoice& filter = skelvane::FilterChoice()) {
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
    p.Filter = filter;
    p.OutputDirectory = BenchRecording().folder;
    run.SetJobs(0);
  }
  skelvane::DataSourceManager manager;
  skelvane::ColorTable colours;
  skelvane::PlotCollection plots{manager, colours};
  skelvane::ExtractionRun run{manager};
};

void BM_ReadEverySample(benchmark::State& state) {
  BenchRecording();  // generated outside the timing
  std::vector<char> block(kReadBlock);
  int64_t bytes = 0;
  for (auto _ : state) {
    bytes = 0;
    for (const std::string& path : BenchRecording().files) {
      const int fd = ::open(path.c_str(), O_RDONLY);
      if (fd < 0) state.SkipWithError("open failed");
      for (ssize_t n; (n = ::read(fd, block.data(), block.size())) > 0;) bytes += n;
      ::close(fd);
    }
    benchmark::DoNotOptimize(bytes);
  }
  state.counters["bytes"] = static_cast<double>(bytes);
}
BENCHMARK(BM_ReadEverySample)->Unit(benchmark::kMillisecond);

void CreateSpikeFiles(benchmark::State& state, const skelvane::FilterChoice& filter) {
  WindowSession session(filter);
  const skelvane::ReportSink previous = skelvane::SetReportSink([](const std::string&) {});
  for (auto _ : state) {
    if (session.run.CreateSpikeFiles(skelvane::PlotChannels::Of(session.plots)) != 0) {
      state.SkipWithError("run failed");
    }
  }
  skelvane::SetReportSink(previous);
  const auto& files = session.run.WrittenFiles();
  state.counters["spikes"] = files.empty() ? 0.0 : static_cast<double>(files.front().spikeCount);
}

void BM_CreateSpikeFiles(benchmark::State& state) { CreateSpikeFiles(state, skelvane::FilterChoice()); }
BENCHMARK(BM_CreateSpikeFiles)->Unit(benchmark::kMillisecond);

void BM_CreateSpikeFilesSpikeBand(benchmark::State& state) { CreateSpikeFiles(state, skelvane::FilterChoice::Spike()); }
BENCHMARK(BM_CreateSpikeFilesSpikeBand)->Unit(benchmark::kMillisecond);


}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  skelvane::bench::RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  const auto run = reporter.times.find("BM_CreateSpikeFiles");
  const auto pass = reporter.times.find("BM_ReadEverySample");
  if (run != reporter.times.end() && pass != reporter.times.end() && pass->second > 0) {
    std::printf("\nExtracting %d tetrodes of %.0f s costs %.2f plain reads of their files (%.1f ms vs %.1f ms; "
                "target: at most 3)\n",
                kTetrodes, kSeconds, run->second / pass->second, run->second, pass->second);
  }
  const auto band = reporter.times.find("BM_CreateSpikeFilesSpikeBand");
  if (run != reporter.times.end() && band != reporter.times.end() && run->second > 0) {
    std::printf("Extracting them through the Spike Band costs %.2f unfiltered runs (%.1f ms vs %.1f ms; target: at "
                "most 2)\n",
                band->second / run->second, band->second, run->second);
  }
  std::error_code ec;
  std::filesystem::remove_all(BenchRecording().folder, ec);
  benchmark::Shutdown();
  return 0;
}
