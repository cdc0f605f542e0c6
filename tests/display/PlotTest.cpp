#include "display/Plot.h"

#include <gtest/gtest.h>

#include "display/PlotCanvas.h"
#include "display/ViewState.h"
#include "tests/display/RecordingPlot.h"
#include "tests/support/CapturedReports.h"
#include "tests/support/TestFrame.h"

namespace skelvane {
namespace {

using Line = Plot::OverlayLine;

std::vector<Line> Overlay(Plot& plot, int32_t mode, int32_t type, double value, int32_t width, int32_t x,
                          int32_t* rc = nullptr) {
  plot.SetExtractionMode(mode);
  plot.SetExtractionType(type);
  plot.SetExtractionValue(value);
  std::vector<Line> lines;
  const int32_t result = plot.LayoutThresholdOverlay(width, x, lines);
  if (rc != nullptr) *rc = result;
  return lines;
}

TEST(PlotHeight, SetHeightIsLimitedTo50Through5000) {
  test::RecordingPlot plot("/p.kcs");
  EXPECT_EQ(plot.GetHeight(), 100);
  plot.SetHeight(20);
  EXPECT_EQ(plot.GetHeight(), 50);
  plot.SetHeight(5001);
  EXPECT_EQ(plot.GetHeight(), 5000);
  plot.SetHeight(-7);
  EXPECT_EQ(plot.GetHeight(), 50);
}

TEST(PlotHeight, IncreaseHasNoUpperLimitButDecreaseStopsAt50) {
  test::RecordingPlot plot("/p.kcs");
  plot.SetHeight(5000);
  plot.IncreaseHeight();
  EXPECT_EQ(plot.GetHeight(), 5050);
  plot.SetHeight(70);
  EXPECT_EQ(plot.DecreaseHeight(), 1);
  EXPECT_EQ(plot.GetHeight(), 50);
  EXPECT_EQ(plot.DecreaseHeight(), 0);
  EXPECT_EQ(plot.GetHeight(), 50);
}

TEST(ThresholdOverlay, ThresholdModeDrawsHorizontalLinesAtThePositiveAndMirroredValue) {
  test::RecordingPlot plot("/p.kcs");
  EXPECT_EQ(Overlay(plot, 0, 0, 100.7, 400, 40), (std::vector<Line>{{40, 100, 440, 100}}));
  EXPECT_EQ(Overlay(plot, 0, 1, 100.7, 400, 40), (std::vector<Line>{{40, -100, 440, -100}}));
  EXPECT_EQ(Overlay(plot, 0, 2, 100.7, 400, 40), (std::vector<Line>{{40, 100, 440, 100}, {40, -100, 440, -100}}));
  EXPECT_EQ(Overlay(plot, 0, 2, -50.5, 10, 0), (std::vector<Line>{{0, -50, 10, -50}, {0, 50, 10, 50}}));
}

TEST(ThresholdOverlay, SlopeModeCrossesTheCentreIgnoringX) {
  test::RecordingPlot plot("/p.kcs");
  // 2048 / 2048 = 1: one pixel either side of the centre column 200.
  EXPECT_EQ(Overlay(plot, 1, 0, 2048.0, 401, 99), (std::vector<Line>{{201, 2048, 199, -2048}}));
  EXPECT_EQ(Overlay(plot, 1, 1, 2048.0, 401, 99), (std::vector<Line>{{199, 2048, 201, -2048}}));
  EXPECT_EQ(Overlay(plot, 1, 2, 512.9, 100, 0), (std::vector<Line>{{54, 2048, 46, -2048}, {46, 2048, 54, -2048}}));
}

TEST(ThresholdOverlay, SlopeThatTruncatesToZeroDrawsNothing) {
  test::CapturedReports reports;
  test::RecordingPlot plot("/p.kcs");
  int32_t rc = 0;
  EXPECT_TRUE(Overlay(plot, 1, 2, 0.5, 100, 0, &rc).empty());
  EXPECT_EQ(rc, -1);
  EXPECT_EQ(plot.DrawThresholdOverlay(test::FrameFor(0, 100, 100), 100, 0, 0xCCCCCC), -1);
  EXPECT_TRUE(reports.Empty());
}

TEST(ThresholdOverlay, UnknownTypeDrawsNothingAndUnknownModeIsReported) {
  test::CapturedReports reports;
  test::RecordingPlot plot("/p.kcs");
  int32_t rc = -5;
  EXPECT_TRUE(Overlay(plot, 0, 3, 100.0, 100, 0, &rc).empty());
  EXPECT_EQ(rc, 0);
  EXPECT_TRUE(reports.Empty());
  plot.SetExtractionMode(7);
  EXPECT_EQ(plot.DrawThresholdOverlay(test::FrameFor(0, 100, 100), 100, 0, 0xCCCCCC), 0);
  ASSERT_EQ(reports.Count(), 1u);
  EXPECT_EQ(reports.Texts()[0], "Error Drawing Spike Extraction Display, Unknown Mode Value = 7");
}

TEST(ThresholdOverlay, HugeValuesAreClampedInsteadOfOverflowing) {
  test::RecordingPlot plot("/p.kcs");
  const auto lines = Overlay(plot, 0, 0, 1e300, 10, 0);
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0].y1, std::numeric_limits<int32_t>::max());
}

