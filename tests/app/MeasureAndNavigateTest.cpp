// Going to a time, measuring between two cursors, the overview strip, fitting the plots to the
// window, autoscale and scale bars, each driven as a user would: keys, typed text and the mouse on a
// window over a synthetic tetrode.
#include <gtest/gtest.h>

#include <QAction>
#include <QContextMenuEvent>
#include <QLineEdit>
#include <QMenu>
#include <QRegularExpression>
#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "app/CommandIds.h"
#include "app/GoToTimeDialog.h"
#include "app/OverviewStrip.h"
#include "app/PagedScrollBar.h"
#include "app/PlotActions.h"
#include "app/StatusBar.h"
#include "display/CanvasOverlays.h"
#include "display/CscPlot.h"
#include "display/TimeText.h"
#include "tests/app/RealWindowHarness.h"
#include "tests/support/CapturedReports.h"

namespace skelvane {
namespace {

constexpr int kTraceLeft = 40;  // the data axis
constexpr int kColumns = 600;
constexpr int64_t kRecordingLength = 4'000'000;  // microseconds of the harness's tetrode

class MeasureAndNavigateTest : public test::RealWindowHarness {
 protected:
  void StartWithTetrode() {
    Start();
    OpenTetrode();
    Settle();
  }

  // The time in the middle of the view: where centring puts a time, and what zooming keeps.
  int64_t Centre() {
    int64_t middle = 0;
    EXPECT_EQ(PlotCanvas::GetTimeForPixel(kColumns / 2, kColumns, View().VisibleSpan, View().VisibleStart, middle), 0);
    return middle;
  }
  int64_t RecordingStart() { return canvas.Clock().Origin(); }

  /// The sample counts the status bar reads under the mouse for the plot there.
  int CountsUnderMouse() {
    const QRegularExpressionMatch match =
        QRegularExpression(QStringLiteral(": (-?\\d+) counts")).match(window->Status()->PointerLabelText());
    EXPECT_TRUE(match.hasMatch()) << window->Status()->PointerLabelText().toStdString();
    return match.captured(1).toInt();
  }

  /// Rows of canvas column x drawn in `colour`.
  int RowsIn(int x, uint32_t colour) {
    const MemoryBitmap picture = window->DisplayedImage();
    int rows = 0;
    for (int y = 0; y < picture.Height(); ++y) rows += picture.ColorAt(x, y) == colour ? 1 : 0;
    return rows;
  }

  /// Rows in `colour` of the pixel column a vertical line at canvas x lands in. Such a line lies on
  /// the border between two columns; the rasteriser puts it in one of them (the one left of x, as it
  /// does the traces' bars of that x), so the fuller of the two is taken.
  int LineRowsAt(int x, uint32_t colour) { return std::max(RowsIn(x - 1, colour), RowsIn(x, colour)); }

  /// Columns from `from` up to `to` of the overview strip, outside the span box, where plot
  /// `index`'s colour shows.
  int EnvelopeColumns(int index, int from, int to) {
    OverviewStrip* strip = window->Overview();
    const uint32_t bgr = dynamic_cast<CscPlot&>(PlotAt(index)).Properties().traceColour;
    const QColor colour(bgr & 0xFF, (bgr >> 8) & 0xFF, (bgr >> 16) & 0xFF);
    const QImage shown = strip->grab().toImage();
    const QRect box = strip->SpanBox();
    int columns = 0;
    for (int x = from; x < to; ++x) {
      if (x >= box.left() && x <= box.right()) continue;
      for (int y = 0; y < shown.height(); ++y) {
        if (shown.pixelColor(x, y) == colour) {
          ++columns;
          break;
        }
      }
    }
    return columns;
  }

  IPlot& PlotAt(int index) {
    IPlot* plot = nullptr;
    EXPECT_EQ(plots.GetPlot(index, plot), 0);
    return *plot;
  }

