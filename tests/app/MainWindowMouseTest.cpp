// Mouse gestures on the main window's canvas: click and shift-click zoom, rubber-band zoom, plot
// border drags, header icon clicks and the cursors that go with them.
#include <gtest/gtest.h>

#include <QTest>

#include "app/CanvasMouse.h"
#include "columns/TimeColumns.h"
#include "tests/app/FakeWindowHarness.h"

namespace skelvane {
namespace {

using Shape = CursorControl::Shape;

class MainWindowMouse : public test::FakeWindowHarness {
 protected:
  // A 62-second data range with 10 s visible from 0: over the 600-pixel plot area one column is
  // 16666.67 microseconds; window x = column + 40 (the data axis).
  void StartWithOneMinute() {
    Start();
    DropFile("/data/a.kcs", 1'000'000, 61'000'000);
  }

  QWidget* Client() { return window->Client(); }
  // The middle time of plot-area column `column` in the view as it is now.
  int64_t ColumnTime(int32_t column) {
    int64_t time = 0;
    EXPECT_EQ(TimeColumns::TimeForPixel(column, kPlotColumns, view.VisibleSpan, view.VisibleStart, time), 0);
    return time;
  }
  static constexpr int32_t kPlotColumns = 600;
  void Press(int x, int y, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
    QTest::mousePress(Client(), Qt::LeftButton, modifiers, QPoint(x, y));
  }
  void Release(int x, int y, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
    QTest::mouseRelease(Client(), Qt::LeftButton, modifiers, QPoint(x, y));
  }
  void Move(int x, int y, Qt::MouseButtons buttons = Qt::LeftButton) {
    QMouseEvent move(QEvent::MouseMove, QPointF(x, y), Client()->mapToGlobal(QPointF(x, y)), Qt::NoButton, buttons,
                     Qt::NoModifier);
    QApplication::sendEvent(Client(), &move);
  }
};

TEST_F(MainWindowMouse, ClickCentresOnTheColumnAndZoomsIn) {
  StartWithOneMinute();
  // Column 300 covers 5000000 .. 5016665; its middle 5008332 becomes the centre of the 10 s span.
  const int64_t clicked = ColumnTime(300);
  Press(340, 200);
  Release(340, 200);
  // Centred on 5008332 (the start moves by 8332), then zoomed in about the middle column.
  EXPECT_EQ(view.VisibleSpan, 10'000'000 / canvas.zoomFactor);
  EXPECT_LE(std::abs(ColumnTime(kPlotColumns / 2) - clicked - 8'332), view.VisibleSpan / kPlotColumns);
  EXPECT_FALSE(window->Mouse()->IsRubberBandActive());
}

TEST_F(MainWindowMouse, ShiftClickCentresOnTheColumnAndZoomsOut) {
  StartWithOneMinute();
  view.VisibleStart = 20'000'000;
  Press(340, 200, Qt::ShiftModifier);
  EXPECT_FALSE(window->Mouse()->IsRubberBandActive());
  const int64_t clicked = ColumnTime(300);
  Release(340, 200, Qt::ShiftModifier);
  EXPECT_EQ(view.VisibleSpan, 10'000'000 * canvas.zoomFactor);
  EXPECT_LE(std::abs(ColumnTime(kPlotColumns / 2) - clicked), view.VisibleSpan / kPlotColumns);
}

TEST_F(MainWindowMouse, RubberBandZoomsToTheDraggedColumns) {
  StartWithOneMinute();
  Press(140, 100);
  EXPECT_TRUE(window->Mouse()->IsRubberBandActive());
  Move(300, 150);
  Move(440, 250);
  EXPECT_EQ(window->Mouse()->RubberBandRect(), QRect(QPoint(140, 100), QPoint(440, 250)));
  Release(440, 250);
  EXPECT_FALSE(window->Mouse()->IsRubberBandActive());
  // First time of column 100 to last time of column 400.
  EXPECT_EQ(view.VisibleStart, 1'666'666);
  EXPECT_EQ(view.VisibleSpan, 6'683'332 - 1'666'666);
}

TEST_F(MainWindowMouse, RubberBandDraggedLeftwardsZoomsTheSameWay) {
  StartWithOneMinute();
  Press(440, 250);
  Move(140, 100);
  Release(140, 100);
  EXPECT_EQ(view.VisibleStart, 1'666'666);
  EXPECT_EQ(view.VisibleSpan, 6'683'332 - 1'666'666);
}

TEST_F(MainWindowMouse, RubberBandNarrowerThanOneMicrosecondPerPixelIsIgnored) {
  StartWithOneMinute();
  view.VisibleSpan = 1200;  // 2 microseconds per column
  const int redraws = Frames();
  Press(140, 100);
  Move(340, 100);
  Release(340, 100);
  // Columns 100 .. 300 cover 200 .. 601: 401 microseconds for a 600-pixel plot area.
  EXPECT_EQ(view.VisibleStart, 0);
  EXPECT_EQ(view.VisibleSpan, 1200);
  EXPECT_EQ(Frames(), redraws);
}

TEST_F(MainWindowMouse, RubberBandStaysInsideTheClientArea) {
  StartWithOneMinute();
  Press(100, 100);
  Move(5000, -300);
  EXPECT_EQ(window->Mouse()->RubberBandRect(), QRect(QPoint(100, 0), QPoint(654, 100)));
  Release(5000, -300);
}

TEST_F(MainWindowMouse, HoverOverPlotBorderShowsResizeCursor) {
  plots.CreatePlot("a", 5, "/data/a.kcs");
  canvas.separators = {{-101, 0}};  // the border below the first plot, canvas y upwards
  Start();
  cursor->shapes.clear();
  Move(200, 15 + 101, Qt::NoButton);
  Move(200, 15 + 102, Qt::NoButton);  // one pixel below the line still counts
  Move(200, 15 + 120, Qt::NoButton);
  EXPECT_EQ(cursor->shapes, (std::vector<Shape>{Shape::VerticalResize, Shape::VerticalResize, Shape::Arrow}));
}

TEST_F(MainWindowMouse, BorderDragResizesThePlotAbove) {
  plots.CreatePlot("a", 5, "/data/a.kcs");
  plots.CreatePlot("b", 5, "/data/b.kcs");
  canvas.separators = {{-101, 0}, {-204, 1}};
  Start();
  Press(200, 15 + 204);
  EXPECT_TRUE(window->Mouse()->IsBorderDragActive());
  EXPECT_FALSE(window->Mouse()->IsRubberBandActive());
  Move(200, 15 + 254);
  Release(200, 15 + 254);
  EXPECT_FALSE(window->Mouse()->IsBorderDragActive());
  EXPECT_EQ(plots.Plot(0).height, 100);
  EXPECT_EQ(plots.Plot(1).height, 150);
  EXPECT_EQ(view.VisibleSpan, 10'000'000);  // not zoomed
  // 100 + 153 + 17 of 400 pixels: the stack still fits.
  EXPECT_EQ(window->VerticalScrollBar()->Page(), PagedScrollBar::kRangeMax);
}

TEST_F(MainWindowMouse, BorderDragUpwardsIsLimitedByThePlot) {
  plots.CreatePlot("a", 5, "/data/a.kcs");
  canvas.separators = {{-101, 0}};
  Start();
  Press(200, 15 + 101);
  Release(200, 15 + 21);
  EXPECT_EQ(plots.Plot(0).height, 50);
}

TEST_F(MainWindowMouse, BorderDragUpdatesTheVerticalBar) {
  plots.CreatePlot("a", 5, "/data/a.kcs");
  canvas.separators = {{-101, 0}};
  Start();
  Press(200, 15 + 101);
  Release(200, 15 + 401);
  EXPECT_EQ(plots.Plot(0).height, 400);
  // 403 + 17 = 420 pixels, 400 visible: trunc(400 / 420 * 32766).
  EXPECT_EQ(window->VerticalScrollBar()->Page(), 31205);
}

TEST_F(MainWindowMouse, BorderHitUsesTheScrolledCanvas) {
  for (int i = 0; i < 6; ++i) plots.CreatePlot("p", 5, "/data/p");
  canvas.separators = {{-412, 3}};
  Start();
  Key(Qt::Key_Down);  // ScrollTop -200
  ASSERT_EQ(view.ScrollTop, -200);
  Press(200, 15 + 212);  // canvas y = ScrollTop - y + 15 = -412
  EXPECT_TRUE(window->Mouse()->IsBorderDragActive());
  Release(200, 15 + 212);
}

TEST_F(MainWindowMouse, IconClickActsWithoutZooming) {
  plots.CreatePlot("a", 5, "/data/a.kcs");
  plots.plusIcon = {3, -18, 16, 16};  // canvas x 3..18, y -18..-3
  Start();
  const int redraws = Frames();
  Press(10, 25);
  EXPECT_EQ(plots.clicks.back(), std::make_pair(10, -10));
  EXPECT_EQ(plots.Plot(0).height, 150);
  EXPECT_FALSE(window->Mouse()->IsRubberBandActive());
  Release(10, 25);
  EXPECT_EQ(view.VisibleSpan, 10'000'000);  // not zoomed
  EXPECT_EQ(view.VisibleStart, 0);
  EXPECT_EQ(Frames(), redraws + 1);
}

TEST_F(MainWindowMouse, DoubleClickOnAnIconActsOnce) {
  plots.CreatePlot("a", 5, "/data/a.kcs");
  plots.plusIcon = {3, -18, 16, 16};
  Start();
  // The second press of a double click arrives as a double-click event, not as a press.
  Press(10, 25);
  Release(10, 25);
  QTest::mouseDClick(Client(), Qt::LeftButton, Qt::NoModifier, QPoint(10, 25));
  Release(10, 25);
  EXPECT_EQ(plots.clicks.size(), 1u);
  EXPECT_EQ(plots.Plot(0).height, 150);
  EXPECT_EQ(view.VisibleSpan, 10'000'000);  // not zoomed
}

TEST_F(MainWindowMouse, DoubleClickOnTheCanvasZoomsInTwice) {
  StartWithOneMinute();
  Press(340, 200);
  Release(340, 200);
  QTest::mouseDClick(Client(), Qt::LeftButton, Qt::NoModifier, QPoint(340, 200));
  Release(340, 200);
  EXPECT_EQ(view.VisibleSpan, 10'000'000 / (canvas.zoomFactor * canvas.zoomFactor));
  EXPECT_EQ(plots.clicks.size(), 1u);  // only the first press is offered to the icons
  EXPECT_FALSE(window->Mouse()->IsRubberBandActive());
}

TEST_F(MainWindowMouse, ClickBesideTheIconsStartsARubberBand) {
  plots.CreatePlot("a", 5, "/data/a.kcs");
  plots.plusIcon = {3, -18, 16, 16};
  Start();
  Press(30, 25);
  EXPECT_EQ(plots.Plot(0).height, 100);
  EXPECT_TRUE(window->Mouse()->IsRubberBandActive());
  Release(30, 25);
}

// The canvas is not drawn again for it: the picture already there is painted.
TEST_F(MainWindowMouse, MovesWithoutButtonRepaintTheShownPicture) {
  Start();
  const int frames = Frames();
  const int presents = canvas.presentCount;
  struct PaintCounter : QObject {
    int paints = 0;
    bool eventFilter(QObject*, QEvent* event) override {
      paints += event->type() == QEvent::Paint ? 1 : 0;
      return false;
    }
  } counter;
  Client()->installEventFilter(&counter);
  Move(100, 100, Qt::NoButton);
  QCoreApplication::processEvents();
  EXPECT_GT(counter.paints, 0);
  EXPECT_EQ(Frames(), frames);
  EXPECT_EQ(canvas.presentCount, presents);
}

TEST_F(MainWindowMouse, RedrawShowsTheWaitCursorThenTheArrow) {
  Start();
  cursor->shapes.clear();
  window->Redraw();
  EXPECT_TRUE(cursor->shapes.empty());  // the frame is drawn when the window paints
  Frames();
  EXPECT_EQ(cursor->shapes, (std::vector<Shape>{Shape::Wait, Shape::Arrow}));
}

}  // namespace
}  // namespace skelvane
