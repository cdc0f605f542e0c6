#pragma once
// Draws a filter's gain against frequency (dB against a log frequency axis) with the off-screen
// renderer, in the style of the spike figures: the curve, its cut-offs and the 30 dB stop level marked,
// titled with the band and its rate. Used by `skelvane-cli filter --response --plot`.

#include <cstdint>

namespace skelvane {

class FilterDesign;
class FilterResponse;
class GLRenderer;
class MemoryBitmap;

class ResponseFigure {
 public:
  static constexpr int32_t kDefaultWidth = 1200;
  static constexpr int32_t kDefaultHeight = 700;
  /// Gain range drawn, in dB.
  static constexpr double kTopDb = 5.0;
  static constexpr double kBottomDb = -80.0;

  /// Draws the response of `design` (measured as `response`) into `bitmap` at `width` x `height`. 0, or
  /// -1 for a size the renderer cannot make or a renderer failure (reported by the renderer).
  static int32_t Render(GLRenderer& renderer, const FilterDesign& design, const FilterResponse& response,
                        int32_t width, int32_t height, MemoryBitmap& bitmap);
};

}  // namespace skelvane
