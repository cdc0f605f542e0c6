#pragma once
// Saves the canvas's class-wide display state (view, renderer, collection, canvas, manager, colour
// allocator, redraw count) and puts it back when it goes out of scope. Used by the headless snapshot
// and by tests that set up a display of their own next to the window's.

#include <cstdint>

#include "display/ColorTable.h"
#include "display/PlotCanvas.h"
#include "display/ViewState.h"

namespace skelvane {

class SharedDisplayStateScope {
 public:
  SharedDisplayStateScope()
      : view_(PlotCanvas::viewState),
        renderer_(PlotCanvas::renderer),
        collection_(PlotCanvas::plotCollection),
        canvas_(PlotCanvas::canvas),
        manager_(PlotCanvas::dataSourceManager),
        colours_(PlotCanvas::colorAllocator),
        stackDraws_(PlotCanvas::stackDrawCount) {}

  ~SharedDisplayStateScope() {
    PlotCanvas::viewState = view_;
    PlotCanvas::renderer = renderer_;
    PlotCanvas::plotCollection = collection_;
    PlotCanvas::canvas = canvas_;
    PlotCanvas::dataSourceManager = manager_;
    PlotCanvas::colorAllocator = colours_;
    PlotCanvas::stackDrawCount = stackDraws_;  // the window's plots keep their clickable icons
  }

  SharedDisplayStateScope(const SharedDisplayStateScope&) = delete;
  SharedDisplayStateScope& operator=(const SharedDisplayStateScope&) = delete;

 private:
  ViewState view_;
  GLRenderer* renderer_;
  IPlotCollection* collection_;
  IPlotCanvas* canvas_;
  IDataSourceManager* manager_;
  ColorTable colours_;
  uint64_t stackDraws_;
};

}  // namespace skelvane
