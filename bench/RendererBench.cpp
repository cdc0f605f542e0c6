// Frame cost of the off-screen renderer at full-HD: 16 plots of 1920 minimum/maximum columns,
// each figure printed as a multiple of the read-back alone, measured in the same run. The plot
// frames draw what a zoomed-out trace draws (bars with a point on each end), through the masks and
// as plain segments and points; the column-pair frame draws the bare segments.

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "render/GLRenderer.h"

namespace {

constexpr int32_t kFrameWidth = 1920;
constexpr int32_t kFrameHeight = 1080;
constexpr int32_t kPlotCount = 16;
constexpr int32_t kPlotHeight = kFrameHeight / kPlotCount;
constexpr int32_t kHalfSwing = kPlotHeight / 2 - 2;
constexpr uint32_t kTraceColour = 0x00FF00;
constexpr int32_t kTraceDepth = -10;
constexpr int32_t kBackgroundDepth = -19;

struct Columns {
  std::vector<int32_t> xs;
  std::vector<int16_t> lows;
  std::vector<int16_t> highs;
};

// Noise-like min/max pairs, the shape of a zoomed-out recording.
Columns MakeColumns(uint32_t seed) {
  Columns columns;
  uint32_t state = seed * 2654435761u + 1;
  for (int32_t x = 0; x < kFrameWidth; ++x) {
    state = state * 1664525u + 1013904223u;
    const auto a = static_cast<int16_t>(static_cast<int32_t>(state >> 16) % kHalfSwing);
    state = state * 1664525u + 1013904223u;
    const auto b = static_cast<int16_t>(-static_cast<int32_t>(state >> 16) % kHalfSwing);
    columns.xs.push_back(x);
    columns.lows.push_back(b);
    columns.highs.push_back(a);
  }
  return columns;
}

skelvane::GLRenderer& Renderer() {
  static skelvane::GLRenderer renderer;
  static const bool ready =
      renderer.CreateDIBSectionOGL(kFrameWidth, kFrameHeight) == 0 && renderer.SetupRenderer() == 0;
  if (!ready) std::fprintf(stderr, "renderer could not be set up\n");
  return renderer;
}

const std::vector<Columns>& Plots() {
  static const std::vector<Columns> plots = [] {
    std::vector<Columns> made;
    for (int32_t i = 0; i < kPlotCount; ++i) made.push_back(MakeColumns(static_cast<uint32_t>(i)));
    return made;
  }();
  return plots;
}

enum class Bars { kColumnPairs, kPlotBars };

void DrawFrame(skelvane::GLRenderer& renderer, Bars bars = Bars::kColumnPairs) {
  renderer.ClearScene();
  renderer.SetProjection(0, kFrameWidth, -kFrameHeight, 0);
  const int32_t xs[] = {0, kFrameWidth, kFrameWidth, 0};
  const int32_t ys[] = {0, 0, -kFrameHeight, -kFrameHeight};
  renderer.DrawPolygon(xs, ys, 4, 0x202020, kBackgroundDepth, 1.0f);
  for (int32_t plot = 0; plot < kPlotCount; ++plot) {
    renderer.SetProjection(0, kFrameWidth, -kFrameHeight, 0);
    renderer.Translate(0.0f, static_cast<float>(-plot * kPlotHeight - kPlotHeight / 2), 0.0f);
    const Columns& columns = Plots()[static_cast<std::size_t>(plot)];
    if (bars == Bars::kPlotBars) {
      renderer.DrawColumnBars(columns.xs, columns.lows, columns.highs, kTraceColour, 1, kTraceDepth, 1.0f);
    } else {
      renderer.DrawColumnPairs(columns.xs, columns.lows, columns.highs, kTraceColour, 1, kTraceDepth, 1.0f);
    }
  }
  renderer.Flush();
}

void BM_ReadBackOnly(benchmark::State& state) {
  skelvane::GLRenderer& renderer = Renderer();
  renderer.ClearScene();
  for (auto _ : state) benchmark::DoNotOptimize(renderer.ReadBack());
}
BENCHMARK(BM_ReadBackOnly)->MeasureProcessCPUTime()->Unit(benchmark::kMillisecond);

void BM_Frame(benchmark::State& state) {
  skelvane::GLRenderer& renderer = Renderer();
  for (auto _ : state) {
    DrawFrame(renderer);
    benchmark::DoNotOptimize(renderer.ReadBack());
  }
}
BENCHMARK(BM_Frame)->MeasureProcessCPUTime()->Unit(benchmark::kMillisecond);

void PlotFrames(benchmark::State& state, bool masks, bool fill = true) {
  skelvane::GLRenderer& renderer = Renderer();
  renderer.AllowBarMasks(masks);
  renderer.AllowColumnFill(fill);
  DrawFrame(renderer, Bars::kPlotBars);  // the first frame runs the masks' self-check
  if (masks && !renderer.BarMasksInUse()) state.SkipWithError("the bar masks failed their self-check");
  for (auto _ : state) {
    DrawFrame(renderer, Bars::kPlotBars);
    benchmark::DoNotOptimize(renderer.ReadBack());
  }
  renderer.AllowBarMasks(true);
  renderer.AllowColumnFill(true);
}

// The bars written into the frame read back, where nothing else shows over them.
void BM_PlotFrameMasked(benchmark::State& state) { PlotFrames(state, true); }
BENCHMARK(BM_PlotFrameMasked)->MeasureProcessCPUTime()->Unit(benchmark::kMillisecond);

// Every bar through the masks' quads.
void BM_PlotFrameMaskedQuads(benchmark::State& state) { PlotFrames(state, true, false); }
BENCHMARK(BM_PlotFrameMaskedQuads)->MeasureProcessCPUTime()->Unit(benchmark::kMillisecond);

void BM_PlotFrameSegments(benchmark::State& state) { PlotFrames(state, false); }
BENCHMARK(BM_PlotFrameSegments)->MeasureProcessCPUTime()->Unit(benchmark::kMillisecond);

// Keeps each benchmark's best wall time and best process CPU time (the rasteriser's threads
// included) per iteration over its repetitions: other processes on a shared machine only ever
// add time, and the CPU figure is the one they disturb least.
class SummaryReporter : public benchmark::ConsoleReporter {
 public:
  struct Times {
    double wall = 0.0;
    double cpu = 0.0;
  };
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& run : runs) {
      if (run.run_type != Run::RT_Iteration || run.iterations <= 0) continue;
      const std::string name = run.run_name.function_name;
      const Times measured{run.GetAdjustedRealTime(), run.GetAdjustedCPUTime()};
      const auto known = times.find(name);
      if (known == times.end()) {
        times[name] = measured;
      } else {
        known->second.wall = std::min(known->second.wall, measured.wall);
        known->second.cpu = std::min(known->second.cpu, measured.cpu);
      }
    }
    ConsoleReporter::ReportRuns(runs);
  }
  std::map<std::string, Times> times;
};

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  SummaryReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  const auto baseline = reporter.times.find("BM_ReadBackOnly");
  if (baseline == reporter.times.end() || baseline->second.wall <= 0.0 || baseline->second.cpu <= 0.0) return 0;
  const SummaryReporter::Times base = baseline->second;
  std::printf("\n%dx%d frame, %d plots x %d min/max columns, as multiples of the read-back alone\n"
              "(read-back: %.2f ms wall, %.2f ms process CPU):\n",
              kFrameWidth, kFrameHeight, kPlotCount, kFrameWidth, base.wall, base.cpu);
  for (const auto& [name, time] : reporter.times) {
    std::printf("  %-24s %8.2f ms wall %6.1f x   %8.2f ms CPU %6.1f x\n", name.c_str(), time.wall,
                time.wall / base.wall, time.cpu, time.cpu / base.cpu);
  }
  benchmark::Shutdown();
  return 0;
}
