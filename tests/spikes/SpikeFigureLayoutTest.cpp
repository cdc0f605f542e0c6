// The figure's layout without drawing: which views a file gets and where, that pixels and data map
// both ways, and that the spike found under a pixel is the one drawn there.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>

#include "spikes/SpikeFigureLayout.h"
#include "spikes/SpikeFile.h"
#include "spikes/SpikeStatistics.h"
#include "spikes/SpikeSubset.h"
#include "tests/spikes/MadeSpikeFile.h"
#include "tests/support/TempDir.h"

namespace skelvane {
namespace {

using Layout = SpikeFigureLayout;
using Kind = SpikeFigureLayout::ViewKind;

struct Loaded {
  SpikeFile file;
  SpikeStatistics statistics;
  SpikeSubset subset;
};

void Load(Loaded& loaded, const test::TempDir& dir, int channels, int64_t count, int64_t most = 1000) {
  const std::string name = "f" + std::to_string(channels) + ".dat";
  const std::string path =
      dir.Write(name, test::MadeSpikeFile(test::MadeHeaderText(channels), test::RandomSpikes(channels, count, 9)));
  ASSERT_EQ(loaded.file.Open(path), 0);
  ASSERT_EQ(SpikeStatistics::Compute(loaded.file, loaded.statistics, 0, -1, SpikeStatistics::Detail::kWithWaveforms),
            0);
  ASSERT_EQ(SpikeSubset::Choose(loaded.file, most, loaded.subset), 0);
}

TEST(SpikeFigureLayoutTest, EachChannelCountGetsItsViewsTilingTheFigureBelowTheTitle) {
  test::TempDir dir;
  struct Expected {
    int channels;
    int scatters;
  };
  for (const Expected e : {Expected{1, 0}, Expected{2, 1}, Expected{3, 3}, Expected{4, 6}, Expected{8, 6}}) {
    Loaded loaded;
    Load(loaded, dir, e.channels, 300, 120);
    const Layout layout = Layout::ForFigure(1400, 1000, loaded.statistics, loaded.subset);
    ASSERT_EQ(layout.Views().size(), static_cast<std::size_t>(e.channels + e.scatters + 1));
    char rate[32];
    std::snprintf(rate, sizeof rate, "%.2f Hz", *loaded.statistics.rateHz);
    EXPECT_EQ(layout.Title(), "f" + std::to_string(e.channels) + ".dat: 300 spikes, " + std::to_string(e.channels) +
                                  (e.channels == 1 ? " channel, " : " channels, ") + rate + "; drawn: 120 of 300");
    int64_t area = layout.TitleBand().width * int64_t{layout.TitleBand().height};
    for (std::size_t i = 0; i < layout.Views().size(); ++i) {
      const Layout::View& v = layout.Views()[i];
      const Kind want = i < static_cast<std::size_t>(e.channels) ? Kind::kWaveforms
                        : i + 1 < layout.Views().size()          ? Kind::kScatter
                                                                 : Kind::kIntervals;
      EXPECT_EQ(v.kind, want) << e.channels << " view " << i;
      if (want == Kind::kWaveforms) {
        EXPECT_EQ(v.channel, static_cast<int32_t>(i));
      }
      EXPECT_GE(v.frame.top, layout.TitleBand().Bottom());
      EXPECT_LE(v.frame.Right(), 1400);
      EXPECT_LE(v.frame.Bottom(), 1000);
      EXPECT_TRUE(v.frame.Contains(v.plot.left, v.plot.top));
      EXPECT_TRUE(v.frame.Contains(v.plot.Right() - 1, v.plot.Bottom() - 1));
      EXPECT_EQ(layout.ViewAt(v.frame.left + v.frame.width / 2, v.frame.top + v.frame.height / 2),
                static_cast<int32_t>(i));
      area += v.frame.width * int64_t{v.frame.height};
    }
    // Views do not overlap (ViewAt found each at its centre) and leave no hole.
    EXPECT_EQ(area, 1400 * 1000) << e.channels;
  }
}

TEST(SpikeFigureLayoutTest, ChannelPairsAreAllPairsUpToSixThenNeighbours) {
  using Pairs = std::vector<std::pair<int32_t, int32_t>>;
  EXPECT_EQ(Layout::ChannelPairs(1), Pairs{});
  EXPECT_EQ(Layout::ChannelPairs(2), (Pairs{{0, 1}}));
  EXPECT_EQ(Layout::ChannelPairs(4), (Pairs{{0, 1}, {0, 2}, {0, 3}, {1, 2}, {1, 3}, {2, 3}}));
  EXPECT_EQ(Layout::ChannelPairs(8), (Pairs{{0, 1}, {1, 2}, {2, 3}, {3, 4}, {4, 5}, {5, 6}}));
}

TEST(SpikeFigureLayoutTest, TicksAreRoundAndInsideTheRange) {
  EXPECT_EQ(Layout::Ticks(0.0, 50.0, 12), (std::vector<double>{0, 5, 10, 15, 20, 25, 30, 35, 40, 45, 50}));
  EXPECT_EQ(Layout::Ticks(-130.0, 270.0, 6), (std::vector<double>{-100, 0, 100, 200}));
  EXPECT_EQ(Layout::Ticks(0.0, 1.1, 6), (std::vector<double>{0, 0.2, 0.4, 0.6000000000000001, 0.8, 1.0}));
  EXPECT_TRUE(Layout::Ticks(5.0, 5.0, 6).empty());
}

TEST(SpikeFigureLayoutTest, PixelsAndDataMapBothWaysAndTheNearestSpikeIsTheOneDrawnThere) {
  test::TempDir dir;
  Loaded loaded;
  Load(loaded, dir, 4, 400);
  const Layout layout = Layout::ForFigure(1200, 900, loaded.statistics, loaded.subset);
  const SpikeSubset& subset = loaded.subset;
  std::mt19937 random(3);
  for (std::size_t i = 0; i < layout.Views().size(); ++i) {
    const Layout::View& v = layout.Views()[i];
    EXPECT_DOUBLE_EQ(Layout::PixelX(v, v.x.low), v.plot.left);
    EXPECT_DOUBLE_EQ(Layout::PixelY(v, v.y.high), v.plot.top);
    EXPECT_NEAR(Layout::DataX(v, Layout::PixelX(v, 17.25)), 17.25, 1e-9);
    EXPECT_NEAR(Layout::DataY(v, Layout::PixelY(v, -321.5)), -321.5, 1e-9);
    for (int trial = 0; trial < 20 && v.kind == Kind::kScatter; ++trial) {
      const int64_t k = std::uniform_int_distribution<int64_t>(0, subset.Size() - 1)(random);
      const auto x = static_cast<int32_t>(std::lround(Layout::PixelX(v, subset.Peak(k, v.channel))));
      const auto y = static_cast<int32_t>(std::lround(Layout::PixelY(v, subset.Peak(k, v.otherChannel))));
      const int64_t found = layout.NearestSpike(static_cast<int32_t>(i), x, y, subset, 3);
      ASSERT_GE(found, 0);
      // Another spike may be drawn on the same pixel; then it is as near.
      EXPECT_LE(std::hypot(Layout::PixelX(v, subset.Peak(found, v.channel)) - x,
                           Layout::PixelY(v, subset.Peak(found, v.otherChannel)) - y),
                std::hypot(Layout::PixelX(v, subset.Peak(k, v.channel)) - x,
                           Layout::PixelY(v, subset.Peak(k, v.otherChannel)) - y));
    }
    if (v.kind == Kind::kIntervals) {
      EXPECT_EQ(layout.NearestSpike(static_cast<int32_t>(i), v.plot.left + 5, v.plot.top + 5, subset, 50), -1);
    }
    // Far outside the data nothing is near.
    EXPECT_EQ(layout.NearestSpike(static_cast<int32_t>(i), -500, -500, subset, 3), -1);
  }
  EXPECT_EQ(layout.NearestSpike(-1, 0, 0, subset, 3), -1);
  EXPECT_EQ(layout.ViewAt(-1, 5), -1);
}

TEST(SpikeFigureLayoutTest, TheWaveformNearestAPixelIsTheOneDrawnThrough) {
  test::TempDir dir;
  Loaded loaded;
  Load(loaded, dir, 2, 300);
  const SpikeSubset& subset = loaded.subset;
  // 31 gaps of 10 pixels: every point falls on a whole pixel.
  const int32_t width = Layout::kMarginLeft + Layout::kMarginRight + 311;
  const Layout layout = Layout::ForView(width, 400, Kind::kWaveforms, 1, -1, loaded.statistics, subset);
  const Layout::View& v = layout.Views()[0];
  ASSERT_EQ(v.plot.width, 311);
  std::mt19937 random(4);
  for (int trial = 0; trial < 100; ++trial) {
    const int64_t k = std::uniform_int_distribution<int64_t>(0, subset.Size() - 1)(random);
    const int32_t point = std::uniform_int_distribution<int32_t>(0, 31)(random);
    const int32_t x = v.plot.left + 10 * point;
    const double drawn = Layout::PixelY(v, subset.Sample(k, point, 1));
    const auto y = static_cast<int32_t>(std::lround(drawn));
    const int64_t found = layout.NearestSpike(0, x, y, subset, 2);
    ASSERT_GE(found, 0);
    EXPECT_LE(std::fabs(Layout::PixelY(v, subset.Sample(found, point, 1)) - y), std::fabs(drawn - y) + 1e-6);
  }
  EXPECT_EQ(layout.NearestSpike(0, v.plot.left, -1000, subset, 2), -1);
}

TEST(SpikeFigureLayoutTest, ASingleViewFillsTheSizeItIsGiven) {
  test::TempDir dir;
  Loaded loaded;
  Load(loaded, dir, 2, 50);
  const Layout layout = Layout::ForView(300, 200, Kind::kScatter, 1, 0, loaded.statistics, loaded.subset);
  ASSERT_EQ(layout.Views().size(), 1u);
  EXPECT_TRUE(layout.Title().empty());
  EXPECT_EQ(layout.TitleBand().height, 0);
  const Layout::View& v = layout.Views()[0];
  EXPECT_EQ(v.frame.width, 300);
  EXPECT_EQ(v.frame.height, 200);
  EXPECT_EQ(v.title, "Peaks: ch 2 vs ch 1");
  EXPECT_EQ(v.shortTitle, "ch 2 vs ch 1");
  EXPECT_EQ(v.x.label, "ch 2 peak (A/D counts)");
  // A narrow view shows the statistic of its long title, not the start of it.
  const Layout intervals = Layout::ForView(300, 200, Kind::kIntervals, 0, 0, loaded.statistics, loaded.subset);
  const std::string& full = intervals.Views().at(0).title;
  const std::string& brief = intervals.Views().at(0).shortTitle;
  ASSERT_TRUE(brief.starts_with("Intervals: "));
  EXPECT_TRUE(full.ends_with(brief.substr(std::string("Intervals: ").size()))) << full << " / " << brief;
  EXPECT_LT(brief.size(), full.size());
}

}  // namespace
}  // namespace skelvane
