#pragma once
// Works out on the CPU which pixels a zoomed-out trace's min/max bars light: each bar is a one-pixel
// vertical segment with a one-pixel point on each end. The renderer uses it to draw a plot's bars as
// one masked quad instead of thousands of lines, with the rasteriser's own pixels.

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "render/WindowTransform.h"

namespace skelvane {

class ColumnBarCoverage {
 public:
  /// The pixels of one bar: rows firstRow..lastRow (bottom-up, inclusive) of one pixel column.
  struct Span {
    int32_t column = 0;
    int32_t firstRow = 0;
    int32_t lastRow = 0;
  };

  /// Takes the combined model-view-projection matrix (column-major, as GL stores it) and the viewport.
  /// False, and no bar is decided, unless the matrix only scales and translates x and y.
  bool SetTransform(const std::array<float, 16>& matrix, int32_t viewportX, int32_t viewportY, int32_t viewportWidth,
                    int32_t viewportHeight);

  /// Only rows `firstRow`..`firstRow + rows - 1` are kept (the scissor box's rows; all of the
  /// viewport's by default, and again after SetTransform).
  void KeepRows(int32_t firstRow, int32_t rows);
  /// A bar end value's place among the pixel rows: where two bars in one column (not a TieColumn)
  /// have ends with equal keys, they light the same kept pixels, whether the masks or the rasteriser
  /// draw them. Values on rows strictly inside the viewport share their row's key; values above the
  /// kept rows or beyond the viewport's top edge (cut off there) share one key, as do those below;
  /// values on the viewport's first or last row or on its edge have keys of their own.
  /// Non-decreasing in the value; only for a transform that scales y by a positive factor (see
  /// RowsUsable).
  int64_t RowKey(int32_t value) const;
  /// True for a column whose bars' pixels depend on more than their ends' row keys: a column on a
  /// pixel edge or centre (left to the rasteriser), on the viewport's edge or past it.
  bool TieColumn(int32_t x) const { return !Column(x).has_value(); }
  /// The pixel column a one-pixel vertical line or bar at x lights; none for a TieColumn.
  std::optional<int32_t> Column(int32_t x) const;
  /// The pixel row whose lower edge a vertex at y falls on exactly, inside the viewport or on its
  /// edges (where the clipper leaves a vertex as it is; the top edge gives the row past the last);
  /// none for a value between pixel edges or past the viewport.
  std::optional<int32_t> EdgeRow(int32_t y) const;
  /// Whether RowKey and TieColumn describe the transform (it is valid and scales y up the screen).
  bool RowsUsable() const { return valid_ && t_.scaleY > 0.0f; }
  /// The same transform and viewport.
  bool operator==(const ColumnBarCoverage& other) const = default;

  /// Fills `spans` with the pixels of each bar that lies inside the viewport, and `undecided` with
  /// the index of each bar on a tie (a column on a pixel edge or centre, an end on or past the
  /// viewport's edge): those the caller draws the ordinary way. Bars wholly outside are in neither.
  /// As many bars as the shortest sequence holds.
  void Compute(std::span<const int32_t> xs, std::span<const int16_t> lows, std::span<const int16_t> highs,
               std::vector<Span>& spans, std::vector<uint32_t>& undecided) const;

 private:
  // Clip-space position of a vertex coordinate, and a clip position's window position in 1/256
  // pixel as the rasteriser snaps it.
  float ClipX(int32_t x) const;
  float ClipY(int32_t y) const;
  static int64_t Snap(float clip, float half, float centre);
  // Whether a column's snapped position is one the masks leave to the rasteriser.
  static bool OnTie(int64_t snappedX);
  // The rows a bar with an end past the top or bottom of the clip volume lights, when they can be
  // told without the rasteriser.
  std::optional<Span> CutBar(float clipX, float clipLow, float clipHigh) const;

  bool valid_ = false;
  WindowTransform t_;  // the last transform SetTransform took
  int32_t keptFirstRow_ = 0, keptLastRow_ = -1;  // the rows whose pixels are kept
};

}  // namespace skelvane
