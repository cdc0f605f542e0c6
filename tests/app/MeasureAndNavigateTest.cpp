// Going to a time, measuring between two cursors, the overview strip, fitting the plots to the
// window, autoscale and scale bars, each driven as a user would: keys, typed text and the mouse on a
// window over a synthetic tetrode.
#include <gtest/gtest.h>

#include <QAction>
#include <QContextMenuEvent>
#include <QMenu>
#include <QLineEdit>
#include <QRegularExpression>
#include <QTimer>
#include <cstdlib>

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

class MeasureAndNavigateTest : public test::RealWindowHarness {
 protected:
  void StartWithTetrode() {
    Start();
    OpenTetrode();
    Settle();
  }

  int64_t Centre() { return View().VisibleStart + View().VisibleSpan / 2; }
  int64_t RecordingStart() { return PlotCanvas::RecordingStart(sources, 0); }

  /// Ctrl+G, then types `text` and Enter into the dialog; true when the dialog stayed open (it is then
  /// closed with Escape).
  bool GoToTime(const QString& text) {
    bool stillOpen = false;
    QTimer::singleShot(0, [&stillOpen, text] {
      auto* dialog = qobject_cast<GoToTimeDialog*>(QApplication::activeModalWidget());
      ASSERT_NE(dialog, nullptr);
      QTest::keyClick(dialog->Field(), Qt::Key_A, Qt::ControlModifier);
      QTest::keyClicks(dialog->Field(), text);
      QTest::keyClick(dialog->Field(), Qt::Key_Return);
      stillOpen = dialog->isVisible();
      if (stillOpen) QTest::keyClick(dialog, Qt::Key_Escape);
    });
    Key(Qt::Key_G, Qt::ControlModifier);
    return stillOpen;
  }

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
  EXPECT_LE(std::llabs(Centre() - (RecordingStart() + 2'500'000)), 1);
  EXPECT_EQ(View().VisibleSpan, span);
  EXPECT_FALSE(GoToTime(QStringLiteral("0:00:01.25")));
  EXPECT_LE(std::llabs(Centre() - (RecordingStart() + 1'250'000)), 1);
  EXPECT_FALSE(GoToTime(QString::number(RecordingStart() + 3'000'000) + QStringLiteral("us")));
  EXPECT_LE(std::llabs(Centre() - (RecordingStart() + 3'000'000)), 1);

  // Outside the recording: held to its first or last record, and said.
  EXPECT_FALSE(GoToTime(QStringLiteral("-5")));
  EXPECT_EQ(window->Status()->currentMessage().toStdString(),
            "-0:00:05 is before the start of the recording: going to 0:00:00 instead.");
  EXPECT_EQ(View().VisibleStart, View().DataStart);
  EXPECT_FALSE(GoToTime(QStringLiteral("1:00")));
  EXPECT_TRUE(window->Status()->currentMessage().startsWith("0:01:00 is after the end of the recording: going to 0:00:03"));
  EXPECT_EQ(View().VisibleStart + View().VisibleSpan, View().DataEnd);
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
  const int64_t timeA = window->Status()->PointerLabelText().split(' ').front().toDouble() * 1e6;
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
  { const MemoryBitmap p = window->DisplayedImage(); for (int x = xA - 2; x <= xA + 2; ++x) { std::printf("x %d:", x); for (int y = 100; y < 110; ++y) std::printf(" %06x", p.ColorAt(x, y)); std::printf("\n"); } }
  EXPECT_GE(RowsIn(xA, CanvasOverlays::kColourCursorA), stack * 9 / 10);
  EXPECT_GE(RowsIn(xB, CanvasOverlays::kColourCursorB), stack * 9 / 10);
  const std::string readout = window->Status()->CursorsLabelText().toStdString();
  EXPECT_TRUE(readout.starts_with("A " + TimeText::Seconds(a, 6) + " s  B " + TimeText::Seconds(b, 6) + " s  dt " +
                                  TimeText::Seconds(b - a, 6) + " s  1/dt "))
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
  EXPECT_EQ(RowsIn(xA, CanvasOverlays::kColourCursorA), 0);
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
  ASSERT_TRUE(QTest::qWaitFor([&] { return strip->HasEnvelope(); }, 10000));
  EXPECT_EQ(strip->ShownPath(), tetrode[0]);
  // The envelope is drawn in the plot's colour across the trace columns.
  IPlot* first = nullptr;
  ASSERT_EQ(plots.GetPlot(0, first), 0);
  const uint32_t bgr = dynamic_cast<CscPlot&>(*first).Properties().traceColour;
  const QColor colour(bgr & 0xFF, (bgr >> 8) & 0xFF, (bgr >> 16) & 0xFF);
  const QImage shown = strip->grab().toImage();
  std::printf("colour %s\n", colour.name().toStdString().c_str()); for (int y = 0; y < 40; y += 3) std::printf(" %s", shown.pixelColor(300, y).name().toStdString().c_str()); std::printf(" %d %d\n", shown.width(), shown.height());
  int columnsDrawn = 0;
  for (int x = kTraceLeft; x < kTraceLeft + kColumns; ++x) {
    for (int y = 0; y < shown.height(); ++y) {
      if (shown.pixelColor(x, y) == colour) {
        ++columnsDrawn;
        break;
      }
    }
  }
  EXPECT_GT(columnsDrawn, kColumns / 2);

