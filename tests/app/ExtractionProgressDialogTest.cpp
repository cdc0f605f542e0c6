// Create Spike File in the window: the questions asked before a run, the progress dialog with its
// Cancel button while worker threads extract, and the completion box listing every spike file.
#include "app/ExtractionProgressDialog.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QProgressBar>
#include <QScrollArea>
#include <QPushButton>
#include <QTimer>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <deque>
#include <filesystem>
#include <memory>
#include <thread>

#include "platform/CursorControl.h"
#include "platform/StatusCodes.h"
#include "platform/UserQuestions.h"
#include "tests/app/QtTestApplication.h"
#include "tests/app/RecordingCursor.h"
#include "tests/support/FakeDataSourceManager.h"
#include "tests/extract/SpikeFileContents.h"
#include "tests/support/CapturedReports.h"
#include "tests/support/FakeUserQuestions.h"
#include "tests/support/TempDir.h"

namespace skelvane {
namespace {

constexpr int64_t kRecordSpan = 16000;  // 512 samples at 32 kHz

class ExtractionCommandTest : public ::testing::Test {
 protected:
  ExtractionCommandTest() {
    test::EnsureQtApplication();
    for (const char* name : {"g0.kcs", "g1.kcs", "g2.kcs"}) {
      test::FakeSource source;
      source.path = data.File(name);
      source.AddRecords(5'000'000, kRecordSpan, 40);
      for (int32_t r = 1; r < 39; ++r) source.AddSpike(r, 200);
      sources.sources.push_back(std::move(source));
    }
    sources.SealAll();
    for (const auto& source : sources.sources) channels.push_back({source.path, 31.25, 32000.0, 2047});
    run.Parameters().Threshold = 50.0;
    run.Parameters().OutputDirectory = out.Path();
  }

  std::string Listed(const std::string& name, int spikes) const {
    return "\n" + out.File(name) + ": " + std::to_string(spikes) + " spikes";
  }

