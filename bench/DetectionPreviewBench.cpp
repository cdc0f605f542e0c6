// What showing detected spikes costs a 1920 x 1080 frame of 16 channels, at spans of 1 s and 10 s:
// every iteration pages to a span not seen before (the plots rebuild their columns), and the frame is
// timed without marks, with the marks already found (the ticks alone), with the worker asked for the
// new span's marks as the frame begins (it sits the frame out, as it does in the window), and as if
// the marks were found first on the drawing thread. The time the worker takes to
// complete a span is given too, and once, the first marks at the end of the recording: reading every
// record time before them, and again with the recordings' summaries kept on disk (whose record times
// are taken instead; the summaries are made first, in a folder of the run). Each figure is printed as a ratio to the frame without marks in the
// same run. SKELVANE_BENCH_DATA names a folder of CSC files (for example the 16 x 1 h set);
// otherwise a recording of SKELVANE_BENCH_MINUTES (default 10) is synthesised.
#include <benchmark/benchmark.h>

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "bench/BenchScene.h"
#include "datafile/CscRecord.h"
#include "datafile/DataSourceManager.h"
#include "display/ColorTable.h"
#include "display/CscPlot.h"
#include "display/PlotCanvas.h"
#include "display/PlotChannels.h"
#include "display/PlotCollection.h"
#include "spikes/SpikeMarks.h"
#include "extract/DetectionPreviewWorker.h"
#include "extract/ExtractionRun.h"
#include "platform/ForegroundWork.h"
#include "platform/PathHelpers.h"
#include "render/GLRenderer.h"
#include "summary/SummaryBuilder.h"
#include "summary/SummaryCache.h"
#include "tools/SyntheticRecording.h"

namespace skelvane {
namespace {

constexpr int32_t kChannels = 16;
constexpr int32_t kCanvasWidth = 1920;
constexpr int32_t kCanvasHeight = 1080;
constexpr int32_t kPlotHeight = 60;  // 16 plots and their separators fit the canvas
constexpr int32_t kGroupChannels = 4;
constexpr double kThreshold = 100.0;  // five times the synthetic noise
constexpr int64_t kPageStride = 7919;  // pages visited in a scattered order, none twice

struct Scene : bench::DisplayScene {
  bench::BenchRecordings recordings{"DP", kChannels, 3};
  ExtractionRun run{manager};
  int64_t dataStart = 0;
  int64_t dataEnd = 0;
  int64_t page = 0;
  bool ready = false;

  Scene() {
    if (!AddPlots(recordings.Paths(), kPlotHeight)) return;
    SetCanvas(kCanvasWidth, kCanvasHeight);
    const uint8_t* first = nullptr;
    const uint8_t* last = nullptr;
    if (manager.GetRecord(0, 0, first) != 0 || manager.GetRecord(manager.GetNumRecords(0) - 1, 0, last) != 0) return;
    dataStart = CscRecord(first).Timestamp();
    dataEnd = CscRecord(last).Timestamp();
    run.Parameters().NumChannels = kGroupChannels;
    run.Parameters().Threshold = kThreshold;
    run.Parameters().ExtractionType = kExtractionTypeBoth;
    ready = true;
  }

