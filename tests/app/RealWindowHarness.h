#pragma once
// A MainWindow over a real renderer, canvas, plot collection and data source manager of its own, with
// a synthetic tetrode on disk; the canvas's class-wide members are left alone.

#include <gtest/gtest.h>

#include <QMouseEvent>
#include <QTest>
#include <QWheelEvent>
#include <memory>
#include <string>
#include <vector>

#include "app/ClientArea.h"
#include "app/MainWindow.h"
#include "datafile/DataSourceManager.h"
#include "display/ColorTable.h"
#include "render/GLRenderer.h"
#include "display/PlotCanvas.h"
#include "display/PlotCollection.h"
#include "display/ViewState.h"
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
    SynthOptions options;
    options.outDir = dir_.Path();
    options.prefix = "TT1";
    options.channels = 4;
    options.seconds = 4.0;
    options.seed = 7;
    SynthResult result;
    ASSERT_EQ(SyntheticRecording::Generate(options, result), 0);
    tetrode = result.paths;
    ASSERT_EQ(tetrode.size(), 4u);
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

  /// Turns the wheel by `notches` (positive: away from the user) over client (x, y).
  void Wheel(int x, int y, int notches, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
    Settle();
    QWidget* client = window->Client();
    QWheelEvent wheel(QPointF(x, y), client->mapToGlobal(QPointF(x, y)), QPoint(), QPoint(0, 120 * notches),
                      Qt::NoButton, modifiers, Qt::NoScrollPhase, false);
    QApplication::sendEvent(client, &wheel);
  }

  /// The client y of the middle of plot `index` (the stack scrolled to the top, plots 100 high).
  int PlotMiddleY(int index) const { return 15 + index * 103 + 60; }

  /// What the client area shows now.
  QImage Shown() const { return window->Client()->grab().toImage(); }

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
