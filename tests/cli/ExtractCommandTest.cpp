// The extract command run as a user would, checked against the same extraction done the way the
// main window holds its files, and against the spike times the generator put into the recording.
#include <gtest/gtest.h>

#include <pty.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <regex>
#include <set>
#include <sstream>
#include <thread>

#include "datafile/DataSourceManager.h"
#include "display/ColorTable.h"
#include "display/PlotCollection.h"
#include "extract/ExtractionRun.h"
#include "platform/PathHelpers.h"
#include "tests/cli/CliRunner.h"
#include "tests/extract/SpikeFileContents.h"
#include "tests/support/CapturedReports.h"
#include "tools/SyntheticRecording.h"

namespace skelvane {
namespace {

constexpr int32_t kNumSpikePoints = 32;
constexpr int32_t kAlignmentIndex = 7;
constexpr double kSamplingHz = 32000.0;
constexpr double kSampleMicroseconds = 1e6 / kSamplingHz;
constexpr const char* kTimeLineStart = "\r\n## Time Opened: ";
constexpr const char* kCompleted = "SkelvaneV3: Spike Extraction Process Completed\n";
constexpr const char* kOpenFailure = "SkelvaneV3: Error opening file; Is the file/path name correct?\n";

// The files open in the window: a source and a plot each.
class WindowSession {
 public:
  explicit WindowSession(const std::vector<std::string>& files) {
    for (const std::string& path : files) {
      const int32_t index = manager.GetNumSources();
      EXPECT_EQ(manager.OpenSource(path), 0) << path;
      int32_t type = 0;
      std::string sourcePath;
      EXPECT_EQ(manager.GetSourceFileType(index, type), 0);
      EXPECT_EQ(manager.GetSourcePath(index, sourcePath), 0);
      EXPECT_EQ(plots.CreatePlot(FileTitleOf(sourcePath), type, sourcePath), 0);
    }
  }
  DataSourceManager manager;
  ColorTable colours;
  PlotCollection plots{manager, colours};
  ExtractionRun run{plots, manager};
};

// A tetrode with two pauses, a channel that starts late and two that end early.
SynthOptions TetrodeOptions(const std::string& outDir) {
  SynthOptions o;
  o.outDir = outDir;
  o.prefix = "TT1";
  o.channels = 4;
  o.seconds = 12.0;
  o.samplingHz = kSamplingHz;
  o.seed = 7;
  o.startTimestamp = 1'000'000;
  o.gaps = {{120, 250'000}, {400, 40'000}};
  o.lateChannel = 2;
  o.lateRecords = 3;
  o.missingTailRecords = {0, 5, 0, 2};
  return o;
}

// The file with its time line blanked: the only part that may differ between two runs.
std::string WithoutTimeLine(const std::string& bytes) {
  std::string result = bytes;
  const std::size_t from = bytes.find(kTimeLineStart);
  if (from == std::string::npos) return result;
  const std::size_t end = bytes.find("\r\n", from + 2);
  std::fill(result.begin() + static_cast<std::ptrdiff_t>(from) + 2, result.begin() + static_cast<std::ptrdiff_t>(end),
            '*');
  return result;
}

std::vector<std::string> HeaderLines(const std::string& header) {
  const std::string text = header.substr(0, header.find('\0'));
  std::vector<std::string> lines;
  for (std::size_t from = 0; from < text.size();) {
    const std::size_t end = text.find("\r\n", from);
    lines.push_back(text.substr(from, end - from));
    if (end == std::string::npos) break;
    from = end + 2;
  }
  return lines;
}

struct Agreement {
  std::size_t found = 0;       // true spikes with a stored window around their peak
  std::size_t spurious = 0;    // stored spikes that hold no true peak
};

// A true spike is found when its peak lies inside a stored window (each window counts once).
Agreement Compare(const std::vector<SynthSpike>& truth, const std::vector<test::StoredSpike>& stored) {
  std::vector<int64_t> times;
  for (const auto& s : stored) times.push_back(static_cast<int64_t>(s.Timestamp));
  std::set<std::size_t> used;
  Agreement a;
  const auto before = static_cast<int64_t>(kAlignmentIndex * kSampleMicroseconds);
  const auto after = static_cast<int64_t>((kNumSpikePoints - 1 - kAlignmentIndex) * kSampleMicroseconds);
  for (const SynthSpike& spike : truth) {
    auto it = std::lower_bound(times.begin(), times.end(), spike.peakTimestamp - after);
    for (; it != times.end() && *it <= spike.peakTimestamp + before; ++it) {
      const auto index = static_cast<std::size_t>(it - times.begin());
      if (used.insert(index).second) {
        ++a.found;
        break;
      }
    }
  }
  a.spurious = stored.size() - used.size();
  return a;
}

class ExtractCommandTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(SyntheticRecording::Generate(TetrodeOptions(dir.File("rec")), recording), 0);
  }
  std::vector<std::string> Args(std::vector<std::string> options) const {
    std::vector<std::string> args = {"extract"};
    args.insert(args.end(), recording.paths.begin(), recording.paths.end());
    args.insert(args.end(), options.begin(), options.end());
    return args;
  }
  std::string TetrodeFile(const std::string& folder) const {
    return folder + "/SpikeFile_TT1a_TT1b_TT1c_TT1d.ktt";
  }

