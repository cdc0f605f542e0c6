// Create Spike File end to end: a synthetic tetrode with pauses, a late channel and channels of
// unequal length, opened in the real window and extracted with Ctrl+S, gives the same spike file as
// the command-line tool run over the same files with the same parameters.
#include <gtest/gtest.h>

#include <QTest>
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "extract/ExtractionRun.h"
#include "tests/app/RealWindowHarness.h"
#include "tests/cli/CliRunner.h"
#include "tests/support/CapturedReports.h"
#include "tests/support/FakeUserQuestions.h"
#include "tests/support/TempDir.h"
#include "tools/SyntheticRecording.h"

namespace skelvane {
namespace {

namespace fs = std::filesystem;

constexpr const char* kTimeLineStart = "\r\n## Time Opened: ";
constexpr std::size_t kSpikeFileHeaderBytes = 16384;
constexpr std::size_t kTetrodeRecordBytes = 304;  // 32 points of 4 channels
constexpr const char* kSpikeFileName = "SpikeFile_TT1a_TT1b_TT1c_TT1d.ktt";

std::string ReadAll(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// The file with the text of its "## Time Opened" line blanked: the one line two runs may differ in.
std::string WithoutTimeLine(const std::string& bytes) {
  std::string result = bytes;
  const std::size_t from = bytes.find(kTimeLineStart);
  if (from == std::string::npos || from >= kSpikeFileHeaderBytes) return result;
  const std::size_t end = bytes.find("\r\n", from + 2);
  if (end == std::string::npos) return result;
  std::fill(result.begin() + static_cast<std::ptrdiff_t>(from + 2), result.begin() + static_cast<std::ptrdiff_t>(end),
            '*');
  return result;
}

struct Setting {
  const char* mode;
  const char* type;
  int32_t modeCode;
  int32_t typeCode;
  const char* threshold;
};

class CtrlSAgreesWithTheCommandLine : public test::RealWindowHarness, public ::testing::WithParamInterface<Setting> {
 protected:
  void SetUp() override {
    RealWindowHarness::SetUp();
    SynthOptions o;
    o.outDir = recordingDir.Path();
    o.prefix = "TT1";
    o.channels = 4;
    o.seconds = 5.0;
    o.seed = 11;
    o.gaps = {{40, 300'000}, {90, 25'000}};
    o.lateChannel = 1;
    o.lateRecords = 4;
    o.missingTailRecords = {3, 0, 7, 1};
    SynthResult made;
    ASSERT_EQ(SyntheticRecording::Generate(o, made), 0);
    files = made.paths;
    ASSERT_EQ(files.size(), 4u);
  }

  test::TempDir recordingDir;
  test::TempDir outDir;
  test::TempDir cliScratch;
  std::vector<std::string> files;
};

TEST_P(CtrlSAgreesWithTheCommandLine, ByteForByteApartFromTheTimeLine) {
  const Setting s = GetParam();
  Start();
  window->OnDropFiles(files);
  ASSERT_EQ(plots.GetNumPlots(), 4);

  ExtractionParameters& p = window->Extraction().Parameters();
  p.NumChannels = 4;
  p.Threshold = std::stod(s.threshold);
  p.ExtractionMode = s.modeCode;
  p.ExtractionType = s.typeCode;
  p.OutputDirectory = outDir.Path();
  {
    test::CapturedReports reports;
    QTest::keyClick(window->Client(), Qt::Key_S, Qt::ControlModifier);
    ASSERT_EQ(window->Extraction().WrittenFiles().size(), 1u);
    EXPECT_EQ(reports.Texts(), std::vector<std::string>{
                                   "Spike Extraction Process Completed\n" + (fs::path(outDir.Path()) / kSpikeFileName).string() +
                                   ": " + std::to_string(window->Extraction().WrittenFiles()[0].spikeCount) + " spikes"});
  }
  const fs::path spikeFile = fs::path(outDir.Path()) / kSpikeFileName;
  ASSERT_TRUE(fs::exists(spikeFile));
  const std::string fromWindow = ReadAll(spikeFile);
  // The header names the file it lives in: the tool writes to the same name once this one is gone.
  fs::remove(spikeFile);

  std::vector<std::string> args = {"extract"};
  args.insert(args.end(), files.begin(), files.end());
  for (const char* a : {"--channels", "4", "--threshold", s.threshold, "--mode", s.mode, "--type", s.type}) {
    args.push_back(a);
  }
  args.push_back("--outdir");
  args.push_back(outDir.Path());
  const test::CliRun cli = test::RunCli(args, cliScratch);
  ASSERT_EQ(cli.status, 0) << cli.err;
  const std::string fromCli = ReadAll(spikeFile);

  ASSERT_GT(fromWindow.size(), kSpikeFileHeaderBytes);
  EXPECT_EQ((fromWindow.size() - kSpikeFileHeaderBytes) % kTetrodeRecordBytes, 0u);
  EXPECT_GT((fromWindow.size() - kSpikeFileHeaderBytes) / kTetrodeRecordBytes, 20u) << "too few spikes to compare";
  EXPECT_NE(fromWindow.find(kTimeLineStart), std::string::npos);
  ASSERT_EQ(fromWindow.size(), fromCli.size());
  EXPECT_TRUE(WithoutTimeLine(fromWindow) == WithoutTimeLine(fromCli));
}

INSTANTIATE_TEST_SUITE_P(Settings, CtrlSAgreesWithTheCommandLine,
                         ::testing::Values(Setting{"threshold", "both", 0, 2, "100"},
                                           Setting{"slope", "negative", 1, 1, "30"}),
                         [](const ::testing::TestParamInfo<Setting>& info) {
                           return std::string(info.param.mode) + "_" + info.param.type;
                         });

// A second Create Spike File over the same groups asks once, naming the files: Keep Both writes the
// new file beside the first under the next number, Cancel writes nothing and shows no completion box,
// Replace writes over the first and the completion box says so.
class SpikeFilesAlreadyThere : public test::RealWindowHarness {};

TEST_F(SpikeFilesAlreadyThere, CtrlSAsksOnceAndKeepsBothCancelsOrReplacesAsAnswered) {
  Start();
  OpenTetrode();
  test::TempDir out;
  ExtractionParameters& p = window->Extraction().Parameters();
  p.NumChannels = 4;
  p.Threshold = 100;
  p.OutputDirectory = out.Path();
  test::InstalledQuestions questions;
  const fs::path first = fs::path(out.Path()) / kSpikeFileName;
  const auto press = [&] {
    test::CapturedReports reports;
    // The progress dialog took the focus; the user's next Ctrl+S goes to the window again.
    window->activateWindow();
    EXPECT_TRUE(QTest::qWaitForWindowActive(window.get()));
    QTest::keyClick(window->Client(), Qt::Key_S, Qt::ControlModifier);
    return reports.Texts();
  };
  const auto completion = [&](const fs::path& path, const char* more) {
    return std::vector<std::string>{"Spike Extraction Process Completed\n" + path.string() + ": " +
                                    std::to_string(window->Extraction().WrittenFiles().at(0).spikeCount) + " spikes" +
                                    more};
  };
  std::vector<std::string> shown = press();
  ASSERT_EQ(window->Extraction().WrittenFiles().size(), 1u) << testing::PrintToString(shown);
  EXPECT_EQ(shown, completion(first, ""));
  EXPECT_TRUE(questions->asked.empty()) << "nothing to replace yet";
  const std::string firstBytes = ReadAll(first);
  const std::string question = "Spike files of these names are already there:\n" + first.string() +
                               "\nReplace them, keep both (the new files under numbered names), or cancel?";

  questions->choices = {1};  // Keep Both
  const fs::path second = fs::path(out.Path()) / "SpikeFile_TT1a_TT1b_TT1c_TT1d-2.ktt";
  shown = press();
  EXPECT_EQ(shown, completion(second, ""));
  EXPECT_EQ(questions->asked, std::vector<std::string>{question});
  EXPECT_EQ(questions->choicesOffered, (std::vector<std::string>{"Replace", "Keep Both", "Cancel"}));
  EXPECT_EQ(questions->defaultChoice, 1);
  EXPECT_EQ(ReadAll(first), firstBytes);
  EXPECT_EQ(ReadAll(second).size(), firstBytes.size());

  questions->choices = {2};  // Cancel
  EXPECT_TRUE(press().empty());
  EXPECT_EQ(std::distance(fs::directory_iterator(out.Path()), fs::directory_iterator()), 2);

  questions->choices = {0};  // Replace, over a first file cut back to its header
  fs::remove(second);
  fs::resize_file(first, 16384);
  shown = press();
  EXPECT_EQ(shown, completion(first, " (replaced the earlier file)"));
  EXPECT_EQ(questions->asked.size(), 3u);
  EXPECT_EQ(questions->asked.back(), question);
  EXPECT_EQ(ReadAll(first).size(), firstBytes.size());
}

}  // namespace
}  // namespace skelvane
