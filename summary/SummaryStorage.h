#pragma once
// The bytes behind a source summary: anonymous memory while it is built (or when it is not kept on
// disk), or a read-only mapping of its kept file. Owned by SourceSummary; the mapping's pages belong
// to the page cache, so a kept summary adds nothing to the process's anonymous memory.

#include <cstddef>
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

  /// Writable anonymous memory of `bytes`, zeroed or, when `zeroed` is false, as a summary released
  /// earlier left it (the caller writes every byte); 0 or the errno of the failure.
  int32_t Allocate(int64_t bytes, bool zeroed = true);
  /// Takes over `mapping`, a whole file mapped read-only (by its owner, who knew its length), and
  /// shows the `bytes` from `offset`; 0, or EINVAL when they lie outside the file.
  int32_t AdoptMapping(std::unique_ptr<FileMapping> mapping, int64_t offset, int64_t bytes);
  /// Makes anonymous memory read-only, once it is filled.
  void Seal();
  /// Gives the memory back; on a summary worker, anonymous memory is kept for the next build until
  /// the workers run out of work (see ReleaseSpares).
  void Release();
  /// Gives back the anonymous memory kept for the next build: a new page costs its zeroing, which
  /// for a summary built after one just kept on disk is a tenth of the build.
  static void ReleaseSpares();
  /// Bytes of anonymous memory kept for the next build.
  static std::size_t SpareBytes();

  const uint8_t* Data() const { return data_; }
  /// Writable bytes of anonymous memory not yet sealed, else null.
  uint8_t* Writable() { return writable_ ? const_cast<uint8_t*>(data_) : nullptr; }
  int64_t Size() const { return size_; }
  /// True for a mapping of a kept file.
  bool FromFile() const { return file_ != nullptr; }
  /// True once a read of the mapping met a part of the file that was cut off (and read zeros there).
  bool Damaged() const;

 private:
  std::unique_ptr<FileMapping> file_;
  void* anonymous_ = nullptr;
  std::size_t anonymousBytes_ = 0;
  const uint8_t* data_ = nullptr;
  int64_t size_ = 0;
  bool writable_ = false;
};

}  // namespace skelvane
