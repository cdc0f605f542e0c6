// The extract command run as a user would, checked against the same extraction done the way the
// main window holds its files, and against the spike times the generator put into the recording.
#include <gtest/gtest.h>

#include <pty.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <regex>
#include <set>
#include <sstream>
#include <thread>

#include "platform/Utf8Text.h"
#include "tests/cli/CliRunner.h"
#include "tests/cli/ExtractCommandFixture.h"
#include "tests/extract/SpikeFileContents.h"
#include "tests/support/CapturedReports.h"
#include "tools/CscFileWriter.h"
#include "tools/SyntheticRecording.h"

namespace skelvane {
namespace {

using namespace test;

struct Setting {
  const char* mode;
  const char* type;
  int32_t modeCode;
  int32_t typeCode;
  const char* threshold;
  const char* filter = "none";
};

class ExtractCommandAgreesWithTheWindow : public ExtractCommandTest, public ::testing::WithParamInterface<Setting> {};

TEST_P(ExtractCommandAgreesWithTheWindow, ByteForByteApartFromTheTimeLine) {
  const Setting s = GetParam();
  const std::string out = dir.File("out");
  std::filesystem::create_directory(out);
  {
    WindowSession window(recording.paths);
    ExtractionParameters& p = window.run.Parameters();
    p.NumChannels = 4;
    p.Threshold = std::stod(s.threshold);
    p.ExtractionMode = s.modeCode;
    p.ExtractionType = s.typeCode;
    std::string refusal;
    p.Filter = FilterChoice::Parse(s.filter, refusal).value();
    p.OutputDirectory = out;
    test::CapturedReports reports;
    ASSERT_EQ(window.run.CreateSpikeFiles(window.Channels()), 0);
    EXPECT_TRUE(reports.Empty());
  }
  // The same name, so that the header's file name line agrees too.
  std::filesystem::rename(TetrodeFile(out), dir.File("window.ktt"));

  const test::CliRun cli = test::RunCli(
      Args({"--channels", "4", "--threshold", s.threshold, "--mode", s.mode, "--type", s.type, "--filter", s.filter,
            "--outdir", out}),
      dir);
  ASSERT_EQ(cli.status, 0) << cli.err;
  EXPECT_EQ(cli.err, kCompleted);
  const auto fromCli = test::ReadSpikeFile(TetrodeFile(out), kNumSpikePoints, 4);
  const auto fromWindow = test::ReadSpikeFile(dir.File("window.ktt"), kNumSpikePoints, 4);
  EXPECT_EQ(cli.out, TetrodeFile(out) + ": " + std::to_string(fromCli.Spikes.size()) + " spikes\n");
  EXPECT_TRUE(fromCli.WholeRecords);
  EXPECT_GT(fromCli.Spikes.size(), 20u);
  ASSERT_EQ(fromCli.Bytes.size(), fromWindow.Bytes.size());
  EXPECT_TRUE(WithoutTimeLine(fromCli.Bytes) == WithoutTimeLine(fromWindow.Bytes));
  // A filtered file says so on the line that closes its header; one as recorded has no such line.
  std::string refusal;
  const std::string filterLine = FilterChoice::Parse(s.filter, refusal).value().HeaderLine();
  EXPECT_EQ(fromCli.Header.find(filterLine + "\r\n\r\n") != std::string::npos, std::string(s.filter) != "none");
  EXPECT_EQ(fromCli.Header.find("-Filter") != std::string::npos, std::string(s.filter) != "none");
}

INSTANTIATE_TEST_SUITE_P(Settings, ExtractCommandAgreesWithTheWindow,
                         ::testing::Values(Setting{"threshold", "both", 0, 2, "100"},
                                           Setting{"threshold", "negative", 0, 1, "90.7"},
                                           Setting{"slope", "positive", 1, 0, "25"},
                                           Setting{"threshold", "both", 0, 2, "40", "spike"},
                                           Setting{"threshold", "negative", 0, 1, "30", "300:3000"}),
                         [](const ::testing::TestParamInfo<Setting>& info) {
                           std::string name = std::string(info.param.mode) + "_" + info.param.type;
                           if (std::string(info.param.filter) == "spike") name += "_spike_band";
                           if (std::string(info.param.filter) == "300:3000") name += "_custom_band";
                           return name;
                         });

TEST_F(ExtractCommandTest, SpikesFoundMatchTheGeneratedSpikeTimes) {
  // 150 counts is 7.5 noise deviations: only the generator's spikes cross it. Spikes are missed only
  // where a channel has no record (the late start, the early ends) or next to a pause.
  const std::string out = dir.File("out");
  std::filesystem::create_directory(out);
  const test::CliRun cli =
      test::RunCli(Args({"--channels", "4", "--threshold", "150", "--type", "both", "--outdir", out}), dir);
  ASSERT_EQ(cli.status, 0) << cli.err;
  const auto file = test::ReadSpikeFile(TetrodeFile(out), kNumSpikePoints, 4);
  ASSERT_TRUE(file.WholeRecords);
  for (std::size_t i = 1; i < file.Spikes.size(); ++i) {
    ASSERT_GT(file.Spikes[i].Timestamp, file.Spikes[i - 1].Timestamp) << i;
  }
  const Agreement a = Compare(recording.spikes, file.Spikes);
  const double recall = static_cast<double>(a.found) / static_cast<double>(recording.spikes.size());
  const double spurious = static_cast<double>(a.spurious) / static_cast<double>(file.Spikes.size());
  EXPECT_GE(recall, 0.97) << a.found << " of " << recording.spikes.size();
  EXPECT_LE(spurious, 0.02) << a.spurious << " of " << file.Spikes.size();
}

TEST_F(ExtractCommandTest, HeaderCopiesTheValuesOfEachSource) {
  const std::string out = dir.File("out");
  std::filesystem::create_directory(out);
  ASSERT_EQ(test::RunCli(Args({"--channels", "4", "--threshold", "-12.9", "--outdir", out}), dir).status, 0);
  const auto lines = HeaderLines(test::ReadSpikeFile(TetrodeFile(out), kNumSpikePoints, 4).Header);
  ASSERT_GE(lines.size(), 20u);
  DataSourceManager manager;
  for (const std::string& path : recording.paths) ASSERT_EQ(manager.OpenSource(path), 0);
  const auto perSource = [&](const char* key) {
    std::string line = std::string("\t") + key;
    for (int32_t i = 0; i < 4; ++i) {
      std::string value;
      manager.GetHeaderValue(i, key, value);
      line += "  " + value;
    }
    return line;
  };
  EXPECT_EQ(lines[2], "## File Name: " + TetrodeFile(out));
  for (int32_t i = 0; i < 4; ++i) EXPECT_EQ(lines[3 + i], "## Created From File: " + recording.paths[i]);
  EXPECT_EQ(lines[8], "-RecordSize  304");
  EXPECT_EQ(lines[9], perSource("-ADChannel"));
  EXPECT_EQ(lines[10], perSource("-ADGain"));
  EXPECT_EQ(lines[11], perSource("-AmpGain"));
  EXPECT_EQ(lines[12], perSource("-AmpLowCut"));
  EXPECT_EQ(lines[13], perSource("-AmpHiCut"));
  EXPECT_EQ(lines[14], "\t-SamplingFrequency  32000.");
  EXPECT_EQ(lines[15], perSource("-ADBitVolts"));
  std::string adMax;
  manager.GetHeaderValue(3, "-ADMaxValue", adMax);
  EXPECT_EQ(lines[16], "\t-ADMaxValue  " + adMax);
  EXPECT_EQ(lines[17], "\t-AlignmentPt  8");
  EXPECT_EQ(lines[18], "\t-ThreshVal  -12  -12  -12  -12");
  EXPECT_NE(perSource("-ADChannel"), "\t-ADChannel        ");  // the sources do carry the keys
}

TEST_F(ExtractCommandTest, FiveFilesInPairsGiveTwoStereotrodeFiles) {
  SynthOptions five = TetrodeOptions(dir.File("five"));
  five.channels = 5;
  five.lateChannel = -1;
  five.missingTailRecords.clear();
  SynthResult made;
  ASSERT_EQ(SyntheticRecording::Generate(five, made), 0);
  std::vector<std::string> args = {"extract"};
  args.insert(args.end(), made.paths.begin(), made.paths.end());
  for (const char* a : {"--channels", "2", "--threshold", "100"}) args.push_back(a);
  const test::CliRun cli = test::RunCli(args, dir);
  ASSERT_EQ(cli.status, 0) << cli.err;
  const std::string folder = dir.File("five");
  const auto count = [](const std::string& path) {
    return std::to_string(test::ReadSpikeFile(path, kNumSpikePoints, 2).Spikes.size());
  };
  const std::string first = folder + "/SpikeFile_TT1a_TT1b.kst";
  const std::string second = folder + "/SpikeFile_TT1c_TT1d.kst";
  // The fifth file makes no group of its own: it is named, so that no recording is left out unnoticed.
  EXPECT_EQ(cli.out, first + ": " + count(first) + " spikes\n" + second + ": " + count(second) + " spikes\n" +
                         made.paths[4] + ": not extracted, too few files left for a group of 2\n");
  int spikeFiles = 0;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) {
    spikeFiles += entry.path().filename().string().starts_with("SpikeFile");
  }
  EXPECT_EQ(spikeFiles, 2);
}

TEST_F(ExtractCommandTest, WithoutOutputFolderEachFileGoesBesideItsGroupsFirstDataFile) {
  // The first file of the group lives in a folder of its own.
  const std::string lead = dir.File("lead");
  std::filesystem::create_directory(lead);
  std::filesystem::rename(recording.paths[0], lead + "/TT1a.kcs");
  const test::CliRun cli = test::RunCli({"extract", lead + "/TT1a.kcs", recording.paths[1], recording.paths[2],
                                         recording.paths[3], "--channels", "4", "--threshold", "100"},
                                        dir);
  ASSERT_EQ(cli.status, 0) << cli.err;
  EXPECT_TRUE(std::filesystem::exists(TetrodeFile(lead)));
  EXPECT_FALSE(std::filesystem::exists(TetrodeFile(dir.File("rec"))));
  EXPECT_TRUE(cli.out.starts_with(TetrodeFile(lead) + ": ")) << cli.out;
}

TEST_F(ExtractCommandTest, UnwritableOutputFolderNamesEachFileWithTheReasonAndTheRunGoesOn) {
  // /proc exists for everyone, root included, and takes no new files.
  const test::CliRun cli = test::RunCli(Args({"--channels", "2", "--threshold", "100", "--outdir", "/proc"}), dir);
  EXPECT_EQ(cli.status, 1);
  const std::string reason = std::string(": ") + std::strerror(ENOENT) + "\n";
  // Every file is refused: the account says so, file by file, and the command fails. The groups run
  // side by side, so their refusals come in the order they fail.
  const std::string first = kOpenFailure + std::string("/proc/SpikeFile_TT1a_TT1b.kst") + reason;
  const std::string second = kOpenFailure + std::string("/proc/SpikeFile_TT1c_TT1d.kst") + reason;
  const std::string account = kCompleted + std::string(
                                  "SkelvaneV3: Not every spike file was written: 0 of 2 spike files written (each one "
                                  "not written is listed with its reason)\n");
  EXPECT_TRUE(cli.err == first + second + account || cli.err == second + first + account) << cli.err;
  EXPECT_EQ(cli.out, "/proc/SpikeFile_TT1a_TT1b.kst: not written (could not be created)\n"
                     "/proc/SpikeFile_TT1c_TT1d.kst: not written (could not be created)\n");
}

// The command line writes over the spike files of an earlier run, as it always has, and says which.
TEST_F(ExtractCommandTest, ASecondRunReplacesTheEarlierSpikeFilesAndSaysWhich) {
  const std::string out = dir.File("out");
  const std::vector<std::string> args = Args({"--channels", "2", "--threshold", "100", "--outdir", out, "--quiet"});
  const test::CliRun first = test::RunCli(args, dir);
  ASSERT_EQ(first.status, 0) << first.err;
  const test::CliRun second = test::RunCli(args, dir);
  ASSERT_EQ(second.status, 0) << second.err;
  EXPECT_EQ(second.out, first.out);
  EXPECT_EQ(second.err, kCompleted + std::string("SkelvaneV3: Replaced the spike file of an earlier run: ") + out +
                            "/SpikeFile_TT1a_TT1b.kst\nSkelvaneV3: Replaced the spike file of an earlier run: " + out +
                            "/SpikeFile_TT1c_TT1d.kst\n");
}

TEST_F(ExtractCommandTest, MissingOutputFolderIsMadeWithItsParentsAndSaidSo) {
  const std::string missing = dir.File("no/such/folder");
  const test::CliRun cli = test::RunCli(Args({"--channels", "2", "--threshold", "100", "--outdir", missing}), dir);
  EXPECT_EQ(cli.status, 0) << cli.err;
  EXPECT_TRUE(std::filesystem::is_directory(missing));
  EXPECT_EQ(cli.err, "SkelvaneV3: Made the output folder " + missing + "\n" + kCompleted);
  EXPECT_TRUE(cli.out.starts_with(missing + "/")) << cli.out;

  // Where a file stands in the way nothing is made or extracted, and the message says why.
  const std::string blocked = dir.Write("blocker", "not a folder\n") + "/out";
  const test::CliRun refused = test::RunCli(Args({"--channels", "2", "--threshold", "100", "--outdir", blocked}), dir);
  EXPECT_EQ(refused.status, 1);
  EXPECT_EQ(refused.err, "SkelvaneV3: The output folder could not be made: " + blocked + ": Not a directory\n");
  EXPECT_EQ(refused.out, "");
}

TEST_F(ExtractCommandTest, FileThatCannotBeOpenedIsNamedAndStopsBeforeAnyGroupIsFormed) {
  const std::string notData = dir.Write("notes.kcs", "these are notes, not a recording\n");
  const test::CliRun cli = test::RunCli(
      {"extract", recording.paths[0], notData, recording.paths[1], "--channels", "1", "--threshold", "100"}, dir);
  EXPECT_EQ(cli.status, 1);
  EXPECT_NE(cli.err.find("SkelvaneV3: This data file could not be opened: " + notData + "\n"), std::string::npos)
      << cli.err;
  EXPECT_NE(cli.err.find("SkelvaneV3: Not every data file could be opened; no spike files were written, so that no "
                         "group mixes channels.\n"),
            std::string::npos)
      << cli.err;
  EXPECT_EQ(cli.out, "");
  for (const auto& entry : std::filesystem::directory_iterator(dir.File("rec"))) {
    EXPECT_FALSE(entry.path().filename().string().starts_with("SpikeFile")) << entry.path();
  }
}

TEST_F(ExtractCommandTest, MissingDataFileIsAUsageErrorNamingIt) {
  const std::string missing = dir.File("missing.kcs");
  const test::CliRun cli = test::RunCli(
      {"extract", recording.paths[0], missing, recording.paths[1], "--channels", "1", "--threshold", "100"}, dir);
  EXPECT_NE(cli.status, 0);
  EXPECT_NE(cli.status, 1);
  EXPECT_NE(cli.err.find("File does not exist: " + missing), std::string::npos) << cli.err;
  EXPECT_EQ(cli.out, "");
  for (const auto& entry : std::filesystem::directory_iterator(dir.File("rec"))) {
    EXPECT_FALSE(entry.path().filename().string().starts_with("SpikeFile")) << entry.path();
  }
}

TEST_F(ExtractCommandTest, ThresholdThatIsNoFiniteNumberIsRefused) {
  // Truncated for the detector, "nan" would silently become a threshold of 0 and "inf" the largest one.
  const std::string out = dir.File("out");
  std::filesystem::create_directory(out);
  for (const char* threshold : {"nan", "inf", "-inf", "1e999"}) {
    const test::CliRun cli = test::RunCli(Args({"--channels", "4", "--threshold", threshold, "--outdir", out}), dir);
    EXPECT_NE(cli.status, 0) << threshold;
    EXPECT_NE(cli.err.find("--threshold"), std::string::npos) << threshold << ": " << cli.err;
  }
  EXPECT_TRUE(std::filesystem::is_empty(out));
}

// A band the recordings cannot take, or that does not parse, is refused with a message naming the
// field before anything is made: not even the missing output folder.
TEST_F(ExtractCommandTest, ABandFilterThatCannotBeHadIsRefusedNamingTheFieldBeforeAnythingIsMade) {
  const std::string out = dir.File("out");
  const test::CliRun high = test::RunCli(Args({"--channels", "4", "--threshold", "40", "--filter", "300:20000",
                                               "--outdir", out}),
                                         dir);
  EXPECT_EQ(high.status, 1);
  EXPECT_EQ(high.err, "SkelvaneV3: Filter high cut-off: 20000 Hz is not inside (0, 16000) Hz, above 0 and below half "
                      "the sampling rate: " + recording.paths[0] + "\n");
  const test::CliRun crossed =
      test::RunCli(Args({"--channels", "4", "--threshold", "40", "--filter", "3000:300", "--outdir", out}), dir);
  EXPECT_GT(crossed.status, 100);
  EXPECT_NE(crossed.err.find("--filter: Filter low cut-off: 3000 Hz is not below the high cut-off, 300 Hz\n"),
            std::string::npos)
      << crossed.err;
  const test::CliRun text =
      test::RunCli(Args({"--channels", "4", "--threshold", "40", "--filter", "6k:", "--outdir", out}), dir);
  EXPECT_GT(text.status, 100);
  EXPECT_NE(text.err.find("--filter: Filter low cut-off: \"6k\" is not a number of hertz\n"), std::string::npos)
      << text.err;
  EXPECT_FALSE(std::filesystem::exists(out));
}

TEST_F(ExtractCommandTest, MalformedOptionsAreRefusedWithoutWritingFiles) {
  const std::string out = dir.File("out");
  std::filesystem::create_directory(out);
  EXPECT_NE(test::RunCli(Args({"--channels", "3", "--threshold", "100", "--outdir", out}), dir).status, 0);
  EXPECT_NE(test::RunCli(Args({"--channels", "4", "--outdir", out}), dir).status, 0);  // no threshold
  EXPECT_NE(test::RunCli(Args({"--channels", "4", "--threshold", "x", "--outdir", out}), dir).status, 0);
  EXPECT_NE(test::RunCli(Args({"--channels", "4", "--threshold", "9", "--mode", "peak", "--outdir", out}), dir).status,
            0);
  EXPECT_NE(test::RunCli(Args({"--channels", "4", "--threshold", "9", "--type", "up", "--outdir", out}), dir).status,
            0);
  EXPECT_TRUE(std::filesystem::is_empty(out));
}

// The summary must never take the place of a recording, whatever its name: the run writes nothing.
TEST_F(ExtractCommandTest, ASummaryThatIsOneOfTheInputsIsRefusedBeforeAnythingIsWritten) {
  const std::string out = dir.File("out");
  std::filesystem::create_directory(out);
  const std::string before = test::ReadWholeFile(recording.paths[2]);
  const std::string summary = dir.File("summary.csv");
  std::filesystem::create_hard_link(recording.paths[2], summary);
  const test::CliRun cli =
      test::RunCli(Args({"--channels", "4", "--threshold", "100", "--outdir", out, "--summary", summary}), dir);
  EXPECT_EQ(cli.status, 1);
  EXPECT_EQ(cli.err, "SkelvaneV3: This output is one of the input files; nothing written: " + summary + "\n");
  EXPECT_TRUE(std::filesystem::is_empty(out));
  EXPECT_TRUE(test::ReadWholeFile(recording.paths[2]) == before);
}

// A file name that is no UTF-8 (an old Latin-1 folder) still gives a summary any JSON reader takes.
TEST_F(ExtractCommandTest, JsonSummaryStaysValidUnicodeForNamesThatAreNoUtf8) {
  const std::string folder = dir.File("caf\xe9");
  std::filesystem::create_directory(folder);
  std::filesystem::copy_file(recording.paths[0], folder + "/TT1a.kcs");
  const std::string summary = dir.File("summary.json");
  const test::CliRun cli = test::RunCli(
      {"extract", folder + "/TT1a.kcs", "--channels", "1", "--threshold", "100", "--summary", summary}, dir);
  ASSERT_EQ(cli.status, 0) << cli.err;
  const std::string json = test::ReadWholeFile(summary);
  EXPECT_NE(json.find("\"spike_file\": \"" + dir.Path() + "/caf\\ufffd/SpikeFile_TT1a.kse\""), std::string::npos) << json;
  for (std::string_view rest = json; !rest.empty();) {
    char32_t character = 0;
    const std::size_t length = Utf8Text::CharacterAt(rest, character);
    ASSERT_GT(length, 0u) << "not UTF-8 at byte " << json.size() - rest.size();
    rest.remove_prefix(length);
  }
}

// A recording whose timestamps never move on would give spikes that all share one time.
TEST_F(ExtractCommandTest, ARecordingWhoseTimestampsNeverIncreaseIsRefusedWithStatusOne) {
  std::vector<CscRecordData> records(40);
  for (std::size_t k = 0; k < records.size(); ++k) {
    records[k].timestamp = 7'000'000;
    records[k].samples[200] = 900;
  }
  const std::string still = dir.File("still.kcs");
  ASSERT_EQ(CscFileWriter::Write(still, CscFileWriter::MakeHeader({}), records), 0);
  const std::string out = dir.File("out");
  std::filesystem::create_directory(out);
  const test::CliRun cli = test::RunCli(
      {"extract", still, recording.paths[0], "--channels", "1", "--threshold", "100", "--outdir", out}, dir);
  EXPECT_EQ(cli.status, 1);
  EXPECT_NE(cli.err.find("SkelvaneV3: No spikes can be cut from a recording whose timestamps never increase; no "
                         "spike file written: " + still + "\n"),
            std::string::npos)
      << cli.err;
  EXPECT_FALSE(std::filesystem::exists(out + "/SpikeFile_still.kse"));
  EXPECT_TRUE(std::filesystem::exists(out + "/SpikeFile_TT1a.kse"));
  EXPECT_TRUE(cli.out.starts_with(out + "/SpikeFile_still.kse: ")) << cli.out;
  EXPECT_NE(cli.out.find(out + "/SpikeFile_still.kse: not written (timestamps never increase)\n"), std::string::npos)
      << cli.out;
}

}  // namespace
}  // namespace skelvane