  test::TempDir dir;
  SynthResult recording;
};

struct Setting {
  const char* mode;
  const char* type;
  int32_t modeCode;
  int32_t typeCode;
  const char* threshold;
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
    p.OutputDirectory = out;
    test::CapturedReports reports;
    ASSERT_EQ(window.run.CreateSpikeFiles(), 0);
    EXPECT_TRUE(reports.Empty());
  }
  // The same name, so that the header's file name line agrees too.
  std::filesystem::rename(TetrodeFile(out), dir.File("window.ktt"));

  const test::CliRun cli = test::RunCli(
      Args({"--channels", "4", "--threshold", s.threshold, "--mode", s.mode, "--type", s.type, "--outdir", out}), dir);
  ASSERT_EQ(cli.status, 0) << cli.err;
  EXPECT_EQ(cli.err, kCompleted);
  const auto fromCli = test::ReadSpikeFile(TetrodeFile(out), kNumSpikePoints, 4);
  const auto fromWindow = test::ReadSpikeFile(dir.File("window.ktt"), kNumSpikePoints, 4);
  EXPECT_EQ(cli.out, TetrodeFile(out) + ": " + std::to_string(fromCli.Spikes.size()) + " spikes\n");
  EXPECT_TRUE(fromCli.WholeRecords);
  EXPECT_GT(fromCli.Spikes.size(), 20u);
  ASSERT_EQ(fromCli.Bytes.size(), fromWindow.Bytes.size());
  EXPECT_TRUE(WithoutTimeLine(fromCli.Bytes) == WithoutTimeLine(fromWindow.Bytes));
}

