// A zoomed-in trace drawn through masks must give, byte for byte, the frame the same points give
// as one line strip, whatever the plot's transform, the points' density, their depth company and
// clipping.
#include <gtest/gtest.h>

#include <GL/gl.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <random>
#include <vector>

#include "render/GLRenderer.h"
#include "tests/render/MaskFrameTest.h"
#include "tests/render/RandomPlotPlace.h"

namespace skelvane {
namespace {

// Frames per size; TRACE_SEEDS raises it for a longer search.
const uint32_t kSeeds = getenv("TRACE_SEEDS") != nullptr ? static_cast<uint32_t>(std::atoi(getenv("TRACE_SEEDS"))) : 8;

struct PlotTrace {
  test::RandomPlotPlace place;
  std::vector<int32_t> xs, counts;
  std::vector<int16_t> ys;
};

// Plots as the canvas places them. Traces from one point every few columns to a hundred per column:
// noise with spikes, quiet stretches, flat runs and points past the plot's ends.
std::vector<PlotTrace> MakePlots(uint32_t seed, int32_t width, int32_t height) {
  std::mt19937 random(seed);
  auto uniform = [&](int32_t low, int32_t high) { return std::uniform_int_distribution<int32_t>(low, high)(random); };
  std::vector<PlotTrace> plots(static_cast<std::size_t>(uniform(2, 4)));
  for (PlotTrace& plot : plots) {
    plot.place = test::RandomPlotPlace::Make(random, height);
    const int32_t swing = plot.place.swing;
    const int32_t noise = uniform(0, 2) == 0 ? uniform(1, 6) : uniform(1, swing / 2 + 1);
    // 0: a few points every few columns, whose segments reach across columns.
    const int32_t perColumn = uniform(0, 3) == 0 ? 0 : uniform(1, 100);
    const int32_t columns = width - static_cast<int32_t>(plot.place.x0) + uniform(-10, 6);
    int32_t value = uniform(-swing / 2, swing / 2);
    for (int32_t x = columns; x >= 0; --x) {
      if (perColumn == 0 && uniform(0, 3) != 0) continue;
      const int32_t count =
          perColumn == 0 ? uniform(1, 3) : std::max(1, perColumn + uniform(-perColumn / 3, perColumn / 3));
      plot.xs.push_back(x);
      plot.counts.push_back(count);
      for (int32_t i = 0; i < count; ++i) {
        if (uniform(0, 9) != 0) value = std::clamp(value + uniform(-noise, noise), -swing, swing);
        const int32_t spike = uniform(0, 300) == 0 ? uniform(-swing, swing) : 0;
        plot.ys.push_back(static_cast<int16_t>(std::clamp(value + spike, -32768, 32767)));
      }
    }
  }
  return plots;
}

class TraceMasksTest : public test::MaskFrameTest {
 protected:
  std::vector<uint8_t> Draw(const std::vector<PlotTrace>& plots, bool masks) {
    renderer_.AllowTraceMasks(masks);
    renderer_.ClearScene();
    renderer_.SetProjection(0, width_, -height_, 0);
    const int32_t backgroundXs[] = {0, width_, width_, 0};
    const int32_t backgroundYs[] = {0, 0, -height_, -height_};
    renderer_.DrawPolygon(backgroundXs, backgroundYs, 4, 0x202020, -19, 1.0f);
    for (const PlotTrace& plot : plots) {
      plot.place.Begin(renderer_, width_, height_);
      // Neighbours at the trace's own depth, drawn before and after it.
      const std::size_t half = plot.xs.size() / 2;
      renderer_.DrawColumnBars(std::span(plot.xs).first(half), plot.ys, std::span(plot.ys).last(half), 0x0000FF, 1,
                               -10, 1.0f);
      renderer_.DrawTrace(plot.xs, plot.counts, plot.ys, 0x00FF00, plot.place.lineWidth, -10, 1.0f);
      renderer_.DrawPoints(std::span(plot.xs).first(half), plot.ys, 0xFF00FF, 2, -10, 1.0f);
      plot.place.End();
    }
    return ReadFrame();
  }
};

TEST_F(TraceMasksTest, MasksGiveTheStripsPixelsOnRandomPlots) {
  const struct {
    int32_t width, height;
  } sizes[] = {{640, 360}, {1920, 1080}, {1001, 333}};
  for (const auto& size : sizes) {
    Prepare(size.width, size.height);
    ASSERT_TRUE(renderer_.TraceMasksInUse()) << "the driver's self-check turned the masks off";
    for (uint32_t seed = 0; seed < kSeeds; ++seed) {
      const std::vector<PlotTrace> plots = MakePlots(seed * 7919u + static_cast<uint32_t>(size.width), size.width,
                                                     size.height);
      EXPECT_EQ(DifferingPixels(Draw(plots, true), Draw(plots, false)), 0u) << size.width << "x" << size.height << " seed " << seed;
    }
  }
  EXPECT_TRUE(reports_.Empty());
}

}  // namespace
}  // namespace skelvane
