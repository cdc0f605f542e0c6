// The run over a list of channels: grouping, stopping, the cursor and completion message, and groups
// whose files cannot be opened or written.
#include <gtest/gtest.h>
#include <sys/resource.h>

#include <cerrno>
#include <cstring>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <limits>
#include <memory>
#include <random>

#include "datafile/FileHeader.h"
#include "extract/ExtractionRun.h"
#include "spikes/DataFileGuard.h"
#include "tests/extract/ExtractionRunFixture.h"
#include "tests/support/FakeDataSourceManager.h"
#include "tests/extract/SpikeFileContents.h"
#include "tests/support/CapturedReports.h"
#include "tests/support/TempDir.h"

namespace skelvane {
namespace {

using namespace test;

// ---- Run over the channels ------------------------------------------------------------------

TEST_F(ExtractionRunTest, FiveChannelsInGroupsOfTwoGiveTwoStereotrodeFiles) {
  for (const char* name : {"p0.kcs", "p1.kcs", "p2.kcs", "p3.kcs", "p4.kcs"}) AddSource(name, 4);
  ShowAll();
  run.Parameters().NumChannels = 2;
  test::CapturedReports reports;
  EXPECT_EQ(run.CreateSpikeFiles(channels), 0);
  EXPECT_TRUE(reports.Empty());
  ASSERT_EQ(run.WrittenFiles().size(), 2u);
  EXPECT_EQ(run.WrittenFiles()[0].path, dir.File("SpikeFile_p0_p1.kst"));
  EXPECT_EQ(run.WrittenFiles()[1].path, dir.File("SpikeFile_p2_p3.kst"));
  int files = 0;
  for (const auto& entry : std::filesystem::directory_iterator(dir.Path())) {
    files += entry.path().extension() == ".kst";
  }
  EXPECT_EQ(files, 2);
}

TEST_F(ExtractionRunTest, AnUnknownSourceStopsTheRunAndKeepsEarlierFiles) {
  for (const char* name : {"p0.kcs", "p1.kcs", "p2.kcs", "p3.kcs"}) AddSource(name, 3);
  ShowAll();
  channels[2].path = dir.File("gone.kcs");
  EXPECT_EQ(run.CreateSpikeFiles(channels), -1);
  EXPECT_EQ(run.WrittenFiles().size(), 2u);
  EXPECT_TRUE(std::filesystem::exists(dir.File("SpikeFile_p1.kse")));
  EXPECT_FALSE(std::filesystem::exists(dir.File("SpikeFile_p3.kse")));

  channels[0].path = dir.File("gone.kcs");
  EXPECT_EQ(run.CreateSpikeFiles(channels), -1);
  EXPECT_TRUE(run.WrittenFiles().empty());
}

TEST_F(ExtractionRunTest, RefusedParametersStopTheRunBeforeAnyFile) {
  AddSource("p0.kcs", 3);
  ShowAll();
  run.Parameters().AlignmentPt = 40;
  test::CapturedReports reports;
  EXPECT_EQ(run.CreateSpikeFiles(channels), -1);
  ASSERT_EQ(reports.Count(), 1u);
  EXPECT_EQ(reports.Texts()[0],
            "Invalid Alignment Point For Extracting Paramters In SetExtractionParameters(), Alignment Point  = 39");
  EXPECT_FALSE(std::filesystem::exists(dir.File("SpikeFile_p0.kse")));
}

TEST_F(ExtractionRunTest, UnwritableOutputDirectoryReportsOpenFailureForEachGroupAndGoesOn) {
  AddSource("p0.kcs", 3);
  AddSource("p1.kcs", 3);
  ShowAll();
  run.Parameters().OutputDirectory = dir.File("missing/deeper");
  test::CapturedReports reports;
  EXPECT_EQ(run.CreateSpikeFiles(channels), 0);
  // The message names the file and the system's reason.
  const std::string reason = std::string(": ") + std::strerror(ENOENT);
  EXPECT_EQ(reports.Texts(),
            (std::vector<std::string>{std::string(kOpenFailure) + ": " + dir.File("missing/deeper/SpikeFile_p0.kse") + reason,
                                      std::string(kOpenFailure) + ": " + dir.File("missing/deeper/SpikeFile_p1.kse") + reason}));
    // Both groups are listed as not written, so that every account of the run says so.
  ASSERT_EQ(run.WrittenFiles().size(), 2u);
  for (const auto& file : run.WrittenFiles()) {
    EXPECT_FALSE(file.complete);
    EXPECT_EQ(file.outcome, ExtractionRun::Outcome::NotCreated);
  }
  EXPECT_EQ(run.FailedGroups(), 2);
}

TEST_F(ExtractionRunTest, WriteFailureEndsItsGroupAndTheNextGroupIsWrittenInFull) {
  AddSource("p0.kcs", 20);
  AddSource("p1.kcs", 20);
  for (int32_t r = 1; r < 19; ++r) {
    Source(0).AddSpike(r, 100);
    Source(1).AddSpike(r, 100);
  }
  // The first group's file (18 spikes) grows past the file-size limit, the second (5 spikes) stays below it.
  for (int32_t r = 6; r < 20; ++r) Source(1).samples[r].assign(kSamplesPerRecord, 0);
  ShowAll();
  rlimit previous{};
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &previous), 0);
  rlimit limit = previous;
  limit.rlim_cur = kHeaderSize + 10 * 112;
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limit), 0);
  test::CapturedReports reports;
  const int32_t result = run.CreateSpikeFiles(channels);
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &previous), 0);
  EXPECT_EQ(result, 0);
  EXPECT_EQ(reports.Texts(), std::vector<std::string>{"Error writing spike file; disk full or file not writable, error code: " +
                                                      std::to_string(EFBIG) + ": " + dir.File("SpikeFile_p0.kse") +
                                                      ": " + std::strerror(EFBIG)});
  ASSERT_EQ(run.WrittenFiles().size(), 2u);
  EXPECT_FALSE(run.WrittenFiles()[0].complete);
  EXPECT_FALSE(std::filesystem::exists(dir.File("SpikeFile_p0.kse")));
  EXPECT_TRUE(run.WrittenFiles()[1].complete);
  EXPECT_EQ(run.WrittenFiles()[1].spikeCount, 5);
  EXPECT_EQ(Output("SpikeFile_p1.kse", 1).Spikes.size(), 5u);
}

