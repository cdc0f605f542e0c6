// Zoomed-out bars drawn through masks must give, byte for byte, the frame the same bars give as
// one-pixel segments with a point on each end, whatever the plot's transform, depth company,
// clipping and columns on pixel edges; and bars whose ends have the same row keys must give the
// same frame, whatever their values.
#include <gtest/gtest.h>

#include <GL/gl.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <random>
#include <vector>

#include "render/ColumnBarCoverage.h"
#include "render/GLRenderer.h"
#include "tests/render/MaskFrameTest.h"
#include "tests/render/RandomPlotPlace.h"

namespace skelvane {
namespace {

// Frames per size; BAR_SEEDS raises it for a longer search.
const uint32_t kSeeds = getenv("BAR_SEEDS") != nullptr ? static_cast<uint32_t>(std::atoi(getenv("BAR_SEEDS"))) : 12;

struct PlotBars {
  test::RandomPlotPlace place;
  std::vector<int32_t> xs;
  std::vector<int16_t> lows, highs;
};

// Plots as the canvas places them, their bars random or a noise band with a solid middle.
std::vector<PlotBars> MakePlots(uint32_t seed, int32_t width, int32_t height) {
  std::mt19937 random(seed);
  auto uniform = [&](int32_t low, int32_t high) { return std::uniform_int_distribution<int32_t>(low, high)(random); };
  std::vector<PlotBars> plots(static_cast<std::size_t>(uniform(2, 5)));
  for (PlotBars& plot : plots) {
    plot.place = test::RandomPlotPlace::Make(random, height);
    const int32_t swing = plot.place.swing;
    const int32_t columns = width - static_cast<int32_t>(plot.place.x0) + uniform(-10, 4);
    // A zoomed-out recording's bars: a noise band of nearly even height with the odd spike, and now
    // and then a column with no data.
    const bool banded = uniform(0, 2) == 0;
    const int32_t band = uniform(1, swing / 2 + 1);
    for (int32_t x = 0; x < columns; ++x) {
      if (banded && uniform(0, 200) == 0) continue;
      int32_t low = std::clamp(uniform(-swing, swing), -32768, 32767);
      int32_t high = uniform(0, 4) == 0 ? low : std::clamp(low + uniform(0, swing / 4 + 2), -32768, 32767);
      if (banded) {
        low = -band + uniform(0, band / 4) - (uniform(0, 50) == 0 ? uniform(0, swing) : 0);
        high = band - uniform(0, band / 4) + (uniform(0, 50) == 0 ? uniform(0, swing) : 0);
        low = std::clamp(low, -32768, 32767);
        high = std::clamp(high, -32768, 32767);
      }
      plot.xs.push_back(uniform(0, 30) == 0 ? x + uniform(-3, 3) : x);
      // Now and then a bar given top first.
      const bool flipped = uniform(0, 20) == 0;
      plot.lows.push_back(static_cast<int16_t>(flipped ? high : low));
      plot.highs.push_back(static_cast<int16_t>(flipped ? low : high));
      // A second bar in the same column, apart from the first: that column holds two runs.
      if (banded && uniform(0, 40) == 0) {
        const auto apart = static_cast<int16_t>(std::clamp(high + 2 + swing / 4, -32768, 32767));
        plot.xs.push_back(plot.xs.back());
        plot.lows.push_back(apart);
        plot.highs.push_back(apart);
      }
    }
  }
  return plots;
}

class ColumnBarsTest : public test::MaskFrameTest {
 protected:
  // With `alike`, every bar end outside a tie column is drawn as another value of the same row key.
  std::vector<uint8_t> Draw(const std::vector<PlotBars>& plots, bool masks, std::mt19937* alike = nullptr) {
    renderer_.AllowBarMasks(masks);
    renderer_.ClearScene();
    renderer_.SetProjection(0, width_, -height_, 0);
    const int32_t backgroundXs[] = {0, width_, width_, 0};
    const int32_t backgroundYs[] = {0, 0, -height_, -height_};
    renderer_.DrawPolygon(backgroundXs, backgroundYs, 4, 0x202020, -19, 1.0f);
    for (const PlotBars& plot : plots) {
      plot.place.Begin(renderer_, width_, height_);
      std::vector<int16_t> lows = plot.lows;
      std::vector<int16_t> highs = plot.highs;
      ColumnBarCoverage rows;
      if (alike != nullptr && renderer_.BarRows(plot.place.lineWidth, -10, rows)) {
        ++alikePlots_;
        for (std::size_t i = 0; i < plot.xs.size(); ++i) {
          if (rows.TieColumn(plot.xs[i])) continue;
          lows[i] = Alike(rows, lows[i], *alike);
          highs[i] = Alike(rows, highs[i], *alike);
        }
      }
      // Neighbours at the bars' own depth, drawn before and after them.
      renderer_.DrawColumnPairs(plot.xs, plot.highs, plot.lows, 0x0000FF, 1, -10, 1.0f);
      renderer_.DrawColumnBars(plot.xs, lows, highs, 0x00FF00, plot.place.lineWidth, -10, 1.0f);
      renderer_.DrawPoints(std::span<const int32_t>(plot.xs).first(plot.xs.size() / 2), plot.highs, 0xFF00FF, 1, -10,
                           1.0f);
      renderer_.DrawLine(0, plot.lows.empty() ? 0 : plot.lows[0], width_, 0, 0xFFFFFF, 1, -9, 1.0f);
      plot.place.End();
    }
    return ReadFrame();
  }

