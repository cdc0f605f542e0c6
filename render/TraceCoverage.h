#pragma once
// Works out on the CPU which pixels a trace's line strip lights. Consecutive points in one column
// make vertical segments, whose rows follow from each point's own position and from the direction
// the strip passes through it; the segments between columns go through LineRaster. The renderer
// uses it to draw a dense trace as a few masked quads with exactly the strip's pixels.

#include <array>
#include <cstdint>
#include <span>
#include <vector>

#include "render/ColumnBarCoverage.h"
#include "render/VerticalChain.h"
#include "render/WindowTransform.h"

namespace skelvane {

class TraceCoverage {
 public:
  /// Takes the combined model-view-projection matrix (column-major, as GL stores it) and the viewport.
  /// False, and no segment is decided, unless the matrix only scales and translates x and y.
  bool SetTransform(const std::array<float, 16>& matrix, int32_t viewportX, int32_t viewportY, int32_t viewportWidth,
                    int32_t viewportHeight);

  /// Lets whole columns go through VerticalChain's vector form where the machine runs it (the
  /// default), or takes every segment one by one, as machines without it do.
  void UseVectorForm(bool use) { vectorForm_ = use; }

  /// The strip through the points: run k holds counts[k] points in column xs[k], `ys` every point's
  /// value, in strip order. Fills `spans` with its pixels (at most a few per pixel column) and
  /// `undecided` with the first point i of each segment i -> i + 1 left to the rasteriser: those with
  /// a point on or past the clip volume's edge, but for vertical segments in columns off their pixels'
  /// centres that run past its top or bottom from near it (those light their rows inside the
  /// viewport), and those with a pixel left or right of the viewport. A segment wholly past one edge
  /// lights nothing.
  void Compute(std::span<const int32_t> xs, std::span<const int32_t> counts, std::span<const int16_t> ys,
               std::vector<ColumnBarCoverage::Span>& spans, std::vector<uint32_t>& undecided);

 private:
  // A point's window position; `inside` when it lies strictly inside the clip volume, `insideX`
  // when it does across. `side` says which of the volume's top and bottom it lies past (0: neither),
  // and `near` whether it lies close enough to the volume that the rasteriser takes a segment to it
  // whole and drops the pixels past the viewport's edge.
  struct Point {
    float x;
    float y;
    bool inside;
    bool insideX;
    uint8_t side;
    bool near;
  };
  // The rows a vertical segment lights, first..last (none when first > last).
  struct Rows {
    int32_t first;
    int32_t last;
  };
  Point Window(int32_t x, int16_t y) const;
  Rows VerticalRows(const Point& from, const Point& to) const;
  // What a segment from `a` to `b` does: lights the pixels worked out for it that fall inside the
  // viewport, lights nothing (both ends past the same edge) or is left to the rasteriser.
  enum class Reach { kCut, kNothing, kUndecided };
  static Reach SegmentReach(const Point& a, const Point& b, bool crossingCuts);
  // The rows of a segment's pixels in one column that fall inside the viewport.
  Rows CutToViewport(int32_t firstRow, int32_t lastRow) const;
  bool ColumnInViewport(int32_t column) const;
  void AddRun(int32_t x, std::span<const int16_t> ys, uint32_t first, std::vector<ColumnBarCoverage::Span>& spans,
              std::vector<uint32_t>& undecided);
  void AddStep(const Point& a, const Point& b, uint32_t index, std::vector<ColumnBarCoverage::Span>& spans,
               std::vector<uint32_t>& undecided, std::size_t spanAt, std::size_t undecidedAt);
  void AddColumn(int32_t column, std::span<const Rows> rows, std::vector<ColumnBarCoverage::Span>& spans);
  static bool Covered(const Point& a, const Point& b, std::span<const ColumnBarCoverage::Span> from,
                      std::span<const ColumnBarCoverage::Span> to);

  bool valid_ = false;
  bool vectorForm_ = true;
  WindowTransform t_;  // the last transform SetTransform took
  std::vector<Rows> rows_;
  VerticalChain chain_;
  std::vector<VerticalChain::RowRun> chainRows_;
  std::vector<uint64_t> bits_;
  std::vector<ColumnBarCoverage::Span> segmentSpans_;
};

}  // namespace skelvane
