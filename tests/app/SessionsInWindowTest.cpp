// Sessions and markers in the real window, as a user drives it: markers put with M and Shift+M and
// named in place, Save Session, Close All, the session dropped back: the same picture; the command
// line's snapshot and extract of that session give the window's picture and spike file; a session whose
// recordings moved asks for their folder once; a name the session or the markers' export cannot take
// is said and the chooser asked again.
#include <gtest/gtest.h>

#include <QDockWidget>
#include <QLineEdit>
#include <QTableView>
#include <QTest>
#include <cstring>
#include <filesystem>

#include "app/CommandIds.h"
#include "app/MarkerCommands.h"
#include "app/MarkerTableModel.h"
#include "app/MarkersPanel.h"
#include "app/Preferences.h"
#include "app/SessionCommands.h"
#include "app/WindowCommands.h"
#include "display/MarkerSet.h"
#include "platform/BitmapFileWriter.h"
#include "platform/PathHelpers.h"
#include "session/SessionFile.h"
#include "spikes/DataFileGuard.h"
#include "tests/app/FakeFileChooser.h"
#include "tests/app/RealWindowHarness.h"
#include "tests/cli/CliRunner.h"
#include "tests/extract/SpikeFileContents.h"
#include "tests/support/CapturedReports.h"
#include "tests/support/TempDir.h"

namespace skelvane {
namespace {

namespace fs = std::filesystem;

class SessionsInWindowTest : public test::RealWindowHarness {
 protected:
  void SetUp() override {
    RealWindowHarness::SetUp();
    previousChooser = FileChooser::Install(chooser);
  }
  void TearDown() override {
    FileChooser::Install(previousChooser);
    RealWindowHarness::TearDown();
  }

  // Puts a marker at client (x, y) with M (Shift+M: on the plot there) and types its text.
  void Mark(int x, int y, bool onePlot, const QString& text) {
    MoveMouse(x, y);
    Key(Qt::Key_M, onePlot ? Qt::ShiftModifier : Qt::NoModifier);
    QLineEdit* editor = window->Markers()->Editor();
    ASSERT_NE(editor, nullptr) << "no field for the marker's text";
    QTest::keyClicks(editor, text);
    QTest::keyClick(editor, Qt::Key_Return);
    Settle();
  }

  // What a user does to a tetrode in a sitting: zoom, amplitude, a taller plot, cursor A, the Seconds
  // axis and two markers.
  void WorkOnTheTetrode() {
    OpenTetrode();
    Key(Qt::Key_Left, Qt::ControlModifier);
    Key(Qt::Key_Up, Qt::ControlModifier);
    IPlot* plot = nullptr;
    ASSERT_EQ(plots.GetPlot(3, plot), 0);
    plot->SetHeight(180);
    window->UpdateVerticalScroll();
    MoveMouse(250, PlotMiddleY(0));
    Key(Qt::Key_A);
    window->Commands()->Run(commands::kTimeLabelsSeconds);
    Mark(400, PlotMiddleY(0), false, "seizure onset");
    Mark(150, PlotMiddleY(2), true, "electrode moved");
  }

  MemoryBitmap Picture() {
    Settle();
    return window->DisplayedImage();
  }

  static bool Same(const MemoryBitmap& a, const MemoryBitmap& b) {
    return a.SizeInBytes() == b.SizeInBytes() && std::memcmp(a.Bits(), b.Bits(), a.SizeInBytes()) == 0;
  }

