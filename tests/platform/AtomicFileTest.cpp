#include "platform/AtomicFile.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
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

mode_t ModeOf(const std::string& path) {
  struct stat status {};
  return ::lstat(path.c_str(), &status) == 0 ? status.st_mode & 07777 : 0;
}

// A link at the final name is replaced like a file: what it points to (another user's file, a
// recording) keeps its bytes, and the temporary file is made beside the link, never through it.
TEST(AtomicFile, ALinkAtTheNameIsReplacedItselfAndWhatItPointsToIsKept) {
  test::TempDir dir;
  std::filesystem::create_directory(dir.File("elsewhere"));
  const std::string target = dir.Write("elsewhere/precious", "keep me");
  ::chmod(target.c_str(), 0600);
  const std::string link = dir.File("out.bin");
  std::filesystem::create_symlink(target, link);
  AtomicFile file;
  ASSERT_EQ(file.Open(link), 0);
  EXPECT_EQ(file.TemporaryPath().rfind(dir.Path() + "/.out.bin.", 0), 0u);
  ASSERT_TRUE(file.Write("new", 3));
  // A link put where the temporary file goes is not written through either: it is replaced at Commit.
  ASSERT_EQ(file.Commit(), 0);
  EXPECT_EQ(Contents(target), "keep me");
  EXPECT_EQ(ModeOf(target), 0600u);
  EXPECT_FALSE(std::filesystem::is_symlink(link));
  EXPECT_EQ(Contents(link), "new");
  EXPECT_EQ(FilesIn(dir.Path()), 2);
}

// The settings file's link was put there by its user: its target is replaced and keeps its mode.
TEST(AtomicFile, FollowingALinkReplacesWhatItPointsToKeepingItsMode) {
  test::TempDir dir;
  std::filesystem::create_directory(dir.File("kept"));
  const std::string target = dir.Write("kept/Skelvane.set", "old settings");
  ::chmod(target.c_str(), 0640);
  const std::string link = dir.File("Skelvane.set");
  std::filesystem::create_symlink(target, link);
  AtomicFile file;
  ASSERT_EQ(file.Open(link, AtomicFile::Links::Follow), 0);
  ASSERT_TRUE(file.Write("new settings", 12));
  ASSERT_EQ(file.Commit(), 0);
  EXPECT_TRUE(std::filesystem::is_symlink(link));
  EXPECT_EQ(Contents(target), "new settings");
  EXPECT_EQ(ModeOf(target), 0640u);
}

// A replaced file keeps who may read it: a private file does not become readable by all. The group
// stays where the system lets the writer give it (always for root, else a group the user is in).
TEST(AtomicFile, AReplacedFileKeepsItsPermissionsAndGroup) {
  test::TempDir dir;
  gid_t otherGroup = ::getegid();
  if (::geteuid() == 0) {
    otherGroup = 4242;
  } else {
    gid_t groups[64];
    const int count = ::getgroups(64, groups);
    for (int i = 0; i < count; ++i) {
      if (groups[i] != ::getegid()) otherGroup = groups[i];
    }
  }
  for (const mode_t mode : {0600, 0640, 0664, 0751}) {
    SCOPED_TRACE(mode);
    const std::string path = dir.Write("kept.bin", "old");
    ASSERT_EQ(::chmod(path.c_str(), mode), 0);
    ASSERT_EQ(::chown(path.c_str(), static_cast<uid_t>(-1), otherGroup), 0);
    AtomicFile file;
    ASSERT_EQ(file.Open(path), 0);
    ASSERT_TRUE(file.Write("new", 3));
    ASSERT_EQ(file.Commit(), 0);
    EXPECT_EQ(Contents(path), "new");
    EXPECT_EQ(ModeOf(path), mode);
    struct stat status {};
    ASSERT_EQ(::stat(path.c_str(), &status), 0);
    EXPECT_EQ(status.st_gid, otherGroup);
  }
}

// Read-only for its own user, or another user's: either way not the writer's to replace. Run as an
// ordinary user (a child that gives up root, when the tests run as root).
TEST(AtomicFile, AFileTheUserMayNotWriteIsNotReplaced) {
  test::TempDir dir;
  ASSERT_EQ(::chmod(dir.Path().c_str(), 0777), 0);
  const std::string others = dir.Write("others.kse", "another user's spikes");
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    constexpr uid_t kNobody = 65534;
    // Only a user who gave up root has another user's file to try.
    const bool droppedRoot = ::geteuid() == 0;
    if (droppedRoot && (::setgid(kNobody) != 0 || ::setuid(kNobody) != 0)) _exit(2);
    const std::string own = dir.File("own.kse");
    std::ofstream(own) << "my spikes";
    if (::chmod(own.c_str(), 0444) != 0) _exit(3);
    AtomicFile file;
    const int32_t onOwn = file.Open(own);
    const int32_t onOthers = droppedRoot ? file.Open(others) : EACCES;
    _exit(onOwn == EACCES && onOthers == EACCES ? 0 : 4);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
  EXPECT_EQ(Contents(dir.File("own.kse")), "my spikes");
  EXPECT_EQ(Contents(others), "another user's spikes");
  EXPECT_EQ(FilesIn(dir.Path()), 2);
}

// However long the final name, the temporary name stays within the 255-byte limit, cut only between
// whole characters.
TEST(AtomicFile, LongNamesUpToTheLimitCanBeWritten) {
  test::TempDir dir;
  for (const std::size_t length : {200u, 233u, 234u, 250u, 255u}) {
    for (const std::string unit : {"a", "\xc3\xa9", "\xe6\x97\xa5"}) {
      std::string name;
      while (name.size() + unit.size() <= length) name += unit;
      SCOPED_TRACE(::testing::Message() << name.size() << " bytes of " << unit.size() << "-byte characters");
      AtomicFile file;
      ASSERT_EQ(file.Open(dir.File(name)), 0);
      const std::string temporary = file.TemporaryPath().substr(dir.Path().size() + 1);
      EXPECT_LE(temporary.size(), AtomicFile::kMaxNameBytes);
      const std::string kept = temporary.substr(1, temporary.find('.', 1) - 1);
      EXPECT_EQ(name.rfind(kept, 0), 0u);
      EXPECT_EQ(kept.size() % unit.size(), 0u);
      ASSERT_TRUE(file.Write("x", 1));
      ASSERT_EQ(file.Commit(), 0);
      EXPECT_EQ(Contents(dir.File(name)), "x");
      std::filesystem::remove(dir.File(name));
    }
  }
}

}  // namespace
}  // namespace skelvane
