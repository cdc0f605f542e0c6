// A primitive's window box must hold every pixel the rasteriser lights for it, whatever the canvas's
// projection and a plot's translation and scale: lines of any slope and width, polygons and points,
// drawn one at a time onto a cleared frame and every lit pixel looked for in the box; and equal canvas
// depths give equal clip depths, nearer ones smaller.
#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <vector>

#include "render/WindowFootprint.h"
#include "tests/render/MaskFrameTest.h"

namespace skelvane {
namespace {

class WindowFootprintTest : public test::MaskFrameTest {};

TEST_F(WindowFootprintTest, BoxesHoldEveryPixelThePrimitiveLights) {
  Prepare(320, 200);
  std::mt19937 random(17);
  auto uniform = [&](int32_t low, int32_t high) { return std::uniform_int_distribution<int32_t>(low, high)(random); };
  for (int32_t round = 0; round < 150; ++round) {
    renderer_.ClearScene();
    const int32_t top = uniform(-3000, 3000), left = uniform(-50, 50);
    renderer_.SetProjection(left, left + uniform(100, 900), top - uniform(100, 900), top);
    if (uniform(0, 1) == 1) {
      renderer_.Translate(static_cast<float>(uniform(-40, 40)), static_cast<float>(uniform(-40, 40)), 0.0f);
      renderer_.Scale(1.0f, static_cast<float>(uniform(5, 300)) / 100.0f, 1.0f);
    }
    const auto x = [&] { return left + uniform(-20, 600); };
    const auto y = [&] { return top - uniform(-20, 600); };
    const int32_t z = -uniform(1, 19);
    const int32_t width = uniform(1, 3);
    const int32_t x0 = x(), y0 = y(), x1 = x(), y1 = y();
    const WindowFootprint where = WindowFootprint::Current();
    WindowBox box;
    switch (round % 3) {
      case 0:
        box = where.Box(std::min(x0, x1), std::min(y0, y1), std::max(x0, x1), std::max(y0, y1), width);
        renderer_.DrawLine(x0, y0, x1, y1, 0xFFFFFF, width, z, 1.0f);
        break;
      case 1: {
        const int32_t xs[] = {x0, x0, x1, x1};
        const int32_t ys[] = {y0, y1, y1, y0};
        box = where.Box(std::min(x0, x1), std::min(y0, y1), std::max(x0, x1), std::max(y0, y1), 1);
        renderer_.DrawPolygon(xs, ys, 4, 0xFFFFFF, z, 1.0f);
        break;
      }
      default:
        box = where.Box(x0, static_cast<int16_t>(y0), x0, static_cast<int16_t>(y0), width + 2);
        renderer_.DrawPoint(x0, static_cast<int16_t>(y0), 0xFFFFFF, width + 2, z, 1.0f);
        break;
    }
    const std::vector<uint8_t> frame = ReadFrame();
    for (int32_t row = 0; row < height_; ++row) {
      for (int32_t column = 0; column < width_; ++column) {
        if (frame[(static_cast<std::size_t>(row) * width_ + column) * 4] == 0) continue;
        ASSERT_TRUE(box.left <= column && column < box.right && box.bottom <= row && row < box.top)
            << "round " << round << " pixel " << column << "," << row << " outside " << box.left << "-" << box.right
            << " x " << box.bottom << "-" << box.top;
      }
    }
    EXPECT_EQ(where.Depth(z), where.Depth(z));
    EXPECT_LT(where.Depth(z + 1), where.Depth(z));
  }
  EXPECT_TRUE(reports_.Empty());
}

}  // namespace
}  // namespace skelvane
