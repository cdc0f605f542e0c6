#pragma once
// A MainWindow over a real renderer, canvas, plot collection and data source manager of its own, with
// a synthetic tetrode on disk (more on request, starting at any time), and what a user does with it:
// keys, the mouse, the wheel, Go To Time, an extraction of the open recordings.

#include <gtest/gtest.h>

#include <QLineEdit>
#include <QMouseEvent>
#include <QTest>
#include <QWheelEvent>
#include <memory>
#include <string>
#include <vector>

#include "app/ClientArea.h"
#include "app/GoToTimeDialog.h"
#include "app/MainWindow.h"
#include "datafile/DataSourceManager.h"
#include "display/ColorTable.h"
#include "render/GLRenderer.h"
#include "display/PlotCanvas.h"
#include "display/PlotChannels.h"
#include "display/PlotCollection.h"
#include "display/ViewState.h"
#include "extract/ExtractionRun.h"
#include "spikes/SpikeFile.h"
#include "tests/app/ModalGuard.h"
#include "tests/app/QtTestApplication.h"
#include "tests/support/TempDir.h"
#include "tools/SyntheticRecording.h"

namespace skelvane::test {

class RealWindowHarness : public ::testing::Test {
 protected:
  static constexpr int kClientWidth = 655;
  static constexpr int kClientHeight = 515;  // a 640 x 500 canvas

  void SetUp() override {
    EnsureQtApplication();
    modals = std::make_unique<ModalGuard>();
    tetrode = MakeTetrode(dir_.Path(), SynthOptions().startTimestamp);
    ASSERT_EQ(tetrode.size(), 4u);
  }

  /// Writes a synthetic 4 s tetrode TT1a..d into `folder`, its first records stamped `start`.
  static std::vector<std::string> MakeTetrode(const std::string& folder, int64_t start) {
    SynthOptions options;
    options.outDir = folder;
    options.prefix = "TT1";
    options.channels = 4;
    options.seconds = 4.0;
    options.seed = 7;
    options.startTimestamp = start;
    SynthResult result;
    EXPECT_EQ(SyntheticRecording::Generate(options, result), 0);
    return result.paths;
  }

  void TearDown() override { window.reset(); }

  void Start() {
    window = std::make_unique<MainWindow>(canvas, view, plots, sources, renderer);
    window->SetSettingsFolder(settingsDir.Path());
    ASSERT_EQ(window->Create(), 0);
    window->show();
    window->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    const QSize frame = window->size() - window->Client()->size();
    window->resize(kClientWidth + frame.width(), kClientHeight + frame.height());
    QCoreApplication::processEvents();
    ASSERT_EQ(window->Client()->size(), QSize(kClientWidth, kClientHeight));
  }

  /// Opens the synthetic tetrode as if its four files were dropped on the window.
  void OpenTetrode() { window->OnDropFiles(tetrode); }

  /// Lets the window paint what it was asked to, as it does before the user acts again: the plots'
  /// borders and icons are where the last frame drew them.
  static void Settle() { QCoreApplication::processEvents(); }

  void Key(Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
    Settle();
    // A desktop gives the window the keys back when a dialog over it closes; the offscreen platform
    // leaves that to the program.
    if (!window->isActiveWindow()) {
      window->activateWindow();
      EXPECT_TRUE(QTest::qWaitForWindowActive(window.get()));
    }
    QTest::keyClick(window->Client(), key, modifiers);
  }

