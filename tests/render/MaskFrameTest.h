#pragma once
// A renderer on a full-size canvas whose frames are read back whole, and the count of pixels two
// such frames differ in: the fixture of the tests that hold the masked drawing to the rasteriser's.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "platform/MemoryBitmap.h"
#include "render/GLRenderer.h"
#include "tests/support/CapturedReports.h"

namespace skelvane::test {

class MaskFrameTest : public ::testing::Test {
 protected:
  /// A new canvas of `width` x `height` pixels with every mask allowed, so the first frame checks them.
  void Prepare(int32_t width, int32_t height) {
    width_ = width;
    height_ = height;
    renderer_.AllowBarMasks(true);
    renderer_.AllowTraceMasks(true);
    renderer_.AllowColumnRectangles(true);
    renderer_.RequestNewDIBSection();
    ASSERT_EQ(renderer_.CreateDIBSectionOGL(width, height), 0);
    ASSERT_EQ(renderer_.SetupRenderer(), 0);
    renderer_.ClearScene();
  }

  /// The frame drawn so far, flushed and read back.
  std::vector<uint8_t> ReadFrame() {
    renderer_.Flush();
    EXPECT_EQ(renderer_.ReadBack(), 0);
    const MemoryBitmap& bitmap = renderer_.Bitmap();
    return std::vector<uint8_t>(bitmap.Bits(), bitmap.Bits() + bitmap.SizeInBytes());
  }

  /// How many pixels of two frames of the same size differ in any byte.
  static std::size_t DifferingPixels(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b) {
    EXPECT_EQ(a.size(), b.size());
    std::size_t differing = 0;
    for (std::size_t i = 0; i + 4 <= std::min(a.size(), b.size()); i += 4) {
      if (!std::equal(a.begin() + static_cast<std::ptrdiff_t>(i), a.begin() + static_cast<std::ptrdiff_t>(i + 4),
                      b.begin() + static_cast<std::ptrdiff_t>(i))) {
        ++differing;
      }
    }
    return differing;
  }

  CapturedReports reports_;
  GLRenderer renderer_;
  int32_t width_ = 0, height_ = 0;
};

}  // namespace skelvane::test
