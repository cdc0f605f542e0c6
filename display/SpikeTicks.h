#pragma once
// Marks spikes on a trace: at each spike's peak column, a white tick one pixel wide a little above
// the trace there, edged in black so that it stands out on every trace colour. Drawn by CscPlot over
// its trace when the frame carries spike marks.

#include <cstdint>
#include <span>
#include <vector>

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

  /// One tick: its column in the trace and its lowest and highest pixel row above the trace's bottom.
  struct Tick {
    int32_t x;
    int32_t low;
    int32_t high;
    bool operator==(const Tick&) const = default;
  };

  /// The ticks of `peaks` (ascending) inside the frame's span, one per column, over a trace of
  /// `width` x `height` pixels drawn from `cache` with `pixelsPerCount` rows per sample unit about its
  /// middle row (height / 2): each a little above the highest trace point within a column of it, held
  /// inside the trace's rectangle.
  static std::vector<Tick> Layout(std::span<const int64_t> peaks, const PixelCache& cache, const PlotFrame& frame,
                                  int32_t width, int32_t height, double pixelsPerCount);
  /// Draws the ticks over the trace whose lower-left corner is (x0, y0) on the frame's canvas (the
  /// renderer's transform is reset to canvas pixels first).
  static void Draw(const std::vector<Tick>& ticks, const PlotFrame& frame, int32_t x0, int32_t y0);

 private:
  static std::vector<int32_t> ColumnTops(const PixelCache& cache, int32_t width);
};

}  // namespace skelvane
