// Cost of a full canvas redraw (all plots, then the frame read back) of a 16-channel recording,
// fully zoomed out and zoomed in to one record, with the plots' column caches empty (cold) and
// filled (warm), once the source summaries exist; and the cost of building those summaries. Each
// figure is printed as a ratio to a baseline measured in the same run: the whole-recording frame
// against the one-record frame, the summary build against a plain pread pass summing every sample
// on the same worker threads. A sweep of spans from one record to the whole recording prints one
// line per span, `span_us=N frame_ms=F ratio=R`: the median cold frame over rounds that visit every
// span in turn (so a busy spell on the host hits all spans alike), against the one-record frame, and
// the CPU time of the first round's frame of each span, whose samples no earlier frame read (but the
// whole recording's, drawn once to build the summaries).
// The window sweep does what scripts/latency-xvfb.sh does in the real window, on the window's canvas
// (SKELVANE_BENCH_CANVAS=WxH, by default that of a 1920 x 1080 window) with the plots at their default
// height, the stack scrolled and the columns kept from frame to frame as the window keeps them: from
// one record out to the whole recording and back, a zoom, a page and a scroll down and up at each span,
// each action timed as one frame and printed as `span_us=N frame_ms=F ratio=R` against the median
// one-record frame of the same run (SKELVANE_BENCH_ROUNDS passes, default 3, the median of each).
// Between its frames the window sweep works out the columns of the views ahead, untimed, as the
// window does while the user looks (SKELVANE_BENCH_AHEAD=0 leaves that out).
// SKELVANE_BENCH_FRESH=1 moves each round of the span sweep on to data no earlier round drew, so
// that every frame of it is a first visit. The frames' buffers stay in the heap, its pages in place,
// as the viewer keeps them (FrameHeap).
// SKELVANE_BENCH_DATA names a folder of CSC files to use (for example the 16 x 1 h set); otherwise
// a recording of SKELVANE_BENCH_MINUTES (default 10) is synthesised. SKELVANE_BENCH_GAIN sets every
// plot's amplitude gain (1 by default): slow waves cost more at high gains, where their rows are finer.
// SKELVANE_BENCH_FILTER=spike|lfp|LO:HI adds the filtered figures: the sweep again with every span
// drawn raw and through the band (each filtered frame against the raw one-record frame of the same
// rounds), and the first filtered whole view (the filtered summaries built on the workers, then the
// frame) against the plain pass, and the same view once an earlier open kept those summaries on disk.
#include <benchmark/benchmark.h>

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <ctime>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <vector>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <iterator>
#include <map>
#include <optional>
#include <string>
#include <utility>

#include "bench/BenchScene.h"
#include "bench/PlainPass.h"
#include "bench/ProcessTime.h"
#include "datafile/CscRecord.h"
#include "datafile/DataSourceManager.h"
#include "display/ColorTable.h"
#include "display/ColumnsAhead.h"
#include "display/CscPlot.h"
#include "display/PlotCanvas.h"
#include "display/PlotCollection.h"
#include "display/ViewModel.h"
#include "filter/FilterChoice.h"
#include "platform/File.h"
#include "platform/FrameHeap.h"
#include "platform/PathHelpers.h"
#include "render/GLRenderer.h"
#include "summary/SummaryBuilder.h"
#include "summary/SummaryCache.h"
#include "summary/SummaryWorkerPool.h"
#include "tools/SyntheticRecording.h"

namespace skelvane {
namespace {

constexpr int32_t kChannels = 16;
constexpr int32_t kCanvasWidth = 1920;
constexpr int32_t kCanvasHeight = 1080;
constexpr int32_t kPlotHeight = 60;  // 16 plots and their separators fit the canvas
constexpr int64_t kRecordMicros = 16'000;

// The recording, the sources, the plots and the renderer, made once for all benchmarks.
struct Scene : bench::DisplayScene {
  bench::BenchRecordings recordings{"BR", kChannels, 3};
  int64_t dataStart = 0;
  bool ready = false;

  Scene() {
    if (!MakePlots()) return;
    SetCanvas(kCanvasWidth, kCanvasHeight);
    canvas.SetMinimumSpan(kCanvasWidth);
    const uint8_t* first = nullptr;
    if (manager.GetRecord(0, 0, first) != 0) return;
    dataStart = CscRecord(first).Timestamp();
    // The plots build their summaries as the first whole-recording redraw asks for them.
    ShowWholeRecording();
    canvas.RedrawAll();
    for (CscPlot* plot : Plots()) plot->WaitForSummary();
    ready = true;
  }

