#pragma once
// A read-only mapping of a whole file, so record readers hand out pointers instead of copying.
// Used by the data-file readers; a 0-byte file cannot be mapped (EINVAL, as mmap answers).
//
// A file truncated by another program while it is mapped would kill the process with SIGBUS at the
// next read of a lost page. Every mapping is therefore registered with a process-wide SIGBUS handler
// that puts zero pages in place of the lost part, marks the mapping damaged and lets the read go on;
// faults at other addresses go to the handler that was installed before (a sanitizer's, or the
// default). The owner asks WasDamaged() after reading and reports the change.

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
  /// As Map, for a file the caller has just found to be `bytes` long (through the same descriptor):
  /// no second look at its status. A file since cut shorter reads as one cut while mapped.
  int32_t Map(int descriptor, int64_t bytes);
  /// Opens `path` read-only, maps it and closes the descriptor again; 0 or an errno.
  int32_t MapPath(const std::string& path);
  /// Releases the mapping (also done by the destructor).
  void Unmap();

  const uint8_t* Data() const { return data_; }
  std::size_t Size() const { return size_; }
  bool IsMapped() const { return data_ != nullptr; }
  /// True once a read hit a part of the file that no longer exists and got zeros instead.
  bool WasDamaged() const;

 private:
  const uint8_t* data_ = nullptr;
  std::size_t size_ = 0;
  int32_t guardSlot_ = -1;  // the mapping's entry in the fault handler's table, -1 when not guarded
};

}  // namespace skelvane
