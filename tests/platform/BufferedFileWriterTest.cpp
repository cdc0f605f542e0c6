#include "platform/BufferedFileWriter.h"

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <iterator>
#include <string>

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
  EXPECT_EQ(Contents(path), expected);
  ASSERT_TRUE(writer.Write("EF", 2));
  EXPECT_EQ(writer.Close(), 0);
  EXPECT_EQ(Contents(path), expected + "EF");
}

TEST(BufferedFileWriter, SmallWritesStayInMemoryUntilFlushed) {
  test::TempDir dir;
  const std::string path = dir.File("out.bin");
  BufferedFileWriter writer(64);
  ASSERT_EQ(writer.Open(path), 0);
  ASSERT_TRUE(writer.Write("0123456789", 10));
  EXPECT_EQ(std::filesystem::file_size(path), 0u);
  ASSERT_TRUE(writer.Flush());
  EXPECT_EQ(std::filesystem::file_size(path), 10u);
}

TEST(BufferedFileWriter, OpenTruncatesAndDestructorFlushes) {
  test::TempDir dir;
  const std::string path = dir.Write("old.bin", std::string(1000, 'x'));
  {
    BufferedFileWriter writer;
    ASSERT_EQ(writer.Open(path), 0);
    ASSERT_TRUE(writer.Write("new", 3));
  }
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

TEST(BufferedFileWriter, AFailedFlushSticksUntilTheNextOpen) {
  if (!std::filesystem::exists("/dev/full")) GTEST_SKIP() << "no /dev/full here";
  BufferedFileWriter writer(16);
  ASSERT_EQ(writer.Open("/dev/full"), 0);
  ASSERT_TRUE(writer.Write("12345", 5));  // only buffered so far
  EXPECT_FALSE(writer.Flush());
  EXPECT_EQ(writer.LastError(), ENOSPC);
  EXPECT_FALSE(writer.Write("6", 1));
  EXPECT_EQ(writer.Close(), ENOSPC);

  test::TempDir dir;
  ASSERT_EQ(writer.Open(dir.File("fine.bin")), 0);
  EXPECT_EQ(writer.LastError(), 0);
  ASSERT_TRUE(writer.Write("ok", 2));
  EXPECT_EQ(writer.Close(), 0);
  EXPECT_EQ(Contents(dir.File("fine.bin")), "ok");
}

TEST(BufferedFileWriter, CloseReportsAFailureOfTheLastFlush) {
  if (!std::filesystem::exists("/dev/full")) GTEST_SKIP() << "no /dev/full here";
  BufferedFileWriter writer;
  ASSERT_EQ(writer.Open("/dev/full"), 0);
  ASSERT_TRUE(writer.Write("data", 4));
  EXPECT_EQ(writer.Close(), ENOSPC);
  EXPECT_FALSE(writer.IsOpen());
}

}  // namespace
}  // namespace skelvane
