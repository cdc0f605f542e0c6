#pragma once
// What a plot is given to draw one frame: the visible span, the trace's columns, the canvas's width
// and scroll, and what it draws through. The canvas makes one per redraw; tests and benches that draw
// a plot on their own make their own. Plots, and the helper threads preparing them, read nothing else.

#include <cstdint>

namespace skelvane {

class GLRenderer;
class IPlotCanvas;
class SpikeMarks;

struct PlotFrame {
  int64_t start = 0;        // time at the trace's left edge, microseconds
  int64_t end = 0;          // start + visibleSpan, held at the end of the 64-bit range
  int64_t visibleSpan = 0;  // microseconds across the trace
  int32_t traceWidth = 0;   // columns of a trace: the canvas less the data axis
  int32_t canvasWidth = 0;  // pixels
  int32_t scrollTop = 0;    // drawing y of the canvas's top and bottom edges
  int32_t scrollBottom = 0;
  // What the plots draw with, or none (they then only lay out). Drawing thread only: a helper
  // preparing a plot reads the numbers above and nothing else.
  GLRenderer* renderer = nullptr;
  // The canvas the plots ask for their amplitude gain and the time axis' height; none keeps the gain
  // at 1 and draws no name.
  IPlotCanvas* canvas = nullptr;
  // The spikes to mark on the traces, or none. Read on the drawing thread only.
  const SpikeMarks* spikeMarks = nullptr;
};

}  // namespace skelvane