INSTANTIATE_TEST_SUITE_P(Settings, ExtractCommandAgreesWithTheWindow,
                         ::testing::Values(Setting{"threshold", "both", 0, 2, "100"},
                                           Setting{"threshold", "negative", 0, 1, "90.7"},
                                           Setting{"slope", "positive", 1, 0, "25"}),
                         [](const ::testing::TestParamInfo<Setting>& info) {
                           return std::string(info.param.mode) + "_" + info.param.type;
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

TEST_F(ExtractCommandTest, UnwritableOutputFolderGivesThePlainMessageAndTheRunGoesOn) {
  // /proc exists for everyone, root included, and takes no new files.
  const test::CliRun cli = test::RunCli(Args({"--channels", "2", "--threshold", "100", "--outdir", "/proc"}), dir);
  EXPECT_EQ(cli.status, 1);
  EXPECT_EQ(cli.err, std::string(kOpenFailure) + kOpenFailure + kCompleted);
  EXPECT_EQ(cli.out, "");
}

TEST_F(ExtractCommandTest, MissingOutputFolderIsAUsageErrorNamingIt) {
  const std::string missing = dir.File("no/such/folder");
  const test::CliRun cli = test::RunCli(Args({"--channels", "2", "--threshold", "100", "--outdir", missing}), dir);
  EXPECT_NE(cli.status, 0);
  EXPECT_NE(cli.status, 1);  // 1 is kept for runs that started
  EXPECT_NE(cli.err.find("--outdir: Directory does not exist: " + missing), std::string::npos) << cli.err;
  EXPECT_EQ(cli.err.find(kCompleted), std::string::npos) << "no run was started";
  EXPECT_EQ(cli.out, "");
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


// ---- Runs at scale: jobs, noise threshold, summary, signals, a full disk ---------------------

TEST_F(ExtractCommandTest, NoiseThresholdFindsNearlyEverySpikeOfTheDemoTetrodeAndStatesTheThresholdItUsed) {
  SynthOptions o;
  o.outDir = dir.File("demo");
  o.prefix = "TT1";
  o.channels = 4;
  o.seconds = 60.0;
  o.seed = 1;
  SynthResult demo;
  ASSERT_EQ(SyntheticRecording::Generate(o, demo), 0);
  const std::string out = dir.File("out");
  std::filesystem::create_directory(out);
  std::vector<std::string> args = {"extract"};
  args.insert(args.end(), demo.paths.begin(), demo.paths.end());
  for (const char* option : {"--channels", "4", "--noise-threshold", "5", "--type", "both", "--outdir"}) {
    args.push_back(option);
  }
  args.push_back(out);
  const test::CliRun cli = test::RunCli(args, dir);
  ASSERT_EQ(cli.status, 0) << cli.err;
  const std::string file = TetrodeFile(out);
  std::smatch match;
  ASSERT_TRUE(std::regex_search(cli.out, match, std::regex(file + ": threshold ([0-9]+) = 5 x noise level ([0-9.]+)\n")))
      << cli.out;
  const std::string threshold = match[1];
  EXPECT_NEAR(std::stod(match[2]) * 5.0, std::stod(threshold), 5.0);
  const auto contents = test::ReadSpikeFile(file, kNumSpikePoints, 4);
  const auto lines = HeaderLines(contents.Header);
  EXPECT_EQ(lines.at(18), "\t-ThreshVal  " + threshold + "  " + threshold + "  " + threshold + "  " + threshold);
  const Agreement a = Compare(demo.spikes, contents.Spikes);
  EXPECT_GE(static_cast<double>(a.found), 0.9 * static_cast<double>(demo.spikes.size()))
      << a.found << " of " << demo.spikes.size();
}

TEST_F(ExtractCommandTest, SummaryListsEveryFileWithItsInputsThresholdSpikesAndDuration) {
  const std::string out = dir.File("out");
  std::filesystem::create_directory(out);
  const std::string csv = dir.File("summary.csv");
  const test::CliRun cli =
      test::RunCli(Args({"--channels", "2", "--threshold", "100", "--outdir", out, "--summary", csv}), dir);
  ASSERT_EQ(cli.status, 0) << cli.err;
  // Each result line "PATH: N spikes" has its summary row.
  std::istringstream results(cli.out);
  std::istringstream rows(test::ReadWholeFile(csv));
  std::string line;
  std::getline(rows, line);
  EXPECT_EQ(line, "spike_file,inputs,threshold,noise_level,spikes,recorded_seconds,outcome");
  int32_t groups = 0;
  while (std::getline(results, line)) {
    const std::size_t colon = line.rfind(": ");
    const std::string path = line.substr(0, colon);
    const std::string spikes = line.substr(colon + 2, line.find(' ', colon + 2) - colon - 2);
    std::string row;
    ASSERT_TRUE(std::getline(rows, row)) << "no row for " << path;
    const std::string inputs = recording.paths[2 * groups] + ";" + recording.paths[2 * groups + 1];
    EXPECT_TRUE(row.starts_with(path + "," + inputs + ",100,0.000," + spikes + ",")) << row;
    EXPECT_TRUE(row.ends_with(",written")) << row;
    const double seconds = std::stod(row.substr(row.rfind(',', row.size() - 9) + 1));
    EXPECT_GT(seconds, 10.0);
    EXPECT_LE(seconds, 12.0);
    ++groups;
  }
  EXPECT_EQ(groups, 2);
  EXPECT_FALSE(std::getline(rows, line));

  const std::string json = dir.File("summary.json");
  ASSERT_EQ(test::RunCli(Args({"--channels", "4", "--threshold", "100", "--outdir", out, "--summary", json}), dir).status,
            0);
  const std::string text = test::ReadWholeFile(json);
  EXPECT_TRUE(text.starts_with("[\n  {\"spike_file\": \"" + TetrodeFile(out) + "\", \"inputs\": [\"" +
                               recording.paths[0] + "\", \"" + recording.paths[1] + "\""))
      << text;
  EXPECT_NE(text.find("\"threshold\": 100, \"noise_level\": 0.000, \"spikes\": "), std::string::npos) << text;
  EXPECT_TRUE(text.ends_with("\"outcome\": \"written\"}\n]\n")) << text;

  const test::CliRun refused =
      test::RunCli(Args({"--channels", "4", "--threshold", "100", "--outdir", out, "--summary", dir.File("s.txt")}), dir);
  EXPECT_GT(refused.status, 100);
  EXPECT_NE(refused.err.find("--summary: The summary file must end in .csv or .json: " + dir.File("s.txt")),
            std::string::npos)
      << refused.err;
}

TEST_F(ExtractCommandTest, EveryJobCountWritesTheSameFilesAndNoProgressGoesToAFile) {
  const std::string one = dir.File("job1");
  const std::string three = dir.File("job3");
  std::filesystem::create_directory(one);
  std::filesystem::create_directory(three);
  const test::CliRun first = test::RunCli(Args({"--channels", "1", "--threshold", "60", "--outdir", one, "--jobs", "1"}), dir);
  const test::CliRun second =
      test::RunCli(Args({"--channels", "1", "--threshold", "60", "--outdir", three, "--jobs", "3"}), dir);
  ASSERT_EQ(first.status, 0) << first.err;
  ASSERT_EQ(second.status, 0) << second.err;
  EXPECT_EQ(first.err, kCompleted);  // stderr is no terminal: no progress line
  EXPECT_EQ(second.err, kCompleted);
  std::string expectedOut = first.out;
  for (std::size_t at = expectedOut.find(one); at != std::string::npos; at = expectedOut.find(one, at)) {
    expectedOut.replace(at, one.size(), three);
  }
  EXPECT_EQ(second.out, expectedOut);
  for (const std::string& path : recording.paths) {
    const std::string name = "/SpikeFile_" + FileTitleOf(path) + ".kse";
    std::string a = test::ReadWholeFile(one + name);
    std::string b = test::ReadWholeFile(three + name);
    ASSERT_EQ(a.size(), b.size());
    b.replace(b.find(three), three.size(), one);
    EXPECT_TRUE(WithoutTimeLine(a) == WithoutTimeLine(b)) << name;
  }
}

// Many groups over one recording (each through a link of its own name), so that a signal can be sent
// while groups are still being written.
class ExtractCommandSignal : public ::testing::TestWithParam<int> {};

TEST_P(ExtractCommandSignal, StopsAtOnceKeepingFinishedFilesAndRemovingTheOneBeingWritten) {
  const int signalNumber = GetParam();
  test::TempDir dir;
  SynthOptions o;
  o.outDir = dir.File("rec");
  o.prefix = "E";
  o.channels = 1;
  o.seconds = 120.0;
  SynthResult made;
  ASSERT_EQ(SyntheticRecording::Generate(o, made), 0);
  std::filesystem::create_directory(dir.File("links"));
  std::filesystem::create_directory(dir.File("out"));
  std::vector<std::string> args = {SKELVANE_CLI_PATH, "extract"};
  constexpr int kGroups = 250;  // the source table holds 256
  for (int i = 0; i < kGroups; ++i) {
    const std::string link = dir.File("links/L" + std::to_string(1000 + i) + ".kcs");
    std::filesystem::create_symlink(made.paths[0], link);
    args.push_back(link);
  }
  for (const char* option : {"--channels", "1", "--threshold", "20", "--jobs", "1", "--outdir"}) args.push_back(option);
  args.push_back(dir.File("out"));
  // The reference: the same recording extracted alone.
  ASSERT_EQ(test::RunCli({"extract", made.paths[0], "--channels", "1", "--threshold", "20", "--outdir",
                          dir.File("rec")},
                         dir)
                .status,
            0);
  const std::string reference = test::ReadWholeFile(dir.File("rec/SpikeFile_Ea.kse"));

  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    std::vector<char*> argv;
    for (std::string& arg : args) argv.push_back(arg.data());
    argv.push_back(nullptr);
    std::freopen("/dev/null", "w", stdout);
    ::execv(argv[0], argv.data());
    ::_exit(127);
  }
  // Signal as soon as the first file is complete under its name.
  const auto finished = [&] {
    int count = 0;
    for (const auto& entry : std::filesystem::directory_iterator(dir.File("out"))) {
      if (entry.path().extension() == ".kse") ++count;
    }
    return count;
  };
  int status = 0;
  pid_t ended = 0;
  while (finished() == 0 && (ended = ::waitpid(child, &status, WNOHANG)) == 0) {
    std::this_thread::sleep_for(std::chrono::microseconds(200));
  }
  ASSERT_EQ(ended, 0) << "the run ended before its first file was complete";
  ASSERT_EQ(::kill(child, signalNumber), 0);
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 128 + signalNumber);

  int kept = 0;
  for (const auto& entry : std::filesystem::directory_iterator(dir.File("out"))) {
    const std::string name = entry.path().filename();
    ASSERT_EQ(entry.path().extension(), ".kse") << "left behind: " << name;
    std::string bytes = test::ReadWholeFile(entry.path());
    ASSERT_EQ(bytes.size(), reference.size()) << name;
    // Apart from the names and the time in the header, every kept file is the whole reference file.
    EXPECT_EQ(bytes.substr(16384), reference.substr(16384)) << name;
    ++kept;
  }
  EXPECT_GE(kept, 1);
  EXPECT_LT(kept, kGroups) << "the run was over before the signal";
}

INSTANTIATE_TEST_SUITE_P(InterruptAndTerminate, ExtractCommandSignal, ::testing::Values(SIGINT, SIGTERM),
                         [](const ::testing::TestParamInfo<int>& info) {
                           return info.param == SIGINT ? std::string("SIGINT") : std::string("SIGTERM");
                         });

TEST_F(ExtractCommandTest, FullDiskMidRunKeepsTheEarlierFileAndNamesTheFileAndTheReason) {
  // One silent recording (its file is the header alone) and one with spikes; the file size limit lets
  // the first be written and stops the second part-way.
  SynthOptions quiet;
  quiet.outDir = dir.File("quiet");
  quiet.prefix = "Q";
  quiet.channels = 1;
  quiet.seconds = 5.0;
  quiet.units = 0;
  SynthResult silent;
  ASSERT_EQ(SyntheticRecording::Generate(quiet, silent), 0);
  const std::string out = dir.File("out");
  std::filesystem::create_directory(out);
  const std::vector<std::string> args = {"extract", silent.paths[0], recording.paths[0], "--channels", "1",
                                         "--threshold", "100", "--outdir", out};
  ASSERT_EQ(test::RunCli(args, dir).status, 0);
  const std::string spiky = out + "/SpikeFile_TT1a.kse";
  const std::string before = test::ReadWholeFile(spiky);
  ASSERT_GT(before.size(), 40u * 512u);

  std::string command = "trap '' XFSZ; ulimit -f 40; exec " + test::ShellQuote(SKELVANE_CLI_PATH);
  for (const std::string& arg : args) command += " " + test::ShellQuote(arg);
  command += " >" + test::ShellQuote(dir.File("full.out")) + " 2>" + test::ShellQuote(dir.File("full.err"));
  const int raw = std::system(("sh -c " + test::ShellQuote(command)).c_str());
  ASSERT_TRUE(WIFEXITED(raw));
  EXPECT_EQ(WEXITSTATUS(raw), 1);
  EXPECT_EQ(test::ReadWholeFile(dir.File("full.err")),
            "SkelvaneV3: Error writing spike file; disk full or file not writable, error code: " +
                std::to_string(EFBIG) + ": " + spiky + ": File too large\n" + kCompleted);
  EXPECT_TRUE(test::ReadWholeFile(spiky) == before) << "the earlier complete file was touched";
  EXPECT_EQ(std::filesystem::file_size(out + "/SpikeFile_Qa.kse"), 16384u);
  int files = 0;
  for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(out)) ++files;
  EXPECT_EQ(files, 2) << "a temporary file was left behind";
}


