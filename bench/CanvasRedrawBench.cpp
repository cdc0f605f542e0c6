// Cost of a full canvas redraw (all plots, then the frame read back) of a 16-channel recording,
// fully zoomed out and zoomed in to one record, with the plots' column caches empty (cold) and
// filled (warm). Each figure is printed as a ratio to a plain read of the same samples, measured
// in the same run. SKELVANE_BENCH_MINUTES sets the recording length (default 10).
#include <benchmark/benchmark.h>

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>

#include "datafile/CscRecord.h"
#include "datafile/DataSourceManager.h"
#include "display/CscPlot.h"
#include "display/GLRenderer.h"
#include "display/PlotCanvas.h"
#include "display/PlotCollection.h"
#include "platform/PathHelpers.h"
#include "tools/SyntheticRecording.h"

namespace skelvane {
namespace {

constexpr int32_t kChannels = 16;
constexpr int32_t kCanvasWidth = 1920;
constexpr int32_t kCanvasHeight = 1080;
constexpr int32_t kPlotHeight = 60;  // 16 plots and their separators fit the canvas
constexpr int64_t kRecordMicros = 16'000;

// The recording, the sources, the plots and the renderer, made once for all benchmarks.
struct Scene {
  std::filesystem::path folder;
  DataSourceManager manager;
  PlotCollection collection;
  GLRenderer renderer;
  PlotCanvas canvas;
  int64_t dataStart = 0;
  bool ready = false;

  Scene() {
    folder = std::filesystem::temp_directory_path() / ("skelvane-bench-" + std::to_string(::getpid()));
    SynthOptions options;
    options.outDir = folder.string();
    options.prefix = "BR";
    options.channels = kChannels;
    const char* minutes = std::getenv("SKELVANE_BENCH_MINUTES");
    options.seconds = 60.0 * (minutes != nullptr ? std::atof(minutes) : 10.0);
    options.seed = 3;
    SynthResult result;
    if (SyntheticRecording::Generate(options, result) != 0) return;
    PlotCanvas::renderer = &renderer;
    PlotCanvas::plotCollection = &collection;
    PlotCanvas::dataSourceManager = &manager;
    for (const std::string& path : result.paths) {
      if (manager.OpenSource(path) != 0) return;
      if (collection.CreatePlot(FileTitleOf(path), 5, path) != 0) return;
    }
    for (int32_t i = 0; i < collection.GetNumPlots(); ++i) {
      IPlot* plot = nullptr;
      collection.GetPlot(i, plot);
      plot->SetHeight(kPlotHeight);
    }
    ViewState& v = PlotCanvas::viewState;
    v.CanvasWidth = kCanvasWidth;
    v.CanvasHeight = kCanvasHeight;
    canvas.SetMinimumSpan(kCanvasWidth);
    v.ScrollTop = 0;
    v.ScrollBottom = -kCanvasHeight;
    manager.GetTimeRange(v.DataStart, v.DataEnd);
    v.DataDuration = v.DataEnd - v.DataStart;
    dataStart = options.startTimestamp;
    ready = true;
  }
  ~Scene() {
    collection.RemoveAllPlots();
    std::error_code ec;
    std::filesystem::remove_all(folder, ec);
  }

  void ShowWholeRecording() {
    PlotCanvas::viewState.VisibleStart = PlotCanvas::viewState.DataStart;
    PlotCanvas::viewState.VisibleSpan = PlotCanvas::viewState.DataDuration;
  }
  // One record's span in the middle of the recording.
  void ShowOneRecord() {
    const int64_t records = manager.GetNumRecords(0);
    PlotCanvas::viewState.VisibleStart = dataStart + (records / 2) * kRecordMicros;
    PlotCanvas::viewState.VisibleSpan = kRecordMicros;
  }
  void ClearCaches() {
    for (int32_t i = 0; i < collection.GetNumPlots(); ++i) {
      IPlot* plot = nullptr;
      collection.GetPlot(i, plot);
      static_cast<CscPlot*>(plot)->ClearCache();
    }
  }
  bool Redraw() { return canvas.RedrawAll() == 0 && renderer.ReadBack() == 0; }

