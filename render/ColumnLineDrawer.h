#pragma once
// Draws one-pixel vertical lines that share their ends, one per column, for GLRenderer (the canvas's
// markers): as lines, or, once the self-check (MaskDrawer) on the first frame has shown they give the
// very same pixels on this driver, as one rectangle per run of neighbouring columns and, where runs
// crowd, one quad over them through a row mask (ColumnRowMask). Columns nothing else shows over outside
// a few boxes are left to the read-back (ReadBackColumns), once the check has shown that gives the
// same pixels too.

#include <cstdint>
#include <optional>
#include <span>
#include <utility>
#include <vector>

#include "render/ColumnBarCoverage.h"
#include "render/ColumnFill.h"
#include "render/ColumnRowMask.h"
#include "render/MaskDrawer.h"

namespace skelvane {

class PrimitiveBatch;

class ColumnLineDrawer final : public MaskDrawer {
 public:
  /// Draws the lines it has to through `batch`, and leaves columns to `readBack`.
  ColumnLineDrawer(PrimitiveBatch& batch, ReadBackColumns& readBack) : MaskDrawer(batch, readBack) {}

  void StartFrame() override;
  void Forget() override { rowMask_.Forget(); }

  /// The lines from (xs[i], yLow) to (xs[i], yHigh) in `colour` at depth z, `lineWidth` canvas pixels
  /// wide, for the current transform.
  void Draw(std::span<const int32_t> xs, int32_t yLow, int32_t yHigh, uint32_t colour, int32_t lineWidth, int32_t z);

 private:
  // The lines' pixel columns and their rows [firstRow, endRow) where the transform decides them;
  // `undecided` gets the lines left to the rasteriser (a column on a pixel edge or centre, an end off
  // a pixel edge or past the viewport). False, with every line undecided, for a transform other than
  // a scale and translation with the lines going up the screen.
  bool Columns(std::span<const int32_t> xs, int32_t yLow, int32_t yHigh, int32_t z);
  // The decided lines as rectangles and the rest as lines; false, with nothing drawn, when the
  // transform decides none of them.
  bool DrawDecided(std::span<const int32_t> xs, int32_t yLow, int32_t yHigh, uint32_t colour, int32_t lineWidth,
                   int32_t z, bool fill);
  // A set of these columns left to the read-back, within `parts`, through the row mask.
  void DrawParts(const ColumnFill& fill, std::size_t set, std::span<const WindowBox> parts, int32_t z,
                 const MaskedState& state) override;

  // The columns' rectangles and row masks, in window pixels at the lines' own depth.
  void DrawRectangles(int32_t z);
  // Tells the waiting columns where lines from (xs[i], yLow) to (xs[i], yHigh) go.
  void NoteLines(std::span<const int32_t> xs, int32_t yLow, int32_t yHigh, uint32_t colour, int32_t lineWidth,
                 int32_t z);
  void DrawLines(std::span<const int32_t> xs, int32_t yLow, int32_t yHigh, uint32_t colour, int32_t lineWidth,
                 int32_t z);
  // Three canvases: unscrolled, scrolled, and a fractional scale whose ends fall between pixel edges.
  int32_t CheckPasses() const override { return 3; }
  bool CheckPass(int32_t pass, int32_t width, int32_t height) override;
  // Draws the check's lines one way into a cleared corner and reads it back.
  enum class Way { kLines, kRectangles, kFill };
  void DrawCheckFrame(Way way, int32_t pass, int32_t width, int32_t height, std::vector<uint8_t>& pixels);

  ColumnBarCoverage coverage_;      // the current transform's columns and pixel edges
  MaskedState masked_;              // the GL state the rectangles reproduce
  ColumnRowMask rowMask_;           // draws the rectangles, the crowded ones through a mask
  std::vector<int32_t> columns_;    // the decided lines' pixel columns, sorted, each once
  std::vector<int32_t> undecided_;  // the xs left to the rasteriser
  int32_t firstRow_ = 0, endRow_ = 0;
  std::vector<WindowBox> boxes_;      // scratch
};

}  // namespace skelvane