  // The plot under the mouse is shown; leaving the plots keeps it.
  MoveMouse(300, PlotMiddleY(2));
  EXPECT_EQ(strip->ShownPath(), tetrode[2]);
  MoveMouse(300, 5);
  EXPECT_EQ(strip->ShownPath(), tetrode[2]);

  // The box covers the visible span's share of the data range.
  for (int i = 0; i < 3; ++i) Key(Qt::Key_Left, Qt::ControlModifier);
  const double perColumn = static_cast<double>(View().DataDuration) / kColumns;
  EXPECT_NEAR(strip->SpanBox().width(), View().VisibleSpan / perColumn, 1.5);
  EXPECT_NEAR(strip->SpanBox().left(), kTraceLeft + (View().VisibleStart - View().DataStart) / perColumn, 1.5);

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
  window->resize(window->width(), window->height() + 400);
  Settle();

  // Autoscale: the largest excursion in view reaches most of half the trace height; the plot menu
  // does one plot.
  const auto& csc = [this](int i) -> CscPlot& {
    IPlot* plot = nullptr;
    EXPECT_EQ(plots.GetPlot(i, plot), 0);
    return dynamic_cast<CscPlot&>(*plot);
  };
  Key(Qt::Key_A, Qt::ControlModifier | Qt::ShiftModifier);
  for (int i = 0; i < 4; ++i) {
    const double gain = canvas.GetAmplitudeGain(tetrode[i]);
    EXPECT_GT(gain, 1.0) << i;
    int32_t peak = 0;
    for (std::size_t c = 0; c < csc(i).Cache().mins.size(); ++c) {
      peak = std::max({peak, std::abs(int32_t{csc(i).Cache().mins[c]}), std::abs(int32_t{csc(i).Cache().maxs[c]})});
    }
    const double fullScale = csc(i).GetADMaxValue() * csc(i).Properties().scale;
    EXPECT_NEAR(peak * gain / fullScale, 0.9, 0.05) << i;
  }
  const double scaled = canvas.GetAmplitudeGain(tetrode[1]);
  canvas.SetAmplitudeGain(tetrode[1], 1.0);
  canvas.SetAmplitudeGain(tetrode[2], 1.0);
  QWidget* client = window->Client();
  const QPoint inSecond(300, PlotMiddleY(1));
  QContextMenuEvent right(QContextMenuEvent::Mouse, inSecond, client->mapToGlobal(inSecond));
  QApplication::sendEvent(client, &right);
  QMenu* menu = window->Plots()->PlotMenu();
  ASSERT_NE(menu, nullptr);
  menu->actions().back()->trigger();
  EXPECT_EQ(canvas.GetAmplitudeGain(tetrode[1]), scaled);
  EXPECT_EQ(canvas.GetAmplitudeGain(tetrode[2]), 1.0);
  menu->close();
}

}  // namespace
}  // namespace skelvane