  // The baseline: every sample of the records that cover the visible span, read and summed.
  int64_t ReadVisibleSamples() {
    const ViewState& v = PlotCanvas::viewState;
    int64_t sum = 0;
    for (int32_t s = 0; s < manager.GetNumSources(); ++s) {
      const int64_t records = manager.GetNumRecords(s);
      const int64_t first = std::clamp<int64_t>((v.VisibleStart - dataStart) / kRecordMicros - 1, 0, records - 1);
      const int64_t last =
          std::clamp<int64_t>((v.VisibleStart + v.VisibleSpan - dataStart) / kRecordMicros, 0, records - 1);
      for (int64_t r = first; r <= last; ++r) {
        const uint8_t* bytes = nullptr;
        if (manager.GetRecord(r, s, bytes) != 0) continue;
        const CscRecord record(bytes);
        for (int32_t i = 0; i < kSamplesPerRecord; ++i) sum += record.Sample(i);
      }
    }
    return sum;
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

// Times each iteration by hand (the setup between iterations is not counted) and keeps the mean.
template <typename Prepare, typename Work>
void Measure(benchmark::State& state, const std::string& name, Prepare prepare, Work work) {
  Scene& scene = TheScene();
  if (!scene.ready) {
    state.SkipWithError("the synthetic recording could not be made");
    return;
  }
  double total = 0.0;
  int64_t count = 0;
  for (auto _ : state) {
    state.PauseTiming();
    prepare(scene);
    state.ResumeTiming();
    const auto begin = std::chrono::steady_clock::now();
    if (!work(scene)) state.SkipWithError("redraw failed");
    total += std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();
    ++count;
  }
  if (count > 0) SecondsPerIteration()[name] = total / count;
}

void PlainReadWhole(benchmark::State& state) {
  Measure(state, "read/whole", [](Scene& s) { s.ShowWholeRecording(); },
          [](Scene& s) { benchmark::DoNotOptimize(s.ReadVisibleSamples()); return true; });
}
void RedrawWholeCold(benchmark::State& state) {
  Measure(state, "redraw/whole/cold", [](Scene& s) { s.ShowWholeRecording(); s.ClearCaches(); },
          [](Scene& s) { return s.Redraw(); });
}
void RedrawWholeWarm(benchmark::State& state) {
  Measure(state, "redraw/whole/warm", [](Scene& s) { s.ShowWholeRecording(); },
          [](Scene& s) { return s.Redraw(); });
}
void PlainReadOneRecord(benchmark::State& state) {
  Measure(state, "read/record", [](Scene& s) { s.ShowOneRecord(); },
          [](Scene& s) { benchmark::DoNotOptimize(s.ReadVisibleSamples()); return true; });
}
void RedrawOneRecordCold(benchmark::State& state) {
  Measure(state, "redraw/record/cold", [](Scene& s) { s.ShowOneRecord(); s.ClearCaches(); },
          [](Scene& s) { return s.Redraw(); });
}
void RedrawOneRecordWarm(benchmark::State& state) {
  Measure(state, "redraw/record/warm", [](Scene& s) { s.ShowOneRecord(); },
          [](Scene& s) { return s.Redraw(); });
}

BENCHMARK(PlainReadWhole)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(RedrawWholeCold)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(RedrawWholeWarm)->Unit(benchmark::kMillisecond)->Iterations(20);
BENCHMARK(PlainReadOneRecord)->Unit(benchmark::kMillisecond)->Iterations(200);
BENCHMARK(RedrawOneRecordCold)->Unit(benchmark::kMillisecond)->Iterations(20);
BENCHMARK(RedrawOneRecordWarm)->Unit(benchmark::kMillisecond)->Iterations(20);

void PrintRatios() {
  const auto& t = SecondsPerIteration();
  auto ratio = [&](const char* figure, const char* baseline) {
    if (!t.count(figure) || !t.count(baseline) || t.at(baseline) <= 0.0) return;
    std::printf("  %-20s %10.1f x %s\n", figure, t.at(figure) / t.at(baseline), baseline);
  };
  std::printf("\nRedraw cost relative to a plain read of the same samples (same run):\n");
  ratio("redraw/whole/cold", "read/whole");
  ratio("redraw/whole/warm", "read/whole");
  ratio("redraw/record/cold", "read/record");
  ratio("redraw/record/warm", "read/record");
}

}  // namespace
}  // namespace skelvane

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  skelvane::PrintRatios();
  benchmark::Shutdown();
  return 0;
}
