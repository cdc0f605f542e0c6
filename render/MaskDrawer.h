#pragma once
// What the mask drawers share: whether their masks may be used (allowed, and shown by a self-check
// on the first frame to give the rasteriser's very pixels on this driver), the mask textures, the GL
// state a masked draw reads back, and the check's corner. ColumnBarDrawer, TraceDrawer and
// ColumnLineDrawer derive from it; GLRenderer drives them through it.

#include <array>
#include <cstdint>
#include <vector>

#include "render/ColumnBarMask.h"

namespace skelvane {

class PrimitiveBatch;

class MaskDrawer {
 public:
  MaskDrawer(const MaskDrawer&) = delete;
  MaskDrawer& operator=(const MaskDrawer&) = delete;

  /// True while the masks are allowed and have not been checked yet.
  bool NeedsCheck() const { return state_ == State::kUnchecked && allowed_; }
  /// Draws the check's passes both ways in a corner of the current framebuffer of `frameWidth` x
  /// `frameHeight` pixels, under an orthographic projection with the renderer's depth range, and
  /// keeps the masks only if every byte agrees (on a frame too small to tell, the check waits for a
  /// later one). Leaves the projection reset; the caller clears the frame.
  void Check(int32_t frameWidth, int32_t frameHeight, double nearPlane, double farPlane);
  /// Lets the masks be used once checked (allowed by default).
  void Allow(bool allowed) { allowed_ = allowed; }
  /// True when drawing goes through the masks.
  bool InUse() const { return state_ == State::kInUse && allowed_; }
  /// What a masked draw takes from GL: the projection, the viewport and the projection's depth row.
  struct MaskedState {
    std::array<float, 16> projection{};
    int32_t viewport[4] = {0, 0, 0, 0};
    float depthRow[4] = {0.0f, 0.0f, 0.0f, 0.0f};
  };

  /// A new frame: the last frame's mask textures may be refilled.
  virtual void StartFrame() { mask_.StartFrame(); }
  /// Drops the mask textures of a context that is gone.
  virtual void Forget() { mask_.Forget(); }

 protected:
  /// Draws through `batch`.
  explicit MaskDrawer(PrimitiveBatch& batch) : batch_(batch) {}
  virtual ~MaskDrawer() = default;

  /// The GL state of a draw at depth z; false when the masks cannot reproduce it (a model-view
  /// matrix other than the identity, a depth on or past the near and far planes).
  static bool ReadMaskedState(int32_t z, MaskedState& state);
  /// Reads the check's corner of `width` x `height` pixels back into `pixels`.
  static void ReadCheckFrame(int32_t width, int32_t height, std::vector<uint8_t>& pixels);
  /// How many passes the check draws.
  virtual int32_t CheckPasses() const = 0;
  /// Draws one pass both ways into the corner; true when the masks drew it and every byte agrees.
  virtual bool CheckPass(int32_t pass, int32_t width, int32_t height) = 0;

  PrimitiveBatch& batch_;
  ColumnBarMask mask_;
  double nearPlane_ = 0.0;  // the depth range of the check's projection, the renderer's own
  double farPlane_ = 0.0;

 private:
  enum class State { kUnchecked, kInUse, kOff };

  State state_ = State::kUnchecked;
  bool allowed_ = true;
};

}  // namespace skelvane
