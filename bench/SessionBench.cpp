// Sessions and markers at real sizes. Opening a session of 64 recordings whose summaries are kept (64
// links to one recording of SKELVANE_BENCH_HOURS, default 1, hours, which count as 64 recordings) until
// its first picture at 1920 x 1080: read, recordings found and opened, restored and drawn, against the
// snapshot of the same files without a session (the ratio is what the session adds; the absolute
// figure is held against 1 s). And 10,000 markers spread over a 16-channel recording (SKELVANE_BENCH_DATA,
// or 16 x SKELVANE_BENCH_MINUTES, default 10, synthesised): ten half pages of a scroll at spans from one
// record to the whole recording, each frame drawn from cold columns once with the markers and once
// without, interleaved so that a loaded machine weighs on both alike (SKELVANE_BENCH_ROUNDS rounds,
// default 3). Per span it prints the median frames (process CPU time, which counts the rasteriser's
// threads, and wall time), the markers' frame against the same span's without them, and against the
// one-record frame without them, as the span sweep holds every frame:
// `span_us=N without_ms=A with_ms=B ratio=R to_one_record=Q`.
#include <benchmark/benchmark.h>

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <ctime>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "bench/BenchScene.h"
#include "bench/ProcessTime.h"
#include "bench/RatioReporter.h"
#include "datafile/DataSourceManager.h"
#include "display/CanvasSnapshot.h"
#include "display/ColorTable.h"
#include "display/CscPlot.h"
#include "display/Plot.h"
#include "display/PlotCanvas.h"
#include "display/PlotCollection.h"
#include "platform/MemoryBitmap.h"
#include "platform/PathHelpers.h"
#include "render/GLRenderer.h"
#include "session/SessionFile.h"
#include "session/SessionPaths.h"
#include "session/SessionRestore.h"
#include "summary/SummaryCache.h"
#include "tools/SyntheticRecording.h"

