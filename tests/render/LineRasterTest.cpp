// The CPU's line model must light exactly the pixels the rasteriser lights for a one-pixel segment,
// in every direction and slope, with ends anywhere in their pixels: on pixel edges and centres
// too. Segments are drawn one to a slot and each slot compared with the model.
#include "render/LineRaster.h"

#include <gtest/gtest.h>

#include <GL/gl.h>

#include <array>
#include <cmath>
#include <random>
#include <set>
#include <utility>
#include <vector>

#include "render/GLRenderer.h"
#include "tests/support/CapturedReports.h"

namespace skelvane {
namespace {

constexpr int32_t kSize = 512;
constexpr int32_t kSlot = 16;  // pixels per slot each way; a segment stays within its slot
constexpr uint32_t kWhite = 0xFFFFFF;

TEST(LineRasterTest, LightsTheRasterisersPixelsForSegmentsOfEverySlope) {
  test::CapturedReports reports;
  GLRenderer renderer;
  ASSERT_EQ(renderer.CreateDIBSectionOGL(kSize, kSize), 0);
  ASSERT_EQ(renderer.SetupRenderer(), 0);
  std::mt19937 random(29);
  auto uniform = [&](int32_t low, int32_t high) { return std::uniform_int_distribution<int32_t>(low, high)(random); };
  int32_t segments = 0;
  for (int32_t frame = 0; frame < 24; ++frame) {
    renderer.ClearScene();
    // Each segment in its own slot under its own transform: units of 1/8 or 1/512 pixel, the slot
    // shifted by a fraction, half a pixel or nothing, so ends fall on pixel edges and centres, on
    // the 1/256-pixel grid's own half steps, or anywhere.
    const float offsets[] = {0.0f, 0.5f, std::uniform_real_distribution<float>(0.0f, 1.0f)(random)};
    const float dx = offsets[frame % 3], dy = offsets[(frame / 3) % 3];
    const int32_t unit = frame % 2 == 0 ? 8 : 512;
    const float half = kSize * 0.5f;
    std::vector<std::pair<std::array<int32_t, 4>, std::set<std::pair<int32_t, int32_t>>>> drawn;
    for (int32_t sx = 1; sx + 1 < kSize / kSlot; ++sx) {
      for (int32_t sy = 1; sy + 1 < kSize / kSlot; ++sy) {
        renderer.SetProjection(0, kSize - 1, 0, kSize);
        renderer.Translate(static_cast<float>(sx * kSlot) + dx, static_cast<float>(sy * kSlot) + dy, 0.0f);
        renderer.Scale(1.0f / static_cast<float>(unit), 1.0f / static_cast<float>(unit), 1.0f);
        std::array<float, 16> m{};
        glGetFloatv(GL_PROJECTION_MATRIX, m.data());
        auto window = [&](int32_t v, float scale, float offset) {
          return std::fmaf(scale * static_cast<float>(v) + offset, half, half);
        };
        // Ends two to eight pixels into the slot, the other end up to fourteen; a third of them
        // vertical or level.
        const int32_t x0 = uniform(2 * unit, 8 * unit), y0 = uniform(2 * unit, 8 * unit);
        const int32_t kind = uniform(0, 5);
        const int32_t x1 = kind == 0 ? x0 : uniform(2 * unit, 14 * unit);
        const int32_t y1 = kind == 1 ? y0 : uniform(2 * unit, 14 * unit);
        const std::vector<int32_t> xs = {x0, x1};
        const std::vector<int16_t> ys = {static_cast<int16_t>(y0), static_cast<int16_t>(y1)};
        renderer.DrawPolyline(xs, ys, kWhite, 1, -10, 1.0f);
        std::vector<ColumnBarCoverage::Span> spans;
        LineRaster::Segment(window(x0, m[0], m[12]), window(y0, m[5], m[13]), window(x1, m[0], m[12]),
                            window(y1, m[5], m[13]), spans);
        std::set<std::pair<int32_t, int32_t>> pixels;
        for (const ColumnBarCoverage::Span& s : spans) {
          for (int32_t row = s.firstRow; row <= s.lastRow; ++row) pixels.insert({s.column, row});
        }
        drawn.push_back({{sx, sy, x0, y0}, pixels});
      }
    }
    ASSERT_EQ(renderer.ReadBack(), 0);
    const MemoryBitmap& bitmap = renderer.Bitmap();
    for (const auto& [slot, model] : drawn) {
      std::set<std::pair<int32_t, int32_t>> lit;
      for (int32_t x = slot[0] * kSlot; x < (slot[0] + 1) * kSlot; ++x) {
        for (int32_t y = slot[1] * kSlot; y < (slot[1] + 1) * kSlot; ++y) {
          // The bitmap is bottom-up, as the window rows are.
          if (bitmap.Bits()[(static_cast<std::size_t>(y) * kSize + static_cast<std::size_t>(x)) * 4] != 0) lit.insert({x, y});
        }
      }
      ASSERT_EQ(lit, model) << "frame " << frame << " segment from (" << slot[2] << ", " << slot[3] << ") units";
      ++segments;
    }
  }
  EXPECT_GT(segments, 20000);
  EXPECT_TRUE(reports.Empty());
}

}  // namespace
}  // namespace skelvane
