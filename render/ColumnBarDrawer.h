#pragma once
// Draws zoomed-out bars for GLRenderer: a vertical segment per column with a point on each end,
// either as those segments and points or, for one-pixel lines, as a few quads masked by
// ColumnBarMask, once a self-check on the first frame has shown the masks give the very same pixels
// on this driver.

#include <GL/gl.h>

#include <cstdint>
#include <span>
#include <vector>

#include "render/ColumnBarCoverage.h"
#include "render/ColumnBarMask.h"

namespace skelvane {

class PrimitiveBatch;

class ColumnBarDrawer {
 public:
  /// Draws the segments it has to through `batch`.
  explicit ColumnBarDrawer(PrimitiveBatch& batch) : batch_(batch) {}

  /// True while the masks are allowed and have not been checked yet.
  bool NeedsCheck() const { return state_ == State::kUnchecked && allowed_; }
  /// Draws the same bars both ways in a corner of the current framebuffer of `frameWidth` x
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

  /// The rows bars of `lineWidth` at depth z would be drawn in through the masks for the current
  /// transform, in `rows`; false when they would not go through the masks (then nothing but their
  /// exact values is known to give their pixels).
  bool Rows(int32_t lineWidth, int32_t z, ColumnBarCoverage& rows) const;
  /// The bars from (xs[i], lows[i]) to (xs[i], highs[i]) in `colour` at depth z, `lineWidth` canvas
  /// pixels wide.
  void Draw(std::span<const int32_t> xs, std::span<const int16_t> lows, std::span<const int16_t> highs,
            uint32_t colour, int32_t lineWidth, int32_t z);

 private:
  enum class State { kUnchecked, kInUse, kOff };

  static void ClipToScissor(std::vector<ColumnBarCoverage::Span>& spans);
  // The transform of the next bars in `coverage` when the masks reproduce it at depth z.
  static bool MaskedTransform(int32_t z, ColumnBarCoverage& coverage, float depthRow[4], int32_t viewport[4]);
  // The one-pixel bars through a mask, and the few the mask cannot decide as segments. False, with
  // nothing drawn, when the transform or the depth is not one the mask reproduces.
  bool DrawMasked(std::span<const int32_t> xs, std::span<const int16_t> lows, std::span<const int16_t> highs,
                  uint32_t colour, int32_t z);
  // Draws the check's bars one way (masked or as segments) into a cleared corner and reads it back;
  // false when the masks refused them.
  bool DrawCheckFrame(bool masked, bool onEdges, int32_t width, int32_t height, std::vector<int32_t>& xs,
                      std::vector<int16_t>& lows, std::vector<int16_t>& highs, std::vector<uint8_t>& pixels);
  // The depth range of the check's projection, the renderer's own.
  double nearPlane_ = 0.0;
  double farPlane_ = 0.0;
  // Values whose window row differs when the viewport step is one fused multiply-add and when it is
  // two roundings, or when the vertex step is fused: one degenerate bar each.
  static void AddSensitiveBars(int32_t width, std::vector<int32_t>& xs, std::vector<int16_t>& lows,
                               std::vector<int16_t>& highs);

  PrimitiveBatch& batch_;
  State state_ = State::kUnchecked;
  bool allowed_ = true;
  ColumnBarCoverage coverage_;
  ColumnBarMask mask_;
  std::vector<ColumnBarCoverage::Span> spans_;
  std::vector<uint32_t> undecided_;
  std::vector<int32_t> leftoverXs_;
  std::vector<int16_t> leftoverLows_, leftoverHighs_;
};

}  // namespace skelvane
