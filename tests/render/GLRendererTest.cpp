#include "render/GLRenderer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/BitmapPresenter.h"
#include "platform/MemoryBitmap.h"
#include "tests/support/CapturedReports.h"
#include "tests/support/TempDir.h"

namespace skelvane {
namespace {

constexpr uint32_t kRed = 0x0000FF;
constexpr uint32_t kGreen = 0x00FF00;
constexpr uint32_t kBlue = 0xFF0000;
constexpr uint32_t kWhite = 0xFFFFFF;
constexpr uint32_t kBlack = 0x000000;
constexpr int32_t kWidth = 64;
constexpr int32_t kHeight = 48;

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

TEST_F(RendererTest, ColourValuesAreRedInTheLowByteAndTheBitmapStoresBlueGreenRedUnused) {
  FillRect(0, 0, kWidth, kHeight, kRed, -5);
  const MemoryBitmap& frame = Frame();
  const uint8_t* first = frame.Bits();
  EXPECT_EQ(first[0], 0);    // blue
  EXPECT_EQ(first[1], 0);    // green
  EXPECT_EQ(first[2], 255);  // red
  EXPECT_EQ(first[3], 0);    // unused, as a plain RGB bitmap leaves it
  EXPECT_EQ(At(10, 10), kRed);

  StartFrame();
  FillRect(0, 0, kWidth, kHeight, kBlue, -5);
  Frame();
  EXPECT_EQ(frame.Bits()[0], 255);
  EXPECT_EQ(frame.Bits()[2], 0);
  EXPECT_EQ(At(10, 10), kBlue);
  EXPECT_TRUE(reports_.Empty());
}

TEST_F(RendererTest, TopByteOfAColourIsIgnored) {
  FillRect(0, 0, 10, 10, 0xAB123456u, -5);
  FillRect(10, 0, 20, 10, 0x00123456u, -5);
  Frame();
  EXPECT_EQ(At(5, 5), 0x123456u);
  EXPECT_EQ(At(15, 5), 0x123456u);
}

TEST(RendererColours, ColorToFloatsDividesEachComponentBy255) {
  float red = -1, green = -1, blue = -1;
  GLRenderer::ColorToFloats(0xFF3300FFu, red, green, blue);
  EXPECT_FLOAT_EQ(red, 1.0f);
  EXPECT_FLOAT_EQ(green, 0.0f);
  EXPECT_FLOAT_EQ(blue, 51.0f / 255.0f);
}

TEST_F(RendererTest, ClearSceneLeavesABlackFrame) {
  FillRect(0, 0, kWidth, kHeight, kWhite, -5);
  Frame();
  ASSERT_EQ(LitCount(), kWidth * kHeight);
  StartFrame();
  Frame();
  EXPECT_EQ(LitCount(), 0);
}

TEST_F(RendererTest, NearerDepthWinsWhicheverIsDrawnFirst) {
  FillRect(0, 0, 20, 20, kRed, -9);
  FillRect(0, 0, 20, 20, kBlue, -19);
  FillRect(30, 0, 50, 20, kBlue, -19);
  FillRect(30, 0, 50, 20, kRed, -9);
  Frame();
  EXPECT_EQ(At(10, 10), kRed);
  EXPECT_EQ(At(40, 10), kRed);
}

TEST_F(RendererTest, EqualDepthLetsTheLaterPrimitiveOverdraw) {
  FillRect(0, 0, 20, 20, kRed, -9);
  FillRect(0, 0, 20, 20, kBlue, -9);
  Frame();
  EXPECT_EQ(At(10, 10), kBlue);
}

TEST_F(RendererTest, DepthZeroIsInsideTheViewVolumeAndInFront) {
  FillRect(0, 0, 20, 20, kRed, -1);
  FillRect(0, 0, 20, 20, kGreen, 0);
  FillRect(0, 0, 20, 20, kBlue, -20);
  Frame();
  EXPECT_EQ(At(10, 10), kGreen);
}

TEST_F(RendererTest, LineCoversThePixelsBetweenItsEnds) {
  renderer_.DrawLine(5, 10, 40, 10, kWhite, 1, -5, 1.0f);
  Frame();
  for (int32_t x = 6; x < 40; ++x) EXPECT_EQ(At(x, 10), kWhite) << x;
  EXPECT_EQ(At(20, 9), kBlack);
  EXPECT_EQ(At(20, 11), kBlack);
  EXPECT_EQ(At(42, 10), kBlack);
  EXPECT_EQ(At(3, 10), kBlack);
}

TEST_F(RendererTest, LineWidthWidensTheLineAcrossItsDirection) {
  renderer_.DrawLine(20, 5, 20, 40, kWhite, 3, -5, 1.0f);
  Frame();
  EXPECT_EQ(At(19, 20), kWhite);
  EXPECT_EQ(At(20, 20), kWhite);
  EXPECT_EQ(At(21, 20), kWhite);
  EXPECT_EQ(At(18, 20), kBlack);
  EXPECT_EQ(At(22, 20), kBlack);
}

TEST_F(RendererTest, PolylineConnectsItsVerticesInOrder) {
  const std::vector<int32_t> xs = {5, 30, 30};
  const std::vector<int16_t> ys = {5, 5, 30};
  renderer_.DrawPolyline(xs, ys, kGreen, 1, -5, 1.0f);
  Frame();
  EXPECT_EQ(At(15, 5), kGreen);
  EXPECT_EQ(At(30, 15), kGreen);
  EXPECT_EQ(At(15, 15), kBlack);  // no closing segment back to the start
}

TEST_F(RendererTest, PolylineStopsAtTheShorterSequence) {
  const std::vector<int32_t> xs = {5, 30, 30};
  const std::vector<int16_t> ys = {5, 5};
  renderer_.DrawPolyline(xs, ys, kGreen, 1, -5, 1.0f);
  Frame();
  EXPECT_EQ(At(15, 5), kGreen);
  EXPECT_EQ(At(30, 15), kBlack);
}

TEST_F(RendererTest, ColumnPairsDrawOneBarFromEachLowToItsHigh) {
  const std::vector<int32_t> xs = {10, 11, 12};
  const std::vector<int16_t> lows = {5, 20, 30};
  const std::vector<int16_t> highs = {15, 25, 40};
  renderer_.DrawColumnPairs(xs, lows, highs, kWhite, 1, -5, 1.0f);
  Frame();
  EXPECT_EQ(At(10, 10), kWhite);
  EXPECT_EQ(At(10, 17), kBlack);
  EXPECT_EQ(At(11, 22), kWhite);
  EXPECT_EQ(At(11, 10), kBlack);
  EXPECT_EQ(At(11, 28), kBlack);
  EXPECT_EQ(At(12, 35), kWhite);
  EXPECT_EQ(At(12, 25), kBlack);
  EXPECT_EQ(At(13, 35), kBlack);
}

TEST_F(RendererTest, ColumnsShareOneLowAndHigh) {
  const std::vector<int32_t> xs = {3, 9};
  renderer_.DrawColumns(xs, 10, 20, kRed, 1, -5, 1.0f);
  Frame();
  EXPECT_EQ(At(3, 15), kRed);
  EXPECT_EQ(At(9, 15), kRed);
  EXPECT_EQ(At(6, 15), kBlack);
  EXPECT_EQ(At(3, 25), kBlack);
  EXPECT_EQ(At(3, 5), kBlack);
}

TEST_F(RendererTest, ColoredColumnsTakeOneColourEach) {
  const std::vector<int32_t> xs = {3, 6, 9};
  const std::vector<uint32_t> colours = {kRed, kGreen, kBlue};
  renderer_.DrawColoredColumns(xs, 10, 20, colours, 1, -5, 1.0f);
  Frame();
  EXPECT_EQ(At(3, 15), kRed);
  EXPECT_EQ(At(6, 15), kGreen);
  EXPECT_EQ(At(9, 15), kBlue);
}

TEST_F(RendererTest, ColoredColumnsWithoutAColourAreNotDrawn) {
  const std::vector<int32_t> xs = {3, 6, 9};
  const std::vector<uint32_t> colours = {kRed};
  renderer_.DrawColoredColumns(xs, 10, 20, colours, 1, -5, 1.0f);
  Frame();
  EXPECT_EQ(At(3, 15), kRed);
  EXPECT_EQ(At(6, 15), kBlack);
  EXPECT_EQ(At(9, 15), kBlack);
}

TEST_F(RendererTest, PointsLightExactlyTheirPixels) {
  const std::vector<int32_t> xs = {4, 20};
  const std::vector<int16_t> ys = {7, 30};
  renderer_.DrawPoints(xs, ys, kWhite, 1, -5, 1.0f);
  renderer_.DrawPoint(50, 40, kRed, 1, -5, 1.0f);
  Frame();
  EXPECT_EQ(At(4, 7), kWhite);
  EXPECT_EQ(At(20, 30), kWhite);
  EXPECT_EQ(At(50, 40), kRed);
  EXPECT_EQ(LitCount(), 3);
}

TEST_F(RendererTest, PointSizeGrowsThePointAroundItsCentre) {
  renderer_.DrawPoint(20, 20, kWhite, 3, -5, 1.0f);
  Frame();
  EXPECT_EQ(LitCount(), 9);
  EXPECT_EQ(At(19, 19), kWhite);
  EXPECT_EQ(At(21, 21), kWhite);
}

TEST_F(RendererTest, PointArrayDrawsOnlyTheFirstCountEntries) {
  const int32_t xs[] = {4, 8, 12};
  const int16_t ys[] = {4, 8, 12};
  renderer_.DrawPointArray(xs, ys, 2, kWhite, 1, -5, 1.0f);
  renderer_.DrawPointArray(nullptr, ys, 3, kWhite, 1, -5, 1.0f);
  renderer_.DrawPointArray(xs, ys, -1, kWhite, 1, -5, 1.0f);
  Frame();
  EXPECT_EQ(At(4, 4), kWhite);
  EXPECT_EQ(At(8, 8), kWhite);
  EXPECT_EQ(At(12, 12), kBlack);
  EXPECT_EQ(LitCount(), 2);
}

TEST_F(RendererTest, PolygonIsFilled) {
  const int32_t xs[] = {10, 40, 10};
  const int32_t ys[] = {10, 10, 40};
  renderer_.DrawPolygon(xs, ys, 3, kGreen, -5, 1.0f);
  Frame();
  EXPECT_EQ(At(15, 15), kGreen);
  EXPECT_EQ(At(12, 35), kGreen);
  EXPECT_EQ(At(35, 35), kBlack);  // beyond the hypotenuse
  EXPECT_EQ(At(5, 5), kBlack);
}

TEST_F(RendererTest, PolygonWithoutVerticesDrawsNothing) {
  const int32_t xs[] = {10, 40, 10};
  const int32_t ys[] = {10, 10, 40};
  renderer_.DrawPolygon(xs, ys, 0, kGreen, -5, 1.0f);
  renderer_.DrawPolygon(xs, nullptr, 3, kGreen, -5, 1.0f);
  Frame();
  EXPECT_EQ(LitCount(), 0);
}

TEST_F(RendererTest, TranslateAndScaleMoveLaterPrimitives) {
  renderer_.Translate(10.0f, 5.0f, 0.0f);
  renderer_.DrawPoint(2, 3, kWhite, 1, -5, 1.0f);
  renderer_.Scale(2.0f, 3.0f, 1.0f);
  renderer_.DrawPoint(2, 3, kRed, 1, -5, 1.0f);
  Frame();
  EXPECT_EQ(At(12, 8), kWhite);
  EXPECT_EQ(At(14, 14), kRed);
}

TEST_F(RendererTest, CanvasProjectionPutsYZeroAtTheTopAndSqueezesXByOneUnit) {
  // The canvas projects (0, width) x (scrollBottom, scrollTop) with scrollTop 0: y grows
  // upwards, negative below the top, and the width spans width + 1 units.
  constexpr int32_t kCanvasWidth = 100;
  constexpr int32_t kCanvasHeight = 40;
  Prepare(kCanvasWidth, kCanvasHeight);
  renderer_.SetProjection(0, kCanvasWidth, -kCanvasHeight, 0);
  renderer_.DrawPoint(50, -10, kWhite, 1, -5, 1.0f);   // window x 50 * 100 / 101 = 49.5
  renderer_.DrawPoint(10, -kCanvasHeight, kRed, 1, -5, 1.0f);  // window x 9.9, bottom row
  Frame();
  const MemoryBitmap& frame = renderer_.Bitmap();
  EXPECT_EQ(frame.ColorAt(49, 9), kWhite);  // 10 units below the top edge: the tenth row from the top
  EXPECT_EQ(frame.ColorAt(9, kCanvasHeight - 1), kRed);
  EXPECT_EQ(LitCount(), 2);
}

TEST_F(RendererTest, SecondCreateKeepsTheSizeUntilANewSectionIsRequested) {
  renderer_.RequestNewDIBSection();
  ASSERT_EQ(renderer_.CreateDIBSectionOGL(40, 30), 0);
  EXPECT_EQ(renderer_.CreateDIBSectionOGL(80, 60), 0);
  EXPECT_EQ(renderer_.Bitmap().Width(), 40);
  EXPECT_EQ(renderer_.Bitmap().Height(), 30);
  renderer_.RequestNewDIBSection();
  EXPECT_EQ(renderer_.Bitmap().Width(), 40);  // the stale bitmap stays until the next create
  ASSERT_EQ(renderer_.CreateDIBSectionOGL(80, 60), 0);
  EXPECT_EQ(renderer_.Bitmap().Width(), 80);
  EXPECT_EQ(renderer_.Bitmap().Height(), 60);
  EXPECT_TRUE(reports_.Empty());
}

TEST_F(RendererTest, ResizedSectionIsDrawnToItsNewEdges) {
  FillRect(0, 0, kWidth, kHeight, kWhite, -5);
  Frame();
  Prepare(90, 70);
  renderer_.DrawPoint(89, 69, kRed, 1, -5, 1.0f);
  renderer_.DrawPoint(0, 0, kGreen, 1, -5, 1.0f);
  const MemoryBitmap& frame = Frame();
  ASSERT_EQ(frame.Width(), 90);
  ASSERT_EQ(frame.Height(), 70);
  EXPECT_EQ(frame.ColorAt(89, 0), kRed);
  EXPECT_EQ(frame.ColorAt(0, 69), kGreen);
  EXPECT_EQ(LitCount(), 2);

  Prepare(30, 20);
  renderer_.DrawPoint(29, 19, kBlue, 1, -5, 1.0f);
  Frame();
  EXPECT_EQ(renderer_.Bitmap().ColorAt(29, 0), kBlue);
  EXPECT_TRUE(reports_.Empty());
}

TEST_F(RendererTest, NewSectionIsBlackBeforeItIsSetUp) {
  FillRect(0, 0, kWidth, kHeight, kWhite, -5);
  renderer_.RequestNewDIBSection();
  ASSERT_EQ(renderer_.CreateDIBSectionOGL(32, 16), 0);
  RecordingPresenter presenter;
  ASSERT_EQ(renderer_.BltToScreen(presenter, 32, 16, 0, 0), 0);
  EXPECT_EQ(presenter.shown.Width(), 32);
  int32_t lit = 0;
  for (int32_t y = 0; y < 16; ++y) {
    for (int32_t x = 0; x < 32; ++x) lit += presenter.shown.ColorAt(x, y) != kBlack ? 1 : 0;
  }
  EXPECT_EQ(lit, 0);
}

TEST_F(RendererTest, InvalidSizeIsReportedAndTheNextCreateTriesAgain) {
  renderer_.RequestNewDIBSection();
  EXPECT_EQ(renderer_.CreateDIBSectionOGL(0, 10), -1);
  EXPECT_EQ(renderer_.CreateDIBSectionOGL(10, -3), -1);
  const std::string expected =
      "Invalid Parameter(s) passed to CreateDIBSection(), function returned a NULL Section, error = 22";
  EXPECT_EQ(reports_.CountOf(expected), 2u);
  EXPECT_EQ(reports_.Count(), 2u);
  EXPECT_EQ(renderer_.CreateDIBSectionOGL(12, 8), 0);
  EXPECT_EQ(renderer_.Bitmap().Width(), 12);
  EXPECT_EQ(renderer_.SetupRenderer(), 0);
}

TEST_F(RendererTest, SizeBeyondAnyMemoryIsReportedAndTheNextCreateTriesAgain) {
  // Four bytes a pixel over the largest sides asks for more than a process can ever address.
  renderer_.RequestNewDIBSection();
  EXPECT_EQ(renderer_.CreateDIBSectionOGL(INT32_MAX, INT32_MAX), -1);
  EXPECT_EQ(reports_.Texts(), std::vector<std::string>{"CreateDIBSection() return a Null Section, error = 12"});
  EXPECT_EQ(renderer_.Bitmap().Width(), 0);
  EXPECT_EQ(renderer_.CreateDIBSectionOGL(12, 8), 0);
  EXPECT_EQ(renderer_.Bitmap().Width(), 12);
  EXPECT_EQ(renderer_.SetupRenderer(), 0);
}

TEST_F(RendererTest, SetupWithoutABitmapReportsThePixelFormatFailure) {
  renderer_.ReleaseDIBSection();
  EXPECT_EQ(renderer_.SetupRenderer(), -1);
  EXPECT_EQ(reports_.Texts(), std::vector<std::string>{"ChoosePixelFormat() failed in SetPixelFormatOGL(), Last Error = 22"});
}

TEST_F(RendererTest, OversizedFramebufferIsRefusedAndASmallerOneStillWorks) {
  renderer_.RequestNewDIBSection();
  ASSERT_EQ(renderer_.CreateDIBSectionOGL(40000, 1), 0);
  EXPECT_EQ(renderer_.SetupRenderer(), -1);
  // GL_INVALID_VALUE: wider than any renderbuffer may be.
  EXPECT_EQ(reports_.Texts(), std::vector<std::string>{"SetPixelFormat() failed in SetPixelFormatOGL(), Last Error = 1281"});
  reports_.Clear();
  Prepare(16, 16);
  renderer_.DrawPoint(3, 3, kWhite, 1, -5, 1.0f);
  Frame();
  EXPECT_EQ(At(3, 3), kWhite);
  EXPECT_TRUE(reports_.Empty());
}

TEST_F(RendererTest, BltToScreenHandsTheDrawnFrameAndRegionToThePresenter) {
  renderer_.DrawPoint(7, 5, kRed, 1, -5, 1.0f);
  renderer_.Flush();
  RecordingPresenter presenter;
  ASSERT_EQ(renderer_.BltToScreen(presenter, kWidth, kHeight, 0, 15), 0);
  ASSERT_EQ(presenter.calls, 1);
  EXPECT_EQ(presenter.shownWidth, kWidth);
  EXPECT_EQ(presenter.shownHeight, kHeight);
  EXPECT_EQ(presenter.shownX, 0);
  EXPECT_EQ(presenter.shownY, 15);
  EXPECT_EQ(presenter.shown.ColorAt(7, kHeight - 1 - 5), kRed);
  EXPECT_EQ(renderer_.Bitmap().ColorAt(7, kHeight - 1 - 5), kRed);
}

TEST_F(RendererTest, BltToScreenClipsTheRegionToTheBitmap) {
  RecordingPresenter presenter;
  ASSERT_EQ(renderer_.BltToScreen(presenter, kWidth + 50, -4, 3, 4), 0);
  EXPECT_EQ(presenter.shownWidth, kWidth);
  EXPECT_EQ(presenter.shownHeight, 0);
}

TEST_F(RendererTest, RefusedPresentationIsReportedAsAFailedBlit) {
  RecordingPresenter presenter(false);
  EXPECT_EQ(renderer_.BltToScreen(presenter, kWidth, kHeight, 0, 0), -1);
  EXPECT_EQ(reports_.Texts(), std::vector<std::string>{"BitBlt() failed in BltToScreen()"});
}

// Text: glyphs are drawn from the raster position, which is the left end of the baseline.
class RendererTextTest : public RendererTest {
 protected:
  struct Box {
    int32_t left = 1 << 20, right = -1, bottom = 1 << 20, top = -1, count = 0;
    bool operator==(const Box&) const = default;
  };
  // The bounding box (rows counted from the bottom) of the pixels in `colour`, and their number.
  Box BoxOf(uint32_t colour) {
    Box box;
    for (int32_t y = 0; y < renderer_.Bitmap().Height(); ++y) {
      for (int32_t x = 0; x < renderer_.Bitmap().Width(); ++x) {
        if (At(x, y) != colour) continue;
        box.left = std::min(box.left, x);
        box.right = std::max(box.right, x);
        box.bottom = std::min(box.bottom, y);
        box.top = std::max(box.top, y);
        ++box.count;
      }
    }
    return box;
  }
  // The frame's pixels after drawing `text` alone in white at (x, y).
  std::vector<uint8_t> FrameOf(std::string_view text, int32_t x = 4, int32_t y = 20) {
    StartFrame();
    EXPECT_EQ(renderer_.DrawString(text, x, y, -1, kWhite), 0);
    const MemoryBitmap& frame = Frame();
    return std::vector<uint8_t>(frame.Bits(), frame.Bits() + frame.SizeInBytes());
  }
};

TEST_F(RendererTextTest, TextLineIsFourteenPixelsHighWhateverTheText) {
  EXPECT_EQ(renderer_.GetTextHeight("Hg"), 14);
  EXPECT_EQ(renderer_.GetTextHeight(""), 14);
  EXPECT_EQ(renderer_.GetTextWidth(""), 0);
}

TEST_F(RendererTextTest, TextIsDrawnFromTheRasterPositionAndAsWideAsMeasured) {
  constexpr int32_t kX = 4;
  constexpr int32_t kBaseline = 20;
  renderer_.DrawString("MMMM", kX, kBaseline, -1, kGreen);
  Frame();
  const Box box = BoxOf(kGreen);
  ASSERT_GT(box.count, 0);
  EXPECT_GE(box.left, kX);
  EXPECT_LT(box.right, kX + renderer_.GetTextWidth("MMMM"));
  EXPECT_GE(box.right, kX + renderer_.GetTextWidth("MMM"));  // the fourth M starts there
  EXPECT_GE(box.bottom, kBaseline);                          // capitals sit on the baseline
  EXPECT_LT(box.top, kBaseline + renderer_.GetTextHeight("MMMM"));
  // One-bit glyphs: every pixel is either the text colour or background.
  const MemoryBitmap& frame = renderer_.Bitmap();
  for (int32_t y = 0; y < frame.Height(); ++y) {
    for (int32_t x = 0; x < frame.Width(); ++x) {
      const uint32_t c = frame.ColorAt(x, y);
      ASSERT_TRUE(c == kGreen || c == kBlack) << x << "," << y;
    }
  }
}

TEST_F(RendererTextTest, DescendersAreDrawnBelowTheBaseline) {
  renderer_.DrawString("gy", 4, 20, -1, kWhite);
  Frame();
  const Box box = BoxOf(kWhite);
  ASSERT_GT(box.count, 0);
  EXPECT_LT(box.bottom, 20);
  EXPECT_LT(box.top - box.bottom, renderer_.GetTextHeight("gy"));  // the line's cell holds it
}

TEST_F(RendererTextTest, ConsecutiveStringsMeetWhereTheFirstIsMeasuredToEnd) {
  const std::vector<uint8_t> whole = FrameOf("AVAV");
  StartFrame();
  renderer_.DrawString("AV", 4, 20, -1, kWhite);
  renderer_.DrawString("AV", 4 + renderer_.GetTextWidth("AV"), 20, -1, kWhite);
  const MemoryBitmap& frame = Frame();
  EXPECT_TRUE(whole == std::vector<uint8_t>(frame.Bits(), frame.Bits() + frame.SizeInBytes()));
}

TEST_F(RendererTextTest, ByteTwoHundredFiftyFiveDrawsNothingAndDoesNotAdvance) {
  const std::vector<uint8_t> a = FrameOf("A");
  EXPECT_GT(LitCount(), 0);
  EXPECT_TRUE(FrameOf("A\xFF") == a);
  EXPECT_TRUE(FrameOf("\xFF" "A") == a);
  FrameOf("\xFF");
  EXPECT_EQ(LitCount(), 0);
}

TEST_F(RendererTextTest, EmptyTextDrawsNothing) {
  StartFrame();
  EXPECT_EQ(renderer_.DrawString("", 4, 20, -1, kWhite), 0);
  Frame();
  EXPECT_EQ(LitCount(), 0);
}

TEST_F(RendererTextTest, Windows1252PunctuationHasGlyphs) {
  FrameOf("\x80\x93\x94");  // euro sign and curly double quotes
  EXPECT_GT(LitCount(), 0);
  EXPECT_GT(renderer_.GetTextWidth("\x80"), 0);
}

TEST_F(RendererTextTest, TextTakesPartInTheDepthTest) {
  FillRect(0, 0, kWidth, kHeight, kRed, -9);
  renderer_.DrawString("HHH", 4, 20, -19, kWhite);
  renderer_.DrawString("HHH", 4, 4, -3, kGreen);
  Frame();
  EXPECT_EQ(BoxOf(kWhite).count, 0);
  EXPECT_GT(BoxOf(kGreen).count, 0);
}

TEST_F(RendererTextTest, GlyphsDrawTheSameAfterTheBitmapIsReplaced) {
  const std::vector<uint8_t> before = FrameOf("Ske 3.0");
  const Box first = BoxOf(kWhite);
  ASSERT_LT(first.right, kWidth - 1);  // not cut by the right edge
  const std::vector<uint8_t> again = FrameOf("Ske 3.0");
  EXPECT_TRUE(before == again);
  Prepare(kWidth + 20, kHeight + 10);
  FrameOf("Ske 3.0");
  const Box resized = BoxOf(kWhite);
  EXPECT_EQ(resized.left, first.left);
  EXPECT_EQ(resized.right, first.right);
  EXPECT_EQ(resized.bottom, first.bottom);
  EXPECT_EQ(resized.top, first.top);
  EXPECT_EQ(resized.count, first.count);
  EXPECT_TRUE(reports_.Empty());
}

TEST_F(RendererTextTest, TextLandsOnTheCanvasRowsBelowTheTop) {
  // The canvas draws a name with its baseline GetTextHeight below a plot's top edge.
  constexpr int32_t kCanvasHeight = kHeight;
  renderer_.SetProjection(0, kWidth, -kCanvasHeight, 0);
  const int32_t baseline = -renderer_.GetTextHeight("E");
  renderer_.DrawString("E", 5, baseline, -4, kWhite);
  Frame();
  const MemoryBitmap& frame = renderer_.Bitmap();
  int32_t lowestRowFromTop = -1;
  int32_t highestRowFromTop = kCanvasHeight;
  for (int32_t y = 0; y < kCanvasHeight; ++y) {
    for (int32_t x = 0; x < kWidth; ++x) {
      if (frame.ColorAt(x, y) != kWhite) continue;
      lowestRowFromTop = std::max(lowestRowFromTop, y);
      highestRowFromTop = std::min(highestRowFromTop, y);
    }
  }
  // The baseline is row 14 from the top, so the E's bottom row is the one just above it.
  EXPECT_EQ(lowestRowFromTop, 14 - 1);
  EXPECT_GE(highestRowFromTop, 0);
}

TEST(RendererWithoutBitmap, BltToScreenAndReadBackReportTheMissingBitmap) {
  test::CapturedReports reports;
  GLRenderer renderer;
  RecordingPresenter presenter;
  EXPECT_EQ(renderer.BltToScreen(presenter, 10, 10, 0, 0), -1);
  EXPECT_EQ(presenter.calls, 0);
  EXPECT_EQ(renderer.ReadBack(), -1);
  EXPECT_EQ(reports.Texts(),
            (std::vector<std::string>{"BitBlt() failed in BltToScreen()", "No off-screen bitmap in ReadBack()"}));
}

TEST(RendererWithoutBitmap, ConstructionAndDestructionNeedNoContext) {
  test::CapturedReports reports;
  {
    GLRenderer renderer;
    EXPECT_EQ(renderer.Bitmap().Width(), 0);
    EXPECT_EQ(renderer.GetTextWidth("abc"), 0);
  }
  EXPECT_TRUE(reports.Empty());
}

TEST(RendererLifetime, TwoRenderersKeepTheirOwnFramesApart) {
  test::CapturedReports reports;
  GLRenderer first;
  GLRenderer second;
  ASSERT_EQ(first.CreateDIBSectionOGL(8, 8), 0);
  ASSERT_EQ(second.CreateDIBSectionOGL(8, 8), 0);
  ASSERT_EQ(first.SetupRenderer(), 0);
  first.ClearScene();
  first.SetProjection(0, 7, 0, 8);
  first.DrawPoint(1, 1, kRed, 1, -5, 1.0f);
  ASSERT_EQ(second.SetupRenderer(), 0);
  second.ClearScene();
  second.SetProjection(0, 7, 0, 8);
  second.DrawPoint(6, 6, kBlue, 1, -5, 1.0f);
  ASSERT_EQ(first.ReadBack(), 0);
  ASSERT_EQ(second.ReadBack(), 0);
  EXPECT_EQ(first.Bitmap().ColorAt(1, 6), kRed);
  EXPECT_EQ(first.Bitmap().ColorAt(6, 1), kBlack);
  EXPECT_EQ(second.Bitmap().ColorAt(6, 1), kBlue);
  EXPECT_EQ(second.Bitmap().ColorAt(1, 6), kBlack);
  EXPECT_TRUE(reports.Empty());
}

// Each case below changes the process environment before the first EGL or fontconfig call, so it
// runs in a fresh child process and reports its findings through the exit code and stderr.
class RendererEnvironmentTest : public ::testing::Test {
 protected:
  void SetUp() override { GTEST_FLAG_SET(death_test_style, "threadsafe"); }

