// Paging, scrolling and resizing of the main window: the view-state arithmetic and the scrollbar
// positions it leads to, driven through keys, scrollbar actions and real resizes.
#include <gtest/gtest.h>

#include <QTest>
#include <climits>
#include <random>

#include "app/PagedScrollBar.h"
#include "display/CanvasSnapshot.h"
#include "tests/app/FakeWindowHarness.h"

namespace skelvane {
namespace {

using Code = PagedScrollBar::Code;

class MainWindowScroll : public test::FakeWindowHarness {
 protected:
  // One source from 1 s to 61 s: the padded data range is 0 .. 62 s, the view shows 10 s.
  void StartWithOneMinute() {
    Start();
    DropFile("/data/a.kcs", 1'000'000, 61'000'000);
  }
};

TEST_F(MainWindowScroll, ResizeLaysOutCanvasAndScrollbars) {
  Start();
  EXPECT_EQ(view.CanvasWidth, 640);
  EXPECT_EQ(view.CanvasHeight, 400);
  EXPECT_EQ(view.ScrollBottom, -400);
  EXPECT_EQ(window->HorizontalScrollBar()->geometry(), QRect(0, 0, 655, 15));
  EXPECT_EQ(window->VerticalScrollBar()->geometry(), QRect(640, 15, 15, 400));
  EXPECT_EQ(canvas.minimumSpan, 640);

  ResizeClient(500, 300);
  EXPECT_EQ(view.CanvasWidth, 485);
  EXPECT_EQ(view.CanvasHeight, 285);
  EXPECT_EQ(window->VerticalScrollBar()->geometry(), QRect(485, 15, 15, 285));
  EXPECT_EQ(canvas.minimumSpan, 485);
}

TEST_F(MainWindowScroll, ResizeRaisesVisibleSpanToOneMicrosecondPerPixel) {
  Start();
  view.VisibleSpan = 100;
  ResizeClient(700, 300);
  EXPECT_EQ(view.VisibleSpan, 685);
}

TEST_F(MainWindowScroll, UnusableSizesAreIgnored) {
  Start();
  const int redraws = Frames();
  for (const auto& [width, height] : std::vector<std::pair<int, int>>{
           {655, 15}, {655, 0}, {0, 415}, {10001, 415}, {655, 10001}, {15, 415}}) {
    window->OnSize(width, height);
    EXPECT_EQ(view.CanvasWidth, 640) << width << "x" << height;
    EXPECT_EQ(view.CanvasHeight, 400) << width << "x" << height;
  }
  EXPECT_EQ(Frames(), redraws);

  window->OnSize(10000, 16);
  EXPECT_EQ(view.CanvasWidth, 9985);
  EXPECT_EQ(view.CanvasHeight, 1);
  EXPECT_EQ(Frames(), redraws + 1);
}

TEST_F(MainWindowScroll, SizeBeforeCreateIsIgnored) {
  test::EnsureQtApplication();
  MainWindow early(canvas, view, plots, sources, renderer);
  early.OnSize(655, 415);
  EXPECT_EQ(view.CanvasWidth, 0);
  EXPECT_EQ(Frames(), 0);
}

TEST_F(MainWindowScroll, OpeningSourceSetsTimeRangeAndHorizontalBar) {
  StartWithOneMinute();
  EXPECT_EQ(view.DataStart, 0);
  EXPECT_EQ(view.DataEnd, 62'000'000);
  EXPECT_EQ(view.DataDuration, 62'000'000);
  // 10 s of 62 s: trunc(10 / 62 * 32766) = 5284 units of page, positions 0 .. 32767 - 5284.
  EXPECT_EQ(window->HorizontalScrollBar()->Page(), 5284);
  EXPECT_EQ(window->HorizontalScrollBar()->maximum(), 27483);
  EXPECT_EQ(window->HorizontalScrollBar()->pageStep(), 5284);
  EXPECT_EQ(window->HorizontalScrollBar()->Position(), 0);
  EXPECT_TRUE(window->HorizontalScrollBar()->isEnabled());
}

TEST_F(MainWindowScroll, LastSourceClosedLeavesTheTimeAxisAsAtStartUp) {
  StartWithOneMinute();
  sources.CloseSource(0);
  // No source left: the first 10 s, as before any file was opened (not a span of one pixel each).
  const ViewState startUp;
  EXPECT_EQ(view.DataStart, startUp.DataStart);
  EXPECT_EQ(view.DataEnd, startUp.DataEnd);
  EXPECT_EQ(view.DataDuration, startUp.DataDuration);
  EXPECT_EQ(view.VisibleStart, startUp.VisibleStart);
  EXPECT_EQ(view.VisibleSpan, startUp.VisibleSpan);
  EXPECT_EQ(window->HorizontalScrollBar()->Page(), PagedScrollBar::kRangeMax);
  EXPECT_FALSE(window->HorizontalScrollBar()->isEnabled());
}

TEST_F(MainWindowScroll, PageRightAdvancesHalfASpanAndStopsAtTheEnd) {
  StartWithOneMinute();
  Key(Qt::Key_Right);
  EXPECT_EQ(view.VisibleStart, 5'000'000);
  // 5 s of 62 s: 5e6 * 32766 / 62e6 = 2642.4
  EXPECT_EQ(window->HorizontalScrollBar()->Position(), 2642);

  for (int i = 0; i < 20; ++i) Key(Qt::Key_Right);
  // The last start that keeps the span inside the data, plus one.
  EXPECT_EQ(view.VisibleStart, 62'000'000 - 10'000'000 + 1);
  EXPECT_EQ(window->HorizontalScrollBar()->Position(), 27481);
}

TEST_F(MainWindowScroll, PageLeftStopsAtTheStart) {
  StartWithOneMinute();
  view.VisibleStart = 7'000'000;
  Key(Qt::Key_Left);
  EXPECT_EQ(view.VisibleStart, 2'000'000);
  Key(Qt::Key_Left);
  EXPECT_EQ(view.VisibleStart, 0);  // raised back to DataStart
  const int redraws = Frames();
  Key(Qt::Key_Left);
  EXPECT_EQ(view.VisibleStart, 0);
  EXPECT_EQ(Frames(), redraws + 1);  // nothing moved, the picture is still redrawn
}

TEST_F(MainWindowScroll, PagingUsesTheCanvasPercentage) {
  canvas.horizontalPercent = 25;
  StartWithOneMinute();
  Key(Qt::Key_Right);
  EXPECT_EQ(view.VisibleStart, 2'500'000);
}

TEST_F(MainWindowScroll, ScrollbarLineStepsMoveOnePixelColumn) {
  StartWithOneMinute();
  // 10 s over 600 columns: column 0 covers 0 .. 16665.
  window->HorizontalScrollBar()->triggerAction(QAbstractSlider::SliderSingleStepAdd);
  EXPECT_EQ(view.VisibleStart, 16'666);
  window->HorizontalScrollBar()->triggerAction(QAbstractSlider::SliderSingleStepSub);
  EXPECT_EQ(view.VisibleStart, 0);
  window->HorizontalScrollBar()->triggerAction(QAbstractSlider::SliderSingleStepSub);
  EXPECT_EQ(view.VisibleStart, 0);
}

TEST_F(MainWindowScroll, ThumbDragSetsStartFromPosition) {
  StartWithOneMinute();
  window->HorizontalScrollBar()->setSliderPosition(16383);
  EXPECT_EQ(view.VisibleStart, 31'000'000);
  EXPECT_EQ(window->HorizontalScrollBar()->Position(), 16383);
}

TEST_F(MainWindowScroll, ScrollToEndsClampsToTheData) {
  StartWithOneMinute();
  window->HorizontalScrollBar()->triggerAction(QAbstractSlider::SliderToMaximum);
  EXPECT_EQ(view.VisibleStart, 52'000'001);
  window->HorizontalScrollBar()->triggerAction(QAbstractSlider::SliderToMinimum);
  EXPECT_EQ(view.VisibleStart, 0);
}

TEST_F(MainWindowScroll, UpperBoundIsTestedBeforeLowerBound) {
  StartWithOneMinute();
  // A span wider than the data: the start is placed by the upper rule, below DataStart.
  view.VisibleSpan = 70'000'000;
  view.VisibleStart = 0;
  window->UpdateHorizontalScroll();
  EXPECT_EQ(view.VisibleStart, 62'000'000 - 70'000'000 + 1);
  EXPECT_EQ(window->HorizontalScrollBar()->Page(), PagedScrollBar::kRangeMax);
  EXPECT_EQ(window->HorizontalScrollBar()->Position(), 0);

  view.VisibleSpan = 10'000'000;
  view.VisibleStart = -5;
  window->UpdateHorizontalScroll();
  EXPECT_EQ(view.VisibleStart, 0);
}

TEST_F(MainWindowScroll, NewTimeRangeRaisesTheStartBeforeTheBarIsSet) {
  Start();
  // Data 4 s .. 11 s, shorter than the 10 s span: the start is first raised to 4 s, which then lies
  // past DataEnd - VisibleSpan, so the upper rule places it at 1 s + 1.
  DropFile("/data/late.kcs", 5'000'000, 10'000'000);
  EXPECT_EQ(view.DataStart, 4'000'000);
  EXPECT_EQ(view.DataEnd, 11'000'000);
  EXPECT_EQ(view.VisibleStart, 1'000'001);
}

TEST_F(MainWindowScroll, HorizontalScrollDoesNothingWithoutATimeSpan) {
  StartWithOneMinute();
  const int redraws = Frames();
  view.DataDuration = 1;
  window->OnHScroll(Code::PageForward, 0);
  view.DataDuration = 62'000'000;
  view.VisibleSpan = 0;
  window->OnHScroll(Code::PageForward, 0);
  EXPECT_EQ(view.VisibleStart, 0);
  EXPECT_EQ(Frames(), redraws);
}

TEST_F(MainWindowScroll, ZeroDataRangeKeepsTheBarAtTheStart) {
  Start();
  view.DataStart = view.DataEnd = 5;
  view.DataDuration = 0;
  view.VisibleStart = 5;
  view.VisibleSpan = 0;
  window->UpdateHorizontalScroll();
  EXPECT_EQ(window->HorizontalScrollBar()->Page(), PagedScrollBar::kRangeMax);
  EXPECT_EQ(window->HorizontalScrollBar()->Position(), 0);
}

TEST_F(MainWindowScroll, VerticalBarFollowsThePlotStack) {
  AddPlots(4);
  Start();
  window->UpdateVerticalScroll();
  // 4 plots of 100 + 3 and the 17-pixel time axis: 429 pixels, of which 400 are visible.
  EXPECT_EQ(window->VerticalScrollBar()->Page(), 30551);
  EXPECT_EQ(window->VerticalScrollBar()->maximum(), 32767 - 30551);
  EXPECT_EQ(window->VerticalScrollBar()->Position(), 0);
}

TEST_F(MainWindowScroll, PageDownStopsAtTheBottomOfTheStack) {
  AddPlots(4);
  Start();
  Key(Qt::Key_Down);
  EXPECT_EQ(view.ScrollTop, -29);
  EXPECT_EQ(view.ScrollBottom, -429);
  // 29 of 429 pixels scrolled: 29 * 32766 / 429 = 2214.9
  EXPECT_EQ(window->VerticalScrollBar()->Position(), 2214);
  Key(Qt::Key_Down);
  EXPECT_EQ(view.ScrollTop, -29);
  EXPECT_EQ(view.ScrollBottom, -429);
}

TEST_F(MainWindowScroll, PageDownDoesNothingWhenTheStackFits) {
  AddPlots(2);
  Start();
  const int redraws = Frames();
  Key(Qt::Key_Down);
  EXPECT_EQ(view.ScrollTop, 0);
  EXPECT_EQ(Frames(), redraws);
}

TEST_F(MainWindowScroll, PageUpReturnsToTheTopAndThenDoesNothing) {
  AddPlots(10);
  Start();
  Key(Qt::Key_Down);
  Key(Qt::Key_Down);
  EXPECT_EQ(view.ScrollTop, -400);
  Key(Qt::Key_Up);
  EXPECT_EQ(view.ScrollTop, -200);
  EXPECT_EQ(view.ScrollBottom, -600);
  Key(Qt::Key_Up);
  EXPECT_EQ(view.ScrollTop, 0);
  EXPECT_EQ(view.ScrollBottom, -400);
  const int redraws = Frames();
  Key(Qt::Key_Up);
  EXPECT_EQ(Frames(), redraws);
}

TEST_F(MainWindowScroll, VerticalBarActionsScrollTheStack) {
  AddPlots(10);  // 1030 + 17 = 1047 pixels
  Start();
  PagedScrollBar& bar = *window->VerticalScrollBar();
  bar.triggerAction(QAbstractSlider::SliderSingleStepAdd);
  EXPECT_EQ(view.ScrollTop, -1);
  EXPECT_EQ(view.ScrollBottom, -401);
  bar.triggerAction(QAbstractSlider::SliderPageStepAdd);
  EXPECT_EQ(view.ScrollTop, -201);
  bar.triggerAction(QAbstractSlider::SliderPageStepSub);
  bar.triggerAction(QAbstractSlider::SliderPageStepSub);
  EXPECT_EQ(view.ScrollTop, 0);  // never above the top
  EXPECT_EQ(view.ScrollBottom, -400);

  bar.setSliderPosition(16383);  // half way: 16383 * 1047 / 32766 = 523.5
  EXPECT_EQ(view.ScrollTop, -523);
  EXPECT_EQ(view.ScrollBottom, -923);
}

TEST_F(MainWindowScroll, VerticalEndsKeepTheBottomEdgeBelowTheTop) {
  AddPlots(10);
  Start();
  PagedScrollBar& bar = *window->VerticalScrollBar();
  bar.triggerAction(QAbstractSlider::SliderToMaximum);
  EXPECT_EQ(view.ScrollBottom, -1047);
  EXPECT_EQ(view.ScrollTop, 400 - 1047);
  bar.triggerAction(QAbstractSlider::SliderToMinimum);
  EXPECT_EQ(view.ScrollTop, 0);
  EXPECT_EQ(view.ScrollBottom, -400);
}

TEST_F(MainWindowScroll, VerticalScrollWithoutPlotsOrAxisLeavesTheBar) {
  canvas.showTimeAxis = 0;
  Start();
  window->UpdateVerticalScroll();
  EXPECT_EQ(window->VerticalScrollBar()->Page(), PagedScrollBar::kRangeMax);
  EXPECT_EQ(view.ScrollTop, 0);
}

TEST_F(MainWindowScroll, StackThatFitsAfterAResizeOrCloseScrollsBackToTheTop) {
  AddPlots(10);  // 1047 pixels with the time axis
  Start();
  window->VerticalScrollBar()->triggerAction(QAbstractSlider::SliderToMaximum);
  ASSERT_EQ(view.ScrollTop, 400 - 1047);
  ResizeClient(kClientWidth, 1100);  // a 1085-pixel canvas holds the whole stack
  EXPECT_EQ(view.ScrollTop, 0);
  EXPECT_EQ(view.ScrollBottom, -1085);
  EXPECT_FALSE(window->VerticalScrollBar()->isEnabled());

  // The same after closing plots: closing a plot closes its source, which the window hears of.
  ResizeClient(kClientWidth, kClientHeight);
  window->VerticalScrollBar()->triggerAction(QAbstractSlider::SliderToMaximum);
  ASSERT_EQ(view.ScrollTop, 400 - 1047);
  plots.plots.resize(3);
  sources.Notify();
  EXPECT_EQ(view.ScrollTop, 0);
  EXPECT_EQ(view.ScrollBottom, -400);
  EXPECT_FALSE(window->VerticalScrollBar()->isEnabled());
}

TEST_F(MainWindowScroll, HugePagingPercentagesStopAtTheEndsInsteadOfWrapping) {
  canvas.verticalPercent = INT32_MAX;
  canvas.horizontalPercent = INT32_MAX;
  AddPlots(10);
  Start();
  DropFile("/data/a.kcs", 1'000'000, 61'000'000);
  const int32_t total = plots.GetTotalHeight() + canvas.timeAxisHeight;
  Key(Qt::Key_Down);
  EXPECT_EQ(view.ScrollBottom, -total);
  EXPECT_EQ(view.ScrollTop, 400 - total);
  Key(Qt::Key_Up);
  EXPECT_EQ(view.ScrollTop, 0);
  Key(Qt::Key_Right);
  EXPECT_EQ(view.VisibleStart, 62'000'000 - 10'000'000 + 1);
}

TEST_F(MainWindowScroll, FileEndingBeforeItStartsGivesAnOrderedTimeRange) {
  Start();
  DropFile("/data/backwards.kcs", 61'000'000, 1'000'000);
  EXPECT_EQ(view.DataStart, 2'000'000);
  EXPECT_EQ(view.DataEnd, 60'000'000);
  EXPECT_EQ(view.DataDuration, 58'000'000);
  EXPECT_EQ(view.VisibleStart, 2'000'000);
}

// The snapshot sets its view up with the window's own operations: for any recording, start and
// span it shows what the window shows after a resize, the sources opening, a zoom to the span and
// a scroll to the start.
TEST_F(MainWindowScroll, SnapshotShowsTheSpanTheWindowShows) {
  Start();
  std::mt19937_64 random(20261208);
  const auto uniform = [&](int64_t low, int64_t high) {
    return std::uniform_int_distribution<int64_t>(low, high)(random);
  };
  for (int run = 0; run < 60; ++run) {
    const int32_t width = static_cast<int32_t>(uniform(1, 1500));
    const int32_t height = static_cast<int32_t>(uniform(1, 900));
    const int64_t first =
        uniform(0, 4) == 0 ? uniform(INT64_MAX / 2, INT64_MAX - 3'000'000) : uniform(0, 1'000'000'000);
    const int64_t length = uniform(0, 3) == 0 ? uniform(0, 2000) : uniform(0, 4'000'000'000);
    SnapshotOptions options;
    options.width = width;
    options.height = height;
    if (uniform(0, 3) != 0) options.visibleSpan = uniform(-10, 3 * length + 10);
    if (uniform(0, 3) != 0) {
      options.visibleStart =
          uniform(0, 5) == 0 ? INT64_MAX - uniform(0, 1000) : first + uniform(-length, 2 * length);
    }
    SCOPED_TRACE(testing::Message() << "run " << run << ": " << width << "x" << height << ", data " << first
                                    << " + " << length);

    view = ViewState{};
    window->OnSize(width + MainWindow::kScrollBarSize, height + MainWindow::kScrollBarSize);
    sources.sources.clear();
    const std::string path = "/data/run" + std::to_string(run) + ".kcs";
    DropFile(path, first, first + length);
    view.VisibleSpan = options.visibleSpan.value_or(view.DataDuration);
    view.VisibleStart = options.visibleStart.value_or(view.DataStart);
    window->OnSize(width + MainWindow::kScrollBarSize, height + MainWindow::kScrollBarSize);

    int64_t dataStart = 0;
    int64_t dataEnd = 0;
    sources.GetTimeRange(dataStart, dataEnd);
    ViewState snapshot;
    test::FakePlotCanvas snapshotCanvas;
    CanvasSnapshot::SetUpView(snapshot, snapshotCanvas, plots, dataStart, dataEnd, options);
    EXPECT_EQ(snapshot.VisibleStart, view.VisibleStart);
    EXPECT_EQ(snapshot.VisibleSpan, view.VisibleSpan);
    EXPECT_EQ(snapshot.DataStart, view.DataStart);
    EXPECT_EQ(snapshot.DataEnd, view.DataEnd);
    EXPECT_LE(view.DataStart, view.DataEnd);
    EXPECT_GE(view.VisibleSpan, width);
  }
}

}  // namespace
}  // namespace skelvane
