#pragma once
// Gives each display test a fresh shared display state (view, renderer, collection, canvas, manager
// and colour allocator) and puts the previous one back afterwards.

#include "display/PlotCanvas.h"
#include "display/SharedDisplayStateScope.h"

namespace skelvane::test {

class DisplayTestState {
 public:
  DisplayTestState() {
    PlotCanvas::viewState = ViewState{};
    PlotCanvas::renderer = nullptr;
    PlotCanvas::plotCollection = nullptr;
    PlotCanvas::canvas = nullptr;
    PlotCanvas::dataSourceManager = nullptr;
    PlotCanvas::colorAllocator = ColorTable{};
    PlotCanvas::colorAllocator.ExcludeFamilyOf(PlotCanvas::excludedColour);
  }

 private:
  SharedDisplayStateScope saved_;
};

}  // namespace skelvane::test