  test::TempDir data;
  test::TempDir out;
  test::FakeDataSourceManager sources;
  std::vector<ChannelSource> channels;
  ExtractionRun run{sources};
  test::InstalledQuestions questions;
};

TEST_F(ExtractionCommandTest, CompletionBoxListsEverySpikeFileWithItsSpikeCount) {
  test::CapturedReports reports;
  EXPECT_EQ(ExtractionProgressDialog::RunCommand(run, channels, nullptr), kStatusOk);
  EXPECT_TRUE(questions->asked.empty());
  EXPECT_EQ(reports.Texts(), std::vector<std::string>{"Spike Extraction Process Completed" +
                                                      Listed("SpikeFile_g0.kse", 38) + Listed("SpikeFile_g1.kse", 38) +
                                                      Listed("SpikeFile_g2.kse", 38)});
}

TEST_F(ExtractionCommandTest, WaitCursorWhileItRunsAndTheCompletionMessageEvenAfterAFailedRun) {
  auto cursor = std::make_shared<test::RecordingCursor>();
  const auto previousCursor = CursorControl::Install(cursor);
  test::CapturedReports reports;
  EXPECT_EQ(ExtractionProgressDialog::RunCommand(run, channels, nullptr), kStatusOk);
  EXPECT_EQ(reports.Count(), 1u);
  reports.Clear();
  run.Parameters().NumChannels = 0;
  EXPECT_EQ(ExtractionProgressDialog::RunCommand(run, channels, nullptr), kStatusFailed);
  EXPECT_EQ(reports.Texts(),
            (std::vector<std::string>{
                "Invalid Number Of Channels For Extracting Paramters In SetExtractionParameters(), NumChannels = ",
                "Spike Extraction Process Completed"}));
  CursorControl::Install(previousCursor);
  using S = CursorControl::Shape;
  EXPECT_EQ(cursor->shapes, (std::vector<S>{S::Wait, S::Arrow, S::Wait, S::Arrow}));
}

TEST_F(ExtractionCommandTest, ThresholdZeroIsExtractedOnlyAfterTheUserSaysYes) {
  run.Parameters().Threshold = 0.7;  // truncated to 0
  questions->answers = {false, true};
  test::CapturedReports reports;
  EXPECT_EQ(ExtractionProgressDialog::RunCommand(run, channels, nullptr), kStatusCancelled);
  EXPECT_TRUE(reports.Empty());
  EXPECT_TRUE(std::filesystem::is_empty(out.Path()));
  EXPECT_EQ(ExtractionProgressDialog::RunCommand(run, channels, nullptr), kStatusOk);
  EXPECT_EQ(questions->asked,
            std::vector<std::string>(2, "The extraction threshold is 0: nearly every sample counts as a spike. "
                                        "Extract anyway?"));
  EXPECT_EQ(run.WrittenFiles().size(), 3u);
  ASSERT_EQ(reports.Count(), 1u);
  EXPECT_TRUE(reports.Texts()[0].starts_with("Spike Extraction Process Completed\n")) << reports.Texts()[0];
}

// The question's yes is what Enter gives, and no says that nothing was made.
TEST_F(ExtractionCommandTest, AMissingOutputFolderIsNamedAndMadeOnlyWhenTheUserAgrees) {
  const std::string folder = out.File("sessions/day 1");
  run.Parameters().OutputDirectory = folder;
  questions->answers = {false, true};
  test::CapturedReports reports;
  EXPECT_EQ(ExtractionProgressDialog::RunCommand(run, channels, nullptr), kStatusCancelled);
  EXPECT_FALSE(std::filesystem::exists(folder));
  EXPECT_EQ(reports.Texts(),
            std::vector<std::string>{"No spike files were made: the output folder does not exist:\n" + folder});
  reports.Clear();
  EXPECT_EQ(ExtractionProgressDialog::RunCommand(run, channels, nullptr), kStatusOk);
  EXPECT_EQ(questions->asked, std::vector<std::string>(2, "The output folder does not exist. Create it?\n" + folder));
  EXPECT_EQ(questions->goingOnAsked, questions->asked);
  EXPECT_EQ(test::ReadSpikeFile(folder + "/SpikeFile_g2.kse", 32, 1).Spikes.size(), 38u);
}

TEST_F(ExtractionCommandTest, CancelKeepsTheFinishedFilesAndLeavesNoPartOfTheFileBeingWritten) {
  // The worker waits inside the second group until Cancel has been clicked.
  std::atomic<bool> reached{false};
  std::atomic<bool> clicked{false};
  sources.onRead = [&](int32_t source, int64_t record) {
    if (source != 1 || record != 5) return;
    reached = true;
    while (!clicked) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  };
  int bars = 0;
  int ticks = 0;
  bool listShown = false;
  QTimer clicker;
  QObject::connect(&clicker, &QTimer::timeout, [&] {
    auto* dialog = qobject_cast<ExtractionProgressDialog*>(QApplication::activeModalWidget());
    if (dialog == nullptr || !reached || clicked) return;
    bars = static_cast<int>(dialog->findChildren<QProgressBar*>().size());
    // The dialog shows the groups at its next look at the run; never wait forever for it.
    if (bars < 4 && ++ticks < 1000) return;
    // Every file's row is on show (a few do not scroll), once the dialog has laid the list out.
    if (const auto* list = dialog->findChild<QScrollArea*>(); list != nullptr && list->widget() != nullptr) {
      listShown = list->viewport()->height() >= list->widget()->sizeHint().height();
    }
    if (!listShown && ++ticks < 1000) return;
    dialog->CancelButton()->click();
    EXPECT_FALSE(dialog->CancelButton()->isEnabled());
    clicked = true;
  });
  clicker.start(5);
  test::CapturedReports reports;
  ExtractionProgressDialog::RunCommand(run, channels, nullptr);
  EXPECT_TRUE(clicked);
  EXPECT_EQ(bars, 4) << "one bar for the whole run and one per group";
  EXPECT_TRUE(listShown);
  EXPECT_TRUE(run.WasCancelled());
  // On more than one core the third group may have been written beside the blocked second one.
  const auto& files = run.WrittenFiles();
  ASSERT_GE(files.size(), 2u);
  // The box says the run was cancelled and names the group Cancel kept from starting, if any.
  std::string expected = "Spike Extraction Cancelled" + Listed("SpikeFile_g0.kse", 38) + "\n" +
                         out.File("SpikeFile_g1.kse") + ": not written (cancelled)";
  std::vector<std::string> written = {"SpikeFile_g0.kse"};
  if (files.size() == 3 && files[2].complete) {
    expected += Listed("SpikeFile_g2.kse", 38);
    written.push_back("SpikeFile_g2.kse");
  } else if (files.size() == 2) {
    expected += "\n" + out.File("SpikeFile_g2.kse") + ": not started";
  }
  EXPECT_EQ(reports.Texts(), std::vector<std::string>{expected});
  std::vector<std::string> left;
  for (const auto& entry : std::filesystem::directory_iterator(out.Path())) left.push_back(entry.path().filename());
  std::sort(left.begin(), left.end());
  EXPECT_EQ(left, written);
}

TEST(ExtractionCompletionText, ListsWhatFitsInOneReportAndCountsTheRest) {
  std::vector<ExtractionRun::WrittenFile> files(40);
  for (std::size_t i = 0; i < files.size(); ++i) {
    files[i].path = "/data/session/SpikeFile_TT" + std::to_string(i) + ".ktt";
    files[i].spikeCount = static_cast<int64_t>(i * 7);
  }
  const std::string text = ExtractionProgressDialog::CompletionText(files);
  EXPECT_LE(text.size(), kMaxReportLength);
  EXPECT_TRUE(text.starts_with("Spike Extraction Process Completed\n/data/session/SpikeFile_TT0.ktt: 0 spikes\n"));
  const std::size_t shown = static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n')) - 1;
  EXPECT_TRUE(text.ends_with("\n... and " + std::to_string(files.size() - shown) + " more spike files")) << text;
  EXPECT_NE(text.find("SpikeFile_TT" + std::to_string(shown - 1) + ".ktt: " + std::to_string((shown - 1) * 7)),
            std::string::npos);
}

}  // namespace
}  // namespace skelvane
