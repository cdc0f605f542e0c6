#pragma once
// A trace's pixels, kept with the transform they were worked out for: a plot's preparation works
// them out on any thread for the transform its next draw will most likely use, and the draw takes
// them while its transform is that one. A few sets for other transforms of the same strip stay
// beside them, so a plot whose stack scrolls back and forth (or was worked out for a scroll ahead)
// finds its pixels ready. Owned by CscPlot; read and filled by GLRenderer::DrawTrace.

#include <array>
#include <cstdint>
#include <optional>
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
  /// Sets of pixels kept for transforms other than the current one, at most.
  static constexpr std::size_t kMostKept = 6;

  /// True when a strip of `points` points in `runs` runs is dense enough to go through masks: the
  /// lines of a sparse one cost the rasteriser less than working its pixels out. From 1.2 points a
  /// column on, for at 1.3 the lines of full-scale noise, each the plot's height, took the rasteriser
  /// half as long again as the masks did.
  static bool Dense(std::size_t points, std::size_t runs) { return 5 * points >= 6 * runs && points > 0; }
  /// The transform of a trace drawn with `drawn` after GLRenderer::SetProjection over bottom..top,
  /// Translate to y = centreY and a Scale, had the projection been set over toBottom..toTop instead
  /// (the stack scrolled under a plot that stayed in its place), worked out in the float steps the
  /// GL's matrix stack takes. None when the height differs or `drawn` is not what those steps make
  /// of bottom, top and centreY. A draw checks the transform it reads back against the pixels' own
  /// anyway: a wrong guess costs time, never a pixel.
  static std::optional<Transform> Scrolled(const Transform& drawn, float centreY, int32_t bottom, int32_t top,
                                           int32_t toBottom, int32_t toTop);

  /// Works out the pixels of the strip (as GLRenderer::DrawTrace takes it) for `transform`, as a set
  /// kept beside the current one (the oldest set goes past kMostKept), unless the strip is sparse or
  /// a set for it is there already; on any thread, for the strip the current pixels are of (or for
  /// pixels invalidated since).
  void PrepareFor(const Transform& transform, std::span<const int32_t> xs, std::span<const int32_t> counts,
                  std::span<const int16_t> ys);
  /// Forgets the pixels, kept sets and all, for a strip that changed.
  void Invalidate() {
    ready_ = false;
    kept_.clear();
  }
  /// Forgets the sets kept for other transforms.
  void DropKept() { kept_.clear(); }
  /// Takes the sets `strip` worked out for a new strip in place of this one's pixels; the last
  /// transform stays known.
  void Replace(TracePixels&& strip);
  /// Takes `transform` as the last draw's without working anything out (the strip was drawn another
  /// way), so that pixels can be foreseen from it; the pixels of the one before are kept.
  void Note(const Transform& transform);
  /// Makes the pixels those of the strip under `transform`, taking a kept set for it or else
  /// working them out (the pixels of the last transform are kept); false when the transform is not
  /// one the pixels can be worked out for.
  bool Use(const Transform& transform, std::span<const int32_t> xs, std::span<const int32_t> counts,
           std::span<const int16_t> ys);
  /// The pixels, once Use succeeded.
  const std::vector<ColumnBarCoverage::Span>& Spans() const { return current_.spans; }
  /// The first point of each segment left to the rasteriser, once Use succeeded.
  const std::vector<uint32_t>& Undecided() const { return current_.undecided; }
  /// The transform of the last Use or Note, if there was one.
  std::optional<Transform> LastTransform() const { return known_ ? std::optional(current_.transform) : std::nullopt; }
  /// Times Use had to work the pixels out itself, for the frames' tests.
  int64_t WorkedOutInUse() const { return workedOutInUse_; }

 private:
  // The pixels of the strip under one transform.
  struct Set {
    Transform transform;
    bool valid = false;  // the transform is one the pixels can be worked out for
    std::vector<ColumnBarCoverage::Span> spans;
    std::vector<uint32_t> undecided;
  };
  void Compute(Set& set, std::span<const int32_t> xs, std::span<const int32_t> counts, std::span<const int16_t> ys);
  // Keeps `set` beside the current one, the oldest going past kMostKept.
  void Keep(Set&& set);

  TraceCoverage coverage_;
  Set current_;
  bool known_ = false;  // current_.transform is the last draw's
  bool ready_ = false;  // current_ holds the strip's pixels under its transform
  std::vector<Set> kept_;  // of the same strip under other transforms, oldest first
  int64_t workedOutInUse_ = 0;
};

}  // namespace skelvane
