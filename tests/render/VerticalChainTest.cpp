// The vector form of a column's vertical segments must light exactly the rows the one-segment line
// model gives them, whatever the points' positions within their pixels, the direction of each
// segment and the column's position within its pixel.
#include "render/VerticalChain.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <set>
#include <vector>

#include "render/LineRaster.h"

namespace skelvane {
namespace {

// The window row of a value, as the vertex and viewport steps compute it.
float WindowY(int16_t y, const VerticalChain::Transform& t) {
  const float product = t.scaleY * static_cast<float>(y);
  const float clip = product + t.offsetY;
  return std::fmaf(clip, t.halfHeight, t.centreY);
}

TEST(VerticalChainTest, LightsTheRowsOfEverySegmentOfTheChain) {
  if (!VerticalChain::Available()) GTEST_SKIP() << "no AVX2 with FMA here";
  std::mt19937 random(17);
  auto uniform = [&](int32_t low, int32_t high) { return std::uniform_int_distribution<int32_t>(low, high)(random); };
  VerticalChain chain;
  int32_t compared = 0;
  for (int32_t trial = 0; trial < 20000; ++trial) {
    // Exact scales (a power-of-two half height) put every row on a pixel edge or on a pixel centre;
    // fractional ones anywhere.
    const int32_t kind = uniform(0, 2);
    VerticalChain::Transform t{};
    t.halfHeight = kind == 0 ? static_cast<float>(uniform(50, 600)) : static_cast<float>(64 << uniform(0, 3));
    t.centreY = t.halfHeight;
    t.scaleY = kind == 0 ? std::uniform_real_distribution<float>(0.00005f, 0.01f)(random) : 1.0f / t.halfHeight;
    // Now and then the chain sits at the bottom of the viewport, where window rows turn negative.
    const float near = uniform(0, 4) == 0 ? -1.0f + 8.0f / t.halfHeight : 0.0f;
    t.offsetY = kind == 0 ? std::uniform_real_distribution<float>(-0.3f, 0.3f)(random) + near
                          : (kind == 2 ? 0.5f : 0.0f) / t.halfHeight + near;
    const float windowX = static_cast<float>(uniform(10, 900)) + (uniform(0, 3) == 0 ? 0.5f * static_cast<float>(uniform(0, 1))
                                                                                      : std::uniform_real_distribution<float>(0.0f, 1.0f)(random));
    const float offCentreX = std::fabs((windowX - std::floor(windowX)) - 0.5f);
    // A chain of up to a hundred points within a few dozen rows: steps of any size, repeats.
    const int32_t count = uniform(2, 100);
    const int32_t reach = kind == 0 ? static_cast<int32_t>(20.0f / (t.scaleY * t.halfHeight)) + 1 : 20;
    std::vector<int16_t> ys;
    int32_t value = uniform(-reach, reach);
    for (int32_t i = 0; i < count; ++i) {
      if (uniform(0, 4) != 0) value = std::clamp(value + uniform(-reach / 4 - 1, reach / 4 + 1), -reach, reach);
      ys.push_back(static_cast<int16_t>(value));
    }
    std::set<int32_t> expected;
    for (int32_t i = 0; i + 1 < count; ++i) {
      std::vector<ColumnBarCoverage::Span> spans;
      LineRaster::Segment(windowX, WindowY(ys[i], t), windowX, WindowY(ys[i + 1], t), spans);
      for (const ColumnBarCoverage::Span& s : spans) {
        for (int32_t r = s.firstRow; r <= s.lastRow; ++r) expected.insert(r);
      }
    }
    VerticalChain::Rows rows;
    if (!chain.Compute(ys.data(), count, offCentreX, t, rows)) continue;  // past the clip volume, or too tall
    std::set<int32_t> actual;
    for (int32_t bit = 0; bit < 64; ++bit) {
      if ((rows.bits >> bit) & 1) actual.insert(rows.low + bit);
    }
    ASSERT_EQ(actual, expected) << "trial " << trial;
    ++compared;
  }
  EXPECT_GT(compared, 15000);
}

}  // namespace
}  // namespace skelvane
