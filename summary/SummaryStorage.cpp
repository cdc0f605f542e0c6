#include "summary/SummaryStorage.h"

#include <sys/mman.h>

#include <cerrno>
#include <cstdint>
#include <utility>

#include "platform/FileMapping.h"

namespace skelvane {

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

int32_t SummaryStorage::Allocate(int64_t bytes) {
  Release();
  if (bytes < 0 || static_cast<uint64_t>(bytes) > SIZE_MAX / 2) return EINVAL;
  if (bytes == 0) {
    writable_ = true;
    return 0;
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

int32_t SummaryStorage::MapFile(int descriptor, int64_t offset, int64_t bytes) {
  Release();
  auto mapping = std::make_unique<FileMapping>();
  if (bytes == 0) {
    file_ = std::move(mapping);
    return 0;
  }
  if (const int32_t rc = mapping->Map(descriptor); rc != 0) return rc;
  if (offset < 0 || bytes < 0 || static_cast<uint64_t>(offset) > mapping->Size() ||
      static_cast<uint64_t>(bytes) > mapping->Size() - static_cast<uint64_t>(offset)) {
    return EINVAL;
  }
  data_ = mapping->Data() + offset;
  size_ = bytes;
  file_ = std::move(mapping);
  return 0;
}

void SummaryStorage::Seal() {
  if (anonymous_ != nullptr) ::mprotect(anonymous_, anonymousBytes_, PROT_READ);
  writable_ = false;
}

void SummaryStorage::Release() {
  if (anonymous_ != nullptr) ::munmap(anonymous_, anonymousBytes_);
  anonymous_ = nullptr;
  anonymousBytes_ = 0;
  file_.reset();
  data_ = nullptr;
  size_ = 0;
  writable_ = false;
}

}  // namespace skelvane
