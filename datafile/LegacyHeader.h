#pragma once
// The variable-length text header of old files: "%%BEGINHEADER" within the first bytes, then text up
// to "%%ENDHEADER" and a line break before the first record. CreateReader looks for it to pick the
// legacy reader, and every reader opening a file skips it wherever it is found.

#include <cstdint>
#include <string>
#include <string_view>

namespace skelvane {

class File;

/// Bytes at the start of a file in which a legacy header announces itself.
inline constexpr int64_t kLegacyProbeLength = 100;
inline constexpr std::string_view kLegacyBeginMarker = "%%BEGINHEADER";
inline constexpr std::string_view kLegacyEndMarker = "%%ENDHEADER";

class LegacyHeader {
 public:
  /// True when the file's first bytes, read as text up to their first NUL, hold the begin marker.
  static bool HasBegin(const char* firstBytes, int64_t count);
  /// Reads on through `file` (open on `path`, just past its `firstCount` first bytes) to the end
  /// marker and sets `headerSize` to the bytes before the first record; 0, -603 with a message when
  /// the file ends first, or the errno of a failed read.
  static int32_t FindEnd(File& file, const std::string& path, const char* firstBytes, int64_t firstCount,
                         int64_t& headerSize);
};

}  // namespace skelvane
