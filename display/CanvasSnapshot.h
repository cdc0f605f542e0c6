#pragma once
// Renders the canvas headless for a set of CSC files, laid out as the main window would show them
// after a resize to the given size. Used by `skelvane-cli snapshot` and the redraw benchmark.

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "filter/FilterChoice.h"

namespace skelvane {

class IDataSourceManager;
class IPlotCanvas;
class IPlotCollection;
class MemoryBitmap;
class SpikeMarks;
struct ViewState;

/// Works out the spikes to mark on the traces of a snapshot between two times, over its own plots
/// and sources; none marks nothing.
using SnapshotSpikeMarks = std::function<std::shared_ptr<const SpikeMarks>(
    IPlotCollection& plots, IDataSourceManager& sources, int64_t start, int64_t end)>;
/// Arranges the snapshot's canvas, view and plots once the files are open and the view set up as the
/// window's would be (a saved session given back to them).
using SnapshotArrangement = std::function<void(IPlotCanvas& canvas, ViewState& view, IPlotCollection& plots)>;

struct SnapshotOptions {
  std::vector<std::string> files;
  int32_t width = 0;                    // canvas width in pixels
  int32_t height = 0;                   // canvas height in pixels
  std::optional<int64_t> visibleStart;  // microseconds; the start of the data when absent
  std::optional<int64_t> visibleSpan;   // microseconds; the whole data when absent
  bool keepSummaries = true;            // summaries are read from and kept in the summary cache
  SnapshotSpikeMarks spikeMarks = {};   // the spikes marked on the traces; none without it
  SnapshotArrangement arrange = {};     // applied before drawing; nothing without it
  FilterChoice filter{};                  // the band filter every plot draws through
};

class CanvasSnapshot {
 public:
  /// Largest canvas side accepted, as for the main window.
  static constexpr int32_t kMaxSide = 10000;

  /// Opens the files as sources with a plot each (named by file title), sets up the view, renders
  /// and copies the frame (32-bit, bottom-up) into `frame` (and the view it showed into `view`).
  /// 0; -1 for a bad size, a filter some recording cannot take (reported) or a failed render; or the
  /// data source manager's code for a file it could not open or that changed while it was drawn (it
  /// has reported why). A recording too short for the filter's support is drawn, with a message.
  static int32_t Render(const SnapshotOptions& options, MemoryBitmap& frame, ViewState* view = nullptr);
  /// Sets `view` up as the main window shows data from `dataStart` to `dataEnd` on a canvas of the
  /// options' size, after the user zoomed to their span and scrolled to their start.
  static void SetUpView(ViewState& view, IPlotCanvas& canvas, IPlotCollection& plots, int64_t dataStart,
                        int64_t dataEnd, const SnapshotOptions& options);
};

}  // namespace skelvane
