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
#include "tests/extract/SpikeFileContents.h"
#include "tests/support/CapturedReports.h"
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
  EXPECT_TRUE(test::WithoutTimeLine(fromWindow) == test::WithoutTimeLine(fromCli));
}

INSTANTIATE_TEST_SUITE_P(Settings, CtrlSAgreesWithTheCommandLine,
                         ::testing::Values(Setting{"threshold", "both", 0, 2, "100"},
                                           Setting{"slope", "negative", 1, 1, "30"}),
                         [](const ::testing::TestParamInfo<Setting>& info) {
                           return std::string(info.param.mode) + "_" + info.param.type;
                         });

}  // namespace
}  // namespace skelvane
