// The vector form of a column's vertical segments must light exactly the rows the one-segment line
// model gives them, whatever the points' positions within their pixels, the direction of each
// segment and the column's position within its pixel.
#include "render/VerticalChain.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <random>
#include <set>
#include <vector>

#include "render/LineRaster.h"
#include "render/TraceCoverage.h"

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
  // Both forms, where the machine runs the sixteen-lane one: eight points at a time and sixteen.
  VerticalChain chain;
  VerticalChain eightLanes;
  eightLanes.UseSixteenLanes(false);
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
    // A chain of up to a hundred points within a few rows to a few hundred (past one 64-row mask):
    // steps of any size, repeats.
    const int32_t count = uniform(2, 100);
    const int32_t rows = uniform(0, 3) == 0 ? uniform(40, 250) : uniform(2, 20);
    const int32_t reach = kind == 0 ? static_cast<int32_t>(static_cast<float>(rows) / (t.scaleY * t.halfHeight)) + 1
                                    : rows;
    const int32_t bound = std::min(reach, 32767);
    std::vector<int16_t> ys;
    int32_t value = uniform(-bound, bound);
    for (int32_t i = 0; i < count; ++i) {
      if (uniform(0, 4) != 0) value = std::clamp(value + uniform(-bound / 4 - 1, bound / 4 + 1), -bound, bound);
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
    for (VerticalChain* form : {&chain, &eightLanes}) {
      std::vector<VerticalChain::RowRun> runs;
      if (!form->Compute(ys.data(), count, offCentreX, t, runs)) continue;  // past the clip volume
      std::set<int32_t> actual;
      for (std::size_t k = 0; k < runs.size(); ++k) {
        if (k > 0) {
          ASSERT_GT(runs[k].first, runs[k - 1].last + 1) << "runs apart and in order";
        }
        for (int32_t r = runs[k].first; r <= runs[k].last; ++r) actual.insert(r);
      }
      ASSERT_EQ(actual, expected) << "trial " << trial << (form == &chain ? "" : ", eight lanes");
      ++compared;
    }
  }
  EXPECT_GT(compared, 30000);
}

// The pixel set of a whole strip's coverage.
std::set<std::pair<int32_t, int32_t>> Pixels(const std::vector<ColumnBarCoverage::Span>& spans) {
  std::set<std::pair<int32_t, int32_t>> pixels;
  for (const ColumnBarCoverage::Span& s : spans) {
    for (int32_t r = s.firstRow; r <= s.lastRow; ++r) pixels.insert({s.column, r});
  }
  return pixels;
}

// A strip's coverage through the vector form and segment by segment (as machines without AVX2 and
// FMA work it out) must be the same pixels and leave the same segments to the rasteriser.
TEST(VerticalChainTest, TraceCoverageGivesTheSamePixelsWithoutTheVectorForm) {
  std::mt19937 random(23);
  auto uniform = [&](int32_t low, int32_t high) { return std::uniform_int_distribution<int32_t>(low, high)(random); };
  TraceCoverage vector;
  TraceCoverage plain;
  plain.UseVectorForm(false);
  for (int32_t trial = 0; trial < 30; ++trial) {
    // A plot's transform over a 1920 x 1080 canvas, a gain that may put the strip past its edges.
    std::array<float, 16> m{};
    m[0] = 2.0f / 1921.0f;
    m[5] = 2.0f / 1080.0f * std::uniform_real_distribution<float>(0.001f, 0.3f)(random);
    m[10] = -0.1f;
    m[12] = -1.0f + static_cast<float>(uniform(0, 80)) * m[0];
    m[13] = std::uniform_real_distribution<float>(-0.9f, 0.9f)(random);
    m[14] = -1.0f;
    m[15] = 1.0f;
    ASSERT_TRUE(vector.SetTransform(m, 0, 0, 1920, 1080));
    ASSERT_TRUE(plain.SetTransform(m, 0, 0, 1920, 1080));
    std::vector<int32_t> xs, counts;
    std::vector<int16_t> ys;
    int32_t value = 0;
    const int32_t perColumn = uniform(1, 120);
    for (int32_t x = uniform(1800, 1950); x >= 0; --x) {
      xs.push_back(x);
      counts.push_back(std::max(1, perColumn + uniform(-perColumn / 2, perColumn / 2)));
      for (int32_t i = 0; i < counts.back(); ++i) {
        value = std::clamp(value + uniform(-300, 300), -32768, 32767);
        ys.push_back(static_cast<int16_t>(uniform(0, 200) == 0 ? uniform(-32768, 32767) : value));
      }
    }
    std::vector<ColumnBarCoverage::Span> vectorSpans, plainSpans;
    std::vector<uint32_t> vectorUndecided, plainUndecided;
    vector.Compute(xs, counts, ys, vectorSpans, vectorUndecided);
    plain.Compute(xs, counts, ys, plainSpans, plainUndecided);
    ASSERT_EQ(Pixels(vectorSpans), Pixels(plainSpans)) << "trial " << trial;
    std::sort(vectorUndecided.begin(), vectorUndecided.end());
    ASSERT_EQ(vectorUndecided, plainUndecided) << "trial " << trial;
  }
}

}  // namespace
}  // namespace skelvane