  // 0 when every check held and the reports were exactly the expected ones; prints them for diagnosis.
  static int Verdict(const std::vector<std::string>& reports, const std::vector<std::string>& expected, bool ok) {
    for (const std::string& text : reports) std::fprintf(stderr, "report: %s\n", text.c_str());
    return ok && reports == expected ? 0 : 1;
  }
};

TEST_F(RendererEnvironmentTest, MissingDriverIsReportedAsAFailedCompatibleDC) {
  EXPECT_EXIT(
      {
        setenv("LIBGL_DRIVERS_PATH", "/nonexistent-skelvane-drivers", 1);
        setenv("GALLIUM_DRIVER", "llvmpipe", 1);
        test::CapturedReports reports;
        GLRenderer renderer;
        const bool failed = renderer.CreateDIBSectionOGL(10, 10) == -1;
        renderer.ClearScene();
        renderer.DrawLine(0, 0, 5, 5, kWhite, 1, -5, 1.0f);
        renderer.DrawString("abc", 1, 1, -1, kWhite);
        RecordingPresenter presenter;
        const bool bltFailed = renderer.BltToScreen(presenter, 10, 10, 0, 0) == -1;
        std::exit(Verdict(reports.Texts(),
                          {"CreateCompatibleDC() failed in CreateDIBSectionOGL()", "BitBlt() failed in BltToScreen()"},
                          failed && bltFailed));
      },
      ::testing::ExitedWithCode(0), "");
}

TEST_F(RendererEnvironmentTest, MissingEglVendorIsReportedAsANullDeviceContext) {
  EXPECT_EXIT(
      {
        setenv("__EGL_VENDOR_LIBRARY_FILENAMES", "/nonexistent-skelvane-vendor.json", 1);
        test::CapturedReports reports;
        GLRenderer renderer;
        const bool failed = renderer.CreateDIBSectionOGL(10, 10) == -1;
        const bool setupFailed = renderer.SetupRenderer() == -1;
        // No vendor knows the platform: EGL_BAD_PARAMETER (0x300C).
        std::exit(Verdict(reports.Texts(),
                          {"CDC value is Null in CreateDIBSectionOGL()",
                           "wglCreateContext() failed in SetupRenderer(), Last Error = 12300"},
                          failed && setupFailed));
      },
      ::testing::ExitedWithCode(0), "");
}

TEST_F(RendererEnvironmentTest, MissingFontIsReportedAndTextIsSkipped) {
  EXPECT_EXIT(
      {
        int verdict = 1;
        {
          test::TempDir dir;  // a font configuration that knows no fonts at all
          setenv("FONTCONFIG_FILE", dir.Write("fonts.conf", "<?xml version=\"1.0\"?>\n<fontconfig></fontconfig>\n").c_str(), 1);
          test::CapturedReports reports;
          GLRenderer renderer;
          const bool created = renderer.CreateDIBSectionOGL(20, 20) == 0;
          const bool setUp = renderer.SetupRenderer() == 0;
          renderer.ClearScene();
          renderer.SetProjection(0, 19, 0, 20);
          const bool drawn = renderer.DrawString("Hello", 1, 5, -1, kWhite) == 0;
          const bool read = renderer.ReadBack() == 0;
          bool black = true;
          for (int32_t y = 0; y < 20; ++y) {
            for (int32_t x = 0; x < 20; ++x) black = black && renderer.Bitmap().ColorAt(x, y) == kBlack;
          }
          const bool measuredEmpty = renderer.GetTextWidth("Hello") == 0 && renderer.GetTextHeight("Hello") == 0;
          verdict = Verdict(reports.Texts(), {"Unable To Create Indirect Font, Default Font Will Be Used"},
                            created && setUp && drawn && read && black && measuredEmpty);
        }
        std::exit(verdict);
      },
      ::testing::ExitedWithCode(0), "");
}

TEST_F(RendererEnvironmentTest, StaticRendererSurvivesProcessExit) {
  // The canvas keeps its renderer in a static object, destroyed after the driver's own exit
  // handlers have run.
  EXPECT_EXIT(
      {
        static GLRenderer renderer;
        renderer.CreateDIBSectionOGL(16, 16);
        renderer.SetupRenderer();
        renderer.ClearScene();
        renderer.DrawString("x", 2, 2, -1, kWhite);
        renderer.ReadBack();
        std::exit(0);
      },
      ::testing::ExitedWithCode(0), "");
}

}  // namespace
}  // namespace skelvane
