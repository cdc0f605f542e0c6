#pragma once
// A MainWindow over fake canvas, plots and sources, shown on the offscreen platform with a client
// area of a chosen size. The window tests that pin down arithmetic build on it.

#include <gtest/gtest.h>

#include <QMenuBar>
#include <QTest>
#include <memory>

#include "app/ClientArea.h"
#include "app/MainWindow.h"
#include "render/GLRenderer.h"
#include "display/ViewState.h"
#include "tests/support/FakeDataSourceManager.h"
#include "tests/app/FakePlotCanvas.h"
#include "tests/support/FakePlotCollection.h"
#include "tests/app/ModalGuard.h"
#include "tests/app/QtTestApplication.h"
#include "tests/app/RecordingCursor.h"
#include "tests/support/TempDir.h"

namespace skelvane::test {

class FakeWindowHarness : public ::testing::Test {
 protected:
  // 655 x 415 pixels of client area give a 640 x 400 canvas and, with the 40-pixel data axis, a
  // plot area 600 pixels wide.
  static constexpr int kClientWidth = 655;
  static constexpr int kClientHeight = 415;
  static constexpr int kMaxSettleRounds = 10;

  void SetUp() override {
    EnsureQtApplication();
    modals = std::make_unique<ModalGuard>();
    cursor = std::make_shared<RecordingCursor>();
    previousCursor_ = CursorControl::Install(cursor);
  }

  void TearDown() override {
    window.reset();
    CursorControl::Install(previousCursor_);
  }

  /// Builds the window (not yet created), keeping its settings file in the test's own folder.
  void MakeWindow() {
    window = std::make_unique<MainWindow>(canvas, view, plots, sources, renderer);
    window->SetSettingsFolder(settingsDir.Path());
  }

  /// Builds, creates and shows the window and gives its client area the size asked for.
  void Start(int clientWidth = kClientWidth, int clientHeight = kClientHeight) {
    MakeWindow();
    ASSERT_EQ(window->Create(), 0);
    window->show();
    window->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    ResizeClient(clientWidth, clientHeight);
  }

  void ResizeClient(int width, int height) {
    const QSize frame = window->size() - window->Client()->size();
    window->resize(width + frame.width(), height + frame.height());
    QCoreApplication::processEvents();
    ASSERT_EQ(window->Client()->size(), QSize(width, height));
  }

  /// Registers a fake file (first and last record times in microseconds) and drops it on the window.
  void DropFile(const std::string& path, int64_t first, int64_t last) {
    sources.AddFile(path, {5, first, last, false});
    window->OnDropFiles({path});
  }

  /// Adds `count` fake plots of height 100 without sources.
  void AddPlots(int count) {
    for (int i = 0; i < count; ++i) plots.CreatePlot("p" + std::to_string(i), 5, "/data/p" + std::to_string(i));
  }

  /// The frames the canvas drew, once the window has painted what was asked of it (a frame asked
  /// for while one was drawn included).
  int Frames() {
    QCoreApplication::processEvents();
    for (int i = 0; i < kMaxSettleRounds && window && window->Pacer().Due(); ++i) QCoreApplication::processEvents();
    return canvas.redrawCount;
  }

  void Key(Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
    QTest::keyClick(window->Client(), key, modifiers);
  }

  TempDir settingsDir;
  // Answers the dialogs a test expects and closes any other left open.
  std::unique_ptr<ModalGuard> modals;
  FakePlotCanvas canvas;
  ViewState view;
  FakePlotCollection plots;
  FakeDataSourceManager sources;
  GLRenderer renderer;
  std::shared_ptr<RecordingCursor> cursor;
  std::unique_ptr<MainWindow> window;

 private:
  std::shared_ptr<CursorControl> previousCursor_;
};

}  // namespace skelvane::test