  std::shared_ptr<test::FakeFileChooser> chooser = std::make_shared<test::FakeFileChooser>();
  std::shared_ptr<FileChooser> previousChooser;
  test::TempDir sessionDir;
};

TEST_F(SessionsInWindowTest, SavedThenDroppedBackShowsTheSamePicture) {
  Start();
  WorkOnTheTetrode();
  const MarkerSet& markers = *window->Markers()->Markers();
  ASSERT_EQ(markers.Count(), 2u);
  EXPECT_EQ(markers.All()[0].plot, "TT1c");
  EXPECT_EQ(markers.All()[0].text, "electrode moved");
  EXPECT_EQ(markers.All()[1].plot, "");
  EXPECT_EQ(markers.All()[1].text, "seizure onset");
  const MemoryBitmap before = Picture();

  chooser->savePath = sessionDir.File("sitting.skvs");
  Key(Qt::Key_S, Qt::ControlModifier | Qt::ShiftModifier);
  ASSERT_TRUE(fs::exists(*chooser->savePath));
  Key(Qt::Key_W, Qt::ControlModifier | Qt::ShiftModifier);
  ASSERT_EQ(plots.GetNumPlots(), 0);
  EXPECT_TRUE(window->Markers()->Markers()->Empty());
  EXPECT_FALSE(Same(before, Picture()));

  test::CapturedReports reports;
  window->OnDropFiles({*chooser->savePath});
  EXPECT_TRUE(reports.Empty()) << reports.Texts().front();
  ASSERT_EQ(plots.GetNumPlots(), 4);
  EXPECT_TRUE(Same(before, Picture()));
  // The session joins Recent Files once its picture is shown.
  Settle();
  ASSERT_FALSE(Preferences::RecentSets().empty());
  EXPECT_EQ(Preferences::RecentSets().front(), QStringList{QString::fromStdString(AbsolutePathOf(*chooser->savePath))});

  // The panel lists them on the one clock; ] and [ step through them.
  window->Commands()->Run(commands::kMarkersPanel);
  MarkersPanel* panel = window->Markers()->Panel();
  ASSERT_TRUE(panel->isVisible());
  ASSERT_EQ(panel->Model()->rowCount({}), 2);
  EXPECT_EQ(panel->Model()->index(1, MarkerTableModel::kText).data().toString(), QString("seizure onset"));
  EXPECT_EQ(panel->Model()->index(1, MarkerTableModel::kPlot).data().toString(), QString("(all)"));
  const auto shows = [&](std::size_t index) {
    const int64_t time = markers.All()[index].timestamp;
    return view.VisibleStart <= time && time < view.VisibleStart + view.VisibleSpan &&
           panel->Table()->currentIndex().row() == static_cast<int>(index);
  };
  Key(Qt::Key_End);
  Key(Qt::Key_BracketLeft);
  EXPECT_TRUE(shows(1));
  Key(Qt::Key_BracketLeft);
  EXPECT_TRUE(shows(0));
  Key(Qt::Key_BracketRight);
  EXPECT_TRUE(shows(1));
  EXPECT_EQ(ViewModel(view, canvas, plots).MiddleTime() / 1000, markers.All()[1].timestamp / 1000);
  // Delete in the panel removes the selected one.
  panel->Table()->selectRow(0);
  QTest::keyClick(panel->Table(), Qt::Key_Delete);
  ASSERT_EQ(markers.Count(), 1u);
  EXPECT_EQ(markers.All()[0].text, "seizure onset");
}

TEST_F(SessionsInWindowTest, ARefusedSaveOrExportSaysWhyAndAsksForAnotherName) {
  Start();
  OpenTetrode();
  Mark(300, PlotMiddleY(1), false, "onset");
  const std::string recording = tetrode.front();
  const auto recordingSize = fs::file_size(recording);
  const std::string missingFolder = sessionDir.File("gone/sitting.skvs");
  chooser->saveAnswers = {recording, missingFolder, sessionDir.File("sitting.skvs")};
  test::CapturedReports reports;
  Key(Qt::Key_S, Qt::ControlModifier | Qt::ShiftModifier);
  EXPECT_EQ(std::count(chooser->titles.begin(), chooser->titles.end(), "Save Session"), 3);
  EXPECT_EQ(reports.Texts(), (std::vector<std::string>{std::string(kOutputIsRecordingMessage) + " " + recording,
                                                       "The session could not be written: " + missingFolder +
                                                           ": No such file or directory"}));
  EXPECT_TRUE(fs::exists(sessionDir.File("sitting.skvs")));
  EXPECT_EQ(fs::file_size(recording), recordingSize);

  // The markers' export: refused at the recording, then cancelled; nothing else is written.
  reports.Clear();
  chooser->titles.clear();
  chooser->saveAnswers = {recording, std::nullopt};
  window->Commands()->Run(commands::kMarkersPanel);
  EXPECT_FALSE(window->Markers()->Panel()->Export());
  EXPECT_EQ(chooser->titles, (std::vector<std::string>{"Export Markers", "Export Markers"}));
  EXPECT_EQ(reports.Texts(), std::vector<std::string>{std::string(kOutputIsRecordingMessage) + " " + recording});
  EXPECT_EQ(fs::file_size(recording), recordingSize);
}

TEST_F(SessionsInWindowTest, TheCommandLineDrawsAndExtractsTheSessionAsTheWindowDoes) {
  Start();
  WorkOnTheTetrode();
  test::TempDir outDir;
  std::vector<int64_t> peaks;
  const std::string spikeFile = ExtractTetrode(outDir.Path(), peaks);
  ASSERT_GT(peaks.size(), 20u) << "too few spikes to compare";
  // The threshold lines as the Properties dialog's OK leaves them for those properties.
  const ExtractionParameters& p = window->Extraction().Parameters();
  for (int32_t i = 0; i < plots.GetNumPlots(); ++i) {
    IPlot* plot = nullptr;
    ASSERT_EQ(plots.GetPlot(i, plot), 0);
    plot->SetExtractionMode(p.ExtractionMode);
    plot->SetExtractionType(p.ExtractionType);
    plot->SetExtractionValue(p.Threshold);
  }
  window->Redraw();
  const std::string fromWindow = test::ReadWholeFile(spikeFile);
  fs::remove(spikeFile);  // the header names the file it lives in: the tool writes the same name
  const std::string session = sessionDir.File("sitting.skvs");
  ASSERT_TRUE(window->Sessions()->SaveTo(session));
  const std::string windowPicture = sessionDir.File("window.bmp");
  ASSERT_EQ(BitmapFileWriter::WriteBitmapFile(windowPicture, Picture()), 0);

  test::TempDir scratch;
  const std::string snapshot = sessionDir.File("snapshot.bmp");
  const test::CliRun drawn = test::RunCli({"snapshot", "--session", session, "-o", snapshot}, scratch);
  ASSERT_EQ(drawn.status, 0) << drawn.err;
  EXPECT_TRUE(test::ReadWholeFile(snapshot) == test::ReadWholeFile(windowPicture)) << drawn.err;

  const test::CliRun extracted = test::RunCli({"extract", "--session", session, "--quiet"}, scratch);
  ASSERT_EQ(extracted.status, 0) << extracted.err;
  const std::string fromCli = test::ReadWholeFile(spikeFile);
  ASSERT_EQ(fromWindow.size(), fromCli.size());
  EXPECT_TRUE(test::WithoutTimeLine(fromWindow) == test::WithoutTimeLine(fromCli));

  const test::CliRun listed = test::RunCli({"markers", session, "--csv"}, scratch);
  ASSERT_EQ(listed.status, 0) << listed.err;
  EXPECT_EQ(listed.out.substr(0, listed.out.find("\r\n")), "timestamp_us,time_s,plot,text");
  EXPECT_NE(listed.out.find(",TT1c,electrode moved\r\n"), std::string::npos) << listed.out;
}

TEST_F(SessionsInWindowTest, MovedRecordingsAreLookedForInOneFolderAskedOnce) {
  Start();
  OpenTetrode();
  // Saved beside nothing of the tetrode: its paths are absolute.
  const std::string session = sessionDir.File("moved.skvs");
  ASSERT_TRUE(window->Sessions()->SaveTo(session));
  Key(Qt::Key_W, Qt::ControlModifier | Qt::ShiftModifier);
  test::TempDir newHome;
  for (std::size_t i = 0; i + 1 < tetrode.size(); ++i) {
    fs::rename(tetrode[i], fs::path(newHome.Path()) / fs::path(tetrode[i]).filename());
  }
  fs::remove(tetrode.back());
  chooser->folderAnswer = newHome.Path();

  test::CapturedReports reports;
  const auto docks = window->findChildren<QDockWidget*>().size();
  window->OnDropFiles({session});
  EXPECT_EQ(window->findChildren<QDockWidget*>().size(), docks) << "the markers panel, never shown, was built";
  EXPECT_EQ(chooser->titles, std::vector<std::string>{SessionCommands::kMovedFolderTitle});
  ASSERT_EQ(plots.GetNumPlots(), 3);
  EXPECT_EQ(PlotPath(0), (fs::path(newHome.Path()) / "TT1a.kcs").string());
  EXPECT_EQ(reports.Texts(), std::vector<std::string>{"This session was not restored in full: " + session +
                                                      "\nmissing: " + tetrode.back()});
  // Nothing is written back until the user saves.
  EXPECT_NE(test::ReadWholeFile(session).find(tetrode.front()), std::string::npos);
}

}  // namespace
}  // namespace skelvane
