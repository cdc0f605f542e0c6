#pragma once
// An output file that appears whole or not at all: its bytes go to a temporary file beside the final
// name, renamed over it only once all of them are written and flushed. Spike files, bitmaps and settings.

#include <cstdint>
#include <string>

#include "platform/File.h"

namespace skelvane {

class AtomicFile {
 public:
  /// Most temporary files a signal handler can remove at once (later ones are still removed normally).
  static constexpr int32_t kMaxPending = 64;

  AtomicFile() = default;
  /// Removes an uncommitted temporary file; an earlier file of the final name stays as it was.
  ~AtomicFile();
  AtomicFile(const AtomicFile&) = delete;
  AtomicFile& operator=(const AtomicFile&) = delete;

  /// Creates the temporary file ".<name>.<random>.tmp" in the folder of `finalPath` (discarding one
  /// still open); 0 or the errno of the failure. A link is followed and its target replaced. An
  /// existing device is written directly (it cannot be replaced); a folder, pipe or socket is refused.
  int32_t Open(const std::string& finalPath);
  /// Writes all `count` bytes; false with LastError() set (ENOSPC, EFBIG, ...). The first failure
  /// sticks: nothing more is written and Commit fails.
  bool Write(const void* data, int64_t count);
  /// Flushes the temporary file to the disk, closes it and renames it over the final name; 0, or the
  /// errno of the first failure since Open, in which case the temporary file is removed.
  int32_t Commit();
  /// Closes and removes the temporary file; the final name is not touched.
  void Discard();

  /// True from Open until Commit or Discard.
  bool IsOpen() const { return file_.IsOpen(); }
  /// The errno of the first failure since Open, 0 while everything has succeeded.
  int LastError() const { return error_; }
  /// The name the file gets on Commit.
  const std::string& FinalPath() const { return finalPath_; }
  /// The temporary file's name while open.
  const std::string& TemporaryPath() const { return temporaryPath_; }
  /// The open temporary file (to seek or read back what was written).
  File& Handle() { return file_; }

  /// Removes every temporary file of this process that is neither committed nor discarded. Only
  /// async-signal-safe calls: meant for a SIGINT or SIGTERM handler that then ends the process.
  static void RemovePendingFromSignal() noexcept;

 private:
  void Forget();

  File file_;
  std::string finalPath_;
  std::string temporaryPath_;
  int32_t pendingSlot_ = -1;
  bool direct_ = false;  // writing straight to a device
  int error_ = 0;
};

}  // namespace skelvane
