// The snapshot command with its summaries kept on disk, run as a user would: the same picture
// whether summaries are built, kept, switched off or cannot be kept; two commands building the same
// summaries at once, and commands killed while writing them, leave only whole files behind.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "platform/ReportError.h"
#include "summary/SourceSummary.h"
#include "summary/SummaryCache.h"
#include "summary/SummaryFile.h"
#include "tests/cli/CliRunner.h"
#include "tests/support/ScopedVariable.h"

namespace skelvane {
namespace {

namespace fs = std::filesystem;

std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

class SnapshotCache : public ::testing::Test {
 protected:
  void SetUp() override {
    // Long enough that the whole-recording view walks summaries: 5200 records per channel.
    const test::CliRun synth = test::RunCli({"synth", "--out", dir.File("rec"), "--channels", "2", "--seconds", "1300",
                                             "--rate", "2048", "--seed", "4"},
                                            dir);
    ASSERT_EQ(synth.status, 0) << synth.err;
    const test::CliRun plain = Snapshot("reference.bmp", {"--no-cache"});
    ASSERT_EQ(plain.status, 0) << plain.err;
    reference = ReadAll(dir.File("reference.bmp"));
    ASSERT_FALSE(fs::exists(Cache())) << "--no-cache keeps nothing";
  }
  std::vector<std::string> SnapshotArgs(const std::string& output, std::vector<std::string> extra = {}) const {
    std::vector<std::string> args = {"snapshot", dir.File("rec/TT1a.kcs"), dir.File("rec/TT1b.kcs"), "--width", "400",
                                     "--height", "300", "-o", dir.File(output)};
    args.insert(args.end(), extra.begin(), extra.end());
    return args;
  }
  test::CliRun Snapshot(const std::string& output, std::vector<std::string> extra = {}) {
    return test::RunCli(SnapshotArgs(output, std::move(extra)), dir);
  }
  std::string Cache() const { return dir.File("cache/skelvane"); }
  // Every file in the cache is a whole kept summary or its note; nothing half written.
  void ExpectOnlyWholeFiles() const {
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(Cache(), ec)) {
      const std::string name = entry.path().filename().string();
      EXPECT_EQ(SummaryFile::TemporaryOwner(name), -1) << name;
      if (name.ends_with(SummaryFile::kCheckedSuffix)) continue;
      SummaryFile file;
      SourceSummary summary;
      EXPECT_EQ(file.Open(entry.path().string()), SummaryFile::Verdict::Usable) << name;
      EXPECT_EQ(file.Load(summary), SummaryFile::Verdict::Usable) << name;
    }
  }

