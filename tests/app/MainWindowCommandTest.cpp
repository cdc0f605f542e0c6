// The main window's commands through their accelerators and menu items: zoom, the display toggles
// with their check marks, Open Data, Exit with the settings file, dropped and start-up files, the
// About box and the frame the window shows.
#include <climits>
#include <gtest/gtest.h>

#include <QAction>
#include <QDropEvent>
#include <QFile>
#include <QMimeData>
#include <QPushButton>
#include <QSignalSpy>
#include <QTimer>
#include <QUrl>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "app/AboutBox.h"
#include "app/CanvasPicture.h"
#include "app/CommandIds.h"
#include "app/SpikeExtractPropsDlg.h"
#include "tests/app/FakeFileChooser.h"
#include "tests/app/FakeWindowHarness.h"
#include "tests/support/CapturedReports.h"
#include "tests/support/ScopedVariable.h"

namespace skelvane {
namespace {

namespace fs = std::filesystem;

class MainWindowCommands : public test::FakeWindowHarness {
 protected:
  void Drop(const QStringList& paths) {
    QMimeData data;
    QList<QUrl> urls;
    for (const QString& path : paths) urls << QUrl::fromLocalFile(path);
    data.setUrls(urls);
    // Qt delivers a drop only to the widget that accepted the drag entering it.
    QDragEnterEvent enter(QPoint(100, 100), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(window->Client(), &enter);
    ASSERT_TRUE(enter.isAccepted());
    QDropEvent drop(QPointF(100, 100), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(window->Client(), &drop);
  }
  std::vector<std::string> PlotNames() const {
    std::vector<std::string> names;
    for (const auto& plot : plots.plots) names.push_back(plot->name);
    return names;
  }
  std::vector<std::string> PlotPaths() const {
    std::vector<std::string> paths;
    for (const auto& plot : plots.plots) paths.push_back(plot->path);
    return paths;
  }
  fs::path InSettingsFolder(const char* name) const { return fs::path(settingsDir.Path()) / name; }
};

TEST_F(MainWindowCommands, WindowHasTheProgramTitle) {
  Start();
  EXPECT_EQ(window->windowTitle().toStdString(), "Skelvane Version 3.01");
  EXPECT_FALSE(window->windowIcon().isNull());
}

TEST_F(MainWindowCommands, CreateRegistersTheSourceListener) {
  Start();
  EXPECT_EQ(sources.listeners.size(), 1u);
}

TEST_F(MainWindowCommands, DestroyedWindowNoLongerListensToTheSources) {
  // The sources outlive the window: a later change must not reach a window that is gone.
  Start();
  window.reset();
  EXPECT_TRUE(sources.listeners.empty());
}

TEST_F(MainWindowCommands, CtrlLeftZoomsInAndCtrlRightZoomsOut) {
  Start();
  const ViewState before = view;
  int redraws = Frames();
  Key(Qt::Key_Left, Qt::ControlModifier);
  EXPECT_EQ(view.VisibleSpan, before.VisibleSpan / canvas.zoomFactor);
  EXPECT_EQ(Frames(), ++redraws);
  Key(Qt::Key_Right, Qt::ControlModifier);
  EXPECT_EQ(view.VisibleSpan, before.VisibleSpan);
  EXPECT_EQ(Frames(), ++redraws);
  EXPECT_EQ(view.VisibleStart, before.VisibleStart);  // zooming does not page
}

TEST_F(MainWindowCommands, ZoomAtItsBoundDoesNotRedraw) {
  Start();
  // The whole data range is shown, and it is the smallest span allowed.
  ASSERT_EQ(view.VisibleSpan, view.DataDuration);
  canvas.minimumSpan = view.VisibleSpan;
  const ViewState before = view;
  const int redraws = Frames();
  Key(Qt::Key_Right, Qt::ControlModifier);
  Key(Qt::Key_Left, Qt::ControlModifier);
  EXPECT_EQ(view.VisibleSpan, before.VisibleSpan);
  EXPECT_EQ(view.VisibleStart, before.VisibleStart);
  EXPECT_EQ(Frames(), redraws);
}

TEST_F(MainWindowCommands, CtrlAltOOpensDataAndUpdatesTheStack) {
  Start();
  sources.dialogPicks.emplace();
  for (int i = 0; i < 5; ++i) {
    const std::string path = "/data/p" + std::to_string(i) + ".kcs";
    sources.AddFile(path, {5, 1'000'000, 9'000'000, false});
    sources.dialogPicks->push_back(path);
  }
  const int redraws = Frames();
  Key(Qt::Key_O, Qt::ControlModifier | Qt::AltModifier);
  EXPECT_EQ(plots.GetNumPlots(), 5);
  EXPECT_EQ(Frames(), redraws + 1);
  // 515 + 17 pixels, 400 visible.
  EXPECT_EQ(window->VerticalScrollBar()->Page(), 24636);
}

TEST_F(MainWindowCommands, CancelledOpenDataChangesNothing) {
  Start();
  const int redraws = Frames();
  window->CommandAction(commands::kOpenData)->trigger();
  EXPECT_TRUE(sources.openAttempts.empty());
  EXPECT_EQ(Frames(), redraws);
}

TEST_F(MainWindowCommands, ChecksFollowTheCanvasSwitchesAtStart) {
  canvas.showIcons = 0;
  canvas.showTimeAxis = 0;
  Start();
  EXPECT_TRUE(window->CommandAction(commands::kToggleFileName)->isChecked());
  EXPECT_FALSE(window->CommandAction(commands::kToggleIcons)->isChecked());
  EXPECT_TRUE(window->CommandAction(commands::kToggleDataAxis)->isChecked());
  EXPECT_FALSE(window->CommandAction(commands::kToggleTimeAxis)->isChecked());
}

TEST_F(MainWindowCommands, TogglesFlipTheirSwitchAndCheckMark) {
  Start();
  struct Toggle {
    int32_t command;
    int32_t* value;
  };
  for (const Toggle& toggle : {Toggle{commands::kToggleFileName, &canvas.showNames},
                               Toggle{commands::kToggleIcons, &canvas.showIcons},
                               Toggle{commands::kToggleDataAxis, &canvas.showDataAxis},
                               Toggle{commands::kToggleTimeAxis, &canvas.showTimeAxis}}) {
    QAction* action = window->CommandAction(toggle.command);
    ASSERT_NE(action, nullptr);
    const int redraws = Frames();
    action->trigger();
    EXPECT_EQ(*toggle.value, 0) << toggle.command;
    EXPECT_FALSE(action->isChecked()) << toggle.command;
    EXPECT_EQ(Frames(), redraws + 1);
    action->trigger();
    EXPECT_EQ(*toggle.value, 1) << toggle.command;
    EXPECT_TRUE(action->isChecked()) << toggle.command;
  }
}

TEST_F(MainWindowCommands, ToggleCheckMarkIsTakenFromTheCanvas) {
  Start();
  // The switch changed behind the menu's back: the next toggle still shows the canvas's state.
  canvas.showNames = 0;
  window->CommandAction(commands::kToggleFileName)->trigger();
  EXPECT_EQ(canvas.showNames, 1);
  EXPECT_TRUE(window->CommandAction(commands::kToggleFileName)->isChecked());
}

TEST_F(MainWindowCommands, DroppedFilesOpenInOrderWithTheirPlots) {
  Start();
  for (const char* path : {"/data/TT1a.kcs", "/data/TT1b.kcs", "/data/TT1c.kcs"}) {
    sources.AddFile(path, {5, 1'000'000, 2'000'000, false});
  }
  const int redraws = Frames();
  Drop({"/data/TT1a.kcs", "/data/TT1b.kcs", "/data/TT1c.kcs"});
  EXPECT_EQ(PlotNames(), (std::vector<std::string>{"TT1a", "TT1b", "TT1c"}));
  EXPECT_EQ(PlotPaths(), (std::vector<std::string>{"/data/TT1a.kcs", "/data/TT1b.kcs", "/data/TT1c.kcs"}));
  EXPECT_EQ(Frames(), redraws + 1);
  EXPECT_EQ(view.DataEnd, 3'000'000);
}

TEST_F(MainWindowCommands, DropStopsAtTheFirstFileThatCannotBeOpenedAndSaysHowManyWereLeftClosed) {
  Start();
  sources.AddFile("/data/a.kcs", {5, 0, 1, false});
  sources.AddFile("/data/c.kcs", {5, 0, 1, false});
  test::CapturedReports reports;
  Drop({"/data/a.kcs", "/data/missing.kcs", "/data/c.kcs"});
  EXPECT_EQ(sources.openAttempts, (std::vector<std::string>{"/data/a.kcs", "/data/missing.kcs"}));
  EXPECT_EQ(PlotNames(), std::vector<std::string>{"a"});
  EXPECT_EQ(reports.Texts(), (std::vector<std::string>{"Error opening file; microsoft error code:2",
                                                        "Files chosen after one that could not be opened were left "
                                                        "closed, so that no channel group shifts; files left closed: 1"}));
}

TEST_F(MainWindowCommands, DroppedFileThatWasDroppedAgainGetsNoPlot) {
  Start();
  sources.AddFile("/data/a.kcs", {5, 0, 1, false});
  sources.AddFile("/data/noindex.kcs", {5, 0, 1, true});
  sources.AddFile("/data/c.kcs", {5, 0, 1, false});
  Drop({"/data/a.kcs", "/data/noindex.kcs", "/data/c.kcs"});
  // The later file still gets its own plot, under its own name.
  EXPECT_EQ(PlotNames(), (std::vector<std::string>{"a", "c"}));
  EXPECT_EQ(PlotPaths(), (std::vector<std::string>{"/data/a.kcs", "/data/c.kcs"}));
}

TEST_F(MainWindowCommands, DroppedNamesLongerThanTheSystemPathLimitAreSkipped) {
  Start();
  const std::string longName = "/" + std::string(PATH_MAX - 5, 'x') + ".kcs";  // PATH_MAX characters
  const std::string longest = "/" + std::string(PATH_MAX - 6, 'y') + ".kcs";   // PATH_MAX - 1 characters
  sources.AddFile(longName, {5, 0, 1, false});
  sources.AddFile(longest, {5, 0, 1, false});
  sources.AddFile("/data/b.kcs", {5, 0, 1, false});
  window->OnDropFiles({longName, "", longest, "/data/b.kcs"});
  EXPECT_EQ(sources.openAttempts, (std::vector<std::string>{longest, "/data/b.kcs"}));
  EXPECT_EQ(plots.GetNumPlots(), 2);
}

TEST_F(MainWindowCommands, DropOfAnotherKindOfFileReportsThePlotError) {
  Start();
  sources.AddFile("/data/a.kev", {6, 0, 1, false});
  test::CapturedReports reports;
  window->OnDropFiles({"/data/a.kev"});
  EXPECT_EQ(plots.GetNumPlots(), 0);
  EXPECT_EQ(reports.Texts(), std::vector<std::string>{"Invalid DataType value when creating a new plot."});
}

TEST_F(MainWindowCommands, StartupFilesOpenInOrderWithQuotesStripped) {
  sources.AddFile("/data/one.kcs", {5, 3'000'000, 4'000'000, false});
  sources.AddFile("/data/two.kcs", {5, 5'000'000, 9'000'000, false});
  MakeWindow();
  window->SetFilesToOpen({"\"/data/one.kcs\"", "/data/two.kcs"});
  ASSERT_EQ(window->Create(), 0);
  EXPECT_EQ(sources.openAttempts, (std::vector<std::string>{"/data/one.kcs", "/data/two.kcs"}));
  EXPECT_EQ(PlotNames(), (std::vector<std::string>{"one", "two"}));
  EXPECT_EQ(view.DataStart, 2'000'000);
  EXPECT_EQ(view.DataEnd, 10'000'000);
  EXPECT_EQ(view.DataDuration, 8'000'000);
  // The listener joins after the start-up files: it has not been told about them.
  EXPECT_EQ(sources.listeners.size(), 1u);
}

TEST_F(MainWindowCommands, SingleStartupFileLosesOnePairOfQuotes) {
  sources.AddFile("/data/x.kcs\"", {5, 0, 1, false});
  MakeWindow();
  window->SetFilesToOpen({"\"/data/x.kcs\"\""});
  ASSERT_EQ(window->Create(), 0);
  EXPECT_EQ(sources.openAttempts, std::vector<std::string>{"/data/x.kcs\""});
}

TEST_F(MainWindowCommands, StartupFileThatCannotBeOpenedStillCreatesTheWindow) {
  test::CapturedReports reports;
  MakeWindow();
  window->SetFilesToOpen({"", "/data/none.kcs"});  // an empty name is passed over
  EXPECT_EQ(window->Create(), 0);
  EXPECT_EQ(sources.openAttempts, std::vector<std::string>{"/data/none.kcs"});
  EXPECT_EQ(plots.GetNumPlots(), 0);
  EXPECT_EQ(reports.Texts(), std::vector<std::string>{"Error opening file; microsoft error code:2"});
}

TEST_F(MainWindowCommands, ExitWritesTheSettingsFileAndCloses) {
  Start();
  QSignalSpy closed(window.get(), &MainWindow::Closed);
  Key(Qt::Key_E, Qt::ControlModifier);
  EXPECT_EQ(closed.count(), 1);
  EXPECT_FALSE(window->isVisible());
  const fs::path written = InSettingsFolder("Skelvane.set");
  ASSERT_TRUE(fs::exists(written));
  std::ifstream in(written, std::ios::binary);
  const std::string contents((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  EXPECT_EQ(contents, test::FakePlotCanvas::kSettingsMarker);
  // The name read at start is never written.
  EXPECT_FALSE(fs::exists(InSettingsFolder("SkelvaneV3.set")));
}

TEST_F(MainWindowCommands, ClosingTheWindowWritesTheSettingsOnce) {
  Start();
  QSignalSpy closed(window.get(), &MainWindow::Closed);
  window->close();
  window->OnClose();
  EXPECT_EQ(closed.count(), 1);
  EXPECT_EQ(canvas.settingsWrites, 1);
  EXPECT_TRUE(fs::exists(InSettingsFolder("Skelvane.set")));
}

TEST_F(MainWindowCommands, UnwritableSettingsFolderIsReportedAndTheWindowStillCloses) {
  MakeWindow();
  // Neither the folder nor the user's configuration folder (under a plain file) can take the file.
  const std::string plain = settingsDir.Path() + "/plain";
  std::ofstream(plain) << "x";
  const test::ScopedVariable configHome("XDG_CONFIG_HOME", plain);
  window->SetSettingsFolder(settingsDir.Path() + "/missing");
  ASSERT_EQ(window->Create(), 0);
  window->show();
  test::CapturedReports reports;
  QSignalSpy closed(window.get(), &MainWindow::Closed);
  window->close();
  EXPECT_EQ(closed.count(), 1);
  EXPECT_FALSE(window->isVisible());
  ASSERT_EQ(reports.Count(), 1u);
  EXPECT_TRUE(reports.Texts()[0].starts_with("Error; Settings file could not be opened for writing.: " + plain))
      << reports.Texts()[0];
}

TEST_F(MainWindowCommands, AboutCommandShowsTheAboutBoxModally) {
  Start();
  QString caption;
  bool wasModal = false;
  QTimer::singleShot(0, [&] {
    auto* box = qobject_cast<AboutBox*>(QApplication::activeModalWidget());
    if (box == nullptr) return;
    caption = box->windowTitle();
    wasModal = box->isModal();
    box->OkButton()->click();
  });
  window->CommandAction(commands::kAbout)->trigger();
  EXPECT_EQ(caption.toStdString(), "About Skelvane");
  EXPECT_TRUE(wasModal);
}

TEST_F(MainWindowCommands, CtrlSRunsTheExtractionAndAlwaysReportsCompletion) {
  Start();
  test::CapturedReports reports;
  cursor->shapes.clear();
  Key(Qt::Key_S, Qt::ControlModifier);
  EXPECT_EQ(reports.Texts(), std::vector<std::string>{"Spike Extraction Process Completed"});
  ASSERT_GE(cursor->shapes.size(), 2u);
  EXPECT_EQ(cursor->shapes.front(), CursorControl::Shape::Wait);
  EXPECT_EQ(cursor->shapes.back(), CursorControl::Shape::Arrow);
}

TEST_F(MainWindowCommands, CtrlPShowsThePropertiesDialogModallyThenRedraws) {
  Start();
  const int redraws = Frames();
  QString title;
  bool modal = false;
  QTimer::singleShot(0, [&] {
    auto* dialog = qobject_cast<SpikeExtractPropsDlg*>(QApplication::activeModalWidget());
    if (dialog == nullptr) return;
    title = dialog->windowTitle();
    modal = dialog->isModal();
    dialog->reject();
  });
  Key(Qt::Key_P, Qt::ControlModifier);
  EXPECT_EQ(title.toStdString(), "Spike Extraction Properties Dialog");
  EXPECT_TRUE(modal);
  EXPECT_EQ(Frames(), redraws + 1);
}

TEST_F(MainWindowCommands, SaveBitmapWritesTheDisplayedCanvas) {
  canvas.frame.Resize(4, 3);
  uint8_t* bottomRow = canvas.frame.Bits();
  for (int x = 0; x < 4; ++x) bottomRow[4 * x + 2] = 255;  // red along the bottom
  Start();
  window->Client()->grab();
  auto chooser = std::make_shared<test::FakeFileChooser>();
  chooser->savePath = settingsDir.File("display.bmp");
  const auto previous = FileChooser::Install(chooser);
  window->CommandAction(commands::kSaveDisplayAsBitmap)->trigger();
  FileChooser::Install(previous);
  EXPECT_EQ(chooser->titles, std::vector<std::string>{"Save Kestrelon Bitmap File"});
  std::ifstream in(*chooser->savePath, std::ios::binary);
  const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  ASSERT_GT(bytes.size(), 57u);
  EXPECT_EQ(bytes.substr(0, 2), "BM");
  int32_t width = 0;
  int32_t height = 0;
  std::memcpy(&width, bytes.data() + 18, 4);
  std::memcpy(&height, bytes.data() + 22, 4);
  EXPECT_EQ(width, 4);
  EXPECT_EQ(height, 3);
  // Rows bottom first: the first pixel is the red bottom row's (bytes blue, green, red).
  EXPECT_EQ(static_cast<uint8_t>(bytes[54]), 0);
  EXPECT_EQ(static_cast<uint8_t>(bytes[55]), 0);
  EXPECT_EQ(static_cast<uint8_t>(bytes[56]), 255);
}

TEST_F(MainWindowCommands, PaintShowsTheCanvasFrameRightWayUpBelowTheBar) {
  // A 4 x 3 frame, bottom-up: blue top row, red bottom row, green between.
  canvas.frame.Resize(4, 3);
  auto paintRow = [&](int rowFromBottom, uint8_t b, uint8_t g, uint8_t r) {
    uint8_t* row = canvas.frame.Bits() + rowFromBottom * canvas.frame.BytesPerRow();
    for (int x = 0; x < 4; ++x) {
      row[4 * x] = b;
      row[4 * x + 1] = g;
      row[4 * x + 2] = r;
    }
  };
  paintRow(0, 0, 0, 255);
  paintRow(1, 0, 255, 0);
  paintRow(2, 255, 0, 0);
  Start();
  const QImage shown = window->Client()->grab().toImage();
  EXPECT_EQ(QColor(shown.pixel(0, 15)), QColor(0, 0, 255));
  EXPECT_EQ(QColor(shown.pixel(3, 16)), QColor(0, 255, 0));
  EXPECT_EQ(QColor(shown.pixel(2, 17)), QColor(255, 0, 0));
  EXPECT_EQ(window->Picture().Frame().size(), QSize(4, 3));
  // Handed on (to the bitmap export) bottom-up again, colours as 0x00BBGGRR.
  const MemoryBitmap displayed = window->DisplayedImage();
  ASSERT_EQ(displayed.Width(), 4);
  ASSERT_EQ(displayed.Height(), 3);
  EXPECT_EQ(displayed.ColorAt(0, 0), 0xFF0000u);
  EXPECT_EQ(displayed.ColorAt(1, 1), 0x00FF00u);
  EXPECT_EQ(displayed.ColorAt(3, 2), 0x0000FFu);
  EXPECT_EQ(std::memcmp(displayed.Bits(), canvas.frame.Bits(), displayed.SizeInBytes()), 0);
}

TEST_F(MainWindowCommands, PresentRefusesARegionLargerThanTheBitmap) {
  CanvasPicture picture(renderer);
  MemoryBitmap small(2, 2);
  EXPECT_FALSE(picture.Present(small, 3, 2, 0, 15));
  EXPECT_FALSE(picture.Present(small, 2, 0, 0, 15));
  EXPECT_TRUE(picture.Present(small, 2, 1, 0, 15));
  EXPECT_EQ(picture.Frame().size(), QSize(2, 1));
}

}  // namespace
}  // namespace skelvane