// Runs skelvane-cli on a pseudo-terminal, as from a shell, and returns all it wrote there.
std::string RunOnTerminal(std::vector<std::string> args, int& status) {
  args.insert(args.begin(), SKELVANE_CLI_PATH);
  int terminal = -1;
  const pid_t child = ::forkpty(&terminal, nullptr, nullptr, nullptr);
  if (child == 0) {
    std::vector<char*> argv;
    for (std::string& arg : args) argv.push_back(arg.data());
    argv.push_back(nullptr);
    ::execv(argv[0], argv.data());
    ::_exit(127);
  }
  std::string seen;
  char buffer[4096];
  for (ssize_t n; (n = ::read(terminal, buffer, sizeof buffer)) > 0;) seen.append(buffer, static_cast<std::size_t>(n));
  ::close(terminal);
  ::waitpid(child, &status, 0);
  return seen;
}

TEST_F(ExtractCommandTest, OnATerminalProgressEndsWithAHundredPercentLineUnlessQuiet) {
  const std::string out = dir.File("out");
  std::filesystem::create_directory(out);
  int status = -1;
  const std::string shown = RunOnTerminal(Args({"--channels", "2", "--threshold", "100", "--outdir", out}), status);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0) << shown;
  // However short the run, the last progress line says 100% and how long it took.
  EXPECT_TRUE(std::regex_search(shown, std::regex("\r\x1b\\[KExtracting 2 files: 100%, [0-9.]+ [MG] samples/s, "
                                                  "done in [0-9]+\\.[0-9] s\r?\n")))
      << shown;
  EXPECT_NE(shown.find("SkelvaneV3: Spike Extraction Process Completed"), std::string::npos) << shown;

  const std::string quiet =
      RunOnTerminal(Args({"--channels", "2", "--threshold", "100", "--outdir", out, "--quiet"}), status);
  EXPECT_EQ(WEXITSTATUS(status), 0) << quiet;
  EXPECT_EQ(quiet.find("Extracting"), std::string::npos) << quiet;
  EXPECT_NE(quiet.find("SkelvaneV3: Spike Extraction Process Completed"), std::string::npos) << quiet;
}

}  // namespace
}  // namespace skelvane