  /// Moves the mouse over client (x, y) with no button held.
  void MoveMouse(int x, int y) {
    Settle();
    QWidget* client = window->Client();
    QMouseEvent move(QEvent::MouseMove, QPointF(x, y), client->mapToGlobal(QPointF(x, y)), Qt::NoButton,
                     Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(client, &move);
  }

  /// Sends `widget` a mouse event at (x, y) straight away: nothing else is handled first (a layout
  /// that would move what lies there), and a pointer already standing there still moves.
  static void SendMouse(QWidget& widget, QEvent::Type type, QPoint at, Qt::MouseButton button = Qt::NoButton) {
    const Qt::MouseButtons held = type == QEvent::MouseButtonPress ? Qt::MouseButtons(button) : Qt::NoButton;
    QMouseEvent event(type, QPointF(at), widget.mapToGlobal(QPointF(at)), button, held, Qt::NoModifier);
    QApplication::sendEvent(&widget, &event);
  }

  /// Turns the wheel by `notches` (positive: away from the user) over client (x, y).
  void Wheel(int x, int y, int notches, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
    Settle();
    QWidget* client = window->Client();
    QWheelEvent wheel(QPointF(x, y), client->mapToGlobal(QPointF(x, y)), QPoint(), QPoint(0, 120 * notches),
                      Qt::NoButton, modifiers, Qt::NoScrollPhase, false);
    QApplication::sendEvent(client, &wheel);
  }

  /// Ctrl+G, then types `text` and Enter into the dialog; true when the dialog stayed open (it is then
  /// closed with Escape).
  bool GoToTime(const QString& text) {
    bool stillOpen = false;
    modals->Expect<GoToTimeDialog>([&stillOpen, text](GoToTimeDialog& dialog) {
      QTest::keyClick(dialog.Field(), Qt::Key_A, Qt::ControlModifier);
      QTest::keyClicks(dialog.Field(), text);
      QTest::keyClick(dialog.Field(), Qt::Key_Return);
      stillOpen = dialog.isVisible();
      if (stillOpen) QTest::keyClick(&dialog, Qt::Key_Escape);
    });
    Key(Qt::Key_G, Qt::ControlModifier);
    EXPECT_TRUE(modals->AllAnswered()) << "Ctrl+G showed no Go To Time dialog";
    return stillOpen;
  }

  /// Extracts the open tetrode into `folder` with the window's own run (threshold 100, both signs);
  /// the spike file's path, and its spikes' times in `peaks`.
  std::string ExtractTetrode(const std::string& folder, std::vector<int64_t>& peaks) {
    ExtractionParameters& p = window->Extraction().Parameters();
    p.NumChannels = 4;
    p.Threshold = 100;
    p.ExtractionType = kExtractionTypeBoth;
    p.OutputDirectory = folder;
    EXPECT_EQ(window->Extraction().CreateSpikeFiles(PlotChannels::Of(plots)), 0);
    const std::string path = window->Extraction().WrittenFiles().at(0).path;
    SpikeFile file;
    EXPECT_EQ(file.Open(path), 0);
    for (int64_t i = 0; i < file.NumSpikes(); ++i) {
      int64_t time = 0;
      EXPECT_EQ(file.ReadTimestamp(i, time), 0);
      peaks.push_back(time);
    }
    return path;
  }

  /// The client y of the middle of plot `index` (the stack scrolled to the top, plots 100 high).
  int PlotMiddleY(int index) const { return 15 + index * 103 + 60; }

  /// What the client area shows once the window has painted what it was asked to (the scrollbars
  /// paint after the canvas's picture).
  QImage Shown() const {
    Settle();
    return window->Client()->grab().toImage();
  }

  ViewState& View() { return view; }

  int32_t PlotHeight(int32_t index) const {
    IPlot* plot = nullptr;
    return plots.GetPlot(index, plot) == 0 ? plot->GetHeight() : -1;
  }

  std::string PlotPath(int32_t index) const {
    IPlot* plot = nullptr;
    return plots.GetPlot(index, plot) == 0 ? plot->GetPath() : std::string();
  }

  std::vector<std::string> tetrode;
  TempDir settingsDir;
  // Answers the dialogs a test expects and closes any other left open.
  std::unique_ptr<ModalGuard> modals;

 private:
  TempDir dir_;

 protected:
  // In the order the program makes its own; colours are handed out as in a freshly started program.
  ViewState view;
  ColorTable colours = PlotCanvas::MakePlotColours();
  GLRenderer renderer;
  PlotCanvas canvas{view, &renderer, &plots, &sources};
  DataSourceManager sources;
  PlotCollection plots{sources, colours};
  std::unique_ptr<MainWindow> window;
};

}  // namespace skelvane::test
