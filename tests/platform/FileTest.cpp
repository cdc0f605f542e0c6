#include "platform/File.h"
#include "platform/FileMapping.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "tests/support/TempDir.h"

namespace skelvane {
namespace {

TEST(File, OpenMissingFileGivesErrno) {
  File f;
  EXPECT_EQ(f.Open("/nonexistent/dir/file.kcs", File::Mode::Read), ENOENT);
  EXPECT_FALSE(f.IsOpen());
}

TEST(File, ReadingOpensRegularFilesOnlyAndNeverWaits) {
  test::TempDir dir;
  const std::string fifo = dir.File("pipe.kcs");
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  File f;
  EXPECT_EQ(f.Open(dir.Path(), File::Mode::Read), EISDIR);
  EXPECT_EQ(f.Open(fifo, File::Mode::Read), kErrorNotRegularFile);  // no writer: would block without care
  EXPECT_EQ(f.Open("/dev/zero", File::Mode::Read), kErrorNotRegularFile);
  EXPECT_FALSE(f.IsOpen());
  // A regular file reads normally afterwards: the descriptor is blocking again.
  ASSERT_EQ(f.Open(dir.Write("a.bin", "0123456789"), File::Mode::Read), 0);
  EXPECT_EQ(::fcntl(f.Descriptor(), F_GETFL) & O_NONBLOCK, 0);
  char buf[4] = {};
  EXPECT_EQ(f.ReadAt(6, buf, 10), 4);  // up to the end, without moving the position
  EXPECT_EQ(std::string(buf, 4), "6789");
  EXPECT_EQ(f.Position(), 0);
}

TEST(File, WriteSeekReadRoundTripWith64BitPositions) {
  test::TempDir dir;
  File f;
  ASSERT_EQ(f.Open(dir.File("a.bin"), File::Mode::CreateReadWrite), 0);
  ASSERT_TRUE(f.Write("hello world", 11));
  // A position beyond 4 GiB makes a sparse file; it must not wrap.
  const int64_t far = (int64_t{1} << 32) + 5;
  ASSERT_EQ(f.Seek(far), far);
  ASSERT_TRUE(f.Write("Z", 1));
  EXPECT_EQ(f.Length(), far + 1);
  ASSERT_EQ(f.Seek(6), 6);
  char buf[5] = {};
  EXPECT_EQ(f.Read(buf, 5), 5);
  EXPECT_EQ(std::string(buf, 5), "world");
  ASSERT_EQ(f.Seek(-1, File::Origin::End), far);
  EXPECT_EQ(f.Read(buf, 5), 1);
  EXPECT_EQ(buf[0], 'Z');
  EXPECT_EQ(f.Read(buf, 5), 0);
}

TEST(FileMapping, MapsWholeFileAndRefusesEmptyOne) {
  test::TempDir dir;
  FileMapping m;
  ASSERT_EQ(m.MapPath(dir.Write("x.bin", "abcdef")), 0);
  ASSERT_EQ(m.Size(), 6u);
  EXPECT_EQ(std::memcmp(m.Data(), "abcdef", 6), 0);
  FileMapping empty;
  EXPECT_EQ(empty.MapPath(dir.Write("e.bin", "")), EINVAL);
  EXPECT_FALSE(empty.IsMapped());
}

TEST(FileMappingDeathTest, TruncationZeroFillsOurMappingsAndLeavesOtherFaultsAlone) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  test::TempDir dir;
  const auto page = static_cast<std::size_t>(::sysconf(_SC_PAGESIZE));
  const std::string path = dir.Write("x.bin", std::string(3 * page, 'x'));
  FileMapping ours;
  ASSERT_EQ(ours.MapPath(path), 0);
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  ASSERT_GE(fd, 0);
  void* foreign = ::mmap(nullptr, 3 * page, PROT_READ, MAP_SHARED, fd, 0);
  ::close(fd);
  ASSERT_NE(foreign, MAP_FAILED);
  ASSERT_EQ(::truncate(path.c_str(), static_cast<off_t>(page)), 0);

  EXPECT_FALSE(ours.WasDamaged());
  EXPECT_EQ(ours.Data()[2 * page + 5], 0);
  EXPECT_EQ(ours.Data()[page - 1], 'x');
  EXPECT_TRUE(ours.WasDamaged());
  // A mapping that is not ours still faults as it would without the guard.
  const auto* other = static_cast<const volatile uint8_t*>(foreign);
  EXPECT_DEATH({ [[maybe_unused]] const uint8_t byte = other[2 * page]; }, "");
  ::munmap(foreign, 3 * page);
}

}  // namespace
}  // namespace skelvane
