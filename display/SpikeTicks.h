#pragma once
// Marks spikes on a trace: at each spike's peak column, a white tick one pixel wide a little above
// the trace there, on the plot's black background. A tick that has to sit over the trace (a trace
// reaching the top of its plot, a thick line) or crosses a threshold line is edged in black, so that
// it stands out on every colour. Drawn by CscPlot over its trace when the frame carries spike marks.

#include <cstdint>
#include <span>
#include <vector>

#include "display/Plot.h"

namespace skelvane {

class GLRenderer;
struct PixelCache;
struct PlotFrame;

class SpikeTicks {
 public:
  /// A tick's length and its distance above the trace, pixels.
  static constexpr int32_t kLength = 7;
  static constexpr int32_t kGap = 2;
  /// The tick and its edges, 0x00BBGGRR.
  static constexpr uint32_t kColour = 0xFFFFFF;
  static constexpr uint32_t kEdgeColour = 0x000000;

  /// One tick: its column in the trace, its lowest and highest pixel row above the trace's bottom,
  /// and whether it gets black edges (something other than the background lies beside it).
  struct Tick {
    int32_t x;
    int32_t low;
    int32_t high;
    bool edged = false;
    bool operator==(const Tick&) const = default;
  };

  /// The trace the ticks go over: `width` x `height` pixels drawn from `cache` with lines
  /// `lineWidth` pixels wide, `pixelsPerCount` rows per sample unit about its middle row (height / 2),
  /// and the threshold lines over it (columns and sample units, as the plot lays them out).
  struct Trace {
    const PixelCache& cache;
    int32_t width;
    int32_t height;
    double pixelsPerCount;
    int32_t lineWidth;
    std::span<const Plot::OverlayLine> overlay;
  };

  /// The ticks of `peaks` (ascending) inside the frame's span, one per column: each a little above
  /// the highest trace point within a column of it, held inside the trace's rectangle.
  static std::vector<Tick> Layout(std::span<const int64_t> peaks, const Trace& trace, const PlotFrame& frame);
  /// Draws the ticks over the trace whose lower-left corner is (x0, y0) on the frame's canvas (the
  /// renderer's transform is reset to canvas pixels first).
  static void Draw(const std::vector<Tick>& ticks, const PlotFrame& frame, int32_t x0, int32_t y0);

 private:
  static std::vector<int32_t> ColumnTops(const PixelCache& cache, int32_t width);
  /// Whether a tick's edges, columns x - 1 to x + 1, rows low to high, would meet a threshold line.
  static bool CrossesOverlay(const Trace& trace, int32_t x, int32_t low, int32_t high);
};

}  // namespace skelvane
