// The figure's layout without drawing: which views a file gets and where, that pixels and data map
// both ways, that the spike found under a pixel is the one drawn there, that channels go by their
// recordings' names with microvolts beside the counts and waveforms in milliseconds where the header
// tells, and that tick labels never run into each other.
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

// "-ADBitVolts" for every channel: 30.5 uV per count.
std::string WithBitVolts(std::string header, int channels) {
  std::string line = "\t-ADBitVolts";
  for (int c = 0; c < channels; ++c) line += "  0.0000305";
  return header.insert(header.find("\t-ADMaxValue"), line + "\r\n");
}

void Load(Loaded& loaded, const test::TempDir& dir, int channels, int64_t count, int64_t most = 1000,
          bool bitVolts = false) {
  const std::string name = "f" + std::to_string(channels) + (bitVolts ? "v" : "") + ".dat";
  const std::string header = bitVolts ? WithBitVolts(test::MadeHeaderText(channels), channels)
                                      : test::MadeHeaderText(channels);
  const std::string path = dir.Write(name, test::MadeSpikeFile(header, test::RandomSpikes(channels, count, 9)));
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

TEST(SpikeFigureLayoutTest, ChannelsGoByTheirRecordingsWithMicrovoltsAndWaveformsInMilliseconds) {
  test::TempDir dir;
  Loaded loaded;
  Load(loaded, dir, 4, 100, 1000, true);
  const Layout::Channels channels = Layout::ChannelsOf(loaded.file.Header());
  EXPECT_EQ(channels.names, (std::vector<std::string>{"TT1a", "TT1b", "TT1c", "TT1d"}));
  EXPECT_EQ(channels.Name(4), "ch 5");
  const Layout::View w =
      Layout::ForView(400, 300, Kind::kWaveforms, 2, -1, loaded.statistics, loaded.subset, channels).Views()[0];
  EXPECT_TRUE(w.title.starts_with("TT1c: ")) << w.title;
  // The alignment point (8) at 0 ms, 32 kHz: the 32 points from -7/32 to 24/32 ms.
  EXPECT_EQ(w.x.label, "time from peak (ms)");
  EXPECT_DOUBLE_EQ(w.x.low, -7.0 / 32.0);
  EXPECT_DOUBLE_EQ(w.x.high, 24.0 / 32.0);
  EXPECT_DOUBLE_EQ(Layout::PointAt(w, Layout::PointValue(w, 12.5)), 12.5);
  // 30.5 uV a count, on round microvolt ticks within the counts' range.
  EXPECT_EQ(w.y.otherLabel, "uV");
  EXPECT_NEAR(w.y.otherScale, 30.5, 1e-9);
  ASSERT_FALSE(w.y.otherTicks.empty());
  EXPECT_GE(w.y.otherTicks.front(), w.y.low * w.y.otherScale - 1e-6);
  EXPECT_LE(w.y.otherTicks.back(), w.y.high * w.y.otherScale + 1e-6);
  const Layout::View scatter =
      Layout::ForView(400, 300, Kind::kScatter, 0, 1, loaded.statistics, loaded.subset, channels).Views()[0];
  EXPECT_EQ(scatter.title, "Peaks: TT1a vs TT1b");
  EXPECT_EQ(scatter.x.label, "TT1a peak (A/D counts)");
  EXPECT_EQ(scatter.x.otherLabel, "uV");
  // Too narrow a view keeps its data room: no microvolts beside the counts.
  EXPECT_EQ(Layout::ForView(200, 300, Kind::kWaveforms, 2, -1, loaded.statistics, loaded.subset, channels)
                .Views()[0].y.otherScale,
            0.0);
  // Without those header lines: channels by number, counts alone, window points.
  const Layout::View plain = Layout::ForView(400, 300, Kind::kWaveforms, 2, -1, loaded.statistics, loaded.subset).Views()[0];
  EXPECT_TRUE(plain.title.starts_with("ch 3: "));
  EXPECT_EQ(plain.x.label, "point (peak at 8)");
  EXPECT_EQ(plain.y.otherScale, 0.0);
}

// At any size, the tick labels of a row keep kLabelGap apart and those of a column a line apart:
// never "-400-200".
TEST(SpikeFigureLayoutTest, TickLabelsNeverRunIntoEachOtherAtAnySize) {
  test::TempDir dir;
  Loaded loaded;
  Load(loaded, dir, 4, 300, 1000, true);
  const Layout::Channels channels = Layout::ChannelsOf(loaded.file.Header());
  const auto width = [](std::string_view text) { return static_cast<int32_t>(8 * text.size()); };
  constexpr int32_t kTextHeight = 14;
  int32_t thinned = 0;
  for (int32_t figureWidth = 300; figureWidth <= 1500; figureWidth += 97) {
    for (int32_t figureHeight = 260; figureHeight <= 1100; figureHeight += 211) {
      const Layout layout = Layout::ForFigure(figureWidth, figureHeight, loaded.statistics, loaded.subset, channels);
      for (const Layout::View& view : layout.Views()) {
        const std::vector<Layout::Label> labels = Layout::TickLabels(view, width, kTextHeight);
        const std::size_t ticks = view.x.ticks.size() + view.x.otherTicks.size() + view.y.ticks.size() +
                                  view.y.otherTicks.size();
        thinned += labels.size() < ticks ? 1 : 0;
        for (std::size_t i = 0; i < labels.size(); ++i) {
          for (std::size_t j = i + 1; j < labels.size(); ++j) {
            const Layout::Label& a = labels[i];
            const Layout::Label& b = labels[j];
            const bool apartSideways = a.x + a.width + Layout::kLabelGap <= b.x || b.x + b.width + Layout::kLabelGap <= a.x;
            const bool apartUpDown = std::abs(a.baseline - b.baseline) >= kTextHeight;
            EXPECT_TRUE(apartSideways || apartUpDown)
                << "\"" << a.text << "\" and \"" << b.text << "\" at " << figureWidth << " x " << figureHeight << " in "
                << view.title;
          }
        }
      }
    }
  }
  EXPECT_GT(thinned, 0);  // narrow views had labels left out
}

}  // namespace
}  // namespace skelvane
