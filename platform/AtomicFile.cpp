#include "platform/AtomicFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <random>

namespace skelvane {
namespace {

constexpr int kCreateAttempts = 100;
constexpr mode_t kNewFileMode = 0666;      // narrowed by the umask, as for any new file
constexpr mode_t kPrivateMode = 0600;      // until the replaced file's bits are set
// What a replacement keeps of the replaced file's mode: never set-id bits, which would hand the
// replaced file's rights to whoever wrote the new one.
constexpr mode_t kPermissionBits = 0777;
constexpr const char* kTemporaryPrefix = ".";
constexpr const char* kTemporaryEnd = ".tmp";

// Temporary names a signal handler may have to remove. A slot is claimed by compare-and-swap, its name
// written, then published; the handler reads only published slots.
struct PendingSlot {
  std::atomic<int> state{0};  // 0 free, 1 being filled, 2 published
  char path[PATH_MAX] = {};
};
std::array<PendingSlot, AtomicFile::kMaxPending> gPending;

int32_t ClaimSlot(const std::string& path) {
  if (path.size() >= PATH_MAX) return -1;
  for (int32_t i = 0; i < AtomicFile::kMaxPending; ++i) {
    int expected = 0;
    if (!gPending[static_cast<std::size_t>(i)].state.compare_exchange_strong(expected, 1)) continue;
    std::memcpy(gPending[static_cast<std::size_t>(i)].path, path.c_str(), path.size() + 1);
    gPending[static_cast<std::size_t>(i)].state.store(2);
    return i;
  }
  return -1;
}

void ReleaseSlot(int32_t slot) {
  if (slot >= 0) gPending[static_cast<std::size_t>(slot)].state.store(0);
}

// A process over its file-size limit would be killed by SIGXFSZ in the middle of a write; ignored, the
// write fails with EFBIG and the temporary file is removed like after any other write failure.
void IgnoreFileSizeSignal() {
  static std::once_flag once;
  std::call_once(once, [] { std::signal(SIGXFSZ, SIG_IGN); });
}

std::string RandomSuffix() {
  static std::mutex lock;
  static std::mt19937_64 generator{std::random_device{}()};
  std::lock_guard<std::mutex> guard(lock);
  char text[17];
  std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(generator()));
  return text;
}

// The longest start of `name` of at most `limit` bytes that does not end inside a UTF-8 character.
std::string CutAtCharacter(const std::string& name, std::size_t limit) {
  if (name.size() <= limit) return name;
  std::size_t end = limit;
  constexpr unsigned char kContinuationMask = 0xC0;
  constexpr unsigned char kContinuation = 0x80;
  while (end > 0 && (static_cast<unsigned char>(name[end]) & kContinuationMask) == kContinuation) --end;
  return name.substr(0, end);
}

// The final path with a link at its name resolved (a dangling link stays as it is and is replaced).
std::string Resolved(const std::string& path) {
  struct stat status {};
  if (::lstat(path.c_str(), &status) != 0 || !S_ISLNK(status.st_mode)) return path;
  char resolved[PATH_MAX];
  return ::realpath(path.c_str(), resolved) != nullptr ? std::string(resolved) : path;
}

}  // namespace

AtomicFile::~AtomicFile() { Discard(); }

std::string AtomicFile::TemporaryNameFor(const std::string& finalPath, const std::string& suffix) {
  const std::size_t slash = finalPath.rfind('/');
  const std::string folder = slash == std::string::npos ? std::string() : finalPath.substr(0, slash + 1);
  const std::string name = slash == std::string::npos ? finalPath : finalPath.substr(slash + 1);
  const std::size_t fixed = std::strlen(kTemporaryPrefix) + 1 + suffix.size() + std::strlen(kTemporaryEnd);
  const std::size_t room = kMaxNameBytes > fixed ? kMaxNameBytes - fixed : 0;
  return folder + kTemporaryPrefix + CutAtCharacter(name, room) + "." + suffix + kTemporaryEnd;
}

