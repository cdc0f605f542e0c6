#include "display/PlotCollection.h"

#include <gtest/gtest.h>

#include "display/ColorTable.h"
#include "display/CscPlot.h"
#include "display/PlotCanvas.h"
#include "tests/support/FakeDataSourceManager.h"
#include "tests/display/RecordingPlot.h"
#include "tests/support/CapturedReports.h"
#include "tests/support/TestFrame.h"

namespace skelvane {
namespace {

class PlotCollectionTest : public ::testing::Test {
 protected:
  // Opens a source with a few records and makes its plot, as the main window does.
  void OpenWithPlot(const std::string& path) {
    const int32_t s = manager.AddSource(path);
    for (int32_t r = 0; r < 3; ++r) manager.AddRecord(s, 16'000 * r, 32'000, {});
    ASSERT_EQ(collection.CreatePlot(FileTitle(path), 5, path), 0);
  }
  static std::string FileTitle(const std::string& path) {
    const auto name = path.substr(path.rfind('/') + 1);
    return name.substr(0, name.find('.'));
  }
  std::vector<std::string> PlotPaths() const {
    std::vector<std::string> paths;
    for (int32_t i = 0; i < collection.GetNumPlots(); ++i) {
      IPlot* plot = nullptr;
      EXPECT_EQ(collection.GetPlot(i, plot), 0);
      paths.push_back(plot->GetPath());
    }
    return paths;
  }
  std::vector<std::string> SourcePaths() const {
    std::vector<std::string> paths;
    for (const auto& s : manager.sources) paths.push_back(s.path);
    return paths;
  }
  test::FakeDataSourceManager manager;
  ColorTable colours = PlotCanvas::MakePlotColours();
  PlotCollection collection{manager, colours};
  test::CapturedReports reports;
};

TEST_F(PlotCollectionTest, PlotsTakeTheirTraceColoursInTurnFromTheGivenAllocator) {
  OpenWithPlot("/d/a.kcs");
  uint32_t skipped = 0;
  colours.GetNextColor(skipped);  // someone else took "Blue"
  OpenWithPlot("/d/b.kcs");
  OpenWithPlot("/d/c.kcs");
  std::vector<uint32_t> traces;
  for (int32_t i = 0; i < collection.GetNumPlots(); ++i) {
    IPlot* plot = nullptr;
    ASSERT_EQ(collection.GetPlot(i, plot), 0);
    traces.push_back(dynamic_cast<CscPlot&>(*plot).Properties().traceColour);
  }
  EXPECT_EQ(skipped, 0xFF0000u);
  EXPECT_EQ(traces, (std::vector<uint32_t>{0x0000FF, 0x00FFFF, 0x800080}));  // "Red", "Yellow", "Purple"
}

TEST_F(PlotCollectionTest, OnlyCscSourcesGetAPlot) {
  EXPECT_EQ(collection.CreatePlot("x", 4, "/d/x.kse"), -1);
  EXPECT_EQ(collection.GetNumPlots(), 0);
  ASSERT_EQ(reports.Count(), 1u);
  EXPECT_EQ(reports.Texts()[0], "Invalid DataType value when creating a new plot.");
  OpenWithPlot("/d/TT1a.kcs");
  ASSERT_EQ(collection.GetNumPlots(), 1);
  IPlot* plot = nullptr;
  ASSERT_EQ(collection.GetPlot(0, plot), 0);
  auto* csc = dynamic_cast<CscPlot*>(plot);
  ASSERT_NE(csc, nullptr);
  EXPECT_EQ(csc->DisplayName(), "TT1a");
  EXPECT_EQ(csc->GetRecordDuration(), 16'000);  // its source info was loaded on creation
}

TEST_F(PlotCollectionTest, GetPlotOutsideTheListFailsQuietly) {
  OpenWithPlot("/d/a.kcs");
  IPlot* plot = nullptr;
  EXPECT_EQ(collection.GetPlot(-1, plot), -1);
  EXPECT_EQ(collection.GetPlot(1, plot), -1);
  EXPECT_EQ(plot, nullptr);
  EXPECT_TRUE(reports.Empty());
}

TEST_F(PlotCollectionTest, TotalHeightCountsThreePixelsBelowEachPlot) {
  EXPECT_EQ(collection.GetTotalHeight(), 0);
  collection.AppendPlot(std::make_unique<test::RecordingPlot>("/a", 100));
  collection.AppendPlot(std::make_unique<test::RecordingPlot>("/b", 100));
  EXPECT_EQ(collection.GetTotalHeight(), 206);
}

TEST_F(PlotCollectionTest, RemovingAnInvalidIndexIsReportedWithTheIndex) {
  OpenWithPlot("/d/a.kcs");
  OpenWithPlot("/d/b.kcs");
  EXPECT_EQ(collection.RemovePlot(-1), -1);
  EXPECT_EQ(collection.RemovePlot(2), -1);
  ASSERT_EQ(reports.Count(), 2u);
  EXPECT_EQ(reports.Texts()[0], "Error, Invalid Index To Remove, Index = -1");
  EXPECT_EQ(reports.Texts()[1], "Error, Invalid Index To Remove, Index = 2");
  EXPECT_EQ(collection.GetNumPlots(), 2);
  EXPECT_EQ(manager.GetNumSources(), 2);
}

TEST_F(PlotCollectionTest, RemovingAPlotClosesItsOwnSourceEvenAfterSourcesMoved) {
  OpenWithPlot("/d/a.kcs");
  OpenWithPlot("/d/b.kcs");
  OpenWithPlot("/d/c.kcs");
  ASSERT_EQ(collection.RemovePlot(0), 0);
  EXPECT_EQ(PlotPaths(), (std::vector<std::string>{"/d/b.kcs", "/d/c.kcs"}));
  // Closing source 0 moved the last source, c, into index 0.
  EXPECT_EQ(SourcePaths(), (std::vector<std::string>{"/d/c.kcs", "/d/b.kcs"}));
  // Plot 1 (c) now finds its source at index 0 by its path, and closes that one.
  ASSERT_EQ(collection.RemovePlot(1), 0);
  EXPECT_EQ(PlotPaths(), (std::vector<std::string>{"/d/b.kcs"}));
  EXPECT_EQ(SourcePaths(), (std::vector<std::string>{"/d/b.kcs"}));
  // The remaining plot still draws from its source.
  IPlot* plot = nullptr;
  ASSERT_EQ(collection.GetPlot(0, plot), 0);
  EXPECT_EQ(plot->Draw(test::FrameFor(0, 48'000, 100), 100, 50, 0, 0), 0);
  EXPECT_TRUE(reports.Empty());
}

TEST_F(PlotCollectionTest, RemoveAllPlotsClosesEverySource) {
  OpenWithPlot("/d/a.kcs");
  OpenWithPlot("/d/b.kcs");
  OpenWithPlot("/d/c.kcs");
  EXPECT_EQ(collection.RemoveAllPlots(), 0);
  EXPECT_EQ(collection.GetNumPlots(), 0);
  EXPECT_EQ(manager.GetNumSources(), 0);
  EXPECT_EQ(collection.RemoveAllPlots(), 0);
}

TEST_F(PlotCollectionTest, MovingPlotsSwapsNeighboursWithinTheList) {
  for (const char* p : {"/a", "/b", "/c"}) collection.AppendPlot(std::make_unique<test::RecordingPlot>(p));
  EXPECT_EQ(collection.MovePlotUp(0), -1);
  EXPECT_EQ(collection.MovePlotDown(2), -1);
  EXPECT_EQ(collection.MovePlotUp(3), -1);
  EXPECT_EQ(collection.MovePlotDown(-1), -1);
  EXPECT_EQ(PlotPaths(), (std::vector<std::string>{"/a", "/b", "/c"}));
  EXPECT_EQ(collection.MovePlotUp(2), 0);
  EXPECT_EQ(PlotPaths(), (std::vector<std::string>{"/a", "/c", "/b"}));
  EXPECT_EQ(collection.MovePlotDown(0), 0);
  EXPECT_EQ(PlotPaths(), (std::vector<std::string>{"/c", "/a", "/b"}));
}

class PlotClicks : public PlotCollectionTest {
 protected:
  void SetUp() override {
    PlotCollectionTest::SetUp();
    for (const char* p : {"/a", "/b"}) {
      auto plot = std::make_unique<test::RecordingPlot>(p);
      plots.push_back(plot.get());
      collection.AppendPlot(std::move(plot));
    }
    // Header icons of plot a (bottom at -100) and b (bottom at -203), as the canvas lays them out.
    plots[0]->LayOutIcons(100, 0, -100);
    plots[1]->LayOutIcons(100, 0, -203);
  }
  std::vector<test::RecordingPlot*> plots;
};

TEST_F(PlotClicks, PlusAndMinusResizeTheClickedPlot) {
  EXPECT_EQ(collection.HandleClick(57 + 15, -115), 1);  // plus of plot b, on its right edge
  EXPECT_EQ(plots[1]->GetHeight(), 150);
  EXPECT_EQ(plots[0]->GetHeight(), 100);
  EXPECT_EQ(collection.HandleClick(75, -18 + 15), 1);  // minus of plot a, on its top edge
  EXPECT_EQ(plots[0]->GetHeight(), 50);
}

TEST_F(PlotClicks, ArrowsMoveAndCloseRemoves) {
  EXPECT_EQ(collection.HandleClick(21, -110), 1);  // up arrow of plot b
  EXPECT_EQ(PlotPaths(), (std::vector<std::string>{"/b", "/a"}));
  EXPECT_EQ(collection.HandleClick(5, -10), 1);  // close icon of plot a (now second)
  EXPECT_EQ(PlotPaths(), (std::vector<std::string>{"/b"}));
}

TEST_F(PlotClicks, ClickAwayFromEveryIconDoesNothing) {
  EXPECT_EQ(collection.HandleClick(19, -10), 0);
  EXPECT_EQ(collection.HandleClick(300, -50), 0);
  EXPECT_EQ(PlotPaths(), (std::vector<std::string>{"/a", "/b"}));
  EXPECT_EQ(plots[0]->GetHeight(), 100);
}

}  // namespace
}  // namespace skelvane
