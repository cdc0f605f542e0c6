#pragma once
// Gives each display test a fresh shared display state (view, renderer, collection, canvas, manager
// and colour allocator) and puts the previous one back afterwards.

#include "display/PlotCanvas.h"

namespace skelvane::test {

class DisplayTestState {
 public:
  DisplayTestState()
      : view_(PlotCanvas::viewState),
        renderer_(PlotCanvas::renderer),
        collection_(PlotCanvas::plotCollection),
        canvas_(PlotCanvas::canvas),
        manager_(PlotCanvas::dataSourceManager),
        colours_(PlotCanvas::colorAllocator) {
    PlotCanvas::viewState = ViewState{};
    PlotCanvas::renderer = nullptr;
    PlotCanvas::plotCollection = nullptr;
    PlotCanvas::canvas = nullptr;
    PlotCanvas::dataSourceManager = nullptr;
    PlotCanvas::colorAllocator = ColorTable{};
    PlotCanvas::colorAllocator.ExcludeFamilyOf(PlotCanvas::excludedColour);
  }
  ~DisplayTestState() {
    PlotCanvas::viewState = view_;
    PlotCanvas::renderer = renderer_;
    PlotCanvas::plotCollection = collection_;
    PlotCanvas::canvas = canvas_;
    PlotCanvas::dataSourceManager = manager_;
    PlotCanvas::colorAllocator = colours_;
  }
  DisplayTestState(const DisplayTestState&) = delete;
  DisplayTestState& operator=(const DisplayTestState&) = delete;

 private:
  ViewState view_;
  GLRenderer* renderer_;
  IPlotCollection* collection_;
  IPlotCanvas* canvas_;
  IDataSourceManager* manager_;
  ColorTable colours_;
};

}  // namespace skelvane::test
