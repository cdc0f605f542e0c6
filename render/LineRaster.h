#pragma once
// Which pixels the rasteriser lights for a one-pixel line segment, worked out on the CPU the way it
// does it: the diamond-exit tests on the window positions decide whether each end's pixel is drawn,
// an end is moved to its pixel's edge where they say so, the ends are snapped to 1/256 pixel and
// the one-pixel-wide parallelogram around the segment is filled by pixel centres under the fill
// rule. TraceCoverage uses it; the renderer's self-check confirms it on the driver at hand.

#include <cstdint>
#include <vector>

#include "render/ColumnBarCoverage.h"

namespace skelvane {

class LineRaster {
 public:
  /// Subpixels per pixel in the rasteriser's fixed-point positions.
  static constexpr int32_t kSubpixels = 256;

  /// A window position in fixed point as the line setup snaps it: rounded half away from zero.
  static int64_t Snap(float position);
  /// Appends the pixels of the segment from (ax, ay) to (bx, by), window coordinates, as one span
  /// per pixel column (the lit pixels of a column are always one run). Nothing for a zero-length one.
  static void Segment(float ax, float ay, float bx, float by, std::vector<ColumnBarCoverage::Span>& spans);
};

}  // namespace skelvane