  // A span of `span` microseconds never shown before in this run.
  void NextPage(int64_t span) {
    const int64_t pages = std::max<int64_t>((dataEnd - dataStart) / span - 1, 1);
    view.VisibleStart = dataStart + (++page * kPageStride) % pages * span;
    view.VisibleSpan = span;
  }
  void Configure(DetectionPreviewWorker& worker) {
    worker.Configure(run.Parameters(),
                     DetectionPreviewWorker::Locate(manager, run.GroupsToWrite(PlotChannels::Of(collection))));
  }
  void ShowMarks(DetectionPreviewWorker& worker) { worker.Show(view.VisibleStart, view.VisibleStart + view.VisibleSpan); }
  // As the window draws a frame: background work sits it out.
  bool Redraw() {
    const ForegroundWork::Scope frame;
    return canvas.RedrawAll() == 0 && renderer.ReadBack() == 0;
  }
};

Scene& TheScene() {
  static Scene scene;
  return scene;
}

std::map<std::string, double>& SecondsPerIteration() {
  static std::map<std::string, double> seconds;
  return seconds;
}

// Every repetition's iterations of a figure, summed: the figures above are their means.
struct Totals {
  double seconds = 0.0;
  int64_t count = 0;
};
std::map<std::string, Totals>& AllRepetitions() {
  static std::map<std::string, Totals> totals;
  return totals;
}

// Seconds a worker just configured takes to complete the marks of the last second of the recording.
double FirstMarksAtTheEnd(Scene& scene, DetectionPreviewWorker& worker) {
  scene.Configure(worker);
  const auto begin = std::chrono::steady_clock::now();
  worker.Show(scene.dataEnd - 1'000'000, scene.dataEnd);
  worker.Wait();
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();
}

// One worker for all the figures, configured once: the record times it reads the first time it
// resumes near the end of the recording are read once, as in the window, and timed on their own.
DetectionPreviewWorker& TheWorker() {
  static DetectionPreviewWorker worker;
  static const bool warmed = [] {
    Scene& scene = TheScene();
    if (!scene.ready) return false;
    SecondsPerIteration()["first marks at the end"] = FirstMarksAtTheEnd(scene, worker);
    return true;
  }();
  (void)warmed;
  return worker;
}

// Times each iteration by hand (the setup before it and the tidying after it are not counted).
template <typename Prepare, typename Work, typename After>
void Measure(benchmark::State& state, const std::string& name, Prepare prepare, Work work, After after) {
  Scene& scene = TheScene();
  if (!scene.ready) {
    state.SkipWithError("the recording could not be opened");
    return;
  }
  DetectionPreviewWorker& worker = TheWorker();
  // Every figure pages through the same spans, with a worker that has found nothing in them yet:
  // frames cost more or less with where they fall, so figures are only compared over the same spans.
  scene.page = 0;
  worker.Clear();
  scene.Configure(worker);
  double total = 0.0;
  int64_t count = 0;
  for (auto _ : state) {
    state.PauseTiming();
    prepare(scene, worker);
    state.ResumeTiming();
    const auto begin = std::chrono::steady_clock::now();
    if (!work(scene, worker)) state.SkipWithError("redraw failed");
    total += std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();
    ++count;
    state.PauseTiming();
    after(scene, worker);
    state.ResumeTiming();
  }
  scene.canvas.SetSpikeMarks(nullptr);
  Totals& totals = AllRepetitions()[name];
  totals.seconds += total;
  totals.count += count;
  if (totals.count > 0) SecondsPerIteration()[name] = totals.seconds / static_cast<double>(totals.count);
}

std::string Named(const char* what, int64_t span) { return std::string(what) + "/" + std::to_string(span / 1'000'000) + "s"; }

void Frame(benchmark::State& state) {
  const int64_t span = state.range(0);
  Measure(
      state, Named("frame", span), [span](Scene& s, DetectionPreviewWorker&) { s.NextPage(span); },
      [](Scene& s, DetectionPreviewWorker&) { return s.Redraw(); }, [](Scene&, DetectionPreviewWorker&) {});
}

// The marks found before the frame: what every frame costs once the worker has filled them in.
void FrameWithMarks(benchmark::State& state) {
  const int64_t span = state.range(0);
  Measure(
      state, Named("frame+ticks", span),
      [span](Scene& s, DetectionPreviewWorker& worker) {
        s.NextPage(span);
        s.ShowMarks(worker);
        worker.Wait();
        s.canvas.SetSpikeMarks(worker.Marks());
      },
      [](Scene& s, DetectionPreviewWorker&) { return s.Redraw(); }, [](Scene&, DetectionPreviewWorker&) {});
}

// The frame drawn just after the worker was asked for the marks of the new span (it then has none
// yet, and steps aside until the frame is done).
void FrameWhileWorking(benchmark::State& state) {
  const int64_t span = state.range(0);
  Measure(
      state, Named("frame|worker", span),
      [span](Scene& s, DetectionPreviewWorker&) {
        s.NextPage(span);
        s.canvas.SetSpikeMarks(nullptr);
      },
      [](Scene& s, DetectionPreviewWorker& worker) {
        s.ShowMarks(worker);
        return s.Redraw();
      },
      [](Scene&, DetectionPreviewWorker& worker) { worker.Wait(); });
}

// How long the worker takes to complete the marks of a new span.
void MarksOfASpan(benchmark::State& state) {
  const int64_t span = state.range(0);
  Measure(
      state, Named("marks", span), [span](Scene& s, DetectionPreviewWorker&) { s.NextPage(span); },
      [](Scene& s, DetectionPreviewWorker& worker) {
        s.ShowMarks(worker);
        worker.Wait();
        return worker.Marks() != nullptr;
      },
      [](Scene&, DetectionPreviewWorker&) {});
}

// The marks found first and then drawn, all on one thread: what a frame would cost without the worker.
void FrameAfterMarks(benchmark::State& state) {
  const int64_t span = state.range(0);
  Measure(
      state, Named("marks,frame", span), [span](Scene& s, DetectionPreviewWorker&) { s.NextPage(span); },
      [](Scene& s, DetectionPreviewWorker& worker) {
        s.ShowMarks(worker);
        worker.Wait();
        s.canvas.SetSpikeMarks(worker.Marks());
        return s.Redraw();
      },
      [](Scene&, DetectionPreviewWorker&) {});
}

constexpr int64_t kOneSecond = 1'000'000;
constexpr int64_t kTenSeconds = 10'000'000;
// Repeated, the repetitions of every figure shuffled among each other's (see main): a figure and its
// baseline are then measured over the same stretch of the run, not one after the other.
#define SPANS ->Arg(kOneSecond)->Arg(kTenSeconds)->Unit(benchmark::kMillisecond)->Iterations(30)->Repetitions(8)->UseRealTime()
BENCHMARK(Frame) SPANS;
BENCHMARK(FrameWithMarks) SPANS;
BENCHMARK(FrameWhileWorking) SPANS;
BENCHMARK(MarksOfASpan) SPANS;
BENCHMARK(FrameAfterMarks) SPANS;

// A fresh worker's first marks at the end, with every recording's summary kept on disk.
void FirstMarksWithKeptSummaries() {
  Scene& scene = TheScene();
  if (!scene.ready) return;
  const std::filesystem::path cacheHome =
      std::filesystem::temp_directory_path() / ("skelvane-bench-cache-" + std::to_string(::getpid()));
  ::setenv("XDG_CACHE_HOME", cacheHome.c_str(), 1);
  SummaryCache::Instance().SetEnabled(true);
  bool kept = true;
  for (int32_t source = 0; source < scene.manager.GetNumSources(); ++source) {
    RecordLayout layout;
    if (scene.manager.GetRecordLayout(source, layout) != 0) kept = false;
    SummaryBuilder builder(layout);
    builder.Start();
    kept = kept && builder.Wait();
  }
  if (kept) {
    DetectionPreviewWorker worker;
    SecondsPerIteration()["first marks at the end, kept summaries"] = FirstMarksAtTheEnd(scene, worker);
  }
  SummaryCache::Instance().SetEnabled(false);
  std::error_code ec;
  std::filesystem::remove_all(cacheHome, ec);
}

void PrintRatios() {
  const auto& t = SecondsPerIteration();
  if (t.count("first marks at the end")) {
    std::printf("\nFirst marks of the preview, 1 s at the end of the recording: %.0f ms (once per session)\n",
                1e3 * t.at("first marks at the end"));
  }
  if (t.count("first marks at the end, kept summaries")) {
    std::printf("The same with the recordings' summaries kept on disk: %.0f ms\n",
                1e3 * t.at("first marks at the end, kept summaries"));
  }
  std::printf("\nAgainst the frame without marks of a new span of the same length (same run):\n");
  for (const int64_t span : {kOneSecond, kTenSeconds}) {
    const std::string baseline = Named("frame", span);
    if (!t.count(baseline) || t.at(baseline) <= 0.0) continue;
    for (const char* figure : {"frame+ticks", "frame|worker", "marks", "marks,frame"}) {
      const std::string name = Named(figure, span);
      if (t.count(name)) std::printf("  %-18s %8.2f x %s (%.1f ms)\n", name.c_str(), t.at(name) / t.at(baseline), baseline.c_str(), 1e3 * t.at(name));
    }
  }
}

}  // namespace
}  // namespace skelvane

int main(int argc, char** argv) {
  skelvane::SummaryCache::Instance().SetEnabled(false);
  // Repetitions run interleaved in a random order unless the command line says otherwise.
  std::vector<char*> args(argv, argv + argc);
  std::string interleave = "--benchmark_enable_random_interleaving=true";
  args.insert(args.begin() + 1, interleave.data());
  int count = static_cast<int>(args.size());
  benchmark::Initialize(&count, args.data());
  argc = count;
  argv = args.data();
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  skelvane::FirstMarksWithKeptSummaries();
  skelvane::PrintRatios();
  benchmark::Shutdown();
  return 0;
}
