#pragma once
// Draws zoomed-in traces for GLRenderer: one line strip through every point, either as that strip
// or, for a dense strip of one-pixel lines, as the pixels TraceCoverage works out put down through
// a ColumnBarMask as a few masked quads (the segments it leaves undecided drawn as lines), once a
// self-check on the first frame has shown the masks give the very same pixels on this driver.

#include <GL/gl.h>

#include <cstdint>
#include <span>
#include <vector>

#include "render/ColumnBarMask.h"
#include "render/TracePixels.h"

namespace skelvane {

class PrimitiveBatch;

class TraceDrawer {
 public:
  /// Draws strips and segments through `batch`.
  explicit TraceDrawer(PrimitiveBatch& batch) : batch_(batch) {}

  /// True while the masks are allowed and have not been checked yet.
  bool NeedsCheck() const { return state_ == State::kUnchecked && allowed_; }
  /// Draws test strips both ways in a corner of the current framebuffer of `frameWidth` x
  /// `frameHeight` pixels, under an orthographic projection with the renderer's depth range, and
  /// keeps the masks only if every byte agrees (on a frame too small to tell, the check waits for a
  /// later one). Leaves the projection reset; the caller clears the frame.
  void Check(int32_t frameWidth, int32_t frameHeight, double nearPlane, double farPlane);
  /// Lets the masks be used once checked (allowed by default).
  void Allow(bool allowed) { allowed_ = allowed; }
  /// True when Draw goes through the masks.
  bool InUse() const { return state_ == State::kInUse && allowed_; }
  /// A new frame: the last frame's mask textures may be refilled.
  void StartFrame() { mask_.StartFrame(); }
  /// Drops the mask textures of a context that is gone.
  void Forget() { mask_.Forget(); }

  /// The strip through the points (run k: counts[k] points in column xs[k]; ys every point's value)
  /// in `colour` at depth z, `lineWidth` canvas pixels wide, taking its pixels from `pixels` when
  /// they were worked out for the current transform (and keeping them there otherwise).
  void Draw(std::span<const int32_t> xs, std::span<const int32_t> counts, std::span<const int16_t> ys,
            uint32_t colour, int32_t lineWidth, int32_t z, TracePixels* pixels);

 private:
  enum class State { kUnchecked, kInUse, kOff };

  // The strip through the masks, and the segments they leave undecided as lines. False, with
  // nothing drawn, when the transform or the depth is not one the masks reproduce.
  bool DrawMasked(std::span<const int32_t> xs, std::span<const int32_t> counts, std::span<const int16_t> ys,
                  int32_t z, TracePixels& pixels);
  // The strip as one line strip, the rasteriser's own way.
  void DrawStrip(std::span<const int32_t> xs, std::span<const int32_t> counts, std::span<const int16_t> ys,
                 int32_t z);
  // The segments from point i to point i + 1 for each i in `undecided`, each a line of its own.
  void DrawSegments(std::span<const int32_t> xs, std::span<const int32_t> counts, std::span<const int16_t> ys,
                    std::span<const uint32_t> undecided, int32_t z);
  // Draws one pass's test strips one way into a cleared corner and reads it back; false when the
  // masks refused them.
  bool DrawCheckFrame(bool masked, int32_t pass, int32_t width, int32_t height, std::vector<uint8_t>& pixels);

  PrimitiveBatch& batch_;
  State state_ = State::kUnchecked;
  bool allowed_ = true;
  double nearPlane_ = 0.0;  // the depth range of the check's projection, the renderer's own
  double farPlane_ = 0.0;
  ColumnBarMask mask_;
  TracePixels pixels_;  // for strips drawn without pixels of their own
};

}  // namespace skelvane
