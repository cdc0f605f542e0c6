#pragma once
// Draws a trace's one-pixel line strip as the pixels TraceCoverage works out, put down through a
// ColumnBarMask as a few masked quads, with the segments it leaves undecided drawn as lines. A
// self-check on the renderer's first frame draws a corner both ways and compares every byte. Used
// by GLRenderer for zoomed-in traces.

#include <GL/gl.h>

#include <cstdint>
#include <span>
#include <vector>

#include "render/ColumnBarCoverage.h"
#include "render/ColumnBarMask.h"
#include "render/TracePixels.h"

namespace skelvane {

class TraceMask {
 public:
  /// Draws the strip (run k: counts[k] points in column xs[k]; ys every point's value) in the
  /// current colour at depth z, one-pixel lines set, taking its pixels from `pixels` when they were
  /// worked out for the current transform; false, with nothing drawn, when the transform or the
  /// depth is not one the masks reproduce.
  bool Draw(std::span<const int32_t> xs, std::span<const int32_t> counts, std::span<const int16_t> ys, int32_t z,
            ColumnBarMask& mask, TracePixels& pixels);
  /// As Draw, with pixels of its own.
  bool Draw(std::span<const int32_t> xs, std::span<const int32_t> counts, std::span<const int16_t> ys, int32_t z,
            ColumnBarMask& mask) {
    pixels_.Invalidate();
    return Draw(xs, counts, ys, z, mask, pixels_);
  }
  /// Draws the strip as one line strip, the rasteriser's own way.
  void DrawStrip(std::span<const int32_t> xs, std::span<const int32_t> counts, std::span<const int16_t> ys,
                 int32_t z);
  /// Draws test strips both ways into the corner (0, 0)-(width, height) of the framebuffer, with
  /// one-pixel lines, and compares them; true when every byte agrees. Leaves the projection, the
  /// viewport and the line width changed.
  bool Check(int32_t width, int32_t height, ColumnBarMask& mask);

 private:
  void DrawSegments(std::span<const int32_t> xs, std::span<const int32_t> counts, std::span<const int16_t> ys,
                    std::span<const uint32_t> undecided, int32_t z);

  TracePixels pixels_;
  std::vector<GLint> vertices_;
};

}  // namespace skelvane
