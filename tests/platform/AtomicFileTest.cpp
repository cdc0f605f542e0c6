#include "platform/AtomicFile.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "tests/support/TempDir.h"

namespace skelvane {
namespace {

std::string Contents(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

int64_t FilesIn(const std::string& folder) {
  return std::distance(std::filesystem::directory_iterator(folder), {});
}

TEST(AtomicFile, TheFinalNameChangesOnlyAtCommitAndDiscardLeavesItAlone) {
  test::TempDir dir;
  const std::string path = dir.Write("view.bmp", "old");
  AtomicFile file;
  ASSERT_EQ(file.Open(path), 0);
  EXPECT_EQ(file.TemporaryPath().rfind(dir.Path() + "/.view.bmp.", 0), 0u);
  ASSERT_TRUE(file.Write("new bytes", 9));
  EXPECT_EQ(Contents(path), "old");
  file.Discard();
  EXPECT_EQ(Contents(path), "old");
  EXPECT_EQ(FilesIn(dir.Path()), 1);

  ASSERT_EQ(file.Open(path), 0);
  ASSERT_TRUE(file.Write("new bytes", 9));
  EXPECT_EQ(file.Commit(), 0);
  EXPECT_EQ(Contents(path), "new bytes");
  EXPECT_EQ(FilesIn(dir.Path()), 1);
  EXPECT_FALSE(file.IsOpen());
}

TEST(AtomicFile, AFolderThatCannotBeWrittenGivesTheErrno) {
  test::TempDir dir;
  AtomicFile file;
  EXPECT_EQ(file.Open(dir.File("missing/out.bin")), ENOENT);
  EXPECT_FALSE(file.IsOpen());
  EXPECT_NE(file.Commit(), 0);
}

// A run stopped by a signal: its handler removes the half-written file, the earlier one survives.
TEST(AtomicFile, ASignalHandlerRemovesEveryPendingTemporaryFile) {
  test::TempDir dir;
  const std::string path = dir.Write("TT1.ktt", "complete");
  int ready[2];
  ASSERT_EQ(pipe(ready), 0);
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    std::signal(SIGTERM, [](int) {
      AtomicFile::RemovePendingFromSignal();
      _exit(143);
    });
    AtomicFile first;
    AtomicFile second;
    if (first.Open(path) != 0 || second.Open(path + ".2") != 0) _exit(2);
    first.Write("partial", 7);
    if (write(ready[1], "r", 1) != 1) _exit(3);
    for (;;) pause();
  }
  char byte = 0;
  ASSERT_EQ(read(ready[0], &byte, 1), 1);
  kill(child, SIGTERM);
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  EXPECT_EQ(WEXITSTATUS(status), 143);
  EXPECT_EQ(Contents(path), "complete");
  EXPECT_EQ(FilesIn(dir.Path()), 1);
  close(ready[0]);
  close(ready[1]);
}

}  // namespace
}  // namespace skelvane
