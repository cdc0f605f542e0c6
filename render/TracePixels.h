#pragma once
// A trace's pixels, kept with the transform they were worked out for: a plot's preparation works
// them out on any thread for the transform its last draw used, and the draw takes them while its
// transform is still that one. Owned by CscPlot; read and filled by GLRenderer::DrawTrace.

#include <array>
#include <cstdint>
#include <span>
#include <vector>

#include "render/ColumnBarCoverage.h"
#include "render/TraceCoverage.h"

namespace skelvane {

class TracePixels {
 public:
  /// The combined matrix (column-major) and the viewport a trace is drawn with.
  struct Transform {
    std::array<float, 16> matrix{};
    std::array<int32_t, 4> viewport{};
    bool operator==(const Transform&) const = default;
  };

  /// True when a strip of `points` points in `runs` runs is dense enough to go through masks: the
  /// lines of a sparse one cost the rasteriser less than working its pixels out.
  static bool Dense(std::size_t points, std::size_t runs) { return 2 * points >= 3 * runs && points > 0; }
  /// Works out the pixels of the strip (as GLRenderer::DrawTrace takes it) for the transform of the
  /// last draw, if there was one and the strip is dense; on any thread.
  void Prepare(std::span<const int32_t> xs, std::span<const int32_t> counts, std::span<const int16_t> ys);
  /// Forgets the pixels, for a strip that changed.
  void Invalidate() { ready_ = false; }
  /// Makes the pixels those of the strip under `transform`, working them out unless they already
  /// are; false when the transform is not one the pixels can be worked out for.
  bool Use(const Transform& transform, std::span<const int32_t> xs, std::span<const int32_t> counts,
           std::span<const int16_t> ys);
  /// The pixels, once Use succeeded.
  const std::vector<ColumnBarCoverage::Span>& Spans() const { return spans_; }
  /// The first point of each segment left to the rasteriser, once Use succeeded.
  const std::vector<uint32_t>& Undecided() const { return undecided_; }

 private:
  void Compute(std::span<const int32_t> xs, std::span<const int32_t> counts, std::span<const int16_t> ys);

  TraceCoverage coverage_;
  Transform transform_;
  bool known_ = false;  // transform_ is the last draw's
  bool ready_ = false;  // the pixels are the strip's under transform_
  bool valid_ = false;  // transform_ is one the pixels can be worked out for
  std::vector<ColumnBarCoverage::Span> spans_;
  std::vector<uint32_t> undecided_;
};

}  // namespace skelvane