TEST_F(ExtractionRunTest, GroupWhoseFileNameAnEarlierGroupOfTheRunUsedIsSkippedNotWrittenOver) {
  // Two days' recordings of the same electrode carry the same title; into one output folder the
  // second group would silently replace the first one's spikes.
  std::filesystem::create_directory(dir.File("day1"));
  std::filesystem::create_directory(dir.File("day2"));
  std::filesystem::create_directory(dir.File("out"));
  AddSource("day1/TT1.kcs", 5);
  AddSource("day2/TT1.kcs", 5);
  AddSource("day2/TT2.kcs", 5);
  Source(0).AddSpike(1, 100);
  Source(1).AddSpike(3, 200);
  ShowAll();
  run.Parameters().OutputDirectory = dir.File("out");
  test::CapturedReports reports;
  EXPECT_EQ(run.CreateSpikeFiles(channels), 0);
  const std::string reused = dir.File("out/SpikeFile_TT1.kse");
  ASSERT_EQ(reports.Count(), 1u);
  EXPECT_EQ(reports.Texts()[0], "An earlier group of this run already wrote this spike file; group skipped: " + reused);
  ASSERT_EQ(run.WrittenFiles().size(), 3u);
  EXPECT_EQ(run.WrittenFiles()[0].path, reused);
  EXPECT_EQ(run.WrittenFiles()[1].path, reused);
  EXPECT_EQ(run.WrittenFiles()[1].outcome, ExtractionRun::Outcome::NameTaken);
  EXPECT_EQ(run.WrittenFiles()[2].path, dir.File("out/SpikeFile_TT2.kse"));
  const auto file = test::ReadSpikeFile(reused, kNumSpikePoints, 1);
  ASSERT_EQ(file.Spikes.size(), 1u);
  EXPECT_EQ(file.Spikes[0].Timestamp, SampleTime(kStart + kRecordSpan, 100));
}