  // A plot per source, as opening them makes: no summary, no filter. The sources go with their plots.
  bool MakePlots() {
    collection.RemoveAllPlots();
    if (recordings.Paths().empty() || !AddPlots(recordings.Paths(), kPlotHeight)) return false;
    const char* gainText = std::getenv("SKELVANE_BENCH_GAIN");
    const double gain = gainText != nullptr ? std::atof(gainText) : 1.0;
    if (gain > 0.0) {
      for (CscPlot* plot : Plots()) canvas.SetAmplitudeGain(plot->GetPath(), gain);
    }
    return true;
  }
  bool SetFilter(const FilterChoice& filter) {
    bool ok = true;
    std::string refusal;
    for (CscPlot* plot : Plots()) ok = plot->SetFilter(filter, refusal) && ok;
    return ok;
  }
  // The frame as the window first shows it: the plots start their summaries, which the workers build
  // while nothing is drawn of them, and the frame once they are there.
  bool RedrawOnceBuilt() {
    if (!Redraw()) return false;
    for (CscPlot* plot : Plots()) plot->WaitForSummary();
    return Redraw();
  }

  std::vector<RecordLayout> Layouts() {
    std::vector<RecordLayout> layouts(static_cast<std::size_t>(manager.GetNumSources()));
    for (int32_t s = 0; s < manager.GetNumSources(); ++s) {
      manager.GetRecordLayout(s, layouts[static_cast<std::size_t>(s)]);
    }
    return layouts;
  }

  // Builds a fresh summary of every source on the worker pool and waits for them all.
  bool BuildSummaries() {
    std::vector<std::unique_ptr<SummaryBuilder>> builders;
    for (const RecordLayout& layout : Layouts()) {
      builders.push_back(std::make_unique<SummaryBuilder>(layout));
      builders.back()->Start();
    }
    bool ok = true;
    for (const auto& builder : builders) ok = builder->Wait() && ok;
    return ok;
  }
  // The baseline of the build: the same files read the same way on the same threads, every sample summed.
  bool ReadAllFiles() {
    benchmark::DoNotOptimize(bench::SumFilesOnWorkers(Layouts()));
    return true;
  }

  void ShowWholeRecording() {
    view.VisibleStart = view.DataStart;
    view.VisibleSpan = view.DataDuration;
  }
  // One record's span in the middle of the recording.
  void ShowOneRecord() { ShowSpan(kRecordMicros); }
  // A span of `micros` starting where the one-record span starts (the whole recording at most).
  void ShowSpan(int64_t micros, int64_t shift = 0) {
    const int64_t records = manager.GetNumRecords(0);
    view.VisibleStart = std::max(view.DataStart,
                                 dataStart + (records / 2) * kRecordMicros - (micros - kRecordMicros) / 2 + shift);
    view.VisibleSpan = std::min(micros, view.DataEnd - view.VisibleStart);
  }
  void ClearCaches() {
    for (CscPlot* plot : Plots()) plot->ClearCache();
  }
  bool Redraw() { return canvas.RedrawAll() == 0 && renderer.ReadBack() == 0; }
  // Only the plots' columns, as a redraw computes them (prepared side by side), with nothing rendered.
  bool ComputeColumns() {
    canvas.PreparePlots();
    bool ok = true;
    PlotFrame frame = canvas.Frame();
    frame.renderer = nullptr;
    for (CscPlot* plot : Plots()) ok = plot->Draw(frame, frame.traceWidth, kPlotHeight, 0, 0) == 0 && ok;
    return ok;
  }

