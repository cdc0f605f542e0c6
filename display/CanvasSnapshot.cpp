#include "display/CanvasSnapshot.h"

#include "datafile/DataSourceManager.h"
#include "display/ColorTable.h"
#include "display/CscPlot.h"
#include "display/PlotCanvas.h"
#include "display/PlotCollection.h"
#include "spikes/SpikeMarks.h"
#include "display/ViewModel.h"
#include "display/ViewState.h"
#include "platform/MemoryBitmap.h"
#include "platform/PathHelpers.h"
#include "platform/ReportError.h"
#include "platform/StatusCodes.h"
#include "render/GLRenderer.h"
#include "summary/SummaryCache.h"

namespace skelvane {
namespace {

// Opens one file and makes a plot for every source it added; 0 or the first failure's code.
int32_t OpenWithPlots(const std::string& path, IDataSourceManager& manager, IPlotCollection& collection) {
  const int32_t before = manager.GetNumSources();
  if (const int32_t rc = manager.OpenSource(path); rc != 0) return rc;
  for (int32_t i = before; i < manager.GetNumSources(); ++i) {
    int32_t type = 0;
    std::string sourcePath;
    if (manager.GetSourceFileType(i, type) != 0 || manager.GetSourcePath(i, sourcePath) != 0) return kStatusFailed;
    if (const int32_t rc = collection.CreatePlot(FileTitleOf(sourcePath), type, sourcePath); rc != 0) return rc;
  }
  return kStatusOk;
}

// Waits for the summaries the plots started while drawing (they build in parallel); true when any
// plot had one, so the frame must be drawn again with them.
bool WaitForSummaries(IPlotCollection& collection) {
  bool waited = false;
  for (int32_t i = 0; i < collection.GetNumPlots(); ++i) {
    IPlot* plot = nullptr;
    if (collection.GetPlot(i, plot) != 0) continue;
    if (auto* csc = dynamic_cast<CscPlot*>(plot); csc != nullptr && csc->Cache().width == 0) {
      waited = csc->WaitForSummary() || waited;
    }
  }
  return waited;
}

}  // namespace

void CanvasSnapshot::SetUpView(ViewState& view, IPlotCanvas& canvas, IPlotCollection& plots, int64_t dataStart,
                               int64_t dataEnd, const SnapshotOptions& options) {
  // What the window does: a resize to the canvas size, the time-range update when the sources
  // open, the span the user zoomed to, then a scroll to the requested start.
  ViewModel model(view, canvas, plots);
  model.Resize(options.width, options.height);
  model.UpdateTimeRange(dataStart, dataEnd);
  model.UpdateHorizontalScroll();
  model.UpdateVerticalScroll();
  model.SetVisibleSpan(options.visibleSpan.value_or(view.DataDuration));
  model.ScrollTo(options.visibleStart.value_or(view.DataStart));
}

int32_t CanvasSnapshot::Render(const SnapshotOptions& options, MemoryBitmap& frame, ViewState* view) {
  if (options.width <= 0 || options.width > kMaxSide || options.height <= 0 || options.height > kMaxSide) {
    return kStatusFailed;
  }
  // Whether summaries are kept is the process's choice: this snapshot's for its own duration.
  SummaryCache& cache = SummaryCache::Instance();
  const bool keptBefore = cache.Enabled();
  cache.SetEnabled(options.keepSummaries);
  struct RestoreCache {
    SummaryCache& cache;
    bool enabled;
    ~RestoreCache() { cache.SetEnabled(enabled); }
  } restore{cache, keptBefore};
  // Made in the order the program makes its own, so they go in the reverse order; colours are
  // handed out as in a freshly started program, so every snapshot looks the same.
  GLRenderer renderer;
  DataSourceManager manager;
  ColorTable colours = PlotCanvas::MakePlotColours();
  PlotCollection collection(manager, colours);
  ViewState shown;
  PlotCanvas canvas(shown, &renderer, &collection, &manager);

  for (const std::string& path : options.files) {
    if (const int32_t rc = OpenWithPlots(path, manager, collection); rc != 0) return rc;
  }
  for (int32_t i = 0; i < collection.GetNumPlots(); ++i) {
    IPlot* plot = nullptr;
    auto* csc = collection.GetPlot(i, plot) == 0 ? dynamic_cast<CscPlot*>(plot) : nullptr;
    if (csc == nullptr) continue;
    if (std::string refusal; !csc->SetFilter(options.filter, refusal)) {
      ReportError(refusal, 0);
      return kStatusFailed;
    }
    if (const std::string notice = csc->FilterNotice(); !notice.empty()) ShowMessage(notice);
  }
  int64_t dataStart = 0;
  int64_t dataEnd = 0;
  manager.GetTimeRange(dataStart, dataEnd);
  SetUpView(shown, canvas, collection, dataStart, dataEnd, options);
  if (options.arrange) options.arrange(canvas, shown, collection);
  if (view != nullptr) *view = shown;
  if (options.spikeMarks) {
    const PlotFrame frame = canvas.Frame();
    canvas.SetSpikeMarks(options.spikeMarks(collection, manager, frame.start, frame.end));
  }
  renderer.RequestNewDIBSection();
  // A plot over a long span draws no trace until its summary is there; the window redraws when each
  // build completes. The snapshot starts every build the frame needs, waits for them (they load or
  // build in parallel) and draws once; a plot that still waited is waited for and drawn again.
  const PlotFrame shownFrame = canvas.Frame();
  for (IPlot* plot : canvas.VisiblePlots()) {
    if (auto* csc = dynamic_cast<CscPlot*>(plot); csc != nullptr) csc->StartSummaryFor(shownFrame);
  }
  WaitForSummaries(collection);
  if (canvas.RedrawAll() != 0) return kStatusFailed;
  if (WaitForSummaries(collection) && canvas.RedrawAll() != 0) return kStatusFailed;
  if (renderer.ReadBack() != 0) return kStatusFailed;
  // A file cut short or written over while it was drawn leaves a picture of nothing, or of two recordings.
  for (int32_t i = 0; i < manager.GetNumSources(); ++i) {
    if (const int32_t rc = manager.CheckSource(i); rc != kStatusOk) return rc;
  }
  frame = renderer.Bitmap();
  return kStatusOk;
}

}  // namespace skelvane
