#pragma once
// A seekable file with 64-bit positions over POSIX descriptors. Failures come back as errno values
// (never exceptions); the data-file readers, the spike-file writer and the settings file use it.

#include <sys/stat.h>

#include <cerrno>
#include <cstdint>
#include <string>

namespace skelvane {

/// What Open answers for a FIFO, socket or device opened for reading ("Operation not supported"):
/// such files would block a read or cannot be mapped.
inline constexpr int kErrorNotRegularFile = ENOTSUP;

class File {
 public:
  enum class Mode {
    Read,            // existing file, read only
    CreateWrite,     // create or truncate, write only
    CreateReadWrite  // create or truncate, read and write
  };
  enum class Origin { Begin, Current, End };

  File() = default;
  ~File();
  File(const File&) = delete;
  File& operator=(const File&) = delete;
  File(File&& other) noexcept;
  File& operator=(File&& other) noexcept;

  /// Opens the file; 0 or the errno of the failure. `sequential` hints a front-to-back scan. Read mode
  /// opens regular files only and never blocks: EISDIR for a directory, kErrorNotRegularFile otherwise.
  int32_t Open(const std::string& path, Mode mode, bool sequential = false);
  /// Takes over `descriptor`, already open on `path` (closing a file still open); the file closes it.
  void Adopt(int descriptor, const std::string& path);
  /// Closes the file; 0 or the errno the close reported (data that could not be written).
  int32_t Close();
  bool IsOpen() const { return fd_ >= 0; }

  /// Reads up to `count` bytes; the number read (0 at the end) or -1 with LastError() set.
  int64_t Read(void* buffer, int64_t count);
  /// Reads up to `count` bytes at `offset` without moving the position; as Read.
  int64_t ReadAt(int64_t offset, void* buffer, int64_t count);
  /// Reads `count` bytes at `offset` of an open descriptor without moving its position, retrying
  /// interrupted reads: the bytes read (fewer only at the end of the file) or -errno. Keeps no state,
  /// so readers on several threads can share one descriptor.
  static int64_t ReadFullyAt(int descriptor, void* buffer, int64_t count, int64_t offset);
  /// Writes all `count` bytes; true on success, false with LastError() set (ENOSPC, EFBIG, ...).
  bool Write(const void* buffer, int64_t count);
  /// Moves the position; the new position or -1 with LastError() set.
  int64_t Seek(int64_t offset, Origin origin = Origin::Begin);
  /// The current position, or -1.
  int64_t Position() const;
  /// The file's length in bytes, or -1 with LastError() set.
  int64_t Length() const;

  int LastError() const { return lastError_; }
  const std::string& Path() const { return path_; }
  int Descriptor() const { return fd_; }
  /// The status Open found the file in (all zeros for an adopted descriptor): what a caller would
  /// otherwise ask for again right after opening it.
  const struct stat& OpenedStatus() const { return status_; }

 private:
  int fd_ = -1;
  struct stat status_ {};
  mutable int lastError_ = 0;
  std::string path_;
};

}  // namespace skelvane
