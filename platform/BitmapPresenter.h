#pragma once
// Where a finished frame goes: the Qt window draws it as one image; tests and the snapshot command
// keep it. The renderer hands its bitmap over in one call, or swaps it for one the presenter is done
// with, so that a frame reaches the window without a copy of its own.

#include <cstdint>

namespace skelvane {

class MemoryBitmap;

class BitmapPresenter {
 public:
  virtual ~BitmapPresenter() = default;
  /// Shows the region (0,0)-(width,height) of `bitmap`, counted from its top-left corner as on
  /// screen and never larger than the bitmap, with that corner at (x, y) of the destination;
  /// false when it could not be shown.
  virtual bool Present(const MemoryBitmap& bitmap, int32_t width, int32_t height, int32_t x, int32_t y) = 0;
  /// Shows the region as Present does, but may keep `bitmap` itself instead of copying it, leaving in
  /// its place a bitmap it no longer needs (of any size, its pixels anything) for the next frame.
  virtual bool Take(MemoryBitmap& bitmap, int32_t width, int32_t height, int32_t x, int32_t y) {
    return Present(bitmap, width, height, x, y);
  }
};

}  // namespace skelvane
