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
#include <cstring>
#include <mutex>
#include <random>


namespace skelvane {
namespace {

constexpr int kCreateAttempts = 100;
constexpr mode_t kNewFileMode = 0666;  // narrowed by the umask, as for any new file

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

}  // namespace

AtomicFile::~AtomicFile() { Discard(); }

int32_t AtomicFile::Open(const std::string& requestedPath) {
  Discard();
  IgnoreFileSizeSignal();
  error_ = 0;
  direct_ = false;
  // A link is followed, so the file it names is replaced and the link stays.
  std::string finalPath = requestedPath;
  struct stat status {};
  if (::lstat(finalPath.c_str(), &status) == 0 && S_ISLNK(status.st_mode)) {
    char resolved[PATH_MAX];
    if (::realpath(finalPath.c_str(), resolved) != nullptr) finalPath = resolved;
  }
  if (::stat(finalPath.c_str(), &status) == 0 && !S_ISREG(status.st_mode)) {
    if (S_ISDIR(status.st_mode)) return EISDIR;
    // A pipe or socket would block or vanish; a device cannot be replaced, so its bytes go straight to it.
    if (!S_ISCHR(status.st_mode) && !S_ISBLK(status.st_mode)) return EINVAL;
    if (const int32_t rc = file_.Open(finalPath, File::Mode::CreateWrite); rc != 0) return rc;
    finalPath_ = finalPath;
    direct_ = true;
    return 0;
  }
  const std::size_t slash = finalPath.rfind('/');
  const std::string folder = slash == std::string::npos ? std::string() : finalPath.substr(0, slash + 1);
  const std::string name = slash == std::string::npos ? finalPath : finalPath.substr(slash + 1);
  if (name.empty()) return EISDIR;
  for (int attempt = 0; attempt < kCreateAttempts; ++attempt) {
    const std::string candidate = folder + "." + name + "." + RandomSuffix() + ".tmp";
    // The name is known to a signal handler before the file exists, so no signal can leave it behind.
    const int32_t slot = ClaimSlot(candidate);
    const int fd = ::open(candidate.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, kNewFileMode);
    if (fd < 0) {
      const int error = errno;
      ReleaseSlot(slot);
      if (error == EEXIST) continue;
      return error;
    }
    ::close(fd);
    // Reopened through File so writes, seeks and errors behave as for every other file.
    if (const int32_t rc = file_.Open(candidate, File::Mode::CreateReadWrite); rc != 0) {
      ::unlink(candidate.c_str());
      ReleaseSlot(slot);
      return rc;
    }
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

void AtomicFile::RemovePendingFromSignal() noexcept {
  for (PendingSlot& slot : gPending) {
    if (slot.state.load() == 2) ::unlink(slot.path);
  }
}

}  // namespace skelvane
