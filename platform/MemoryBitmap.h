#pragma once
// A 32-bit bottom-up memory bitmap: bytes B, G, R, X per pixel, row 0 is the bottom row. The
// renderer draws into it, the window shows it, the bitmap export and the snapshot write it out.

#include <cstdint>
#include <vector>

namespace skelvane {

class MemoryBitmap {
 public:
  MemoryBitmap() = default;
  MemoryBitmap(int32_t width, int32_t height) { Resize(width, height); }

  /// Reallocates for the new size; the pixels become 0 (black).
  void Resize(int32_t width, int32_t height) {
    width_ = width > 0 ? width : 0;
    height_ = height > 0 ? height : 0;
    pixels_.assign(static_cast<std::size_t>(width_) * static_cast<std::size_t>(height_) * 4u, 0);
  }

  int32_t Width() const { return width_; }
  int32_t Height() const { return height_; }
  int32_t BytesPerRow() const { return width_ * 4; }
  uint8_t* Bits() { return pixels_.data(); }
  const uint8_t* Bits() const { return pixels_.data(); }
  std::size_t SizeInBytes() const { return pixels_.size(); }

  /// The pixel at column x, row y counted from the top, as a colour value 0x00BBGGRR.
  uint32_t ColorAt(int32_t x, int32_t yFromTop) const {
    const uint8_t* p = pixels_.data() + (static_cast<std::size_t>(height_ - 1 - yFromTop) * width_ + x) * 4u;
    return static_cast<uint32_t>(p[2]) | (static_cast<uint32_t>(p[1]) << 8) | (static_cast<uint32_t>(p[0]) << 16);
  }

 private:
  int32_t width_ = 0;
  int32_t height_ = 0;
  std::vector<uint8_t> pixels_;
};

}  // namespace skelvane
