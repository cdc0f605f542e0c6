// The extract command at scale and under stress: jobs, noise thresholds, summaries, signals, a full
// disk, a closed stdout and a terminal.
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

#include "platform/TerminationSignals.h"
#include "tests/cli/CliRunner.h"
#include "tests/cli/ExtractCommandFixture.h"
#include "tests/extract/SpikeFileContents.h"
#include "tests/support/CapturedReports.h"
#include "tools/SyntheticRecording.h"

namespace skelvane {
namespace {

using namespace test;

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
  // Ended by the signal itself, as if it had not been caught: a shell reports 128 + its number.
  ASSERT_TRUE(WIFSIGNALED(status)) << (WIFEXITED(status) ? WEXITSTATUS(status) : -1);
  EXPECT_EQ(WTERMSIG(status), signalNumber);

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

INSTANTIATE_TEST_SUITE_P(EverySignalThatEndsIt, ExtractCommandSignal,
                         ::testing::ValuesIn(TerminationSignals::kSignals),
                         [](const ::testing::TestParamInfo<int>& info) { return std::string(sigabbrev_np(info.param)); });

// `extract ... | head -1`: the reader going away stops the printing, not the run; every file and the
// summary are still written and the status says so.
TEST_F(ExtractCommandTest, AClosedStdoutStopsOnlyThePrinting) {
  const std::string out = dir.File("out");
  std::filesystem::create_directory(out);
  const std::string summary = dir.File("summary.csv");
  std::vector<std::string> args = Args({"--channels", "1", "--threshold", "100", "--outdir", out, "--summary", summary});
  args.insert(args.begin(), SKELVANE_CLI_PATH);
  int ends[2];
  ASSERT_EQ(::pipe(ends), 0);
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    ::dup2(ends[1], STDOUT_FILENO);
    ::close(ends[0]);
    ::close(ends[1]);
    std::freopen("/dev/null", "w", stderr);
    std::vector<char*> argv;
    for (std::string& arg : args) argv.push_back(arg.data());
    argv.push_back(nullptr);
    ::execv(argv[0], argv.data());
    ::_exit(127);
  }
  ::close(ends[0]);  // nobody reads: the first line printed meets a closed pipe
  ::close(ends[1]);
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status)) << "ended by signal " << (WIFSIGNALED(status) ? WTERMSIG(status) : 0);
  EXPECT_EQ(WEXITSTATUS(status), 0);
  int spikeFiles = 0;
  for (const auto& entry : std::filesystem::directory_iterator(out)) spikeFiles += entry.path().extension() == ".kse";
  EXPECT_EQ(spikeFiles, 4);
  const std::string rows = test::ReadWholeFile(summary);
  EXPECT_EQ(std::count(rows.begin(), rows.end(), '\n'), 5);  // the column names and one row per file
}

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
                std::to_string(EFBIG) + ": " + spiky + ": File too large\n" + kCompleted +
                "SkelvaneV3: Replaced the spike file of an earlier run: " + out + "/SpikeFile_Qa.kse\n"
                "SkelvaneV3: Not every spike file was written: 1 of 2 spike files written (each one not written "
                "is listed with its reason)\n");
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