int32_t AtomicFile::Open(const std::string& requestedPath, Links links) {
  Discard();
  IgnoreFileSizeSignal();
  error_ = 0;
  direct_ = false;
  const std::string finalPath = links == Links::Follow ? Resolved(requestedPath) : requestedPath;
  const std::size_t slash = finalPath.rfind('/');
  if (finalPath.empty() || slash == finalPath.size() - 1) return EISDIR;

  // The name itself is looked at, never what a link there points to: a link is replaced like a file.
  struct stat status {};
  if (::lstat(finalPath.c_str(), &status) != 0) {
    if (errno != ENOENT) return errno;
    return CreateTemporary(finalPath, false, 0, 0);
  }
  if (S_ISDIR(status.st_mode)) return EISDIR;
  // A device cannot be replaced, so its bytes go straight to it; a pipe or socket would block or vanish.
  if (S_ISCHR(status.st_mode) || S_ISBLK(status.st_mode)) return OpenDevice(finalPath);
  if (S_ISLNK(status.st_mode)) return CreateTemporary(finalPath, false, 0, 0);
  if (!S_ISREG(status.st_mode)) return kErrorNotRegularFile;
  // A file the user may not write (read-only, or another's) is not the user's to replace.
  if (::faccessat(AT_FDCWD, finalPath.c_str(), W_OK, AT_EACCESS) != 0) return errno;
  return CreateTemporary(finalPath, true, status.st_mode & kPermissionBits, status.st_gid);
}

int32_t AtomicFile::OpenDevice(const std::string& path) {
  int fd;
  do {
    fd = ::open(path.c_str(), O_WRONLY | O_NOFOLLOW | O_CLOEXEC);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) return errno;
  file_.Adopt(fd, path);
  finalPath_ = path;
  direct_ = true;
  return 0;
}

int32_t AtomicFile::CreateTemporary(const std::string& finalPath, bool keepAttributes, mode_t keptMode,
                                    gid_t keptGroup) {
  for (int attempt = 0; attempt < kCreateAttempts; ++attempt) {
    const std::string candidate = TemporaryNameFor(finalPath, RandomSuffix());
    // The name is known to a signal handler before the file exists, so no signal can leave it behind.
    const int32_t slot = ClaimSlot(candidate);
    int fd;
    do {
      fd = ::open(candidate.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                  keepAttributes ? kPrivateMode : kNewFileMode);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) {
      const int error = errno;
      ReleaseSlot(slot);
      if (error == EEXIST) continue;
      return error;
    }
    if (keepAttributes) {
      struct stat created {};
      if (::fstat(fd, &created) == 0 && created.st_gid != keptGroup &&
          ::fchown(fd, static_cast<uid_t>(-1), keptGroup) != 0) {
        // A group the user is not in cannot be given: the file keeps the user's own.
      }
      if (::fchmod(fd, keptMode) != 0) {
        const int error = errno;
        ::close(fd);
        ::unlink(candidate.c_str());
        ReleaseSlot(slot);
        return error;
      }
    }
    file_.Adopt(fd, candidate);
    finalPath_ = finalPath;
    temporaryPath_ = candidate;
    pendingSlot_ = slot;
    return 0;
  }
  return EEXIST;
}

bool AtomicFile::Write(const void* data, int64_t count) {
  if (error_ != 0) return false;
  if (!file_.IsOpen()) {
    error_ = EBADF;
    return false;
  }
  if (file_.Write(data, count)) return true;
  error_ = file_.LastError() != 0 ? file_.LastError() : EIO;
  return false;
}

int32_t AtomicFile::Commit() {
  if (!file_.IsOpen()) return error_ != 0 ? error_ : EBADF;
  if (direct_) {
    const int32_t closeError = file_.Close();
    if (error_ == 0) error_ = closeError;
    direct_ = false;
    return error_;
  }
  if (error_ == 0 && ::fdatasync(file_.Descriptor()) != 0) error_ = errno;
  const int32_t closeError = file_.Close();
  if (error_ == 0) error_ = closeError;
  // rename replaces the directory entry itself: a link put there since Open goes, its target stays.
  if (error_ == 0 && ::rename(temporaryPath_.c_str(), finalPath_.c_str()) != 0) error_ = errno;
  if (error_ != 0) {
    ::unlink(temporaryPath_.c_str());
  }
  Forget();
  return error_;
}

void AtomicFile::Discard() {
  if (direct_) {
    file_.Close();
    direct_ = false;
    return;
  }
  if (temporaryPath_.empty()) return;
  file_.Close();
  ::unlink(temporaryPath_.c_str());
  Forget();
}

void AtomicFile::Forget() {
  ReleaseSlot(pendingSlot_);
  pendingSlot_ = -1;
  temporaryPath_.clear();
}

int32_t AtomicFile::AddPending(const std::string& path) { return ClaimSlot(path); }

void AtomicFile::ForgetPending(int32_t slot) { ReleaseSlot(slot); }

void AtomicFile::RemovePendingFromSignal() noexcept {
  for (PendingSlot& slot : gPending) {
    if (slot.state.load() == 2) ::unlink(slot.path);
  }
}

}  // namespace skelvane
