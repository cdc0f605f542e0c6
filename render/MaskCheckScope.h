#pragma once
// The corner of the frame where a mask drawer checks its masks against the rasteriser: the viewport
// and the batch's pixel ratio are set for the check while the scope lives and put back after, and
// each check frame starts from a cleared, depth-tested corner. MaskDrawer and its drawers use it.

#include <cstdint>

namespace skelvane {

class PrimitiveBatch;

class MaskCheckScope {
 public:
  /// The corner the checks draw in (a height whose half is not a power of two, so the viewport step
  /// rounds) and the smallest frame a check runs on.
  static constexpr int32_t kWidth = 256;
  static constexpr int32_t kHeight = 250;
  static constexpr int32_t kMinimum = 32;

  /// Takes the corner of a frame of this size; Usable() is false when the frame is too small to
  /// check on (it is checked on a later, larger frame) and nothing is changed then.
  MaskCheckScope(PrimitiveBatch& batch, int32_t frameWidth, int32_t frameHeight);
  /// Puts the viewport and the pixel ratio back and leaves an identity projection.
  ~MaskCheckScope();
  MaskCheckScope(const MaskCheckScope&) = delete;
  MaskCheckScope& operator=(const MaskCheckScope&) = delete;

  /// Whether the frame is large enough to check on.
  bool Usable() const { return usable_; }
  /// The corner's size.
  int32_t Width() const { return width_; }
  int32_t Height() const { return height_; }

  /// Clears colour and depth, tests depth as the plots do, and resets the model-view matrix.
  static void BeginFrame();

 private:
  PrimitiveBatch& batch_;
  int32_t width_;
  int32_t height_;
  bool usable_;
  int32_t savedViewport_[4] = {0, 0, 0, 0};
  int32_t savedRatio_ = 1;
};

}  // namespace skelvane
