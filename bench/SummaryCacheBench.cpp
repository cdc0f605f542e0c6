// What kept summaries buy: the headless snapshot (1920 wide) of the whole recording with every
// summary kept from an earlier run, against the snapshot of one record of the same files; and the
// first build of the summaries (read, summarised and written to the cache), against a plain pass over
// the same files on the same worker threads and (64 channels) against the same builds kept in memory.
// Two sets: 16 channels (SKELVANE_BENCH_DATA names a folder of CSC files, for example the 16 x 1 h
// set; otherwise 16 x SKELVANE_BENCH_MINUTES, default 10, are synthesised) and 64 channels: 64 links
// to one recording of SKELVANE_BENCH_HOURS (default 8.9) hours, which count as 64 recordings, all 64
// plots in one snapshot. Everything made, the summary cache included ($XDG_CACHE_HOME points into it),
// lives in a temporary folder removed at the end. SKELVANE_BENCH_SETS=16 or 64 runs one set only.
#include <benchmark/benchmark.h>

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "bench/BenchSignal.h"
#include "bench/PlainPass.h"
#include "bench/RatioReporter.h"
#include "datafile/DataSourceManager.h"
#include "display/CanvasSnapshot.h"
#include "display/Plot.h"
#include "platform/MemoryBitmap.h"
#include "summary/SummaryBuilder.h"
#include "summary/SummaryCache.h"
#include "tools/SyntheticRecording.h"

