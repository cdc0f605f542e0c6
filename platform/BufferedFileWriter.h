#pragma once
// A write-only file that collects small writes in memory and hands them to the system in large
// pieces, and appears under its name only when closed whole (see AtomicFile). The spike-file writer
// uses it so that millions of short records cost few system calls and a failed run leaves no torso.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/AtomicFile.h"

namespace skelvane {

class BufferedFileWriter {
 public:
  /// Buffer size used when none is given: large enough that a spike run makes few system calls.
  static constexpr std::size_t kDefaultCapacity = 256 * 1024;

  /// A closed writer whose buffer holds `capacity` bytes (at least one).
  explicit BufferedFileWriter(std::size_t capacity = kDefaultCapacity);
  /// Discards a file still open: only Close() puts a file under its name.
  ~BufferedFileWriter();
  BufferedFileWriter(const BufferedFileWriter&) = delete;
  BufferedFileWriter& operator=(const BufferedFileWriter&) = delete;

  /// Starts a new file that will replace `path` when closed (discarding a file still open); 0 or the
  /// errno. Until Close an earlier file of that name stays as it was.
  int32_t Open(const std::string& path);
  /// Appends `count` bytes; false once any write of this file has failed (see LastError()).
  bool Write(const void* data, std::size_t count);
  /// Hands everything buffered to the system; false when that (or an earlier write) failed.
  bool Flush();
  /// Flushes, closes and puts the file under its name; 0, or the errno of the first failure since
  /// Open (write, flush, close or rename), in which case nothing of it is left.
  int32_t Close();
  /// Drops the file being written; an earlier file of that name stays as it was.
  void Discard();

  /// True while a file is open.
  bool IsOpen() const { return file_.IsOpen(); }
  /// The errno of the first failure since Open, 0 when everything has succeeded so far.
  int LastError() const { return error_; }
  /// Bytes accepted since Open, buffered or written.
  int64_t BytesAccepted() const { return accepted_; }
  /// Where the bytes go until Close (empty when no file is open).
  const std::string& TemporaryPath() const { return file_.TemporaryPath(); }

 private:
  bool WriteThrough(const void* data, std::size_t count);

  AtomicFile file_;
  std::vector<char> buffer_;
  std::size_t used_ = 0;
  int64_t accepted_ = 0;
  int error_ = 0;  // sticky: after a failure the file's contents are unknown, so nothing more goes out
};

}  // namespace skelvane
