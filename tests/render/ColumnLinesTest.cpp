// Vertical lines drawn as rectangles over runs of columns, through a row mask where runs crowd, and
// written into the frame read back where nothing shows over them, must give, byte for byte, the frame
// the same lines give drawn one by one, on canvases as the markers see them: any size and scroll, lines
// from the time axis to the top edge and through a plot's rows (partly out of view too), columns in
// runs, apart, evenly crowded, repeated and off the canvas, in two colours, with texts, lines, plates
// and points in front of them, at their own depth and behind them, drawn before and after them.
#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <vector>

#include "render/GLRenderer.h"
#include "tests/render/MaskFrameTest.h"

namespace skelvane {
namespace {

struct ColumnGroup {
  int32_t yLow = 0, yTop = 0;
  uint32_t colour = 0;
  std::vector<int32_t> xs;
};

struct Canvas {
  int32_t top = 0;
  std::vector<ColumnGroup> groups;
  std::vector<GLRenderer::PlacedText> texts;  // labels over the lines, drawn after them
  int32_t nameY = 0;                          // a plot's name in front of them, drawn before
  std::vector<int32_t> traceXs;
  std::vector<int16_t> traceLows, traceHighs;
};

Canvas MakeCanvas(std::mt19937& random, int32_t width, int32_t height) {
  auto uniform = [&](int32_t low, int32_t high) { return std::uniform_int_distribution<int32_t>(low, high)(random); };
  Canvas canvas;
  const int32_t tops[] = {0, -517, -uniform(1, 40000)};
  canvas.top = tops[uniform(0, 2)];
  const int32_t bottom = canvas.top - height;
  for (int32_t x = 0; x < width; ++x) {
    canvas.traceXs.push_back(x);
    const int32_t low = uniform(bottom, canvas.top) % 30000;
    canvas.traceLows.push_back(static_cast<int16_t>(low));
    canvas.traceHighs.push_back(static_cast<int16_t>(low + uniform(0, 50)));
  }
  for (int32_t g = uniform(1, 6); g > 0; --g) {
    ColumnGroup group;
    if (g == 1) {  // every plot's: from above the time axis to the top edge
      group.yLow = bottom + uniform(0, 30);
      group.yTop = canvas.top;
    } else {  // one plot's rows, now and then reaching out of view
      group.yTop = uniform(bottom - 40, canvas.top + 40);
      group.yLow = group.yTop - uniform(1, height / 2);
    }
    // Dense runs, sparse columns or columns on every pixel; some off the canvas, some repeated. Or,
    // as many markers spread evenly over a long span give, one every so many pixels.
    const int32_t density = uniform(1, 40);
    const double spacing = uniform(100, 400) / 100.0;
    const bool even = uniform(0, 3) == 0;
    for (int32_t x = uniform(-4, 60); x < width + 4; ++x) {
      if (even ? static_cast<int32_t>(x / spacing) == static_cast<int32_t>((x - 1) / spacing) : uniform(1, 40) > density) {
        continue;
      }
      group.xs.push_back(x);
      if (uniform(0, 20) == 0) group.xs.push_back(x);
    }
    group.colour = uniform(0, 3) == 0 ? 0x00FFFFu : 0x0080FFu;
    canvas.groups.push_back(std::move(group));
  }
  for (int32_t t = uniform(0, 12); t > 0; --t) {
    canvas.texts.push_back({"m" + std::to_string(uniform(0, 9999)), uniform(-20, width), uniform(bottom, canvas.top)});
  }
  canvas.nameY = uniform(bottom, canvas.top);
  return canvas;
}

class ColumnLinesTest : public test::MaskFrameTest {
 protected:
  // The canvas with its columns drawn through DrawColumns, or each line on its own.
  std::vector<uint8_t> Draw(const Canvas& canvas, bool oneByOne) {
    renderer_.ClearScene();
    renderer_.SetProjection(0, width_, canvas.top - height_, canvas.top);
    const int32_t bottom = canvas.top - height_;
    const int32_t backgroundXs[] = {0, 0, width_, width_};
    const int32_t backgroundYs[] = {bottom, canvas.top, canvas.top, bottom};
    renderer_.DrawPolygon(backgroundXs, backgroundYs, 4, 0x000000, -19, 1.0f);
    renderer_.DrawColumnPairs(canvas.traceXs, canvas.traceLows, canvas.traceHighs, 0x00FF00, 1, -10, 1.0f);
    // A plot's name in front of the lines, drawn before them.
    const int32_t nameXs[] = {5, 5, 90, 90};
    const int32_t nameYs[] = {canvas.top - 30, canvas.top - 12, canvas.top - 12, canvas.top - 30};
    renderer_.DrawPolygon(nameXs, nameYs, 4, 0xFFFFFF, -4, 1.0f);
    renderer_.DrawString("CSC12 Spike Band", 100, canvas.nameY, -4, 0xC0C0C0);
    // A scale bar at the lines' own depth before them, a cursor after them.
    renderer_.DrawLine(0, bottom + 40, width_, bottom + 40, 0xFF00FF, 1, -5, 1.0f);
    for (const ColumnGroup& group : canvas.groups) {
      if (oneByOne) {
        for (const int32_t x : group.xs) renderer_.DrawLine(x, group.yLow, x, group.yTop, group.colour, 1, -5, 1.0f);
      } else {
        renderer_.DrawColumns(group.xs, group.yLow, group.yTop, group.colour, 1, -5, 1.0f);
      }
    }
    renderer_.DrawStrings(canvas.texts, -5, 0xFFFFFF);
    renderer_.DrawLine(width_ / 3, bottom, width_ / 3, canvas.top, 0xFFFF00, 1, -5, 1.0f);
    const int16_t pointYs[] = {static_cast<int16_t>(canvas.top % 30000 - 70), static_cast<int16_t>(bottom % 30000 + 60)};
    const int32_t pointXs[] = {width_ / 2, width_ / 5};
    renderer_.DrawPoints(pointXs, pointYs, 0xFF8000, 3, -4, 1.0f);
    const int32_t iconXs[] = {width_ - 60, width_ - 60, width_ - 40, width_ - 40};
    const int32_t iconYs[] = {bottom + 100, bottom + 120, bottom + 120, bottom + 100};
    renderer_.DrawPolygon(iconXs, iconYs, 4, 0x808080, -4, 1.0f);
    // A scale bar's plate behind the lines, drawn after them: it must not cover them.
    const int32_t plateXs[] = {width_ / 4, width_ / 4, width_ - 10, width_ - 10};
    const int32_t plateYs[] = {bottom + 20, canvas.top - 50, canvas.top - 50, bottom + 20};
    renderer_.DrawPolygon(plateXs, plateYs, 4, 0x404040, -6, 1.0f);
    return ReadFrame();
  }
};

TEST_F(ColumnLinesTest, RectanglesGiveTheLinesPixelsOnRandomCanvases) {
  const struct {
    int32_t width, height;
  } sizes[] = {{1920, 1080}, {700, 420}, {1001, 333}};
  std::mt19937 random(31);
  for (const auto& size : sizes) {
    Prepare(size.width, size.height);
    for (int32_t round = 0; round < 8; ++round) {
      const Canvas canvas = MakeCanvas(random, size.width, size.height);
      const std::vector<uint8_t> lines = Draw(canvas, true);
      const std::vector<uint8_t> rectangles = Draw(canvas, false);
      ASSERT_TRUE(renderer_.ColumnRectanglesInUse()) << "the self-check refused the rectangles on this driver";
      ASSERT_TRUE(renderer_.ColumnFillInUse()) << "the self-check refused writing the columns into the frame";
      EXPECT_EQ(DifferingPixels(lines, rectangles), 0u) << size.width << "x" << size.height << " round " << round << " top " << canvas.top;
    }
  }
  EXPECT_TRUE(reports_.Empty());
}

}  // namespace
}  // namespace skelvane