namespace skelvane {
namespace {

namespace fs = std::filesystem;

constexpr int32_t kWidth = 1920;
constexpr int32_t kHeight = 1080;
constexpr int32_t kSessionRecordings = 64;
constexpr int32_t kChannels = 16;
constexpr int32_t kPlotHeight = 60;
constexpr int32_t kMarkers = 10'000;
constexpr int32_t kScrollSteps = 10;
constexpr int64_t kRecordMicros = 16'000;
// The spans of the markers' sweep, microseconds; 0 stands for the whole recording.
constexpr int64_t kSpans[] = {16'000, 1'000'000, 10'000'000, 60'000'000, 600'000'000, 0};

fs::path& Scratch() {
  static fs::path folder = [] {
    std::string pattern = (fs::temp_directory_path() / "skelvane-session-bench-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) return fs::path();
    // The summaries are kept here, not in the user's cache.
    ::setenv("XDG_CACHE_HOME", (fs::path(pattern) / "cache").c_str(), 1);
    return fs::path(pattern);
  }();
  return folder;
}

double EnvNumber(const char* name, double fallback) {
  const char* text = std::getenv(name);
  return text != nullptr ? std::atof(text) : fallback;
}

// A session of 64 links to one recording, its view the whole recording, with the summaries kept.
struct SessionSet {
  std::string session;
  std::vector<std::string> paths;
  bool ready = false;

  SessionSet() {
    const fs::path folder = Scratch() / "sixty-four";
    fs::create_directories(folder);
    SynthOptions options;
    options.outDir = folder.string();
    options.prefix = "ONE";
    options.channels = 1;
    options.seconds = 3600.0 * EnvNumber("SKELVANE_BENCH_HOURS", 1.0);
    options.seed = 5;
    SynthResult made;
    if (!bench::ApplyBenchSignal(options) || SyntheticRecording::Generate(options, made) != 0) return;
    Session s;
    for (int32_t i = 0; i < kSessionRecordings; ++i) {
      const fs::path link = folder / ("CH" + std::to_string(100 + i) + ".kcs");
      fs::create_symlink(made.paths.at(0), link);
      paths.push_back(link.string());
      s.recordings.push_back({FileNameOf(link.string()), Plot::kDefaultHeight, 1.0, 0xFFFFFF, "none"});
    }
    s.view = {0, 0, 0, kWidth, kHeight};  // the view the files open with: the whole recording
    session = (folder / "day.skvs").string();
    if (SessionFile::Write(session, s) != 0) return;
    // The first run builds and keeps the summaries; the benchmark opens them kept.
    ready = Plain() != 0;
  }

  SnapshotOptions Options() const {
    SnapshotOptions options;
    options.files = paths;
    options.width = kWidth;
    options.height = kHeight;
    return options;
  }
  // The files drawn without a session.
  std::size_t Plain() const {
    MemoryBitmap frame;
    return CanvasSnapshot::Render(Options(), frame) == 0 ? frame.SizeInBytes() : 0;
  }
  // The session read, its recordings found, opened, restored and drawn: its first picture.
  std::size_t Open() const {
    Session s;
    std::vector<std::string> problems;
    if (SessionFile::Read(session, s, problems) != SessionFile::Outcome::Read) return 0;
    std::vector<std::string> stored;
    for (const Session::Recording& r : s.recordings) stored.push_back(r.path);
    std::vector<std::string> missing;
    SnapshotOptions options = Options();
    options.files = SessionPaths::Locate(stored, FolderOf(session), nullptr, missing);
    options.arrange = [&](IPlotCanvas& canvas, ViewState& view, IPlotCollection& plots) {
      SessionRestore::ApplyDisplay(s, options.files, canvas, view, plots, problems);
    };
    MemoryBitmap frame;
    return CanvasSnapshot::Render(options, frame) == 0 && missing.empty() ? frame.SizeInBytes() : 0;
  }
};

SessionSet& Sessions() {
  static SessionSet set;
  return set;
}

void SnapshotWithoutSession(benchmark::State& state) {
  if (!Sessions().ready) return state.SkipWithError("no recordings");
  for (auto _ : state) benchmark::DoNotOptimize(Sessions().Plain());
}

void OpenSessionFirstPicture(benchmark::State& state) {
  if (!Sessions().ready) return state.SkipWithError("no recordings");
  for (auto _ : state) {
    if (Sessions().Open() == 0) return state.SkipWithError("the session did not open");
  }
}

// 16 channels on a canvas of their own, for the markers' frames.
struct MarkerScene : bench::DisplayScene {
  bench::BenchRecordings recordings{"MK", kChannels, 3};
  std::vector<MarkerSet::Marker> markers;
  bool ready = false;

  MarkerScene() {
    const std::vector<std::string>& paths = recordings.Paths();
    if (paths.empty() || !AddPlots(paths, kPlotHeight)) return;
    SetCanvas(kWidth, kHeight);
    // SKELVANE_BENCH_MARKER_LINES=1: the markers' columns drawn line by line, to compare with.
    if (std::getenv("SKELVANE_BENCH_MARKER_LINES") != nullptr) renderer.AllowColumnRectangles(false);
    // Every plot's summary, so that each span draws as the window draws it once they are built.
    Show(0, 0);
    canvas.RedrawAll();
    for (CscPlot* plot : Plots()) plot->WaitForSummary();
    // Spread evenly, every third on one plot, each with a text.
    for (int32_t i = 0; i < kMarkers; ++i) {
      const int64_t time = view.DataStart + view.DataDuration / kMarkers * i;
      markers.push_back({time, i % 3 == 0 ? FileTitleOf(paths[static_cast<std::size_t>(i) % paths.size()]) : "",
                         "marker " + std::to_string(i)});
    }
    ready = true;
  }
  // A span of `span` (0: the whole recording) from the middle of the recording, `steps` half pages on.
  void Show(int64_t span, int32_t steps) {
    const int64_t shown = span == 0 ? view.DataDuration : std::min(span, view.DataDuration);
    const int64_t middle = view.DataStart + view.DataDuration / 2 - shown / 2;
    view.VisibleSpan = shown;
    view.VisibleStart = std::clamp(middle + shown / 2 * steps, view.DataStart, view.DataEnd - shown);
  }
  // One frame drawn from cold columns, as a scroll draws them; false when it failed.
  bool Frame() {
    for (CscPlot* plot : Plots()) plot->ClearCache();
    return canvas.RedrawAll() == 0 && renderer.ReadBack() == 0;
  }
};

MarkerScene& Markers() {
  static MarkerScene scene;
  return scene;
}

using bench::Median;
using bench::ProcessSeconds;

// Per span: the median frame without and with the markers, process CPU and wall seconds.
struct MarkerFrames {
  double withoutCpu = 0.0, withCpu = 0.0, withoutWall = 0.0, withWall = 0.0;
};
std::vector<MarkerFrames>& SweepFigures() {
  static std::vector<MarkerFrames> figures;
  return figures;
}

// Every span's scroll in turn, each position drawn without and with the markers (the order swapped
// every other position).
void ScrollMarkerSweep(benchmark::State& state) {
  MarkerScene& scene = Markers();
  if (!scene.ready) return state.SkipWithError("no recordings");
  const char* roundsText = std::getenv("SKELVANE_BENCH_ROUNDS");
  const int32_t rounds = roundsText != nullptr ? std::max(1, std::atoi(roundsText)) : 3;
  std::vector<std::vector<double>> cpu[2], wall[2];
  for (auto& times : cpu) times.resize(std::size(kSpans));
  for (auto& times : wall) times.resize(std::size(kSpans));
  for (auto _ : state) {
    for (int32_t round = 0; round < rounds; ++round) {
      for (std::size_t i = 0; i < std::size(kSpans); ++i) {
        for (int32_t step = 0; step < kScrollSteps; ++step) {
          scene.Show(kSpans[i], step);
          for (int32_t k = 0; k < 2; ++k) {
            const int32_t withMarkers = (k + step) % 2;
            scene.canvas.Markers()->Assign(withMarkers != 0 ? scene.markers : std::vector<MarkerSet::Marker>{});
            const auto begin = std::chrono::steady_clock::now();
            const double cpuBegin = ProcessSeconds();
            if (!scene.Frame()) return state.SkipWithError("redraw failed");
            cpu[withMarkers][i].push_back(ProcessSeconds() - cpuBegin);
            wall[withMarkers][i].push_back(std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count());
          }
        }
      }
    }
  }
  SweepFigures().clear();
  for (std::size_t i = 0; i < std::size(kSpans); ++i) {
    SweepFigures().push_back({Median(cpu[0][i]), Median(cpu[1][i]), Median(wall[0][i]), Median(wall[1][i])});
  }
}

BENCHMARK(SnapshotWithoutSession)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(OpenSessionFirstPicture)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(ScrollMarkerSweep)->Unit(benchmark::kMillisecond)->Iterations(1)->MeasureProcessCPUTime();

}  // namespace
}  // namespace skelvane

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  skelvane::bench::RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  const auto& t = reporter.times;
  const auto plain = t.find("SnapshotWithoutSession/iterations:3");
  const auto open = t.find("OpenSessionFirstPicture/iterations:3");
  if (plain != t.end() && open != t.end() && plain->second > 0.0) {
    std::printf("open_session_ms=%.1f (first picture of 64 recordings; held against 1000) ratio_to_snapshot=%.2f\n",
                open->second, open->second / plain->second);
  }
  const auto& figures = skelvane::SweepFigures();
  // A sweep whose self-check refused the rectangles measured the lines instead.
  if (!figures.empty()) {
    std::printf("marker_rectangles_in_use=%d\n", skelvane::Markers().renderer.ColumnRectanglesInUse() ? 1 : 0);
    std::printf("marker_fill_in_use=%d\n", skelvane::Markers().renderer.ColumnFillInUse() ? 1 : 0);
  }
  for (std::size_t i = 0; i < figures.size(); ++i) {
    const skelvane::MarkerFrames& f = figures[i];
    const skelvane::MarkerFrames& oneRecord = figures.front();
    if (f.withoutCpu <= 0.0 || oneRecord.withoutCpu <= 0.0 || f.withoutWall <= 0.0) continue;
    std::printf("span_us=%lld without_ms=%.2f with_ms=%.2f ratio=%.2f to_one_record=%.2f (CPU; wall %.2f %.2f %.2f %.2f)\n",
                static_cast<long long>(skelvane::kSpans[i]), 1e3 * f.withoutCpu, 1e3 * f.withCpu,
                f.withCpu / f.withoutCpu, f.withCpu / oneRecord.withoutCpu, 1e3 * f.withoutWall, 1e3 * f.withWall,
                f.withWall / f.withoutWall, f.withWall / oneRecord.withoutWall);
  }
  std::error_code ec;
  if (!skelvane::Scratch().empty()) std::filesystem::remove_all(skelvane::Scratch(), ec);
  return 0;
}
