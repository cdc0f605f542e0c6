#pragma once
// A read-only mapping of a whole file, so record readers hand out pointers instead of copying.
// Used by the data-file readers; a 0-byte file cannot be mapped (EINVAL, as mmap answers).

#include <cstddef>
#include <cstdint>
#include <string>

namespace skelvane {

class FileMapping {
 public:
  FileMapping() = default;
  ~FileMapping();
  FileMapping(const FileMapping&) = delete;
  FileMapping& operator=(const FileMapping&) = delete;

  /// Maps the whole file behind the open descriptor read-only; 0 or the errno of the failure.
  int32_t Map(int descriptor);
  /// Opens `path` read-only, maps it and closes the descriptor again; 0 or an errno.
  int32_t MapPath(const std::string& path);
  /// Releases the mapping (also done by the destructor).
  void Unmap();

  const uint8_t* Data() const { return data_; }
  std::size_t Size() const { return size_; }
  bool IsMapped() const { return data_ != nullptr; }

 private:
  const uint8_t* data_ = nullptr;
  std::size_t size_ = 0;
};

}  // namespace skelvane
