#pragma once
// A renderer on a small bitmap where one unit is one pixel, and a presenter that keeps what it was
// handed: the fixture the renderer's primitive, surface and text tests share.

#include <gtest/gtest.h>

#include <cstdint>

#include "platform/BitmapPresenter.h"
#include "platform/MemoryBitmap.h"
#include "render/GLRenderer.h"
#include "tests/support/CapturedReports.h"

namespace skelvane::test {

inline constexpr uint32_t kRed = 0x0000FF;
inline constexpr uint32_t kGreen = 0x00FF00;
inline constexpr uint32_t kBlue = 0xFF0000;
inline constexpr uint32_t kWhite = 0xFFFFFF;
inline constexpr uint32_t kBlack = 0x000000;
inline constexpr int32_t kWidth = 64;
inline constexpr int32_t kHeight = 48;

// Keeps what it was handed, so tests can look at the presented frame.
class RecordingPresenter : public BitmapPresenter {
 public:
  explicit RecordingPresenter(bool succeed = true) : succeed_(succeed) {}
  bool Present(const MemoryBitmap& bitmap, int32_t width, int32_t height, int32_t x, int32_t y) override {
    ++calls;
    shown = bitmap;
    shownWidth = width;
    shownHeight = height;
    shownX = x;
    shownY = y;
    return succeed_;
  }
  int calls = 0;
  MemoryBitmap shown;
  int32_t shownWidth = -1, shownHeight = -1, shownX = -1, shownY = -1;

 private:
  bool succeed_;
};

// A renderer on a kWidth x kHeight bitmap where one unit is one pixel, y counts rows from the
// bottom and every integer vertex sits on a pixel centre, so expected pixels are unambiguous.
class RendererTest : public ::testing::Test {
 protected:
  void SetUp() override { Prepare(kWidth, kHeight); }

  void Prepare(int32_t width, int32_t height) {
    renderer_.RequestNewDIBSection();
    ASSERT_EQ(renderer_.CreateDIBSectionOGL(width, height), 0);
    ASSERT_EQ(renderer_.SetupRenderer(), 0);
    StartFrame();
  }
  void StartFrame() {
    renderer_.ClearScene();
    // The projection spans right + 1, so right = width - 1 maps one unit to one pixel.
    renderer_.SetProjection(0, renderer_.Bitmap().Width() - 1, 0, renderer_.Bitmap().Height());
    renderer_.Translate(0.5f, 0.5f, 0.0f);
  }
  const MemoryBitmap& Frame() {
    EXPECT_EQ(renderer_.ReadBack(), 0);
    return renderer_.Bitmap();
  }
  // Colour at column x, row y counted from the bottom (the drawing's own y).
  uint32_t At(int32_t x, int32_t y) {
    const MemoryBitmap& frame = renderer_.Bitmap();
    return frame.ColorAt(x, frame.Height() - 1 - y);
  }
  // Pixels that differ from black in the frame last read back.
  int32_t LitCount() {
    const MemoryBitmap& frame = renderer_.Bitmap();
    int32_t count = 0;
    for (int32_t y = 0; y < frame.Height(); ++y) {
      for (int32_t x = 0; x < frame.Width(); ++x) count += frame.ColorAt(x, y) != kBlack ? 1 : 0;
    }
    return count;
  }
  void FillRect(int32_t x0, int32_t y0, int32_t x1, int32_t y1, uint32_t colour, int32_t z) {
    // Vertices on the outer pixel edges, so the fill covers x0..x1-1 and y0..y1-1 exactly.
    const int32_t xs[] = {x0, x1, x1, x0};
    const int32_t ys[] = {y0, y0, y1, y1};
    renderer_.Translate(-0.5f, -0.5f, 0.0f);
    renderer_.DrawPolygon(xs, ys, 4, colour, z, 1.0f);
    renderer_.Translate(0.5f, 0.5f, 0.0f);
  }

  test::CapturedReports reports_;
  GLRenderer renderer_;
};

}  // namespace skelvane::test
