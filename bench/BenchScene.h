#pragma once
// The scene the display benches set up alike: the recordings (SKELVANE_BENCH_DATA's, or synthesised
// into a folder of their own that goes with them), a source and a plot for each, and a canvas of its
// own with its renderer and view over them. Used by the redraw, detection preview, overview strip and
// session benches.

#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include "bench/BenchSignal.h"
#include "datafile/DataSourceManager.h"
#include "datafile/FileKind.h"
#include "display/ColorTable.h"
#include "display/CscPlot.h"
#include "display/PlotCanvas.h"
#include "display/PlotCollection.h"
#include "display/ViewState.h"
#include "platform/PathHelpers.h"
#include "render/GLRenderer.h"
#include "tools/SyntheticRecording.h"

namespace skelvane::bench {

/// The recordings a bench runs on: the .kcs files in SKELVANE_BENCH_DATA, sorted by name, or else
/// `channels` channels of SKELVANE_BENCH_MINUTES minutes (`minutes` unless set) of the signal
/// SKELVANE_BENCH_SIGNAL names, made with `seed` under names starting with `prefix` in a temporary
/// folder removed with this object. No paths when they cannot be had.
class BenchRecordings {
 public:
  BenchRecordings(const std::string& prefix, int32_t channels, uint32_t seed, double minutes = 10.0) {
    if (const char* data = std::getenv("SKELVANE_BENCH_DATA"); data != nullptr) {
      for (const auto& entry : std::filesystem::directory_iterator(data)) {
        if (entry.path().extension() == ".kcs") paths_.push_back(entry.path().string());
      }
      std::sort(paths_.begin(), paths_.end());
      return;
    }
    folder_ = std::filesystem::temp_directory_path() /
              ("skelvane-bench-" + prefix + "-" + std::to_string(::getpid()));
    SynthOptions options;
    options.outDir = folder_.string();
    options.prefix = prefix;
    options.channels = channels;
    const char* setMinutes = std::getenv("SKELVANE_BENCH_MINUTES");
    options.seconds = 60.0 * (setMinutes != nullptr ? std::atof(setMinutes) : minutes);
    options.seed = seed;
    SynthResult result;
    if (ApplyBenchSignal(options) && SyntheticRecording::Generate(options, result) == 0) paths_ = result.paths;
  }
  ~BenchRecordings() {
    std::error_code ec;
    if (!folder_.empty()) std::filesystem::remove_all(folder_, ec);
  }
  BenchRecordings(const BenchRecordings&) = delete;
  BenchRecordings& operator=(const BenchRecordings&) = delete;

  /// The recordings' paths.
  const std::vector<std::string>& Paths() const { return paths_; }

 private:
  std::filesystem::path folder_;  // of the synthesised recordings; empty for SKELVANE_BENCH_DATA's
  std::vector<std::string> paths_;
};

/// Sources, their plots as opening them makes them, and a canvas of its own drawing them.
struct DisplayScene {
  DataSourceManager manager;
  ColorTable colours = PlotCanvas::MakePlotColours();
  PlotCollection collection{manager, colours};
  GLRenderer renderer;
  ViewState view;
  PlotCanvas canvas{view, &renderer, &collection, &manager};

  DisplayScene() = default;
  ~DisplayScene() { collection.RemoveAllPlots(); }
  DisplayScene(const DisplayScene&) = delete;
  DisplayScene& operator=(const DisplayScene&) = delete;

  /// A plot `height` pixels tall for each path (no summary, no filter), its source opened unless it
  /// is open already; false at the first that fails.
  bool AddPlots(const std::vector<std::string>& paths, int32_t height) {
    for (const std::string& path : paths) {
      if (int32_t source = -1; manager.FindSourceByPath(path, source) != 0 && manager.OpenSource(path) != 0) {
        return false;
      }
      if (collection.CreatePlot(FileTitleOf(path), kFileTypeCsc, path) != 0) return false;
    }
    for (CscPlot* plot : Plots()) plot->SetHeight(height);
    return true;
  }
  /// A canvas of `width` x `height` pixels at the top of the stack, over the sources' time range.
  void SetCanvas(int32_t width, int32_t height) {
    view.CanvasWidth = width;
    view.CanvasHeight = height;
    view.ScrollTop = 0;
    view.ScrollBottom = -height;
    manager.GetTimeRange(view.DataStart, view.DataEnd);
    view.DataDuration = view.DataEnd - view.DataStart;
  }
  /// The plots in stacking order.
  std::vector<CscPlot*> Plots() {
    std::vector<CscPlot*> plots;
    for (int32_t i = 0; i < collection.GetNumPlots(); ++i) {
      IPlot* plot = nullptr;
      collection.GetPlot(i, plot);
      plots.push_back(static_cast<CscPlot*>(plot));
    }
    return plots;
  }
};

}  // namespace skelvane::bench
