#pragma once
// The bytes behind a source summary: anonymous memory while it is built (or when it is not kept on
// disk), or a read-only mapping of its kept file. Owned by SourceSummary; the mapping's pages belong
// to the page cache, so a kept summary adds nothing to the process's anonymous memory.

#include <cstdint>
#include <memory>

namespace skelvane {

class FileMapping;

class SummaryStorage {
 public:
  SummaryStorage();
  ~SummaryStorage();
  SummaryStorage(SummaryStorage&& other) noexcept;
  SummaryStorage& operator=(SummaryStorage&& other) noexcept;
  SummaryStorage(const SummaryStorage&) = delete;
  SummaryStorage& operator=(const SummaryStorage&) = delete;

  /// Zeroed, writable anonymous memory of `bytes`; 0 or the errno of the failure.
  int32_t Allocate(int64_t bytes);
  /// Maps the whole file behind the open descriptor read-only and shows the `bytes` from `offset`;
  /// 0, EINVAL when they lie outside the file, or the errno of the failure.
  int32_t MapFile(int descriptor, int64_t offset, int64_t bytes);
  /// Makes anonymous memory read-only, once it is filled.
  void Seal();
  /// Gives the memory back.
  void Release();

  const uint8_t* Data() const { return data_; }
  /// Writable bytes of anonymous memory not yet sealed, else null.
  uint8_t* Writable() { return writable_ ? const_cast<uint8_t*>(data_) : nullptr; }
  int64_t Size() const { return size_; }
  /// True for a mapping of a kept file.
  bool FromFile() const { return file_ != nullptr; }

 private:
  std::unique_ptr<FileMapping> file_;
  void* anonymous_ = nullptr;
  std::size_t anonymousBytes_ = 0;
  const uint8_t* data_ = nullptr;
  int64_t size_ = 0;
  bool writable_ = false;
};

}  // namespace skelvane
