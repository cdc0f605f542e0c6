#pragma once
// Where a primitive about to be drawn may put pixels, in window pixels, and the depth it is drawn at,
// from the current transform: what ColumnLineDrawer needs to know of the frame's other primitives to
// leave its columns to the read-back (ColumnFill) wherever none of them shows over them.

#include <cstdint>
#include <span>

#include "render/ColumnFill.h"

namespace skelvane {

class WindowFootprint {
 public:
  /// Every window pixel: what a primitive whose pixels are not worked out is taken to reach.
  static constexpr WindowBox kEverywhere{-(1 << 29), -(1 << 29), 1 << 29, 1 << 29};
  /// The depth of a primitive whose depth is not worked out: in front of everything.
  static constexpr float kFront = -1.0e30f;

  /// The current projection, model-view matrix and viewport.
  static WindowFootprint Current();
  /// The transform of a projection (column-major, as GL keeps it) under an identity model-view matrix.
  static WindowFootprint Of(const float projection[16], const int32_t viewport[4]);

  /// The window box holding every pixel a primitive drawn within canvas (x0, y0)-(x1, y1) at depth z may
  /// light, `margin` window pixels around (line widths, point sizes, glyphs past their origin);
  /// kEverywhere when the transform is not a scale and translation.
  WindowBox Box(double x0, double y0, double x1, double y1, int32_t margin) const;
  /// The same for the pairs (xs[i], lows[i])-(xs[i], highs[i]), either end the lower; an empty box
  /// when there are none.
  WindowBox ColumnsBox(std::span<const int32_t> xs, std::span<const int16_t> lows, std::span<const int16_t> highs,
                       int32_t margin) const;
  /// The clip-space depth of canvas depth z (smaller is in front); kFront when the transform mixes
  /// depth with x or y.
  float Depth(int32_t z) const;

 private:
  float projection_[16] = {};
  float modelView_[16] = {};
  int32_t viewport_[4] = {0, 0, 0, 0};
};

}  // namespace skelvane
