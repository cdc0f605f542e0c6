#pragma once
// Keeps every output off the data: tells, by a file's header and whatever its name, whether an output's
// name holds a recording or a spike file, and refuses to write there unless the output is of that kind.
// Used by every command that writes a file (pictures, spike files, exports) in cli/ and app/.

#include <cstdint>
#include <string>

namespace skelvane {

/// Reported, with the path, when an output would replace a recording; nothing is then written.
inline constexpr const char* kOutputIsRecordingMessage =
    "Nothing written: this output is a recording (choose another name, or move the recording away first):";
/// Reported, with the path, when an output other than a spike file would replace a spike file.
inline constexpr const char* kOutputIsSpikeFileMessage =
    "Nothing written: this output is a spike file (choose another name, or move the spike file away first):";

class DataFileGuard {
 public:
  /// What a file holds, told by its first bytes.
  enum class Holds {
    Other,      // nothing there, not a regular file, unreadable, or anything but our data
    Recording,  // an acquisition system data file (header marker, not a spike header; or a legacy header)
    SpikeFile,  // a header marker and a spike file's record size and alignment point
  };

  /// What the file `path` leads to (links followed) holds.
  static Holds At(const std::string& path);
  /// True when an output of the kind `own` (Holds::Other for a picture or an export, Holds::SpikeFile
  /// for the extraction's spike files) may replace what `path` holds; otherwise reports the refusal,
  /// naming the file and what to do, and returns false.
  static bool MayWrite(const std::string& path, Holds own = Holds::Other);
};

}  // namespace skelvane