  test::TempDir dir;
  test::ScopedVariable cacheHome{"XDG_CACHE_HOME", dir.File("cache")};
  std::string reference;
};

TEST_F(SnapshotCache, KeptSummariesGiveThePictureOfSummariesBuiltInMemory) {
  for (const char* run : {"built.bmp", "kept.bmp"}) {
    const test::CliRun snapshot = Snapshot(run);
    ASSERT_EQ(snapshot.status, 0) << snapshot.err;
    EXPECT_EQ(snapshot.err, "");
    EXPECT_EQ(ReadAll(dir.File(run)), reference) << run;
  }
  std::vector<std::string> kept;
  for (const auto& entry : fs::directory_iterator(Cache())) {
    if (entry.path().extension() == SummaryCache::kFileSuffix) kept.push_back(entry.path().string());
  }
  EXPECT_EQ(kept.size(), 2u);
  ExpectOnlyWholeFiles();
}

TEST_F(SnapshotCache, TwoCommandsBuildingTheSameSummariesAtOnceBothDrawThem) {
  std::string command = "(";
  for (const char* output : {"a.bmp", "b.bmp"}) {
    command += test::ShellQuote(SKELVANE_CLI_PATH);
    for (const std::string& arg : SnapshotArgs(output)) command += " " + test::ShellQuote(arg);
    command += " >/dev/null 2>>" + test::ShellQuote(dir.File("both.err")) + " & ";
  }
  command += "wait %1 && wait %2)";
  ASSERT_EQ(std::system(command.c_str()), 0) << ReadAll(dir.File("both.err"));
  EXPECT_EQ(ReadAll(dir.File("both.err")), "");
  EXPECT_EQ(ReadAll(dir.File("a.bmp")), reference);
  EXPECT_EQ(ReadAll(dir.File("b.bmp")), reference);
  ExpectOnlyWholeFiles();
}

TEST_F(SnapshotCache, CommandsKilledWhileKeepingSummariesLeaveNoPartialFile) {
  // Killed at moments from before the first read to after the last write: whatever was reached.
  for (const char* delay : {"0", "0.02", "0.05", "0.1", "0.2", "0.4"}) {
    SCOPED_TRACE(delay);
    fs::remove_all(Cache());
    std::string command = test::ShellQuote(SKELVANE_CLI_PATH);
    for (const std::string& arg : SnapshotArgs("killed.bmp")) command += " " + test::ShellQuote(arg);
    command += " >/dev/null 2>&1 & sleep " + std::string(delay) + "; kill -9 $! 2>/dev/null; wait";
    std::system(command.c_str());
    std::error_code missing;
    for (const auto& entry : fs::directory_iterator(Cache(), missing)) {
      const std::string name = entry.path().filename().string();
      if (SummaryFile::TemporaryOwner(name) >= 0 || name.ends_with(SummaryFile::kCheckedSuffix)) continue;
      SummaryFile file;
      SourceSummary summary;
      EXPECT_EQ(file.Open(entry.path().string()), SummaryFile::Verdict::Usable) << name;
      EXPECT_EQ(file.Load(summary), SummaryFile::Verdict::Usable) << name;
    }
    const test::CliRun after = Snapshot("after.bmp");
    ASSERT_EQ(after.status, 0) << after.err;
    EXPECT_EQ(after.err, "");
    EXPECT_EQ(ReadAll(dir.File("after.bmp")), reference);
    ExpectOnlyWholeFiles();  // what the killed command left half written is gone
  }
}

TEST_F(SnapshotCache, ACacheFolderThatCannotBeWrittenLeavesSummariesInMemoryWithOneLine) {
  // A file where the folder should be.
  fs::create_directories(dir.File("cache"));
  std::ofstream(Cache()) << "a file";
  test::CliRun snapshot = Snapshot("file-in-the-way.bmp");
  ASSERT_EQ(snapshot.status, 0) << snapshot.err;
  EXPECT_EQ(snapshot.err, std::string(kMessageCaption) + ": " + SummaryCache::kUnwritableNotice + " " + Cache() +
                              ": Not a directory\n");
  EXPECT_EQ(ReadAll(dir.File("file-in-the-way.bmp")), reference);

  // A folder the user may not write to (as root, the command runs as nobody to find one).
  fs::remove(Cache());
  fs::create_directories(Cache());
  fs::permissions(Cache(), fs::perms::owner_read | fs::perms::owner_exec | fs::perms::group_read |
                               fs::perms::group_exec | fs::perms::others_read | fs::perms::others_exec);
  fs::create_directories(dir.File("out"));
  fs::permissions(dir.File("out"), fs::perms::all);
  fs::permissions(dir.Path(), fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                                  fs::perms::others_read | fs::perms::others_exec);
  std::string command = ::geteuid() == 0 ? "setpriv --reuid=65534 --regid=65534 --clear-groups " : "";
  command += test::ShellQuote(SKELVANE_CLI_PATH);
  for (const std::string& arg : SnapshotArgs("out/read-only.bmp")) command += " " + test::ShellQuote(arg);
  command += " >/dev/null 2>" + test::ShellQuote(dir.File("read-only.err"));
  ASSERT_EQ(std::system(command.c_str()), 0) << ReadAll(dir.File("read-only.err"));
  EXPECT_EQ(ReadAll(dir.File("read-only.err")), std::string(kMessageCaption) + ": " + SummaryCache::kUnwritableNotice +
                                                    " " + Cache() + ": Permission denied\n");
  EXPECT_EQ(ReadAll(dir.File("out/read-only.bmp")), reference);
  EXPECT_TRUE(fs::is_empty(Cache()));
}

}  // namespace
}  // namespace skelvane