namespace skelvane {
namespace {

constexpr int32_t kWidth = 1920;
constexpr int32_t kHeight = 1080;
constexpr int32_t kManyChannels = 64;
constexpr int32_t kFewChannels = 16;
constexpr int32_t kPlotRows = Plot::kDefaultHeight + 3;  // a plot and its two separators
constexpr int32_t kTimeAxisAllowance = 60;               // room for the time axis under the stack
constexpr int64_t kRecordMicros = 16'000;

std::filesystem::path& Scratch() {
  static std::filesystem::path folder = [] {
    std::string pattern = (std::filesystem::temp_directory_path() / "skelvane-cache-bench-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) return std::filesystem::path();
    return std::filesystem::path(pattern);
  }();
  return folder;
}

// One set of recordings and what a snapshot of it needs.
struct Set {
  std::vector<std::string> paths;
  std::vector<RecordLayout> layouts;
  int32_t height = kHeight;
  int64_t start = 0;  // the first record's timestamp
  int64_t span = 0;   // of the whole recording
  bool ready = false;

  bool Open() {
    DataSourceManager manager;
    for (const std::string& path : paths) {
      if (manager.OpenSource(path) != 0) return false;
    }
    layouts.resize(paths.size());
    for (std::size_t i = 0; i < paths.size(); ++i) manager.GetRecordLayout(static_cast<int32_t>(i), layouts[i]);
    int64_t end = 0;
    manager.GetTimeRange(start, end);
    span = end - start;
    ready = !paths.empty();
    return ready;
  }
  SnapshotOptions Options(bool whole) const {
    SnapshotOptions options;
    options.files = paths;
    options.width = kWidth;
    options.height = height;
    if (!whole) {
      options.visibleStart = start + span / 2;
      options.visibleSpan = kRecordMicros;
    }
    return options;
  }
  // The summaries of every recording, read, summarised and kept; true when all were built.
  bool BuildAll() const {
    std::vector<std::unique_ptr<SummaryBuilder>> builders;
    for (const RecordLayout& layout : layouts) {
      builders.push_back(std::make_unique<SummaryBuilder>(layout));
      builders.back()->Start();
    }
    bool built = true;
    for (const auto& builder : builders) {
      built = builder->Wait() && builder->GetOrigin() == SummaryBuilder::Origin::Built && built;
    }
    return built;
  }
};

Set MakeFewChannels() {
  Set set;
  if (const char* data = std::getenv("SKELVANE_BENCH_DATA"); data != nullptr) {
    for (const auto& entry : std::filesystem::directory_iterator(data)) {
      if (entry.path().extension() == ".kcs") set.paths.push_back(entry.path().string());
    }
    std::sort(set.paths.begin(), set.paths.end());
  } else {
    SynthOptions options;
    options.outDir = (Scratch() / "few").string();
    options.prefix = "FC";
    options.channels = kFewChannels;
    const char* minutes = std::getenv("SKELVANE_BENCH_MINUTES");
    options.seconds = 60.0 * (minutes != nullptr ? std::atof(minutes) : 10.0);
    SynthResult result;
    if (!bench::ApplyBenchSignal(options) || SyntheticRecording::Generate(options, result) != 0) return set;
    set.paths = result.paths;
  }
  set.Open();
  return set;
}

Set MakeManyChannels() {
  Set set;
  SynthOptions options;
  options.outDir = (Scratch() / "long").string();
  options.prefix = "DAY";
  options.channels = 1;
  const char* hours = std::getenv("SKELVANE_BENCH_HOURS");
  options.seconds = 3600.0 * (hours != nullptr ? std::atof(hours) : 8.9);
  SynthResult result;
  if (!bench::ApplyBenchSignal(options) || SyntheticRecording::Generate(options, result) != 0) return set;
  for (int32_t c = 0; c < kManyChannels; ++c) {
    const std::filesystem::path link = Scratch() / "long" / ("CH" + std::to_string(c) + ".kcs");
    std::error_code ec;
    std::filesystem::create_symlink(result.paths.front(), link, ec);
    if (ec) return set;
    set.paths.push_back(link.string());
  }
  set.height = kManyChannels * kPlotRows + kTimeAxisAllowance;
  set.Open();
  return set;
}

bool Wanted(const char* name) {
  const char* sets = std::getenv("SKELVANE_BENCH_SETS");
  return sets == nullptr || std::string(sets) == name;
}

Set& Few() {
  static Set set = Wanted("16") ? MakeFewChannels() : Set{};
  return set;
}
Set& Many() {
  static Set set = Wanted("64") ? MakeManyChannels() : Set{};
  return set;
}

void ClearCache() {
  std::error_code ec;
  std::filesystem::remove_all(Scratch() / "cache", ec);
}

void PlainPass(benchmark::State& state, Set& (*set)()) {
  if (!set().ready) return state.SkipWithError("no recordings");
  for (auto _ : state) benchmark::DoNotOptimize(bench::SumFilesOnWorkers(set().layouts));
}

// Each iteration starts from an empty cache; the last one leaves every summary kept.
void FirstBuild(benchmark::State& state, Set& (*set)()) {
  if (!set().ready) return state.SkipWithError("no recordings");
  for (auto _ : state) {
    state.PauseTiming();
    ClearCache();
    state.ResumeTiming();
    if (!set().BuildAll()) state.SkipWithError("a summary was not built");
  }
}

// The same builds with the cache switched off: what keeping the summaries on disk costs.
void MemoryBuild(benchmark::State& state, Set& (*set)()) {
  if (!set().ready) return state.SkipWithError("no recordings");
  SummaryCache::Instance().SetEnabled(false);
  for (auto _ : state) {
    if (!set().BuildAll()) state.SkipWithError("a summary was not built");
  }
  SummaryCache::Instance().SetEnabled(true);
}

void Snapshot(benchmark::State& state, Set& (*set)(), bool whole) {
  if (!set().ready) return state.SkipWithError("no recordings");
  const SnapshotOptions options = set().Options(whole);
  MemoryBitmap frame;
  if (CanvasSnapshot::Render(options, frame) != 0) return state.SkipWithError("snapshot failed");  // kept from here
  for (auto _ : state) {
    if (CanvasSnapshot::Render(options, frame) != 0) state.SkipWithError("snapshot failed");
  }
}

BENCHMARK_CAPTURE(PlainPass, 16, Few)->Name("16/plain-pass")->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();
BENCHMARK_CAPTURE(FirstBuild, 16, Few)->Name("16/first-build")->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();
BENCHMARK_CAPTURE(Snapshot, 16, Few, false)->Name("16/snapshot-record")->Unit(benchmark::kMillisecond)->Iterations(5)->UseRealTime();
BENCHMARK_CAPTURE(Snapshot, 16, Few, true)->Name("16/snapshot-whole-kept")->Unit(benchmark::kMillisecond)->Iterations(5)->UseRealTime();
BENCHMARK_CAPTURE(PlainPass, 64, Many)->Name("64/plain-pass")->Unit(benchmark::kMillisecond)->Iterations(1)->UseRealTime();
BENCHMARK_CAPTURE(MemoryBuild, 64, Many)->Name("64/memory-build")->Unit(benchmark::kMillisecond)->Iterations(1)->UseRealTime();
BENCHMARK_CAPTURE(FirstBuild, 64, Many)->Name("64/first-build")->Unit(benchmark::kMillisecond)->Iterations(1)->UseRealTime();
BENCHMARK_CAPTURE(Snapshot, 64, Many, false)->Name("64/snapshot-record")->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();
BENCHMARK_CAPTURE(Snapshot, 64, Many, true)->Name("64/snapshot-whole-kept")->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();

// The time per iteration of the benchmark whose name starts with `name` (its options follow).
double TimeOf(const std::map<std::string, double>& times, const std::string& name) {
  for (const auto& [key, value] : times) {
    if (key.rfind(name + "/", 0) == 0) return value;
  }
  return 0.0;
}

void PrintRatios(const std::map<std::string, double>& times) {
  const auto ratio = [&](const std::string& figure, const std::string& baseline, double target) {
    const double a = TimeOf(times, figure);
    const double b = TimeOf(times, baseline);
    if (a <= 0.0 || b <= 0.0) return;
    std::printf("  %-24s %6.2f x %-20s", figure.c_str(), a / b, baseline.c_str());
    if (target > 0.0) std::printf(" (target: at most %.1f)", target);
    std::printf("\n");
  };
  std::printf("\nRatios from this run:\n");
  ratio("16/first-build", "16/plain-pass", 1.1);
  ratio("16/snapshot-whole-kept", "16/snapshot-record", 1.2);
  ratio("64/first-build", "64/plain-pass", 1.1);
  ratio("64/first-build", "64/memory-build", 0.0);
  ratio("64/snapshot-whole-kept", "64/snapshot-record", 1.5);
}

}  // namespace
}  // namespace skelvane

int main(int argc, char** argv) {
  using skelvane::Scratch;
  if (Scratch().empty()) return 1;
  ::setenv("XDG_CACHE_HOME", (Scratch() / "cache").c_str(), 1);
  ::setenv("LIBGL_ALWAYS_SOFTWARE", "1", 0);
  ::setenv("GALLIUM_DRIVER", "llvmpipe", 0);
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  skelvane::bench::RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  skelvane::PrintRatios(reporter.times);
  benchmark::Shutdown();
  std::error_code ec;
  std::filesystem::remove_all(Scratch(), ec);
  return 0;
}