TEST(PlotIcons, FiveIconsAreLaidOutLeftToRightInTheHeader) {
  test::RecordingPlot plot("/p.kcs");
  const std::vector<IPlot::IconPlace> places = plot.LayOutIcons(100, 0, -300);
  EXPECT_EQ(plot.IconXs(), (std::vector<int32_t>{3, 21, 39, 57, 75}));
  // 3 pixels below the top of a 100-pixel plot whose bottom is at -300.
  EXPECT_EQ(plot.IconYs(), (std::vector<int32_t>(5, -300 + 100 - 3 - 15)));
  // The canvas draws them where they are hit, in the plot's own coordinates, in hit-code order.
  using Icon = IPlot::HeaderIcon;
  const Icon order[] = {Icon::Close, Icon::Up, Icon::Down, Icon::Plus, Icon::Minus};
  ASSERT_EQ(places.size(), 5u);
  for (std::size_t i = 0; i < places.size(); ++i) {
    EXPECT_EQ(places[i].icon, order[i]);
    EXPECT_EQ(places[i].x, plot.IconXs()[i]);
    EXPECT_EQ(places[i].y + -300, plot.IconYs()[i]);
    EXPECT_EQ(places[i].size, Plot::kIconSize);
    EXPECT_EQ(plot.HitTestIcon(places[i].x + places[i].size / 2, plot.IconYs()[i]), static_cast<int32_t>(i) + 1);
  }
}

TEST(PlotIcons, HitTestIncludesTheIconEdges) {
  test::RecordingPlot plot("/p.kcs");
  EXPECT_EQ(plot.HitTestIcon(5, -210), 0);  // nothing laid out yet
  plot.LayOutIcons(100, 0, -300);
  // The icons span y -218 .. -203.
  EXPECT_EQ(plot.HitTestIcon(3, -218), 1);        // bottom-left corner
  EXPECT_EQ(plot.HitTestIcon(18, -210), 1);       // right edge
  EXPECT_EQ(plot.HitTestIcon(18, -203), 1);       // top-right corner
  EXPECT_EQ(plot.HitTestIcon(19, -210), 0);       // the gap between icons
  EXPECT_EQ(plot.HitTestIcon(21, -210), 2);
  EXPECT_EQ(plot.HitTestIcon(39, -210), 3);
  EXPECT_EQ(plot.HitTestIcon(57, -210), 4);
  EXPECT_EQ(plot.HitTestIcon(90, -210), 5);
  EXPECT_EQ(plot.HitTestIcon(91, -210), 0);
  EXPECT_EQ(plot.HitTestIcon(10, -202), 0);       // above
  EXPECT_EQ(plot.HitTestIcon(10, -219), 0);       // below
  EXPECT_EQ(plot.HitTestIcon(2, -210), 0);        // left of the first
  // Once the canvas says the icons are gone, none answers until they are laid out again.
  plot.ForgetIcons();
  EXPECT_EQ(plot.HitTestIcon(3, -218), 0);
  plot.LayOutIcons(100, 0, -300);
  EXPECT_EQ(plot.HitTestIcon(3, -218), 1);
}

TEST(PlotIcons, ADrawWithoutIconsForgetsTheOldPositions) {
  test::RecordingPlot plot("/p.kcs");
  plot.LayOutIcons(100, 0, 0);
  ASSERT_EQ(plot.HitTestIcon(5, 90), 1);
  plot.Draw(test::FrameFor(0, 10, 10), 10, 10, 0, 0);
  EXPECT_EQ(plot.HitTestIcon(5, 90), 0);
}

}  // namespace
}  // namespace skelvane
