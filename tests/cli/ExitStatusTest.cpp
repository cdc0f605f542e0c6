// Every command keeps the same exit status for the same kind of outcome, and every --help and the
// README describe it in the same words.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "cli/ExitStatus.h"
#include "tests/cli/CliRunner.h"

namespace skelvane {
namespace {

enum class Outcome { kWritten, kRefusedOrFailed, kUsageError };

struct Case {
  const char* what;
  std::vector<std::string> args;
  Outcome outcome;
};

bool Matches(int status, Outcome outcome) {
  switch (outcome) {
    case Outcome::kWritten:
      return status == cli::kExitSucceeded;
    case Outcome::kRefusedOrFailed:
      return status == cli::kExitFailed;
    case Outcome::kUsageError:
      return status > 100;
  }
  return false;
}

TEST(ExitStatus, SameOutcomeGivesTheSameStatusInEveryCommand) {
  test::TempDir dir;
  ASSERT_EQ(test::RunCli({"synth", "--out", dir.File("rec"), "--channels", "1", "--seconds", "1"}, dir).status, 0);
  // A corrupt trailing record is a warning: the whole records before it are still used.
  ASSERT_EQ(test::RunCli({"synth", "--out", dir.File("tail"), "--channels", "1", "--seconds", "1", "--partial", "300"},
                         dir)
                .status,
            0);
  const std::string good = dir.File("rec/TT1a.kcs");
  const std::string tail = dir.File("tail/TT1a.kcs");
  const std::string notes = dir.Write("notes.txt", "just text, not a recording");
  const std::string blocker = dir.Write("blocker", "a file where a folder is wanted");
  const std::vector<std::string> size = {"--width", "120", "--height", "90"};
  auto snapshot = [&](const std::string& file, const std::string& out) {
    std::vector<std::string> args = {"snapshot", file, "-o", out};
    args.insert(args.end(), size.begin(), size.end());
    return args;
  };
  const std::vector<Case> cases = {
      {"info, a recording", {"info", good}, Outcome::kWritten},
      {"info, a corrupt tail", {"info", tail}, Outcome::kWritten},
      {"info, not a recording", {"info", good, notes}, Outcome::kRefusedOrFailed},
      {"info, no file", {"info"}, Outcome::kUsageError},
      {"snapshot, a recording", snapshot(good, dir.File("a.bmp")), Outcome::kWritten},
      {"snapshot, a corrupt tail", snapshot(tail, dir.File("b.bmp")), Outcome::kWritten},
      {"snapshot, not a recording", snapshot(notes, dir.File("c.bmp")), Outcome::kRefusedOrFailed},
      {"snapshot, unwritable output", snapshot(good, blocker + "/d.bmp"), Outcome::kRefusedOrFailed},
      {"snapshot, no size", {"snapshot", good, "-o", dir.File("e.bmp")}, Outcome::kUsageError},
      {"synth", {"synth", "--out", dir.File("more"), "--seconds", "1"}, Outcome::kWritten},
      {"synth, unwritable output", {"synth", "--out", blocker + "/rec", "--seconds", "1"}, Outcome::kRefusedOrFailed},
      {"synth, bad number", {"synth", "--out", dir.File("x"), "--channels", "many"}, Outcome::kUsageError},
      {"no command", {}, Outcome::kUsageError},
      {"unknown command", {"frobnicate"}, Outcome::kUsageError},
  };
  for (const Case& c : cases) {
    const test::CliRun run = test::RunCli(c.args, dir);
    EXPECT_TRUE(Matches(run.status, c.outcome)) << c.what << ": status " << run.status << "\n" << run.err;
  }
}

TEST(ExitStatus, EveryHelpAndTheReadmeDescribeItInTheSameWords) {
  test::TempDir dir;
  for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
           {"--help"}, {"info", "--help"}, {"snapshot", "--help"}, {"synth", "--help"}}) {
    const test::CliRun run = test::RunCli(args, dir);
    EXPECT_EQ(run.status, cli::kExitSucceeded) << args[0];
    EXPECT_NE(run.out.find(cli::kExitStatusHelp), std::string::npos) << args[0] << " --help:\n" << run.out;
  }
  std::ifstream readme(SKELVANE_SOURCE_DIR "/README.md");
  const std::string text{std::istreambuf_iterator<char>(readme), {}};
  EXPECT_NE(text.find(cli::kExitStatusHelp), std::string::npos);
}

}  // namespace
}  // namespace skelvane
