#include "platform/BufferedFileWriter.h"

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <iterator>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include "tests/support/TempDir.h"

namespace skelvane {
namespace {

std::string Contents(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

TEST(BufferedFileWriter, PiecesSmallerAndLargerThanTheBufferArriveInOrder) {
  test::TempDir dir;
  const std::string path = dir.File("out.bin");
  BufferedFileWriter writer(8);
  ASSERT_EQ(writer.Open(path), 0);
  std::string expected;
  for (const std::string piece : {"abc", "defgh", "", "ijklmnopqrstuvwxyz0123", "4", "56789ABC", "D"}) {
    ASSERT_TRUE(writer.Write(piece.data(), piece.size()));
    expected += piece;
  }
  EXPECT_EQ(writer.BytesAccepted(), static_cast<int64_t>(expected.size()));
  ASSERT_TRUE(writer.Flush());
  EXPECT_EQ(Contents(writer.TemporaryPath()), expected);
  EXPECT_FALSE(std::filesystem::exists(path));  // nothing under the name before Close
  ASSERT_TRUE(writer.Write("EF", 2));
  EXPECT_EQ(writer.Close(), 0);
  EXPECT_EQ(Contents(path), expected + "EF");
}

TEST(BufferedFileWriter, SmallWritesStayInMemoryUntilFlushed) {
  test::TempDir dir;
  BufferedFileWriter writer(64);
  ASSERT_EQ(writer.Open(dir.File("out.bin")), 0);
  ASSERT_TRUE(writer.Write("0123456789", 10));
  EXPECT_EQ(std::filesystem::file_size(writer.TemporaryPath()), 0u);
  ASSERT_TRUE(writer.Flush());
  EXPECT_EQ(std::filesystem::file_size(writer.TemporaryPath()), 10u);
}

TEST(BufferedFileWriter, AnUnclosedFileLeavesTheEarlierOneAndNoTemporaryFile) {
  test::TempDir dir;
  const std::string path = dir.Write("old.bin", std::string(1000, 'x'));
  {
    BufferedFileWriter writer(4);
    ASSERT_EQ(writer.Open(path), 0);
    ASSERT_TRUE(writer.Write("new data", 8));
  }
  EXPECT_EQ(Contents(path), std::string(1000, 'x'));
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.Path()), {}), 1);

  BufferedFileWriter writer;
  ASSERT_EQ(writer.Open(path), 0);
  ASSERT_TRUE(writer.Write("new", 3));
  EXPECT_EQ(writer.Close(), 0);
  EXPECT_EQ(Contents(path), "new");
}

TEST(BufferedFileWriter, OpenFailureGivesTheErrno) {
  test::TempDir dir;
  BufferedFileWriter writer;
  EXPECT_EQ(writer.Open(dir.File("no/such/dir/out.bin")), ENOENT);
  EXPECT_FALSE(writer.IsOpen());
  EXPECT_FALSE(writer.Write("x", 1));
  EXPECT_EQ(writer.LastError(), EBADF);
}

// A disk that fills up part-way (a file-size limit stands in for it, so no root is needed): the
// failure sticks, Close reports it, and the earlier complete file is still there, alone.
TEST(BufferedFileWriter, AFullDiskKeepsTheEarlierFileAndLeavesNoTemporaryFile) {
  test::TempDir dir;
  const std::string path = dir.Write("spikes.ktt", std::string(5000, 'o'));
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    const rlimit limit{4096, 4096};
    if (setrlimit(RLIMIT_FSIZE, &limit) != 0) _exit(2);
    BufferedFileWriter writer(1000);
    if (writer.Open(path) != 0) _exit(3);
    bool failed = false;
    for (int i = 0; i < 10 && !failed; ++i) failed = !writer.Write(std::string(1000, 'n').data(), 1000);
    if (!failed || writer.LastError() != EFBIG) _exit(4);
    if (writer.Write("x", 1)) _exit(5);
    _exit(writer.Close() == EFBIG ? 0 : 6);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
  EXPECT_EQ(Contents(path), std::string(5000, 'o'));
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.Path()), {}), 1);
}

}  // namespace
}  // namespace skelvane
