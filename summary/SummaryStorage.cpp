#include "summary/SummaryStorage.h"

#include <sys/mman.h>

#include <cerrno>
#include <cstdint>
#include <mutex>
#include <utility>
#include <vector>

#include "platform/FileMapping.h"
#include "summary/SummaryWorkerPool.h"

namespace skelvane {
namespace {

// Anonymous memory released by summaries on the workers, kept for the next build while builds go on.
struct Spare {
  void* memory = nullptr;
  std::size_t bytes = 0;
};
// One per worker: each takes the memory of the summary it kept last. Never more than a quarter of
// the window's memory budget.
constexpr std::size_t kMostSpareBytes = std::size_t{128} << 20;

// Never destroyed: the workers hand the spares back when they run out of work, which may be while
// the process exits and its other statics are being destroyed (a destroyed list freed twice).
std::mutex& SparesMutex() {
  static auto* const mutex = new std::mutex;
  return *mutex;
}
std::vector<Spare>& Spares() {
  static auto* const spares = new std::vector<Spare>;
  return *spares;
}

// A spare of at least `bytes` and at most twice that (a larger one would hold memory unused), or none.
Spare TakeSpare(std::size_t bytes) {
  std::lock_guard lock(SparesMutex());
  std::vector<Spare>& spares = Spares();
  auto best = spares.end();
  for (auto it = spares.begin(); it != spares.end(); ++it) {
    if (it->bytes >= bytes && it->bytes / 2 <= bytes && (best == spares.end() || it->bytes < best->bytes)) best = it;
  }
  if (best == spares.end()) return {};
  const Spare spare = *best;
  spares.erase(best);
  return spare;
}

// The spares go back once the workers run out of work, asked for when the first is kept.
void ReleaseSparesWhenIdle() {
  static std::once_flag once;
  std::call_once(once, [] { SummaryWorkerPool::Instance().WhenIdle(&SummaryStorage::ReleaseSpares); });
}

// Keeps `spare` when there is room, else unmaps it.
void KeepSpare(Spare spare) {
  ReleaseSparesWhenIdle();
  {
    std::lock_guard lock(SparesMutex());
    std::vector<Spare>& spares = Spares();
    std::size_t held = 0;
    for (const Spare& kept : spares) held += kept.bytes;
    const auto most = static_cast<std::size_t>(SummaryWorkerPool::ThreadCount());
    if (spares.size() < most && held + spare.bytes <= kMostSpareBytes) {
      spares.push_back(spare);
      return;
    }
  }
  ::munmap(spare.memory, spare.bytes);
}

}  // namespace

SummaryStorage::SummaryStorage() = default;
SummaryStorage::~SummaryStorage() { Release(); }

SummaryStorage::SummaryStorage(SummaryStorage&& other) noexcept { *this = std::move(other); }

SummaryStorage& SummaryStorage::operator=(SummaryStorage&& other) noexcept {
  if (this == &other) return *this;
  Release();
  file_ = std::move(other.file_);
  anonymous_ = std::exchange(other.anonymous_, nullptr);
  anonymousBytes_ = std::exchange(other.anonymousBytes_, 0);
  data_ = std::exchange(other.data_, nullptr);
  size_ = std::exchange(other.size_, 0);
  writable_ = std::exchange(other.writable_, false);
  return *this;
}

int32_t SummaryStorage::Allocate(int64_t bytes, bool zeroed) {
  Release();
  if (bytes < 0 || static_cast<uint64_t>(bytes) > SIZE_MAX / 2) return EINVAL;
  if (bytes == 0) {
    writable_ = true;
    return 0;
  }
  if (!zeroed) {
    if (const Spare spare = TakeSpare(static_cast<std::size_t>(bytes)); spare.memory != nullptr) {
      if (::mprotect(spare.memory, spare.bytes, PROT_READ | PROT_WRITE) == 0) {
        anonymous_ = spare.memory;
        anonymousBytes_ = spare.bytes;
        data_ = static_cast<const uint8_t*>(spare.memory);
        size_ = bytes;
        writable_ = true;
        return 0;
      }
      ::munmap(spare.memory, spare.bytes);
    }
  }
  // Its own mapping rather than the heap: the memory goes back to the system the moment the summary
  // is kept on disk, whatever the allocator would have done with a freed block this size.
  void* memory = ::mmap(nullptr, static_cast<std::size_t>(bytes), PROT_READ | PROT_WRITE,
                        MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
  if (memory == MAP_FAILED) return errno;
  // Large pages where the system offers them: a build then takes a fault per 2 MB, not per 4 KB.
  ::madvise(memory, static_cast<std::size_t>(bytes), MADV_HUGEPAGE);
  anonymous_ = memory;
  anonymousBytes_ = static_cast<std::size_t>(bytes);
  data_ = static_cast<const uint8_t*>(memory);
  size_ = bytes;
  writable_ = true;
  return 0;
}

int32_t SummaryStorage::AdoptMapping(std::unique_ptr<FileMapping> mapping, int64_t offset, int64_t bytes) {
  Release();
  if (mapping == nullptr) return EINVAL;
  if (bytes == 0) {
    file_ = std::move(mapping);
    return 0;
  }
  if (offset < 0 || bytes < 0 || static_cast<uint64_t>(offset) > mapping->Size() ||
      static_cast<uint64_t>(bytes) > mapping->Size() - static_cast<uint64_t>(offset)) {
    return EINVAL;
  }
  data_ = mapping->Data() + offset;
  size_ = bytes;
  file_ = std::move(mapping);
  return 0;
}

bool SummaryStorage::Damaged() const { return file_ != nullptr && file_->WasDamaged(); }

void SummaryStorage::Seal() {
  if (anonymous_ != nullptr) ::mprotect(anonymous_, anonymousBytes_, PROT_READ);
  writable_ = false;
}

void SummaryStorage::Release() {
  // Kept for the next build only on a worker, which gives it back when the builds are done.
  if (anonymous_ != nullptr && SummaryWorkerPool::OnWorkerThread()) {
    KeepSpare(Spare{anonymous_, anonymousBytes_});
  } else if (anonymous_ != nullptr) {
    ::munmap(anonymous_, anonymousBytes_);
  }
  anonymous_ = nullptr;
  anonymousBytes_ = 0;
  file_.reset();
  data_ = nullptr;
  size_ = 0;
  writable_ = false;
}

std::size_t SummaryStorage::SpareBytes() {
  std::lock_guard lock(SparesMutex());
  std::size_t bytes = 0;
  for (const Spare& spare : Spares()) bytes += spare.bytes;
  return bytes;
}

void SummaryStorage::ReleaseSpares() {
  std::vector<Spare> spares;
  {
    std::lock_guard lock(SparesMutex());
    spares.swap(Spares());
  }
  for (const Spare& spare : spares) ::munmap(spare.memory, spare.bytes);
}

}  // namespace skelvane
