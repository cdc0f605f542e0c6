#pragma once
// Draws one-pixel vertical lines that share their ends, one per column, for GLRenderer (the canvas's
// markers): as lines, or, once a self-check on the first frame has shown they give the very same
// pixels on this driver, as one rectangle per run of neighbouring columns.

#include <GL/gl.h>

#include <cstdint>
#include <span>
#include <vector>

namespace skelvane {

class PrimitiveBatch;

class ColumnLineDrawer {
 public:
  /// Draws the lines it has to through `batch`.
  explicit ColumnLineDrawer(PrimitiveBatch& batch) : batch_(batch) {}

  /// True while the rectangles are allowed and have not been checked yet.
  bool NeedsCheck() const { return state_ == State::kUnchecked && allowed_; }
  /// Draws the same lines both ways in a corner of the current framebuffer of `frameWidth` x
  /// `frameHeight` pixels, under orthographic projections with the renderer's depth range, and keeps
  /// the rectangles only if every byte agrees (a frame too small to tell waits for a later one).
  /// Leaves the projection reset; the caller clears the frame.
  void Check(int32_t frameWidth, int32_t frameHeight, double nearPlane, double farPlane);
  /// Lets the rectangles be used once checked (allowed by default).
  void Allow(bool allowed) { allowed_ = allowed; }
  /// True when Draw goes through the rectangles.
  bool InUse() const { return state_ == State::kInUse && allowed_; }

  /// The lines from (xs[i], yLow) to (xs[i], yHigh) in `colour` at depth z, `lineWidth` canvas pixels
  /// wide, for the current transform.
  void Draw(std::span<const int32_t> xs, int32_t yLow, int32_t yHigh, uint32_t colour, int32_t lineWidth, int32_t z);

 private:
  enum class State { kUnchecked, kInUse, kOff };

  // The lines' pixel columns and their rows [firstRow, endRow) where the transform decides them;
  // `undecided` gets the lines left to the rasteriser (a column on a pixel edge or centre, an end off
  // a pixel edge or past the viewport). False, with every line undecided, for a transform other than
  // a scale and translation with the lines going up the screen.
  bool Columns(std::span<const int32_t> xs, int32_t yLow, int32_t yHigh, int32_t z);
  // Rectangles over each run of neighbouring columns, in window pixels at the lines' own depth.
  void DrawRectangles(int32_t z) const;
  void DrawLines(std::span<const int32_t> xs, int32_t yLow, int32_t yHigh, uint32_t colour, int32_t lineWidth,
                 int32_t z);
  // Draws the check's lines one way into a cleared corner and reads it back.
  void DrawCheckFrame(bool rectangles, int32_t pass, int32_t width, int32_t height, std::vector<uint8_t>& pixels);

  PrimitiveBatch& batch_;
  State state_ = State::kUnchecked;
  bool allowed_ = true;
  double nearPlane_ = 0.0;
  double farPlane_ = 0.0;
  std::vector<int32_t> columns_;    // the decided lines' pixel columns, sorted, each once
  std::vector<int32_t> undecided_;  // the xs left to the rasteriser
  int32_t firstRow_ = 0, endRow_ = 0;
  float depthRow_[4] = {0.0f, 0.0f, 0.0f, 0.0f};
  GLint viewport_[4] = {0, 0, 0, 0};
};

}  // namespace skelvane