  // A random value with the same row key as `value` (within a few thousand counts of it).
  static int16_t Alike(const ColumnBarCoverage& rows, int16_t value, std::mt19937& random) {
    constexpr int32_t kReach = 3000;
    const int64_t key = rows.RowKey(value);
    int32_t low = value;
    int32_t high = value;
    while (low > -32768 && value - low < kReach && rows.RowKey(low - 1) == key) --low;
    while (high < 32767 && high - value < kReach && rows.RowKey(high + 1) == key) ++high;
    return static_cast<int16_t>(std::uniform_int_distribution<int32_t>(low, high)(random));
  }

  int32_t alikePlots_ = 0;
};

TEST_F(ColumnBarsTest, MasksGiveTheSegmentsAndPointsPixelsOnRandomPlots) {
  const struct {
    int32_t width, height;
  } sizes[] = {{640, 360}, {1920, 1080}, {1001, 333}};
  for (const auto& size : sizes) {
    Prepare(size.width, size.height);
    ASSERT_TRUE(renderer_.BarMasksInUse()) << "the driver's self-check turned the masks off";
    ASSERT_TRUE(renderer_.BarFillInUse()) << "the self-check refused writing the bars into the frame";
    for (uint32_t seed = 0; seed < kSeeds; ++seed) {
      const std::vector<PlotBars> plots = MakePlots(seed * 7919u + static_cast<uint32_t>(size.width), size.width,
                                                    size.height);
      EXPECT_EQ(DifferingPixels(Draw(plots, true), Draw(plots, false)), 0u) << size.width << "x" << size.height << " seed " << seed;
    }
  }
  EXPECT_TRUE(reports_.Empty());
}

// Row keys are what the bar settling trusts instead of exact extremes: any values of the same keys
// give the very frame of the true ones, on the scroll's edges, in scissor boxes and at any gain.
TEST_F(ColumnBarsTest, EndsOfTheSameRowKeysGiveTheSameFrame) {
  Prepare(640, 360);
  ASSERT_TRUE(renderer_.BarMasksInUse());
  std::mt19937 random(29);
  for (uint32_t seed = 0; seed < 2 * kSeeds; ++seed) {
    const std::vector<PlotBars> plots = MakePlots(seed * 104729u + 17u, 640, 360);
    for (const PlotBars& plot : plots) {
      std::vector<int16_t> values(plot.lows);
      values.insert(values.end(), plot.highs.begin(), plot.highs.end());
      std::sort(values.begin(), values.end());
      ColumnBarCoverage rows;
      renderer_.SetProjection(0, width_, plot.place.bottom, plot.place.top);
      renderer_.Translate(plot.place.x0, plot.place.centre, 0.0f);
      renderer_.Scale(1.0f, plot.place.scale, 1.0f);
      if (!renderer_.BarRows(1, -10, rows)) continue;
      for (std::size_t i = 1; i < values.size(); ++i) ASSERT_LE(rows.RowKey(values[i - 1]), rows.RowKey(values[i]));
    }
    EXPECT_EQ(Draw(plots, true, &random), Draw(plots, true)) << "seed " << seed;
  }
  EXPECT_GT(alikePlots_, 0);
}

// A HiDPI renderer draws its two-pixel bars as segments, but its masks pass the check and stay
// ready for one-pixel drawing.
TEST_F(ColumnBarsTest, HiDpiBarsAreSegmentsAndTheMasksStillPassTheirCheck) {
  renderer_.SetPixelRatio(2);
  Prepare(320, 180);
  EXPECT_TRUE(renderer_.BarMasksInUse());
  const std::vector<PlotBars> plots = MakePlots(5u, 320, 180);
  EXPECT_EQ(Draw(plots, true), Draw(plots, false));
}

}  // namespace
}  // namespace skelvane
