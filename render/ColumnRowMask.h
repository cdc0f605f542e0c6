#pragma once
// Fills one-pixel columns that all light the same rows, where they crowd, through a one-row texture
// stretched over those rows whose texels pass the alpha test only in the lit columns. ColumnLineDrawer
// draws its decided columns through it; the other runs of columns go down as plain rectangles.

#include <GL/gl.h>

#include <cstdint>
#include <span>
#include <vector>

#include "render/ColumnFill.h"
#include "render/MaskTextures.h"

namespace skelvane {

class ColumnRowMask {
 public:
  /// Lets every texture be refilled: a new frame no longer needs the last one's masks.
  void StartFrame() { textures_.StartFrame(); }
  /// Drops the texture names of a context that is gone.
  void Forget() { textures_.Forget(); }

  /// Draws `columns` (sorted, each once) over rows [firstRow, endRow) in the current colour at depth
  /// z, under a projection onto window pixels: runs of neighbouring columns as rectangles, and runs
  /// fewer than kBridgeGap columns apart together as one quad through the mask.
  void Draw(std::span<const int32_t> columns, int32_t firstRow, int32_t endRow, int32_t z);
  /// The same within `boxes` alone (each its rows and columns [left, right)), one texture for all.
  void DrawWithin(std::span<const int32_t> columns, std::span<const WindowBox> boxes, int32_t z);

  /// Runs this many columns apart or more are drawn each on its own: a gap costs the rasteriser a
  /// masked block every four columns, a run of its own two partly covered blocks (one per triangle)
  /// in every row of blocks.
  static constexpr int32_t kBridgeGap = 4;

 private:
  // Columns left..right - 1: lit throughout for a run, where the mask says for a span of runs.
  struct Stretch {
    int32_t left, right;
  };
  // Calls piece(left, right, box) for each stretch's columns within each box, its rows the box's.
  template <typename Piece>
  static void EachPiece(std::span<const Stretch> stretches, std::span<const WindowBox> boxes, Piece&& piece);
  // Splits the columns into runs alone and spans of close runs.
  void Plan(std::span<const int32_t> columns);
  void DrawRuns(std::span<const Stretch> runs, std::span<const WindowBox> boxes, int32_t z) const;
  // The spans through one texture whose texel 0 is column `base`; false, with nothing drawn, when
  // they are wider than a texture.
  bool DrawSpans(std::span<const int32_t> columns, std::span<const WindowBox> boxes, int32_t z);

  MaskTextures textures_;
  std::vector<Stretch> runs_;      // runs drawn as they are
  std::vector<Stretch> spans_;     // spans drawn through the mask
  std::vector<uint8_t> row_;       // the mask's texels
};

}  // namespace skelvane