  // The baseline: every sample of the records that cover the visible span, read and summed.
  int64_t ReadVisibleSamples() {
    const ViewState& v = view;
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
void ColumnsWholeCold(benchmark::State& state) {
  Measure(state, "columns/whole/cold", [](Scene& s) { s.ShowWholeRecording(); s.ClearCaches(); },
          [](Scene& s) { return s.ComputeColumns(); });
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

// The spans of the sweep, microseconds: one record up to an hour; 0 stands for the whole recording.
constexpr int64_t kSweepSpans[] = {16'000,      50'000,      100'000,     250'000,       500'000,       1'000'000,
                                   2'000'000,   4'000'000,   6'000'000,   8'000'000,     16'000'000,    30'000'000,
                                   60'000'000,  120'000'000, 300'000'000, 1'200'000'000, 3'600'000'000, 0};
constexpr int32_t kSweepRounds = 9;

// Per span: the span, the median wall time and the median process CPU time of its frames, and the
// CPU time of its first frame (the span's first visit).
struct SweepFrame {
  int64_t span;
  double seconds;
  double cpuSeconds;
  double firstCpuSeconds;
};
std::vector<SweepFrame>& SweepFrames() {
  static std::vector<SweepFrame> frames;
  return frames;
}

using bench::Median;
using bench::ProcessSeconds;

// SKELVANE_BENCH_SPANS="a,b,..." sweeps only those spans (microseconds; 0 for the whole recording),
// for profiling one of them.
std::vector<int64_t> SweepSpans() {
  std::vector<int64_t> spans(std::begin(kSweepSpans), std::end(kSweepSpans));
  if (const char* only = std::getenv("SKELVANE_BENCH_SPANS"); only != nullptr) {
    spans.clear();
    for (const char* p = only; *p != '\0';) {
      char* next = nullptr;
      spans.push_back(std::strtoll(p, &next, 10));
      if (next == p) break;
      p = *next == ',' ? next + 1 : next;
    }
  }
  return spans;
}

// How far a fresh round moves the view, by turns back and forth from the middle of the recording:
// further than the longest span that reads records, so no round draws what an earlier one read.
int64_t FreshShift(int32_t round) {
  constexpr int64_t kFreshStep = 61'000'000;
  const int64_t step = (round + 1) / 2 * kFreshStep;
  return round % 2 == 1 ? step : -step;
}

// Every span of the sweep in turn, caches emptied before each frame, for kSweepRounds rounds.
void SpanSweep(benchmark::State& state) {
  Scene& scene = TheScene();
  if (!scene.ready) {
    state.SkipWithError("the synthetic recording could not be made");
    return;
  }
  const std::vector<int64_t> spans = SweepSpans();
  const std::size_t kSpans = spans.size();
  const char* roundsText = std::getenv("SKELVANE_BENCH_ROUNDS");  // more rounds, for a profile
  const int32_t rounds = roundsText != nullptr ? std::max(1, std::atoi(roundsText)) : kSweepRounds;
  // SKELVANE_BENCH_FRESH=1: each round further on, so that every frame is a first visit.
  const bool fresh = std::getenv("SKELVANE_BENCH_FRESH") != nullptr;
  std::vector<std::vector<double>> times(kSpans), cpuTimes(kSpans);
  for (auto _ : state) {
    for (int32_t round = 0; round < rounds; ++round) {
      for (std::size_t i = 0; i < kSpans; ++i) {
        state.PauseTiming();
        if (spans[i] == 0) {
          scene.ShowWholeRecording();
        } else {
          scene.ShowSpan(spans[i], fresh ? FreshShift(round) : 0);
        }
        scene.ClearCaches();
        state.ResumeTiming();
        const auto begin = std::chrono::steady_clock::now();
        const double cpuBegin = ProcessSeconds();
        if (!scene.Redraw()) state.SkipWithError("redraw failed");
        times[i].push_back(std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count());
        cpuTimes[i].push_back(ProcessSeconds() - cpuBegin);
      }
    }
  }
  SweepFrames().clear();
  for (std::size_t i = 0; i < kSpans; ++i) {
    if (times[i].empty()) return;
    const int64_t span = spans[i] != 0 ? spans[i] : scene.view.DataDuration;
    SweepFrames().push_back({span, Median(times[i]), Median(cpuTimes[i]), cpuTimes[i].front()});
  }
}

// The canvas of a 1920 x 1080 window: less the vertical scrollbar across, less the menu bar, the
// overview strip, the horizontal scrollbar and the status bar down.
constexpr int32_t kWindowCanvasWidth = 1905;
constexpr int32_t kWindowCanvasHeight = 985;
constexpr int64_t kWindowOpeningSpan = 10'000'000;  // the span a window opens recordings at
constexpr int32_t kWheelPixels = 40;                // the stack scrolled by one wheel notch
constexpr int32_t kWindowRounds = 3;

// Per action of the window sweep: its name, span and the median wall and processor time of its frames.
struct WindowFrame {
  std::string action;
  int64_t span;
  double seconds;
  double cpuSeconds;
};
std::vector<WindowFrame>& WindowFrames() {
  static std::vector<WindowFrame> frames;
  return frames;
}

const std::optional<FilterChoice>& BenchFilter();

// With a band, the raw one-record frames of the same run, which the band's sweep is set against.
struct RawOneRecordFrames {
  std::vector<double> seconds;
  std::vector<double> cpuSeconds;
};
RawOneRecordFrames& RawOneRecord() {
  static RawOneRecordFrames frames;
  return frames;
}

// The window's actions, each followed by its frame, on the window's canvas and plot heights; the
// columns stay from one frame to the next as in the window. With SKELVANE_BENCH_FILTER every round is
// swept raw and then through the band, and the band's frames are set against the raw round's
// one-record frames.
void WindowSweep(benchmark::State& state) {
  Scene& scene = TheScene();
  if (!scene.ready) {
    state.SkipWithError("the synthetic recording could not be made");
    return;
  }
  int32_t width = kWindowCanvasWidth;
  int32_t height = kWindowCanvasHeight;
  if (const char* size = std::getenv("SKELVANE_BENCH_CANVAS"); size != nullptr) {
    std::sscanf(size, "%dx%d", &width, &height);
  }
  const char* roundsText = std::getenv("SKELVANE_BENCH_ROUNDS");
  const int32_t rounds = roundsText != nullptr ? std::max(1, std::atoi(roundsText)) : kWindowRounds;
  ViewState& view = scene.view;
  const ViewState before = view;
  for (CscPlot* plot : scene.Plots()) plot->SetHeight(Plot::kDefaultHeight);
  ViewModel model(view, scene.canvas, scene.collection);
  model.Resize(width, height);
  model.UpdateTimeRange(view.DataStart, view.DataEnd);
  const int64_t oneRecordAtMost = 2 * kRecordMicros;

  std::vector<std::string> names;
  std::vector<int64_t> spans;
  std::vector<std::vector<double>> times, cpuTimes;
  std::size_t index = 0;
  // Between frames the columns of the views ahead are worked out, with the pointer in the middle of
  // the canvas, as in the window (SKELVANE_BENCH_AHEAD=0: not, as before the window did).
  const std::optional<FilterChoice>& band = BenchFilter();
  const bool banded = band && !band->IsNone();
  bool rawPass = false;
  RawOneRecord() = {};
  if (banded && (!scene.SetFilter(*band) || !scene.RedrawOnceBuilt())) {
    state.SkipWithError("the filtered summaries could not be built");
    return;
  }
  const char* aheadText = std::getenv("SKELVANE_BENCH_AHEAD");
  const bool aheadOn = aheadText == nullptr || std::string(aheadText) != "0";
  ColumnsAhead ahead;
  // One action: the view changed by `change` (false: nothing changed, no frame), then the frame.
  auto frame = [&](const std::string& name, bool timed, auto change) {
    if (!change()) return;
    model.UpdateHorizontalScroll();
    model.UpdateVerticalScroll();
    const auto begin = std::chrono::steady_clock::now();
    const double cpuBegin = ProcessSeconds();
    if (!scene.Redraw()) state.SkipWithError("redraw failed");
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();
    const double cpu = ProcessSeconds() - cpuBegin;
    // The user's pause before the next key, in which the window works out the views ahead.
    if (aheadOn) {
      ahead.Start(scene.canvas.JobsAhead(model.ViewsAhead(view.CanvasWidth / 2)));
      ahead.Finish();
    }
    if (!timed) return;
    if (rawPass) {
      if (view.VisibleSpan <= oneRecordAtMost) {
        RawOneRecord().seconds.push_back(seconds);
        RawOneRecord().cpuSeconds.push_back(cpu);
      }
      return;
    }
    if (index == names.size()) {
      names.push_back(name);
      spans.push_back(view.VisibleSpan);
      times.emplace_back();
      cpuTimes.emplace_back();
    }
    times[index].push_back(seconds);
    cpuTimes[index].push_back(cpu);
    ++index;
  };
  auto scrolls = [&](bool wheel) {
    if (wheel) {
      frame("scroll wheel-down", true, [&] { const int32_t top = view.ScrollTop; model.ScrollStackBy(-kWheelPixels); return view.ScrollTop != top; });
      frame("scroll wheel-up", true, [&] { const int32_t top = view.ScrollTop; model.ScrollStackBy(kWheelPixels); return view.ScrollTop != top; });
    } else {
      frame("scroll Down", true, [&] { return model.PageDown(); });
      frame("scroll Up", true, [&] { return model.PageUp(); });
    }
  };
  auto page = [&](bool forward) {
    frame(forward ? "page Right" : "page Left", true, [&] {
      return model.ScrollHorizontally(forward ? ViewModel::Scroll::PageForward : ViewModel::Scroll::PageBack, 0);
    });
  };
  for (auto _ : state) {
    for (int32_t pass = 0; pass < rounds * (banded ? 2 : 1); ++pass) {
      const int32_t round = banded ? pass / 2 : pass;
      rawPass = banded && pass % 2 == 0;
      if (banded) scene.SetFilter(rawPass ? FilterChoice() : *band);
      index = 0;
      // Opened: the first records at the opening span, the stack at its top; then in to one record.
      view.VisibleStart = view.DataStart;
      view.VisibleSpan = kWindowOpeningSpan;
      model.ScrollVertically(ViewModel::Scroll::ToStart, 0);
      scene.ClearCaches();
      frame("open", false, [] { return true; });
      while (view.VisibleSpan > oneRecordAtMost) {
        const int64_t span = view.VisibleSpan;
        frame("zoom in", false, [&] { return model.ZoomIn() == 0; });
        if (view.VisibleSpan == span) break;
      }
      // Later rounds start further on, on records no earlier round has drawn.
      for (int32_t i = 0; i < round * 7; ++i) model.ScrollHorizontally(ViewModel::Scroll::PageForward, 0);
      page(true);
      scrolls(true);
      int32_t out = 0;
      for (int32_t step = 1;; ++step) {
        const int64_t span = view.VisibleSpan;
        bool widened = false;
        frame("zoom out", true, [&] { widened = model.ZoomOut() == 0 && view.VisibleSpan > span; return widened; });
        if (!widened) break;
        ++out;
        page(true);
        scrolls(step % 2 == 1);
      }
      // Back in, paging back and forth: paging back alone would end in the empty second before the
      // first record (the time range's margin), and its frames would draw no trace at all.
      for (int32_t step = 0; step < out && view.VisibleSpan > oneRecordAtMost; ++step) {
        frame("zoom in", true, [&] { return model.ZoomIn() == 0; });
        page(step % 2 == 1);
        scrolls(step % 2 == 1);
      }
    }
  }
  WindowFrames().clear();
  for (std::size_t i = 0; i < names.size() && i < times.size(); ++i) {
    if (times[i].empty()) continue;
    WindowFrames().push_back({names[i], spans[i], Median(times[i]), Median(cpuTimes[i])});
  }
  for (CscPlot* plot : scene.Plots()) plot->SetHeight(kPlotHeight);
  if (banded) scene.SetFilter(FilterChoice());
  view = before;
}

// The band of the filtered figures, from SKELVANE_BENCH_FILTER; none when it is not set or does not parse.
const std::optional<FilterChoice>& BenchFilter() {
  static const std::optional<FilterChoice> filter = []() -> std::optional<FilterChoice> {
    const char* text = std::getenv("SKELVANE_BENCH_FILTER");
    std::string refusal;
    if (text == nullptr) return std::nullopt;
    std::optional<FilterChoice> parsed = FilterChoice::Parse(text, refusal);
    if (!parsed) std::fprintf(stderr, "SKELVANE_BENCH_FILTER: %s\n", refusal.c_str());
    return parsed;
  }();
  return filter;
}

// Per span: the median raw and filtered frames of the filtered sweep.
struct FilteredSweepFrame {
  int64_t span;
  double raw;
  double filtered;
  double rawCpu;
  double filteredCpu;
};
std::vector<FilteredSweepFrame>& FilteredSweepFrames() {
  static std::vector<FilteredSweepFrame> frames;
  return frames;
}

// Every span of the sweep in turn, drawn raw and then filtered, caches emptied before each frame, once
// both kinds of summary are built.
void FilteredSpanSweep(benchmark::State& state) {
  Scene& scene = TheScene();
  if (!scene.ready || !BenchFilter() || BenchFilter()->IsNone()) {
    state.SkipWithError("needs SKELVANE_BENCH_FILTER=spike|lfp|LO:HI");
    return;
  }
  scene.ShowWholeRecording();
  if (!scene.SetFilter(*BenchFilter()) || !scene.RedrawOnceBuilt()) {
    state.SkipWithError("the filtered summaries could not be built");
    return;
  }
  const std::vector<int64_t> spans = SweepSpans();
  const std::size_t kSpans = spans.size();
  std::vector<std::vector<double>> raw(kSpans), filtered(kSpans), rawCpu(kSpans), filteredCpu(kSpans);
  const auto frame = [&](int64_t span, const FilterChoice& filter, std::vector<double>& times,
                         std::vector<double>& cpuTimes) {
    state.PauseTiming();
    if (span == 0) {
      scene.ShowWholeRecording();
    } else {
      scene.ShowSpan(span);
    }
    scene.SetFilter(filter);
    scene.ClearCaches();
    state.ResumeTiming();
    const auto begin = std::chrono::steady_clock::now();
    const double cpuBegin = ProcessSeconds();
    if (!scene.Redraw()) state.SkipWithError("redraw failed");
    times.push_back(std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count());
    cpuTimes.push_back(ProcessSeconds() - cpuBegin);
  };
  const char* roundsText = std::getenv("SKELVANE_BENCH_ROUNDS");
  const int32_t rounds = roundsText != nullptr ? std::max(1, std::atoi(roundsText)) : kSweepRounds;
  for (auto _ : state) {
    for (int32_t round = 0; round < rounds; ++round) {
      for (std::size_t i = 0; i < kSpans; ++i) {
        frame(spans[i], FilterChoice(), raw[i], rawCpu[i]);
        frame(spans[i], *BenchFilter(), filtered[i], filteredCpu[i]);
      }
    }
  }
  scene.SetFilter(FilterChoice());
  FilteredSweepFrames().clear();
  for (std::size_t i = 0; i < kSpans; ++i) {
    const int64_t span = spans[i] != 0 ? spans[i] : scene.view.DataDuration;
    FilteredSweepFrames().push_back(
        {span, Median(raw[i]), Median(filtered[i]), Median(rawCpu[i]), Median(filteredCpu[i])});
  }
}

// The first whole view through the band, on plots as freshly opened: the filtered summaries built on
// the workers, then the frame. Last of all, since the plots it makes have no raw summary.
void FilteredFirstWhole(benchmark::State& state) {
  if (!BenchFilter() || BenchFilter()->IsNone()) {
    state.SkipWithError("needs SKELVANE_BENCH_FILTER=spike|lfp|LO:HI");
    return;
  }
  Measure(
      state, "filtered/first-whole",
      [](Scene& s) {
        s.MakePlots();
        s.ShowWholeRecording();
      },
      [](Scene& s) { return s.SetFilter(*BenchFilter()) && s.RedrawOnceBuilt(); });
}

// The same first whole view when an earlier open kept the filtered summaries on disk: the plots, as
// freshly opened, map them instead of filtering the files (the kept files go with the run's folder).
void FilteredKeptWhole(benchmark::State& state) {
  if (!BenchFilter() || BenchFilter()->IsNone()) {
    state.SkipWithError("needs SKELVANE_BENCH_FILTER=spike|lfp|LO:HI");
    return;
  }
  const std::filesystem::path cacheHome =
      std::filesystem::temp_directory_path() / ("skelvane-bench-cache-" + std::to_string(::getpid()));
  const char* previous = std::getenv("XDG_CACHE_HOME");
  const std::string restore = previous != nullptr ? previous : "";
  ::setenv("XDG_CACHE_HOME", cacheHome.c_str(), 1);
  SummaryCache::Instance().SetEnabled(true);
  bool kept = false;
  Measure(
      state, "filtered/kept-whole",
      [&kept](Scene& s) {
        if (!kept) {  // the earlier open, which filters the files and keeps what it built
          s.MakePlots();
          s.ShowWholeRecording();
          kept = s.SetFilter(*BenchFilter()) && s.RedrawOnceBuilt();
        }
        s.MakePlots();
        s.ShowWholeRecording();
      },
      [](Scene& s) { return s.SetFilter(*BenchFilter()) && s.RedrawOnceBuilt(); });
  SummaryCache::Instance().SetEnabled(false);
  TheScene().MakePlots();  // nothing mapped from the folder any more
  if (previous != nullptr) {
    ::setenv("XDG_CACHE_HOME", restore.c_str(), 1);
  } else {
    ::unsetenv("XDG_CACHE_HOME");
  }
  std::error_code ec;
  std::filesystem::remove_all(cacheHome, ec);
}

void PlainPassAllFiles(benchmark::State& state) {
  Measure(state, "read/files", [](Scene&) {}, [](Scene& s) { return s.ReadAllFiles(); });
}
void BuildAllSummaries(benchmark::State& state) {
  Measure(state, "summary/build", [](Scene&) {}, [](Scene& s) { return s.BuildSummaries(); });
}

BENCHMARK(PlainPassAllFiles)->Unit(benchmark::kMillisecond)->Iterations(3)->MeasureProcessCPUTime();
BENCHMARK(BuildAllSummaries)->Unit(benchmark::kMillisecond)->Iterations(3)->MeasureProcessCPUTime();
BENCHMARK(PlainReadWhole)->Unit(benchmark::kMillisecond)->Iterations(5)->MeasureProcessCPUTime();
BENCHMARK(RedrawWholeCold)->Unit(benchmark::kMillisecond)->Iterations(20)->MeasureProcessCPUTime();
BENCHMARK(ColumnsWholeCold)->Unit(benchmark::kMillisecond)->Iterations(20)->MeasureProcessCPUTime();
BENCHMARK(RedrawWholeWarm)->Unit(benchmark::kMillisecond)->Iterations(20)->MeasureProcessCPUTime();
BENCHMARK(PlainReadOneRecord)->Unit(benchmark::kMillisecond)->Iterations(200)->MeasureProcessCPUTime();
BENCHMARK(RedrawOneRecordCold)->Unit(benchmark::kMillisecond)->Iterations(20)->MeasureProcessCPUTime();
BENCHMARK(RedrawOneRecordWarm)->Unit(benchmark::kMillisecond)->Iterations(20)->MeasureProcessCPUTime();
BENCHMARK(SpanSweep)->Unit(benchmark::kMillisecond)->Iterations(1)->MeasureProcessCPUTime();
BENCHMARK(WindowSweep)->Unit(benchmark::kMillisecond)->Iterations(1)->MeasureProcessCPUTime();
BENCHMARK(FilteredSpanSweep)->Unit(benchmark::kMillisecond)->Iterations(1)->MeasureProcessCPUTime();
BENCHMARK(FilteredFirstWhole)->Unit(benchmark::kMillisecond)->Iterations(2)->MeasureProcessCPUTime();
BENCHMARK(FilteredKeptWhole)->Unit(benchmark::kMillisecond)->Iterations(3)->MeasureProcessCPUTime();

void PrintRatios() {
  const auto& t = SecondsPerIteration();
  auto ratio = [&](const char* figure, const char* baseline) {
    if (!t.count(figure) || !t.count(baseline) || t.at(baseline) <= 0.0) return;
    std::printf("  %-20s %10.2f x %s\n", figure, t.at(figure) / t.at(baseline), baseline);
  };
  std::printf("\nSummary build against a plain pass over the same files on the same threads (same run):\n");
  ratio("summary/build", "read/files");
  if (t.count("filtered/first-whole")) {
    std::printf("\nFirst whole view through %s (filtered summaries built, then the frame) against a plain pass:\n",
                BenchFilter()->Description().c_str());
    ratio("filtered/first-whole", "read/files");
  }
  if (t.count("filtered/kept-whole")) {
    std::printf("\nThe same view when an earlier open kept the filtered summaries on disk, against a plain pass:\n");
    ratio("filtered/kept-whole", "read/files");
  }
  const auto& filteredSweep = FilteredSweepFrames();
  if (!filteredSweep.empty() && filteredSweep.front().raw > 0.0) {
    std::printf("\nFiltered cold frame at each span against the raw one-record frame (medians, same rounds):\n");
    for (const FilteredSweepFrame& frame : filteredSweep) {
      std::printf("span_us=%lld raw_ms=%.2f filtered_ms=%.2f filtered_ratio=%.2f\n",
                  static_cast<long long>(frame.span), frame.raw * 1e3, frame.filtered * 1e3,
                  frame.filtered / filteredSweep.front().raw);
    }
    std::printf("\nThe same frames' process CPU time (all threads), against the raw one-record frame's:\n");
    for (const FilteredSweepFrame& frame : filteredSweep) {
      std::printf("span_us=%lld raw_cpu_ms=%.2f filtered_cpu_ms=%.2f filtered_cpu_ratio=%.2f\n",
                  static_cast<long long>(frame.span), frame.rawCpu * 1e3, frame.filteredCpu * 1e3,
                  frame.filteredCpu / filteredSweep.front().rawCpu);
    }
  }
  std::printf("\nWhole-recording frame against the one-record frame, both with empty column caches (same run):\n");
  ratio("redraw/whole/cold", "redraw/record/cold");
  ratio("redraw/whole/warm", "redraw/record/warm");
  ratio("columns/whole/cold", "redraw/record/cold");
  std::printf("\nRedraw cost relative to a plain read of the same samples (same run):\n");
  ratio("redraw/whole/cold", "read/whole");
  ratio("redraw/whole/warm", "read/whole");
  ratio("redraw/record/cold", "read/record");
  ratio("redraw/record/warm", "read/record");
  const auto& window = WindowFrames();
  std::vector<double> oneRecord, oneRecordCpu;
  for (const WindowFrame& frame : window) {
    if (frame.span <= 2 * kRecordMicros) {
      oneRecord.push_back(frame.seconds);
      oneRecordCpu.push_back(frame.cpuSeconds);
    }
  }
  const RawOneRecordFrames& raw = RawOneRecord();
  if (!raw.seconds.empty()) {
    oneRecord = raw.seconds;
    oneRecordCpu = raw.cpuSeconds;
  }
  if (!oneRecord.empty()) {
    const double base = Median(oneRecord);
    const double cpuBase = Median(oneRecordCpu);
    std::printf("\nThe window's sweep%s%s, each action's frame against the %sone-record frame (%.2f ms, %.2f ms processor):\n",
                raw.seconds.empty() ? "" : " through ", raw.seconds.empty() ? "" : BenchFilter()->Description().c_str(),
                raw.seconds.empty() ? "" : "raw ", base * 1e3, cpuBase * 1e3);
    double worst = 0.0;
    int64_t worstSpan = 0;
    for (const WindowFrame& frame : window) {
      std::printf("span_us=%lld frame_ms=%.2f ratio=%.2f cpu_ms=%.2f cpu_ratio=%.2f action=%s\n",
                  static_cast<long long>(frame.span), frame.seconds * 1e3, frame.seconds / base, frame.cpuSeconds * 1e3,
                  frame.cpuSeconds / cpuBase, frame.action.c_str());
      if (frame.seconds / base > worst) {
        worst = frame.seconds / base;
        worstSpan = frame.span;
      }
    }
    std::printf("worst frame %.2f x at span_us=%lld\n", worst, static_cast<long long>(worstSpan));
  }
  const auto& sweep = SweepFrames();
  if (sweep.empty() || sweep.front().seconds <= 0.0 || sweep.front().cpuSeconds <= 0.0) return;
  std::printf("\nCold frame at each span against the one-record frame (median of interleaved rounds):\n");
  for (const SweepFrame& frame : sweep) {
    std::printf("span_us=%lld frame_ms=%.2f ratio=%.2f\n", static_cast<long long>(frame.span), frame.seconds * 1e3,
                frame.seconds / sweep.front().seconds);
  }
  std::printf("\nThe same frames' process CPU time (all threads), against the one-record frame's; then the first\n"
              "round's frame (the span's first visit) against the one-record frame's median:\n");
  for (const SweepFrame& frame : sweep) {
    std::printf("span_us=%lld cpu_ms=%.2f cpu_ratio=%.2f first_cpu_ms=%.2f first_ratio=%.2f\n",
                static_cast<long long>(frame.span), frame.cpuSeconds * 1e3, frame.cpuSeconds / sweep.front().cpuSeconds,
                frame.firstCpuSeconds * 1e3, frame.firstCpuSeconds / sweep.front().cpuSeconds);
  }
}

}  // namespace
}  // namespace skelvane

int main(int argc, char** argv) {
  // These figures are of summaries built in memory: none read from or left in the summary cache.
  skelvane::SummaryCache::Instance().SetEnabled(false);
  // The frames' buffers kept from one frame to the next, and the heap's pages in place, as the viewer
  // keeps and warms them after its first picture.
  skelvane::FrameHeap::KeepFrameBuffers();
  skelvane::FrameHeap::Warm();
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  skelvane::PrintRatios();
  benchmark::Shutdown();
  return 0;
}
