// The one transform both coverage classes work from: exactly the matrices that only scale and
// translate x and y (by finite amounts), over a viewport with an area, are taken, and both classes
// take the same ones; anything else is left to the rasteriser.
#include "render/WindowTransform.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <limits>
#include <random>

#include "render/ColumnBarCoverage.h"
#include "render/TraceCoverage.h"

namespace skelvane {
namespace {

TEST(WindowTransformTest, OnlyScaleAndTranslateOverAnAreaIsTakenAndBothCoveragesAgree) {
  std::mt19937 random(31);
  auto uniform = [&](float low, float high) { return std::uniform_real_distribution<float>(low, high)(random); };
  auto pick = [&](int32_t low, int32_t high) { return std::uniform_int_distribution<int32_t>(low, high)(random); };
  constexpr std::array<int32_t, 9> kMixing = {1, 2, 3, 4, 6, 7, 8, 9, 11};
  constexpr std::array<int32_t, 4> kScaleAndShift = {0, 5, 12, 13};
  const float spoilers[] = {std::numeric_limits<float>::infinity(), -std::numeric_limits<float>::infinity(),
                            std::numeric_limits<float>::quiet_NaN()};
  int32_t taken = 0;
  for (int32_t trial = 0; trial < 2000; ++trial) {
    std::array<float, 16> m{};
    m[0] = uniform(-0.01f, 0.01f);
    m[5] = uniform(-0.01f, 0.01f);
    m[10] = uniform(-1.0f, 1.0f);  // depth: free
    m[12] = uniform(-2.0f, 2.0f);
    m[13] = uniform(-2.0f, 2.0f);
    m[14] = uniform(-1.0f, 1.0f);
    m[15] = 1.0f;
    bool plain = true;
    switch (pick(0, 3)) {
      case 0: m[kMixing[pick(0, 8)]] = uniform(0.001f, 1.0f); plain = false; break;
      case 1: m[15] = uniform(0.5f, 2.0f); plain = m[15] == 1.0f; break;
      case 2: m[kScaleAndShift[pick(0, 3)]] = spoilers[pick(0, 2)]; plain = false; break;
      default: break;
    }
    const int32_t x = pick(-100, 100), y = pick(-100, 100), w = pick(-2, 3000), h = pick(-2, 3000);
    const bool expected = plain && w > 0 && h > 0;
    const std::optional<WindowTransform> t = WindowTransform::From(m, x, y, w, h);
    ASSERT_EQ(t.has_value(), expected) << trial;
    ColumnBarCoverage bars;
    TraceCoverage trace;
    EXPECT_EQ(bars.SetTransform(m, x, y, w, h), expected) << trial;
    EXPECT_EQ(trace.SetTransform(m, x, y, w, h), expected) << trial;
    if (!t) continue;
    ++taken;
    EXPECT_EQ(bars.RowsUsable(), t->scaleY > 0.0f) << trial;
    // Clip space runs from -1 to 1 across the viewport.
    EXPECT_EQ(t->centreX - t->halfWidth, static_cast<float>(x)) << trial;
    EXPECT_EQ(t->centreY + t->halfHeight, static_cast<float>(y + h)) << trial;
    EXPECT_EQ(t->scaleY, m[5]) << trial;
    EXPECT_EQ(t->offsetX, m[12]) << trial;
  }
  EXPECT_GT(taken, 200);
}

}  // namespace
}  // namespace skelvane
