#pragma once
// An output file that appears whole or not at all: its bytes go to a temporary file beside the final
// name, renamed over it only once all of them are written and flushed. Spike files, bitmaps and settings.

#include <sys/types.h>

#include <cstdint>
#include <string>

#include "platform/File.h"

namespace skelvane {

class AtomicFile {
 public:
  /// Most temporary files a signal handler can remove at once (later ones are still removed normally).
  static constexpr int32_t kMaxPending = 64;
  /// Longest file name the file systems take, in bytes; temporary names are cut to fit it.
  static constexpr std::size_t kMaxNameBytes = 255;

  /// What a symbolic link at the final name means.
  enum class Links {
    Replace,  // the link itself is replaced by the new file; whatever it points to stays as it was
    Follow,   // the file it points to is replaced (a link the user set up on purpose: the settings)
  };

  AtomicFile() = default;
  /// Removes an uncommitted temporary file; an earlier file of the final name stays as it was.
  ~AtomicFile();
  AtomicFile(const AtomicFile&) = delete;
  AtomicFile& operator=(const AtomicFile&) = delete;

  /// Creates the temporary file ".<name>.<random>.tmp" (the name cut to fit) in the folder of
  /// `finalPath`, discarding one still open; 0 or the errno of the failure. A regular file there that
  /// the user may not write is refused (EACCES); otherwise its replacement gets its permission bits (not
  /// set-id bits) and, where the system allows, its group. A device named directly is written directly (it cannot be
  /// replaced); a folder (EISDIR), pipe or socket (kErrorNotRegularFile) is refused.
  int32_t Open(const std::string& finalPath, Links links = Links::Replace);
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

  /// The temporary name for `finalPath` with `suffix` as its random part: in the same folder, never
  /// longer than kMaxNameBytes, a name cut short only between whole UTF-8 characters.
  static std::string TemporaryNameFor(const std::string& finalPath, const std::string& suffix);

  /// Removes every temporary file of this process that is neither committed nor discarded. Only
  /// async-signal-safe calls: meant for a handler of a signal that then ends the process.
  static void RemovePendingFromSignal() noexcept;
  /// Lists a temporary file made elsewhere among those RemovePendingFromSignal removes; its slot, or
  /// -1 when every slot is taken (or the path too long). ForgetPending(slot) takes it off again.
  static int32_t AddPending(const std::string& path);
  static void ForgetPending(int32_t slot);

 private:
  int32_t OpenDevice(const std::string& path);
  // Creates the temporary file; `keptMode` and `keptGroup` are those of the file it will replace
  // (keepAttributes false: a new file, made as any other).
  int32_t CreateTemporary(const std::string& finalPath, bool keepAttributes, mode_t keptMode, gid_t keptGroup);
  void Forget();

  File file_;
  std::string finalPath_;
  std::string temporaryPath_;
  int32_t pendingSlot_ = -1;
  bool direct_ = false;  // writing straight to a device
  int error_ = 0;
};

}  // namespace skelvane
