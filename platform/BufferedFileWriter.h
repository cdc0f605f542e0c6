#pragma once
// A write-only file that collects small writes in memory and hands them to the system in large
// pieces. The spike-file writer uses it so that millions of short records cost few system calls.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/File.h"

namespace skelvane {

class BufferedFileWriter {
 public:
  /// Buffer size used when none is given: large enough that a spike run makes few system calls.
  static constexpr std::size_t kDefaultCapacity = 256 * 1024;

  /// A closed writer whose buffer holds `capacity` bytes (at least one).
  explicit BufferedFileWriter(std::size_t capacity = kDefaultCapacity);
  /// Flushes and closes an open file; errors are lost here, so owners call Close() themselves.
  ~BufferedFileWriter();
  BufferedFileWriter(const BufferedFileWriter&) = delete;
  BufferedFileWriter& operator=(const BufferedFileWriter&) = delete;

  /// Creates or truncates `path` for writing (closing a file still open); 0 or the errno.
  int32_t Open(const std::string& path);
  /// Appends `count` bytes; false once any write of this file has failed (see LastError()).
  bool Write(const void* data, std::size_t count);
  /// Hands everything buffered to the system; false when that (or an earlier write) failed.
  bool Flush();
  /// Flushes and closes; 0, or the errno of the first failure since Open (write, flush or close).
  int32_t Close();

  /// True while a file is open.
  bool IsOpen() const { return file_.IsOpen(); }
  /// The errno of the first failure since Open, 0 when everything has succeeded so far.
  int LastError() const { return error_; }
  /// Bytes accepted since Open, buffered or written.
  int64_t BytesAccepted() const { return accepted_; }

 private:
  bool WriteThrough(const void* data, std::size_t count);

  File file_;
  std::vector<char> buffer_;
  std::size_t used_ = 0;
  int64_t accepted_ = 0;
  int error_ = 0;  // sticky: after a failure the file's contents are unknown, so nothing more goes out
};

}  // namespace skelvane
