// The drawn figure: the layout's size, and in each view its own colours only (a channel's
// waveforms in that channel's view, scatter points in the pair views, bars and the 2 ms mark in the
// histogram); the highlighted spike; a file without spikes; one view drawn alone at a given size.
#include <gtest/gtest.h>

#include <set>

#include "platform/MemoryBitmap.h"
#include "render/GLRenderer.h"
#include "spikes/SpikeFigure.h"
#include "spikes/SpikeFigureLayout.h"
#include "spikes/SpikeFile.h"
#include "spikes/SpikeStatistics.h"
#include "spikes/SpikeSubset.h"
#include "tests/spikes/MadeSpikeFile.h"
#include "tests/support/CapturedReports.h"
#include "tests/support/TempDir.h"

namespace skelvane {
namespace {

using Layout = SpikeFigureLayout;
using Kind = SpikeFigureLayout::ViewKind;

// Spikes shaped like the detector's: a peak at the alignment point, smaller on later channels, at
// intervals of 1 to 20 ms.
std::vector<test::MadeSpike> PeakedSpikes(int channels, int count) {
  auto spikes = test::RandomSpikes(channels, count, 11);
  std::mt19937 random(12);
  int64_t time = 1'000'000;
  for (test::MadeSpike& s : spikes) {
    s.timestamp = time;
    time += std::uniform_int_distribution<int64_t>(1000, 20'000)(random);
    const int height = std::uniform_int_distribution<int>(150, 400)(random);
    for (int p = 0; p < 32; ++p) {
      for (int c = 0; c < channels; ++c) {
        const int shape = static_cast<int>(height * std::exp(-0.15 * (p - 7) * (p - 7)) / (c + 1));
        s.samples[p * channels + c] = static_cast<int16_t>(shape + std::uniform_int_distribution<int>(-15, 15)(random));
      }
    }
  }
  return spikes;
}

std::set<uint32_t> ColoursIn(const MemoryBitmap& bitmap, const Layout::Rect& r) {
  std::set<uint32_t> colours;
  for (int32_t y = r.top; y < r.Bottom(); ++y) {
    for (int32_t x = r.left; x < r.Right(); ++x) colours.insert(bitmap.ColorAt(x, y));
  }
  return colours;
}

class SpikeFigureTest : public ::testing::Test {
 protected:
  void Load(int channels, int count) {
    const std::string path =
        dir_.Write("fig.dat", test::MadeSpikeFile(test::MadeHeaderText(channels), PeakedSpikes(channels, count)));
    ASSERT_EQ(file_.Open(path), 0);
    ASSERT_EQ(SpikeStatistics::Compute(file_, statistics_, 0, -1, SpikeStatistics::Detail::kWithWaveforms), 0);
    ASSERT_EQ(SpikeSubset::Choose(file_, 200, subset_), 0);
  }

  test::TempDir dir_;
  test::CapturedReports reports_;
  GLRenderer renderer_;
  SpikeFile file_;
  SpikeStatistics statistics_;
  SpikeSubset subset_;
};

TEST_F(SpikeFigureTest, EachViewShowsItsOwnColoursAtTheLayoutsSize) {
  Load(4, 600);
  const Layout layout = Layout::ForFigure(1000, 760, statistics_, subset_);
  MemoryBitmap bitmap;
  ASSERT_EQ(SpikeFigure::Render(renderer_, layout, statistics_, subset_, bitmap), 0);
  ASSERT_EQ(bitmap.Width(), 1000);
  ASSERT_EQ(bitmap.Height(), 760);

  const std::set<uint32_t> title = ColoursIn(bitmap, layout.TitleBand());
  EXPECT_TRUE(title.count(SpikeFigure::kInkColour));
  EXPECT_TRUE(title.count(SpikeFigure::kPaperColour));
  for (const Layout::View& view : layout.Views()) {
    const std::set<uint32_t> seen = ColoursIn(bitmap, view.frame);
    EXPECT_TRUE(seen.count(SpikeFigure::kPaperColour) && seen.count(SpikeFigure::kInkColour) &&
                seen.count(SpikeFigure::kGridColour))
        << view.title;
    for (int32_t c = 0; c < 4; ++c) {
      const bool own = view.kind == Kind::kWaveforms && view.channel == c;
      EXPECT_EQ(seen.count(SpikeFigure::TraceColour(c)) == 1, own) << view.title << " channel " << c;
      EXPECT_EQ(seen.count(SpikeFigure::ChannelColour(c)) == 1, own) << view.title << " channel " << c;
    }
    EXPECT_EQ(seen.count(SpikeFigure::kScatterColour) == 1, view.kind == Kind::kScatter) << view.title;
    EXPECT_EQ(seen.count(SpikeFigure::kIntervalColour) == 1, view.kind == Kind::kIntervals) << view.title;
    EXPECT_EQ(seen.count(SpikeFigure::kShortIntervalColour) == 1, view.kind == Kind::kIntervals) << view.title;
    EXPECT_FALSE(seen.count(SpikeFigure::kHighlightColour)) << view.title;
  }
  // The mean sits where it was computed: channel 1's alignment point at the mean's pixel
  const Layout::View& first = layout.Views()[0];
  const auto x = static_cast<int32_t>(std::lround(Layout::PixelX(first, 8.0)));
  const auto y = static_cast<int32_t>(std::lround(Layout::PixelY(first, statistics_.Mean(0, 7))));
  // (within a pixel: the rasteriser leaves a line's last pixel to the next segment)
  EXPECT_TRUE(ColoursIn(bitmap, Layout::Rect{x, y - 1, 1, 3}).count(SpikeFigure::ChannelColour(0)));
  EXPECT_TRUE(reports_.Empty()) << reports_.Texts().front();
}

TEST_F(SpikeFigureTest, HighlightedSpikeIsDrawnInEveryViewOfItsData) {
  Load(2, 300);
  const Layout layout = Layout::ForFigure(800, 600, statistics_, subset_);
  MemoryBitmap bitmap;
  ASSERT_EQ(SpikeFigure::Render(renderer_, layout, statistics_, subset_, bitmap, 17), 0);
  for (const Layout::View& view : layout.Views()) {
    EXPECT_EQ(ColoursIn(bitmap, view.frame).count(SpikeFigure::kHighlightColour) == 1, view.kind != Kind::kIntervals)
        << view.title;
  }
}

TEST_F(SpikeFigureTest, FileWithoutSpikesDrawsEmptyViewsThatSaySo) {
  Load(1, 0);
  const Layout layout = Layout::ForFigure(700, 500, statistics_, subset_);
  EXPECT_EQ(layout.Title(), "fig.dat: no spikes");
  MemoryBitmap bitmap;
  ASSERT_EQ(SpikeFigure::Render(renderer_, layout, statistics_, subset_, bitmap), 0);
  const std::set<uint32_t> all = ColoursIn(bitmap, Layout::Rect{0, 0, 700, 500});
  EXPECT_EQ(all, (std::set<uint32_t>{SpikeFigure::kPaperColour, SpikeFigure::kInkColour, SpikeFigure::kGridColour}));
}

TEST_F(SpikeFigureTest, OneViewDrawsAloneAtTheSizeAsked) {
  Load(4, 100);
  const Layout layout = Layout::ForView(320, 240, Kind::kWaveforms, 2, -1, statistics_, subset_);
  MemoryBitmap bitmap;
  ASSERT_EQ(SpikeFigure::Render(renderer_, layout, statistics_, subset_, bitmap), 0);
  EXPECT_EQ(bitmap.Width(), 320);
  EXPECT_EQ(bitmap.Height(), 240);
  const std::set<uint32_t> seen = ColoursIn(bitmap, Layout::Rect{0, 0, 320, 240});
  EXPECT_TRUE(seen.count(SpikeFigure::TraceColour(2)));
  EXPECT_FALSE(seen.count(SpikeFigure::TraceColour(0)));
  EXPECT_EQ(SpikeFigure::Render(renderer_, Layout::ForView(0, 240, Kind::kIntervals, -1, -1, statistics_, subset_),
                                statistics_, subset_, bitmap),
            -1);
}

}  // namespace
}  // namespace skelvane
