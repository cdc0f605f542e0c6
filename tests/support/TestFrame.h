#pragma once
// A frame for drawing a plot without a canvas's redraw, as the canvas would make it for the span.
// Used by the display, summary and fuzz tests and the redraw benchmark.

#include <cstdint>

#include "display/PlotFrame.h"
#include "platform/Saturating.h"

namespace skelvane::test {

/// The frame of the visible span [start, start + span] over `width` trace columns, drawn with
/// `renderer` and `canvas` (none: the plot only lays out).
inline PlotFrame FrameFor(int64_t start, int64_t span, int32_t width, GLRenderer* renderer = nullptr,
                          IPlotCanvas* canvas = nullptr) {
  PlotFrame frame;
  frame.start = start;
  frame.end = SaturatingAdd(start, span);
  frame.visibleSpan = span;
  frame.traceWidth = width;
  frame.canvasWidth = width;
  frame.renderer = renderer;
  frame.canvas = canvas;
  return frame;
}

}  // namespace skelvane::test
