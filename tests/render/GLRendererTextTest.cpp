// The renderer's text: the label font's measures and where and how its glyphs are drawn.
#include "render/GLRenderer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <cstdint>
#include <string_view>
#include <vector>

#include "tests/render/MaskFrameTest.h"
#include "tests/render/RendererFixture.h"

namespace skelvane {
namespace {

using namespace test;  // the shared fixture, its presenter and colours

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

// A line is drawn as one bitmap: the pixels of its letters drawn one by one, each where the text
// before it is measured to end, for any bytes (blanks, 255, overlapping glyphs) at any place,
// running off the frame's right and top edges included.
TEST_F(RendererTextTest, ALineDrawsThePixelsOfItsLettersDrawnOneByOne) {
  std::mt19937 random(1252);
  for (int32_t trial = 0; trial < 40; ++trial) {
    std::string text(std::uniform_int_distribution<int32_t>(1, 30)(random), ' ');
    for (char& c : text) c = static_cast<char>(std::uniform_int_distribution<int32_t>(1, 255)(random));
    const int32_t x = std::uniform_int_distribution<int32_t>(0, kWidth - 1)(random);
    const int32_t y = std::uniform_int_distribution<int32_t>(0, kHeight - 1)(random);
    const std::vector<uint8_t> line = FrameOf(text, x, y);
    StartFrame();
    for (std::size_t i = 0; i < text.size(); ++i) {
      const int32_t at = x + renderer_.GetTextWidth(std::string_view(text).substr(0, i));
      if (at < kWidth) renderer_.DrawString(std::string_view(text).substr(i, 1), at, y, -1, kWhite);
    }
    const MemoryBitmap& frame = Frame();
    ASSERT_TRUE(line == std::vector<uint8_t>(frame.Bits(), frame.Bits() + frame.SizeInBytes()))
        << "at " << x << "," << y << ": " << text;
  }
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

// Texts drawn together, those of a row in one bitmap, must give the frame they give drawn one by one:
// labels side by side, overlapping and off the canvas, under projections that put them on whole pixels,
// between pixels (the canvas's, one pixel wider than the viewport) and on a fractional scale, with
// something in front drawn before them and a plate behind them drawn after.
class PlacedTextsTest : public MaskFrameTest {
 protected:
  struct Label {
    std::string text;
    int32_t x, y;
  };
  std::vector<uint8_t> Draw(const std::vector<Label>& labels, int32_t projection, bool together) {
    renderer_.ClearScene();
    renderer_.SetProjection(0, projection == 0 ? width_ - 1 : width_, -height_, 0);
    if (projection == 2) renderer_.Scale(0.61f, 0.83f, 1.0f);
    const int32_t frontXs[] = {30, 30, 200, 200};
    const int32_t frontYs[] = {-60, -20, -20, -60};
    renderer_.DrawPolygon(frontXs, frontYs, 4, 0xFFFFFF, -4, 1.0f);
    if (together) {
      std::vector<GLRenderer::PlacedText> placed;
      for (const Label& label : labels) placed.push_back({label.text, label.x, label.y});
      EXPECT_EQ(renderer_.DrawStrings(placed, -5, 0x00C0FF), 0);
    } else {
      for (const Label& label : labels) EXPECT_EQ(renderer_.DrawString(label.text, label.x, label.y, -5, 0x00C0FF), 0);
    }
    const int32_t plateXs[] = {0, 0, width_, width_};
    const int32_t plateYs[] = {-height_, -height_ / 2, -height_ / 2, -height_};
    renderer_.DrawPolygon(plateXs, plateYs, 4, 0x303030, -6, 1.0f);
    return ReadFrame();
  }
};

TEST_F(PlacedTextsTest, TextsTogetherGiveThePixelsOfEachDrawnAlone) {
  Prepare(900, 300);
  std::mt19937 random(7);
  auto uniform = [&](int32_t low, int32_t high) { return std::uniform_int_distribution<int32_t>(low, high)(random); };
  for (int32_t round = 0; round < 12; ++round) {
    std::vector<Label> labels;
    const int32_t rows[] = {-14, -14 - uniform(1, 3), -uniform(40, 280)};
    for (int32_t i = uniform(1, 40); i > 0; --i) {
      std::string text = "marker " + std::to_string(uniform(0, 99999));
      if (uniform(0, 5) == 0) text = "";
      if (uniform(0, 5) == 0) text = "Wgy|" + text;
      labels.push_back({std::move(text), uniform(-120, width_ + 40), rows[uniform(0, 2)]});
    }
    for (int32_t projection = 0; projection < 3; ++projection) {
      const std::vector<uint8_t> alone = Draw(labels, projection, false);
      const std::vector<uint8_t> together = Draw(labels, projection, true);
      EXPECT_EQ(DifferingPixels(alone, together), 0u) << "round " << round << " projection " << projection;
    }
  }
  EXPECT_TRUE(reports_.Empty());
}

}  // namespace
}  // namespace skelvane
