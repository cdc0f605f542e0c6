#include "platform/FileMapping.h"

#include <atomic>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <mutex>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

namespace skelvane {
namespace {

// The fault handler may only touch lock-free atomics: a fixed table, no allocation, no locks.
constexpr int32_t kMaxGuardedMappings = 1024;

struct GuardSlot {
  std::atomic<uintptr_t> start{0};  // 0: free
  std::atomic<std::size_t> length{0};
  std::atomic<bool> damaged{false};
};
static_assert(std::atomic<uintptr_t>::is_always_lock_free && std::atomic<std::size_t>::is_always_lock_free &&
                  std::atomic<bool>::is_always_lock_free,
              "the SIGBUS handler needs lock-free atomics");

GuardSlot g_slots[kMaxGuardedMappings];
uintptr_t g_pageSize = 4096;  // set before the handler is installed
struct sigaction g_previousHandler {};
std::once_flag g_installOnce;

void PassToPreviousHandler(int signal, siginfo_t* info, void* context) {
  if ((g_previousHandler.sa_flags & SA_SIGINFO) != 0 && g_previousHandler.sa_sigaction != nullptr) {
    g_previousHandler.sa_sigaction(signal, info, context);
    return;
  }
  if (g_previousHandler.sa_handler != SIG_DFL && g_previousHandler.sa_handler != SIG_IGN) {
    g_previousHandler.sa_handler(signal);
    return;
  }
  // Default action: a real fault repeats when the read is retried and now ends the process as it
  // would have without us; a SIGBUS sent by another process is raised again for the same effect.
  struct sigaction fallback {};
  fallback.sa_handler = SIG_DFL;
  sigemptyset(&fallback.sa_mask);
  ::sigaction(signal, &fallback, nullptr);
  if (info == nullptr || info->si_code <= 0) ::raise(signal);
}

// Replaces the lost pages of the mapping that holds `address` by zero pages; false when no mapping
// of ours holds it or the pages could not be replaced.
bool ZeroFillFrom(uintptr_t address) {
  const uintptr_t page = g_pageSize;
  for (GuardSlot& slot : g_slots) {
    const uintptr_t start = slot.start.load(std::memory_order_acquire);
    const std::size_t length = slot.length.load(std::memory_order_acquire);
    if (start == 0 || address < start || address - start >= length) continue;
    const uintptr_t from = address & ~(page - 1);
    const uintptr_t end = (start + length + page - 1) & ~(page - 1);
    void* zeros = ::mmap(reinterpret_cast<void*>(from), end - from, PROT_READ, MAP_FIXED | MAP_PRIVATE | MAP_ANONYMOUS,
                         -1, 0);
    if (zeros == MAP_FAILED) return false;
    slot.damaged.store(true, std::memory_order_release);
    return true;
  }
  return false;
}

void OnBusError(int signal, siginfo_t* info, void* context) {
  const int savedErrno = errno;
  const bool handled = info != nullptr && info->si_code > 0 && ZeroFillFrom(reinterpret_cast<uintptr_t>(info->si_addr));
  errno = savedErrno;
  if (!handled) PassToPreviousHandler(signal, info, context);
}

// Installed at the first mapping, so a handler set up at start (a sanitizer's) comes before ours.
void InstallBusErrorHandler() {
  g_pageSize = static_cast<uintptr_t>(::sysconf(_SC_PAGESIZE));
  struct sigaction action {};
  action.sa_sigaction = OnBusError;
  action.sa_flags = SA_SIGINFO | SA_ONSTACK | SA_RESTART;
  sigemptyset(&action.sa_mask);
  ::sigaction(SIGBUS, &action, &g_previousHandler);
}

int32_t RegisterGuard(const uint8_t* data, std::size_t size) {
  std::call_once(g_installOnce, InstallBusErrorHandler);
  for (int32_t i = 0; i < kMaxGuardedMappings; ++i) {
    uintptr_t expected = 0;
    if (!g_slots[i].start.compare_exchange_strong(expected, reinterpret_cast<uintptr_t>(data),
                                                  std::memory_order_acq_rel)) {
      continue;
    }
    g_slots[i].damaged.store(false, std::memory_order_release);
    g_slots[i].length.store(size, std::memory_order_release);
    return i;
  }
  return -1;  // more mappings than the table holds: this one stays unguarded
}

void UnregisterGuard(int32_t slot) {
  if (slot < 0) return;
  g_slots[slot].length.store(0, std::memory_order_release);
  g_slots[slot].damaged.store(false, std::memory_order_release);
  g_slots[slot].start.store(0, std::memory_order_release);
}

}  // namespace

FileMapping::~FileMapping() { Unmap(); }

int32_t FileMapping::Map(int descriptor) {
  Unmap();
  struct stat st {};
  if (::fstat(descriptor, &st) != 0) return errno;
  return Map(descriptor, static_cast<int64_t>(st.st_size));
}

int32_t FileMapping::Map(int descriptor, int64_t bytes) {
  Unmap();
  if (bytes <= 0) return EINVAL;  // nothing to map
  if (static_cast<uint64_t>(bytes) > SIZE_MAX) return EFBIG;
  void* view = ::mmap(nullptr, static_cast<size_t>(bytes), PROT_READ, MAP_SHARED, descriptor, 0);
  if (view == MAP_FAILED) return errno;
  data_ = static_cast<const uint8_t*>(view);
  size_ = static_cast<std::size_t>(bytes);
  guardSlot_ = RegisterGuard(data_, size_);
  return 0;
}

int32_t FileMapping::MapPath(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return errno;
  const int32_t rc = Map(fd);
  ::close(fd);
  return rc;
}

void FileMapping::Unmap() {
  // Out of the handler's table first: once unmapped, the addresses may be handed to someone else.
  UnregisterGuard(guardSlot_);
  guardSlot_ = -1;
  if (data_ != nullptr) ::munmap(const_cast<uint8_t*>(data_), size_);
  data_ = nullptr;
  size_ = 0;
}

bool FileMapping::WasDamaged() const {
  return guardSlot_ >= 0 && g_slots[guardSlot_].damaged.load(std::memory_order_acquire);
}

}  // namespace skelvane
