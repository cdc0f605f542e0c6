// A zoomed-in trace drawn through masks must give, byte for byte, the frame the same points give
// as one line strip, whatever the plot's transform, the points' density, their depth company and
// clipping.
#include <gtest/gtest.h>

#include <GL/gl.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <random>
#include <vector>

#include "render/GLRenderer.h"
#include "render/TraceCoverage.h"
#include "render/TracePixels.h"
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
    ASSERT_TRUE(renderer_.TraceFillInUse()) << "the self-check refused writing the traces into the frame";
    for (uint32_t seed = 0; seed < kSeeds; ++seed) {
      const std::vector<PlotTrace> plots = MakePlots(seed * 7919u + static_cast<uint32_t>(size.width), size.width,
                                                     size.height);
      EXPECT_EQ(DifferingPixels(Draw(plots, true), Draw(plots, false)), 0u) << size.width << "x" << size.height << " seed " << seed;
    }
  }
  EXPECT_TRUE(reports_.Empty());
}

// A plot the canvas's edge cuts, as the stack scrolled part of the way: dense traces of every kind of
// signal (full-scale noise, a slow wave of hundreds of counts, spiky noise, a flat line) whose
// segments run past the edge, the plot placed at whole or fractional columns. Every frame must be the
// strip's; and with the columns on pixel edges only the steps between columns may be left to the
// rasteriser: the segments within a column are cut at the edge.
TEST_F(TraceMasksTest, PlotsCutByTheCanvasEdgeGiveTheStripsPixels) {
  Prepare(480, 300);
  ASSERT_TRUE(renderer_.TraceMasksInUse()) << "the driver's self-check turned the masks off";
  std::mt19937 random(29);
  auto uniform = [&](int32_t low, int32_t high) { return std::uniform_int_distribution<int32_t>(low, high)(random); };
  for (uint32_t seed = 0; seed < 4 * kSeeds; ++seed) {
    PlotTrace plot;
    const int32_t plotHeight = uniform(40, 160);
    const bool top = uniform(0, 1) == 0;
    // The plot's middle within half a plot of the edge, on either side of it.
    plot.place.centre = static_cast<float>((top ? 0 : -height_) + uniform(-plotHeight / 2, plotHeight / 2));
    plot.place.bottom = -height_;
    plot.place.top = 0.0;
    plot.place.x0 = static_cast<float>(uniform(0, 40)) + (uniform(0, 1) == 0 ? 0.0f : static_cast<float>(uniform(1, 15)) / 16.0f);
    constexpr int32_t kFullScale = 2047;
    plot.place.scale = static_cast<float>(plotHeight / 2.0 / kFullScale);
    const int32_t kind = static_cast<int32_t>(seed % 4);
    const int32_t perColumn = uniform(4, 90);
    const double period = uniform(50, 2000);
    int32_t index = 0;
    // Walked back in time, as the plots do, over the columns inside the canvas.
    for (int32_t x = width_ - static_cast<int32_t>(plot.place.x0) - 1; x >= 0; --x) {
      plot.xs.push_back(x);
      plot.counts.push_back(perColumn);
      for (int32_t i = 0; i < perColumn; ++i, ++index) {
        int32_t value = 0;
        switch (kind) {
          case 0: value = uniform(-kFullScale, kFullScale); break;
          case 1: value = static_cast<int32_t>(600.0 * std::sin(index / period)) + uniform(-20, 20); break;
          case 2: value = uniform(-30, 30) + (uniform(0, 400) == 0 ? uniform(-kFullScale, kFullScale) : 0); break;
          default: value = 700; break;
        }
        plot.ys.push_back(static_cast<int16_t>(value));
      }
    }
    EXPECT_EQ(DifferingPixels(Draw({plot}, true), Draw({plot}, false)), 0u) << "seed " << seed << " kind " << kind;

    // What the masks leave to the rasteriser, with the columns on pixel edges: the steps between
    // columns that cross the edge, and no segment within a column.
    renderer_.SetProjection(0, width_ - 1, -height_, 0);
    renderer_.Translate(std::floor(plot.place.x0), plot.place.centre, 0.0f);
    renderer_.Scale(1.0f, plot.place.scale, 1.0f);
    std::array<float, 16> matrix{};
    glGetFloatv(GL_PROJECTION_MATRIX, matrix.data());
    TraceCoverage coverage;
    ASSERT_TRUE(coverage.SetTransform(matrix, 0, 0, width_, height_));
    std::vector<ColumnBarCoverage::Span> spans;
    std::vector<uint32_t> undecided;
    coverage.Compute(plot.xs, plot.counts, plot.ys, spans, undecided);
    EXPECT_LE(undecided.size(), plot.xs.size()) << "seed " << seed;
  }
  EXPECT_TRUE(reports_.Empty());
}

// The transform foreseen for a plot whose stack scrolled by whole pixels is the one the renderer's own
// steps give it there, for plots placed anywhere and scaled anyhow: else the pixels worked out ahead
// for a scroll would never be taken.
TEST_F(TraceMasksTest, TheTransformForeseenForAScrollIsTheRenderersOwn) {
  Prepare(640, 360);
  std::mt19937 random(31);
  auto uniform = [&](int32_t low, int32_t high) { return std::uniform_int_distribution<int32_t>(low, high)(random); };
  const auto transform = [&](const test::RandomPlotPlace& place) {
    place.Begin(renderer_, width_, height_);
    place.End();
    TracePixels::Transform read;
    glGetFloatv(GL_PROJECTION_MATRIX, read.matrix.data());
    glGetIntegerv(GL_VIEWPORT, read.viewport.data());
    return read;
  };
  for (uint32_t trial = 0; trial < 64 * kSeeds; ++trial) {
    const test::RandomPlotPlace place = test::RandomPlotPlace::Make(random, height_);
    const TracePixels::Transform drawn = transform(place);
    test::RandomPlotPlace scrolled = place;
    const int32_t by = uniform(0, 3) == 0 ? uniform(-40, 40) : uniform(-3000, 3000);
    scrolled.bottom += by;
    scrolled.top += by;
    const auto bottom = static_cast<int32_t>(place.bottom);
    const auto top = static_cast<int32_t>(place.top);
    const std::optional<TracePixels::Transform> foreseen =
        TracePixels::Scrolled(drawn, place.centre, bottom, top, bottom + by, top + by);
    ASSERT_TRUE(foreseen) << "trial " << trial;
    EXPECT_TRUE(*foreseen == transform(scrolled)) << "trial " << trial << " by " << by;
    // A transform those steps did not make is not moved.
    EXPECT_FALSE(TracePixels::Scrolled(drawn, place.centre + 1.0f, bottom, top, bottom + by, top + by)) << trial;
  }
}

}  // namespace
}  // namespace skelvane
