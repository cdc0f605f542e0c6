#pragma once
// Draws one-pixel vertical lines that share their ends, one per column, for GLRenderer (the canvas's
// markers): as lines, or, once the self-check (MaskDrawer) on the first frame has shown they give the
// very same pixels on this driver, as one rectangle per run of neighbouring columns and, where runs
// crowd, one quad over them through a row mask (ColumnRowMask). Columns nothing else shows over outside
// a few boxes are written straight into the read-back frame (ColumnFill), once the check has shown
// that gives the same pixels too: GLRenderer tells it where each later primitive goes (Note).

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
  /// Draws the lines it has to through `batch`.
  explicit ColumnLineDrawer(PrimitiveBatch& batch) : MaskDrawer(batch) {}

  void StartFrame() override;
  void Forget() override { rowMask_.Forget(); }
  /// Lets columns be written into the read-back frame once checked (allowed by default).
  void AllowFill(bool allowed) { fillAllowed_ = allowed; }
  bool FillInUse() const { return InUse() && fillAllowed_ && fillChecked_; }

  /// A primitive is about to be drawn within `boxes` at clip depth `depth` (smaller is in front): the
  /// columns left to the read-back that it would cover are drawn first, as they would have been.
  /// `sameAs`, when given, is the opaque colour of every pixel the primitive lights: columns of that
  /// colour at its depth come out the same whichever is drawn last.
  void Note(std::span<const WindowBox> boxes, float depth, std::optional<uint32_t> sameAs = std::nullopt);
  /// Writes the columns left to the read-back into the frame read back, `width` x `height` pixels.
  void Apply(uint32_t* pixels, int32_t width, int32_t height) const { fill_.Apply(pixels, width, height); }

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
  // The decided columns left to the read-back but for the boxes of primitives drawn before them in
  // front of them; false when they cannot be (not checked, or other columns at another depth wait).
  bool LeaveToFill(uint32_t colour, int32_t z);
  // The parts of a waiting set within `boxes`, through the rasteriser at its own depth and colour, and
  // left out of what is written into the read-back.
  struct Waiting;
  void DrawParts(const Waiting& waiting, std::span<const WindowBox> boxes);
  // Takes the part of a waiting set within `box` (a band's piece not drawn yet) when it holds any of
  // its pixels.
  void AddPart(const Waiting& waiting, const WindowBox& box);
  // How many of the waiting sets, from the first, a primitive at `depth` (opaque in `sameAs`, when
  // given) must not be drawn under before their parts are: those in front of it aside.
  std::size_t Covered(float depth, std::optional<uint32_t> sameAs) const;
  // Draws the waiting sets' parts under `boxes` that a primitive at `depth` drawn next shows over.
  void DrawWaitingUnder(std::span<const WindowBox> boxes, float depth, std::optional<uint32_t> sameAs);

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

  // A set of columns left to the read-back: what drawing its boxes' part takes.
  struct Waiting {
    std::size_t set;
    float depth;
    uint32_t colour;
    int32_t z;
    MaskedState state;
    WindowBox area;  // the columns' and rows' bounds
  };
  struct Footprint {
    WindowBox box;
    float depth;
  };

  ColumnBarCoverage coverage_;      // the current transform's columns and pixel edges
  MaskedState masked_;              // the GL state the rectangles reproduce
  ColumnRowMask rowMask_;           // draws the rectangles, the crowded ones through a mask
  std::vector<int32_t> columns_;    // the decided lines' pixel columns, sorted, each once
  std::vector<int32_t> undecided_;  // the xs left to the rasteriser
  int32_t firstRow_ = 0, endRow_ = 0;
  ColumnFill fill_;                   // this frame's columns left to the read-back
  std::vector<Waiting> waiting_;      // and what drawing parts of them takes
  std::vector<Footprint> earlier_;    // the frame's primitives so far
  std::vector<WindowBox> boxes_;      // scratch
  std::vector<WindowBox> parts_;      // scratch
  std::vector<std::pair<int32_t, int32_t>> pieces_;  // scratch
  bool fillAllowed_ = true;
  bool fillChecked_ = false;          // the check drew the read-back's columns alike
  bool checkingFill_ = false;         // the check is drawing them that way
};

}  // namespace skelvane