  void PressStrip(QEvent::Type type, int x, Qt::MouseButtons buttons) {
    QWidget* strip = window->Overview();
    const QPointF at(x, OverviewStrip::kHeight / 2);
    QMouseEvent event(type, at, strip->mapToGlobal(at), Qt::LeftButton, buttons, Qt::NoModifier);
    QApplication::sendEvent(strip, &event);
  }
};

TEST_F(MeasureAndNavigateTest, GoToTimeCentresTheViewKeepingTheSpanHoldsItToTheRecordingAndExplainsBadText) {
  StartWithTetrode();
  for (int i = 0; i < 3; ++i) Key(Qt::Key_Left, Qt::ControlModifier);
  const int64_t span = View().VisibleSpan;
  ASSERT_LT(span, View().DataDuration / 4);

  EXPECT_FALSE(GoToTime(QStringLiteral("2.5")));
  EXPECT_EQ(Centre(), RecordingStart() + 2'500'000);
  EXPECT_EQ(View().VisibleSpan, span);
  EXPECT_FALSE(GoToTime(QStringLiteral("0:00:01.25")));
  EXPECT_EQ(Centre(), RecordingStart() + 1'250'000);
  EXPECT_FALSE(GoToTime(QString::number(RecordingStart() + 3'000'000) + QStringLiteral("us")));
  EXPECT_EQ(Centre(), RecordingStart() + 3'000'000);

  // Outside the recording: held to its first or last record (the view's range runs a margin
  // beyond them), and said.
  EXPECT_FALSE(GoToTime(QStringLiteral("-5")));
  EXPECT_EQ(window->Status()->currentMessage().toStdString(),
            "-0:00:05 is before the start of the recording: going to 0:00:00 instead.");
  EXPECT_EQ(Centre(), RecordingStart());
  EXPECT_FALSE(GoToTime(QStringLiteral("1:00")));
  EXPECT_EQ(window->Status()->currentMessage().toStdString(),
            "0:01:00 is after the end of the recording: going to 0:00:03.984 instead.");
  EXPECT_EQ(Centre(), RecordingStart() + 3'984'000);
  EXPECT_EQ(View().VisibleSpan, span);

  // Bad text: the parser's words, and the dialog stays for another try.
  const int64_t start = View().VisibleStart;
  test::CapturedReports reports;
  EXPECT_TRUE(GoToTime(QStringLiteral("abc")));
  ASSERT_EQ(reports.Count(), 1u);
  EXPECT_TRUE(reports.Texts()[0].starts_with("Not a time: \"abc\".")) << reports.Texts()[0];
  EXPECT_EQ(View().VisibleStart, start);
}

TEST_F(MeasureAndNavigateTest, CursorsReadTheTimeAndSampleDifferenceAndKeepTheirTimesAsTheViewMoves) {
  StartWithTetrode();
  for (int i = 0; i < 4; ++i) Key(Qt::Key_Left, Qt::ControlModifier);
  const int64_t columnTime = View().VisibleSpan / kColumns;
  const int xA = 200;
  const int xB = 450;
  MoveMouse(xA, PlotMiddleY(1));
  const int atA = CountsUnderMouse();
  const QRegularExpressionMatch stamp =
      QRegularExpression(QStringLiteral("timestamp (\\d+) us")).match(window->Status()->PointerLabelText());
  ASSERT_TRUE(stamp.hasMatch()) << window->Status()->PointerLabelText().toStdString();
  const int64_t timeA = stamp.captured(1).toLongLong();
  Key(Qt::Key_A);
  MoveMouse(xB, PlotMiddleY(1));
  const int atB = CountsUnderMouse();
  Key(Qt::Key_B);

  TimeCursors* cursors = canvas.Cursors();
  ASSERT_TRUE(cursors->TimeOf(TimeCursors::Cursor::A) && cursors->TimeOf(TimeCursors::Cursor::B));
  const int64_t a = *cursors->TimeOf(TimeCursors::Cursor::A);
  const int64_t b = *cursors->TimeOf(TimeCursors::Cursor::B);
  EXPECT_LE(std::llabs(a - timeA), 1);
  EXPECT_NEAR(static_cast<double>(b - a), static_cast<double>((xB - xA) * columnTime), 2.0 * columnTime);
  // Lines through the whole stack, each in its colour, at the columns the keys were pressed over.
  const int stack = View().CanvasHeight - canvas.GetTimeAxisHeight();
  EXPECT_GE(LineRowsAt(xA, CanvasOverlays::kColourCursorA), stack * 9 / 10);
  EXPECT_GE(LineRowsAt(xB, CanvasOverlays::kColourCursorB), stack * 9 / 10);
  const std::string readout = window->Status()->CursorsLabelText().toStdString();
  EXPECT_TRUE(readout.starts_with("A " + TimeText::Seconds(a - RecordingStart(), 6) + " s  B " +
                                  TimeText::Seconds(b - RecordingStart(), 6) + " s  dt " + TimeText::Seconds(b - a, 6) +
                                  " s  1/dt "))
      << readout;
  EXPECT_NE(readout.find("TT1b: B-A " + std::to_string(atB - atA) + " counts = "), std::string::npos) << readout;

  // The view moves, the cursors stay at their times; Escape removes them.
  Key(Qt::Key_Right);
  EXPECT_EQ(cursors->TimeOf(TimeCursors::Cursor::A), a);
  EXPECT_EQ(cursors->TimeOf(TimeCursors::Cursor::B), b);
  Key(Qt::Key_Left);
  const MemoryBitmap withCursors = window->DisplayedImage();
  Key(Qt::Key_Escape);
  EXPECT_FALSE(cursors->Any());
  EXPECT_TRUE(window->Status()->CursorsLabelText().isEmpty());
  EXPECT_LT(LineRowsAt(xA, CanvasOverlays::kColourCursorA), stack / 10);
  EXPECT_NE(std::memcmp(withCursors.Bits(), window->DisplayedImage().Bits(), withCursors.SizeInBytes()), 0);
}

TEST_F(MeasureAndNavigateTest, OverviewShowsTheWholeRecordingOfThePlotUnderTheMouseAndClicksMoveTheView) {
  StartWithTetrode();
  OverviewStrip* strip = window->Overview();
  ASSERT_NE(strip, nullptr);
  // A strip of its own above the client area: the canvas and its picture are as large as before.
  EXPECT_GE(window->Client()->mapTo(window.get(), QPoint(0, 0)).y(), strip->mapTo(window.get(), QPoint(0, 0)).y() +
                                                                          OverviewStrip::kHeight);
  EXPECT_EQ(window->DisplayedImage().Height(), View().CanvasHeight);
  // Zoomed in, so that the box over the visible span leaves most of the envelope untinted.
  for (int i = 0; i < 3; ++i) Key(Qt::Key_Left, Qt::ControlModifier);
  const double perColumn = static_cast<double>(View().DataDuration) / kColumns;
  EXPECT_NEAR(strip->SpanBox().width(), View().VisibleSpan / perColumn, 1.5);
  EXPECT_NEAR(strip->SpanBox().left(), kTraceLeft + (View().VisibleStart - View().DataStart) / perColumn, 1.5);

  // The envelope of the first plot, in its colour, across the columns of the recording outside the
  // box; none in the margins the view's range keeps before and after it.
  ASSERT_TRUE(QTest::qWaitFor([&] { return strip->HasEnvelope(); }, 10000));
  EXPECT_EQ(strip->ShownPath(), tetrode[0]);
  const auto column = [&](int64_t time) {
    return kTraceLeft + static_cast<int>((time - View().DataStart) / perColumn);
  };
  const int first = column(RecordingStart());
  const int last = column(RecordingStart() + kRecordingLength);
  const int recordingOutsideBox = last - first - strip->SpanBox().width();
  EXPECT_GE(EnvelopeColumns(0, first + 1, last - 1), recordingOutsideBox * 9 / 10);
  EXPECT_EQ(EnvelopeColumns(0, kTraceLeft, first - 1), 0);
  EXPECT_EQ(EnvelopeColumns(0, last + 1, kTraceLeft + kColumns), 0);

  // The plot under the mouse is shown; leaving the plots keeps it.
  MoveMouse(300, PlotMiddleY(2));
  ASSERT_TRUE(QTest::qWaitFor([&] { return strip->ShownPath() == tetrode[2] && strip->HasEnvelope(); }, 10000));
  EXPECT_GE(EnvelopeColumns(2, first + 1, last - 1), recordingOutsideBox * 9 / 10);
  MoveMouse(300, 5);
  EXPECT_EQ(strip->ShownPath(), tetrode[2]);

  // A click centres the view on the time of the column clicked; a drag follows the mouse.
  const int64_t span = View().VisibleSpan;
  PressStrip(QEvent::MouseButtonPress, kTraceLeft + 450, Qt::LeftButton);
  EXPECT_NEAR(static_cast<double>(Centre()), View().DataStart + 450.5 * perColumn, 1.0);
  PressStrip(QEvent::MouseMove, kTraceLeft + 300, Qt::LeftButton);
  PressStrip(QEvent::MouseButtonRelease, kTraceLeft + 300, Qt::NoButton);
  EXPECT_NEAR(static_cast<double>(Centre()), View().DataStart + 300.5 * perColumn, 1.0);
  EXPECT_EQ(View().VisibleSpan, span);
  EXPECT_NEAR(strip->SpanBox().center().x(), kTraceLeft + 300, 1.5);
}

TEST_F(MeasureAndNavigateTest, FitAutoscaleAndScaleBarsChangeThePlotsAndLeaveThePictureAsItWasWhenOff) {
  StartWithTetrode();
  const MemoryBitmap before = window->DisplayedImage();

  // Scale bars: on draws more, off again gives the same picture byte for byte.
  QAction* bars = window->CommandAction(commands::kScaleBars);
  ASSERT_FALSE(bars->isChecked());
  bars->trigger();
  EXPECT_TRUE(bars->isChecked());
  const MemoryBitmap withBars = window->DisplayedImage();
  EXPECT_NE(std::memcmp(before.Bits(), withBars.Bits(), before.SizeInBytes()), 0);
  bars->trigger();
  const MemoryBitmap after = window->DisplayedImage();
  EXPECT_EQ(std::memcmp(before.Bits(), after.Bits(), before.SizeInBytes()), 0);

  // Autoscale from the plot menu: the plot under the mouse only.
  QWidget* client = window->Client();
  const QPoint inSecond(300, PlotMiddleY(1));
  QContextMenuEvent right(QContextMenuEvent::Mouse, inSecond, client->mapToGlobal(inSecond));
  QApplication::sendEvent(client, &right);
  QMenu* menu = window->Plots()->PlotMenu();
  ASSERT_NE(menu, nullptr);
  const QList<QAction*> items = menu->actions();
  const auto autoscale = std::find_if(items.begin(), items.end(),
                                      [](QAction* item) { return item->text() == QStringLiteral("&Autoscale"); });
  ASSERT_NE(autoscale, items.end());
  (*autoscale)->trigger();
  menu->close();
  const double second = canvas.GetAmplitudeGain(tetrode[1]);
  EXPECT_GT(second, 1.0);
  for (int i : {0, 2, 3}) EXPECT_EQ(canvas.GetAmplitudeGain(tetrode[i]), 1.0) << i;

  // Ctrl+Shift+A: every plot's largest excursion in view reaches most of half its trace height.
  Key(Qt::Key_A, Qt::ControlModifier | Qt::ShiftModifier);
  for (int i = 0; i < 4; ++i) {
    const CscPlot& csc = dynamic_cast<CscPlot&>(PlotAt(i));
    const double gain = canvas.GetAmplitudeGain(tetrode[i]);
    EXPECT_GT(gain, 1.0) << i;
    int32_t peak = 0;
    for (std::size_t c = 0; c < csc.Cache().mins.size(); ++c) {
      peak = std::max({peak, std::abs(int32_t{csc.Cache().mins[c]}), std::abs(int32_t{csc.Cache().maxs[c]})});
    }
    const double fullScale = csc.GetADMaxValue() * csc.Properties().scale;
    EXPECT_NEAR(peak * gain / fullScale, 0.9, 0.05) << i;
  }
  EXPECT_EQ(canvas.GetAmplitudeGain(tetrode[1]), second);

  // Fit: four plots share the 500 pixels above the time axis, the stack fits without scrolling.
  Key(Qt::Key_F, Qt::ControlModifier | Qt::ShiftModifier);
  const int available = View().CanvasHeight - canvas.GetTimeAxisHeight();
  EXPECT_LE(plots.GetTotalHeight(), available);
  EXPECT_GE(plots.GetTotalHeight(), available - 4);
  EXPECT_GT(PlotHeight(0), 100);
  EXPECT_EQ(window->VerticalScrollBar()->Page(), PagedScrollBar::kRangeMax);
  // A window too short for four plots of 50 pixels: each keeps 50 and the rest scroll.
  window->resize(window->width(), window->height() - 400);
  Settle();
  Key(Qt::Key_F, Qt::ControlModifier | Qt::ShiftModifier);
  for (int i = 0; i < 4; ++i) EXPECT_EQ(PlotHeight(i), 50);
  EXPECT_LT(window->VerticalScrollBar()->Page(), PagedScrollBar::kRangeMax);
}

}  // namespace
}  // namespace skelvane