TEST_F(ExtractionRunTest, SpikeFileOfAnEarlierRunIsWrittenOver) {
  AddSource("a.kcs", 5);
  Source(0).AddSpike(1, 100);
  ShowAll();
  test::CapturedReports reports;
  const std::string path = dir.File("SpikeFile_a.kse");
  ASSERT_EQ(run.CreateSpikeFiles(channels), 0);
  EXPECT_FALSE(run.WrittenFiles().at(0).replaced);
  EXPECT_EQ(run.ExistingSpikeFiles(channels), std::vector<std::string>{path});
  ASSERT_EQ(run.CreateSpikeFiles(channels), 0);
  EXPECT_TRUE(run.WrittenFiles().at(0).replaced);
  EXPECT_TRUE(reports.Empty());
  EXPECT_EQ(Output("SpikeFile_a.kse", 1).Spikes.size(), 1u);

  // Keep Both: each run writes beside the files already there, under the first free number.
  const std::string earlier = test::ReadWholeFile(path) + "earlier";
  dir.Write("SpikeFile_a.kse", earlier);
  run.SetExisting(ExtractionRun::Existing::KeepBoth);
  for (const char* numbered : {"SpikeFile_a-2.kse", "SpikeFile_a-3.kse"}) {
    ASSERT_EQ(run.CreateSpikeFiles(channels), 0);
    EXPECT_EQ(run.WrittenFiles().at(0).path, dir.File(numbered));
    EXPECT_FALSE(run.WrittenFiles().at(0).replaced);
    EXPECT_EQ(Output(numbered, 1).Spikes.size(), 1u);
  }
  EXPECT_EQ(test::ReadWholeFile(path), earlier);
  EXPECT_TRUE(reports.Empty());
}

// A recording that lies at a spike file's name is never written over, whatever the run was told to do
// with existing spike files; nor is it offered for replacing.
TEST_F(ExtractionRunTest, ARecordingAtASpikeFilesNameIsRefusedAndListedAsNotWritten) {
  AddSource("a.kcs", 5);
  AddSource("b.kcs", 5);
  ShowAll();
  const std::string recording = dir.Write("SpikeFile_a.kse", std::string(kHeaderMarker) + " Data File Header\r\n");
  for (const auto existing : {ExtractionRun::Existing::Replace, ExtractionRun::Existing::KeepBoth}) {
    run.SetExisting(existing);
    const std::vector<std::string> offered = run.ExistingSpikeFiles(channels);
    EXPECT_EQ(std::count(offered.begin(), offered.end(), recording), 0);
    test::CapturedReports reports;
    ASSERT_EQ(run.CreateSpikeFiles(channels), 0);
    EXPECT_EQ(reports.Texts(), std::vector<std::string>{std::string(kOutputIsRecordingMessage) + " " + recording});
    ASSERT_EQ(run.WrittenFiles().size(), 2u);
    EXPECT_EQ(run.WrittenFiles()[0].outcome, ExtractionRun::Outcome::Refused);
    EXPECT_FALSE(run.WrittenFiles()[0].complete);
    EXPECT_TRUE(run.WrittenFiles()[1].complete);
    EXPECT_EQ(run.FailedGroups(), 1);
    EXPECT_EQ(test::ReadWholeFile(recording), std::string(kHeaderMarker) + " Data File Header\r\n");
  }
}

// A spike file name that leads to one of the run's data files (a link, a second name of the file, the
// file itself) would destroy a recording: the run writes nothing at all.
TEST_F(ExtractionRunTest, AnOutputThatIsOneOfTheInputsStopsTheRunBeforeAnythingIsWritten) {
  AddSource("p0.kcs", 3);
  AddSource("p1.kcs", 3);
  ShowAll();
  const std::string recording = dir.Write("p0.kcs", "the recording");
  dir.Write("p1.kcs", "another recording");
  const std::string clash = dir.File("SpikeFile_p1.kse");
  for (const bool symbolic : {true, false}) {
    SCOPED_TRACE(symbolic ? "symbolic link" : "second name");
    std::filesystem::remove(clash);
    symbolic ? std::filesystem::create_symlink(recording, clash) : std::filesystem::create_hard_link(recording, clash);
    test::CapturedReports reports;
    EXPECT_EQ(run.CreateSpikeFiles(channels), -1);
    EXPECT_EQ(reports.Texts(), std::vector<std::string>{"This output is one of the input files; nothing written: " + clash});
    EXPECT_FALSE(std::filesystem::exists(dir.File("SpikeFile_p0.kse")));
    EXPECT_EQ(test::ReadWholeFile(recording), "the recording");
    EXPECT_TRUE(run.WrittenFiles().empty());
  }
}

TEST_F(ExtractionRunTest, EmptyGroupIsReported) {
  test::CapturedReports reports;
  EXPECT_EQ(run.CreateSpikeBuffers({}, kDt), -1);
  ASSERT_EQ(reports.Count(), 1u);
  EXPECT_EQ(reports.Texts()[0], "Error, There are not any files to create spike files from in CreateSpikeBuffers()");
}

}  // namespace
}  // namespace skelvane
