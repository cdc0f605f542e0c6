// The main window over the real canvas, plots and data source manager with a synthetic tetrode:
// what it shows, and the gestures whose outcome depends on the real canvas (zoom bounds, borders
// recorded while drawing, header icons, the settings file).
#include <gtest/gtest.h>

#include <QColor>
#include <QScreen>
#include <QTest>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "app/CommandIds.h"
#include "app/WindowCommands.h"
#include "extract/ExtractionRun.h"
#include "tests/support/CapturedReports.h"
#include "tests/support/TempDir.h"
#include "app/CanvasMouse.h"
#include "tests/app/RealWindowHarness.h"

namespace skelvane {
namespace {

namespace fs = std::filesystem;

class MainWindowWithRecordings : public test::RealWindowHarness {
 protected:
  void Click(int x, int y) {
    Settle();
    QTest::mouseClick(window->Client(), Qt::LeftButton, Qt::NoModifier, QPoint(x, y));
  }
  void Drag(QPoint from, QPoint to) {
    Settle();
    QWidget* client = window->Client();
    QTest::mousePress(client, Qt::LeftButton, Qt::NoModifier, from);
    QMouseEvent move(QEvent::MouseMove, QPointF(to), client->mapToGlobal(QPointF(to)), Qt::NoButton, Qt::LeftButton,
                     Qt::NoModifier);
    QApplication::sendEvent(client, &move);
    QTest::mouseRelease(client, Qt::LeftButton, Qt::NoModifier, to);
  }
  static QColor Named(const char* name) {
    uint32_t colour = 0;
    EXPECT_EQ(ColorTable().FindColorByName(name, colour), 0) << name;
    return QColor(colour & 0xFF, (colour >> 8) & 0xFF, (colour >> 16) & 0xFF);
  }
  // Rows of the client image that hold at least one pixel of `colour`.
  static std::vector<int> RowsWith(const QImage& image, const QColor& colour) {
    std::vector<int> rows;
    for (int y = 0; y < image.height(); ++y) {
      for (int x = 0; x < image.width(); ++x) {
        if (QColor(image.pixel(x, y)) == colour) {
          rows.push_back(y);
          break;
        }
      }
    }
    return rows;
  }
};

TEST_F(MainWindowWithRecordings, DroppedTetrodeShowsFourTracesInTheirColoursTopToBottom) {
  Start();
  OpenTetrode();
  ASSERT_EQ(plots.GetNumPlots(), 4);
  const QImage shown = Shown();
  int previousRow = 15;
  for (const char* name : {"Red", "Blue", "Yellow", "Purple"}) {
    const std::vector<int> rows = RowsWith(shown, Named(name));
    ASSERT_FALSE(rows.empty()) << name;
    // Each trace lies within its own plot, below the one before.
    EXPECT_GT(rows.front(), previousRow) << name;
    EXPECT_LT(rows.back() - rows.front(), 100) << name;
    previousRow = rows.back();
  }
  // The four plots of 100 pixels fit, and the first 10-second span covers the padded 6 seconds of
  // data: neither bar has anything to scroll.
  EXPECT_FALSE(window->VerticalScrollBar()->isEnabled());
  EXPECT_FALSE(window->HorizontalScrollBar()->isEnabled());
}

// The window copies the frame straight into its backing store (so does a grab, into its pixmap); a
// 24-bit image, which takes no such copy, is painted through QPainter. All of them show the bitmap
// the export hands on, the right way up below the bar.
TEST_F(MainWindowWithRecordings, TheWindowShowsTheFrameTheBitmapExportHolds) {
  Start();
  OpenTetrode();
  Key(Qt::Key_Left, Qt::ControlModifier);  // a frame of its own, not the first
  const QImage grabbed = Shown().convertToFormat(QImage::Format_RGB32);
  const QRect client(window->Client()->mapTo(window.get(), QPoint(0, 0)), window->Client()->size());
  window->Client()->repaint();
  const QImage screen = window->screen()->grabWindow(window->winId()).toImage().convertToFormat(QImage::Format_RGB32);
  EXPECT_EQ(screen.copy(client), grabbed);
  QImage painted(client.size(), QImage::Format_RGB888);
  window->Client()->render(&painted);
  EXPECT_EQ(painted.convertToFormat(QImage::Format_RGB32), grabbed);

  const MemoryBitmap exported = window->DisplayedImage();
  ASSERT_EQ(exported.Height(), client.height() - 15);
  ASSERT_LT(exported.Width(), client.width());
  int32_t differing = 0;
  for (int32_t y = 0; y < exported.Height(); ++y) {
    for (int32_t x = 0; x < exported.Width(); ++x) {
      const QRgb pixel = grabbed.pixel(x, y + 15);
      differing += exported.ColorAt(x, y) != static_cast<uint32_t>(qRed(pixel) | (qGreen(pixel) << 8) | (qBlue(pixel) << 16));
    }
  }
  EXPECT_EQ(differing, 0);
}

TEST_F(MainWindowWithRecordings, TimeRangeIsTheSourcesPaddedByOneSecond) {
  Start();
  OpenTetrode();
  int64_t start = 0;
  int64_t end = 0;
  sources.GetTimeRange(start, end);
  EXPECT_EQ(View().DataStart, start);
  EXPECT_EQ(View().DataEnd, end);
  EXPECT_EQ(View().DataDuration, end - start);
  // 4 s of data from 1 s on, padded: 0 .. a little over 6 s.
  EXPECT_EQ(start, 0);
  EXPECT_GT(end, 5'900'000);
}

// Close All leaves the window as it started: whatever the view was, files opened next (by a drop or
// from Recent Files) show as the first ones did.
TEST_F(MainWindowWithRecordings, AfterCloseAllTheNextFilesOpenAsTheFirstOnesDid) {
  Start();
  OpenTetrode();
  const ViewState first = View();
  for (const int32_t command : {commands::kPageRight, commands::kDecreaseTimeScale, commands::kDecreaseTimeScale,
                                commands::kPageRight, commands::kCloseAll}) {
    window->Commands()->Run(command);
  }
  EXPECT_EQ(plots.GetNumPlots(), 0);
  const auto same = [&first](const ViewState& v) {
    return std::vector<int64_t>{v.DataStart, v.DataEnd, v.DataDuration, v.VisibleStart, v.VisibleSpan, v.ScrollTop} ==
           std::vector<int64_t>{first.DataStart, first.DataEnd, first.DataDuration, first.VisibleStart,
                                first.VisibleSpan, first.ScrollTop};
  };
  OpenTetrode();
  EXPECT_TRUE(same(View())) << "span " << View().VisibleSpan << " from " << View().VisibleStart;
  Key(Qt::Key_Left, Qt::ControlModifier);
  window->Commands()->Run(commands::kCloseAll);
  window->Commands()->Run(commands::kRecentFilesFirst);
  EXPECT_EQ(plots.GetNumPlots(), 4);
  EXPECT_TRUE(same(View())) << "span " << View().VisibleSpan << " from " << View().VisibleStart;
}

TEST_F(MainWindowWithRecordings, ZoomKeysStopAtTheFullDurationAndAtOneMicrosecondPerPixel) {
  Start();
  OpenTetrode();
  for (int i = 0; i < 8; ++i) Key(Qt::Key_Right, Qt::ControlModifier);
  EXPECT_EQ(View().VisibleSpan, View().DataDuration);
  EXPECT_EQ(View().VisibleStart, View().DataStart);
  EXPECT_EQ(window->HorizontalScrollBar()->Page(), PagedScrollBar::kRangeMax);

  for (int i = 0; i < 30; ++i) Key(Qt::Key_Left, Qt::ControlModifier);
  EXPECT_EQ(View().VisibleSpan, View().CanvasWidth);
  const int64_t start = View().VisibleStart;
  Key(Qt::Key_Left, Qt::ControlModifier);
  EXPECT_EQ(View().VisibleSpan, View().CanvasWidth);
  EXPECT_EQ(View().VisibleStart, start);
}

TEST_F(MainWindowWithRecordings, ZoomInKeepsTheMiddleColumnsTime) {
  Start();
  OpenTetrode();
  View().VisibleStart = 1'000'000;
  View().VisibleSpan = 2'000'000;
  const int32_t width = View().CanvasWidth - canvas.GetDataAxisWidth();
  int64_t before = 0;
  ASSERT_EQ(PlotCanvas::GetTimeForPixel(width / 2, width, View().VisibleSpan, View().VisibleStart, before), 0);
  Key(Qt::Key_Left, Qt::ControlModifier);
  EXPECT_EQ(View().VisibleSpan, 1'000'000);
  EXPECT_EQ(View().VisibleStart, before - 500'000);
}

TEST_F(MainWindowWithRecordings, BorderRecordedWhileDrawingCanBeDragged) {
  Start();
  OpenTetrode();
  // The first plot (100 pixels) ends at canvas y -100; its border line is at -101, window y 116.
  Drag(QPoint(300, 116), QPoint(300, 176));
  EXPECT_EQ(PlotHeight(0), 160);
  EXPECT_EQ(PlotHeight(1), 100);
  // The second border moved down with the first plot: 160 + 3 + 100 + 1 pixels below the top.
  Drag(QPoint(300, 15 + 264), QPoint(300, 15 + 200));
  EXPECT_EQ(PlotHeight(1), 50);
}

TEST_F(MainWindowWithRecordings, HeaderIconsCloseGrowAndMovePlots) {
  Start();
  OpenTetrode();
  // Icons of the first plot: 15-pixel squares from x 3, 18 apart, 3 pixels below its top.
  Click(3 + 3 * 18 + 7, 15 + 10);  // plus
  EXPECT_EQ(PlotHeight(0), 150);
  Click(3 + 2 * 18 + 7, 15 + 10);  // down arrow
  EXPECT_EQ(PlotPath(0), tetrode[1]);
  EXPECT_EQ(PlotPath(1), tetrode[0]);
  EXPECT_EQ(PlotHeight(1), 150);
  Click(3 + 7, 15 + 10);  // close the (new) first plot and its source
  EXPECT_EQ(plots.GetNumPlots(), 3);
  EXPECT_EQ(sources.GetNumSources(), 3);
  EXPECT_EQ(PlotPath(0), tetrode[0]);
  // The clicks acted on icons only: nothing zoomed.
  EXPECT_FALSE(window->Mouse()->IsRubberBandActive());
}

TEST_F(MainWindowWithRecordings, CtrlSWritesOneSpikeFileForTheTetrode) {
  Start();
  OpenTetrode();
  test::TempDir out;
  ExtractionParameters& parameters = window->Extraction().Parameters();
  parameters.NumChannels = 4;
  parameters.Threshold = 100.0;
  parameters.OutputDirectory = out.Path();
  test::CapturedReports reports;
  Key(Qt::Key_S, Qt::ControlModifier);
  const fs::path spikeFile = fs::path(out.Path()) / "SpikeFile_TT1a_TT1b_TT1c_TT1d.ktt";
  ASSERT_TRUE(fs::exists(spikeFile));
  EXPECT_GT(fs::file_size(spikeFile), 16384u);
  ASSERT_EQ(window->Extraction().WrittenFiles().size(), 1u);
  const int64_t spikes = window->Extraction().WrittenFiles().front().spikeCount;
  EXPECT_GT(spikes, 0);
  EXPECT_EQ(reports.Texts(), std::vector<std::string>{"Spike Extraction Process Completed\n" + spikeFile.string() +
                                                      ": " + std::to_string(spikes) + " spikes"});
}

TEST_F(MainWindowWithRecordings, ClosingWritesTheCanvasSettings) {
  Start();
  window->CommandAction(commands::kToggleIcons)->trigger();
  EXPECT_FALSE(window->CommandAction(commands::kToggleIcons)->isChecked());
  window->close();
  const fs::path written = fs::path(settingsDir.Path()) / "Skelvane.set";
  ASSERT_TRUE(fs::exists(written));
  EXPECT_EQ(fs::file_size(written), 104u);
  std::ifstream in(written, std::ios::binary);
  char fields[8] = {};
  in.read(fields, sizeof fields);
  // Field 1 (plot names) still on, field 2 (plot icons) switched off.
  EXPECT_EQ(std::vector<char>(fields, fields + 8), (std::vector<char>{1, 0, 0, 0, 0, 0, 0, 0}));
}

TEST_F(MainWindowWithRecordings, SettingsReadAtStartSetTheCheckMarks) {
  // A settings file written at close becomes the one read at start under its other name.
  Start();
  window->CommandAction(commands::kToggleFileName)->trigger();
  window->CommandAction(commands::kToggleTimeAxis)->trigger();
  window->close();
  window.reset();
  fs::rename(fs::path(settingsDir.Path()) / "Skelvane.set", fs::path(settingsDir.Path()) / "SkelvaneV3.set");
  canvas.SetShowPlotNames(1);
  canvas.SetShowTimeAxis(1);

  Start();
  EXPECT_FALSE(window->CommandAction(commands::kToggleFileName)->isChecked());
  EXPECT_TRUE(window->CommandAction(commands::kToggleIcons)->isChecked());
  EXPECT_TRUE(window->CommandAction(commands::kToggleDataAxis)->isChecked());
  EXPECT_FALSE(window->CommandAction(commands::kToggleTimeAxis)->isChecked());
  EXPECT_EQ(canvas.GetTimeAxisHeight(), 0);
}

// Without a usable OpenGL driver the window still starts, says so once (not once per key press
// and paint) and shows a black canvas. The driver search path is changed before the first EGL
// call, so the test runs in a fresh child process.
TEST_F(MainWindowWithRecordings, RendererThatCannotStartIsReportedOnceAndTheCanvasIsBlack) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        setenv("LIBGL_DRIVERS_PATH", "/nonexistent-skelvane-drivers", 1);
        setenv("GALLIUM_DRIVER", "llvmpipe", 1);
        test::CapturedReports reports;
        Start();
        OpenTetrode();
        Key(Qt::Key_Right);
        Key(Qt::Key_Right, Qt::ControlModifier);
        window->Client()->repaint();
        QCoreApplication::processEvents();
        const QImage shown = Shown();
        bool black = true;
        for (int y = MainWindow::kScrollBarSize; y < shown.height(); ++y) {
          for (int x = 0; x < View().CanvasWidth; ++x) black = black && shown.pixel(x, y) == qRgb(0, 0, 0);
        }
        for (const std::string& text : reports.Texts()) std::fprintf(stderr, "report: %s\n", text.c_str());
        const bool once =
            reports.Texts() == std::vector<std::string>{"CreateCompatibleDC() failed in CreateDIBSectionOGL()"};
        std::exit(once && black ? 0 : 1);
      },
      ::testing::ExitedWithCode(0), "");
}

}  // namespace
}  // namespace skelvane
