#pragma once
// Reader for old files whose variable-length "%%BEGINHEADER" text header precedes 4-byte records
// holding a big-endian time in units of 100 µs. Made by CreateReader when it sees that header.

#include <cstdint>
#include <string_view>

#include "datafile/DataFileReader.h"

namespace skelvane {

/// Bytes at the start of a file in which a legacy header announces itself.
inline constexpr int64_t kLegacyProbeLength = 100;
inline constexpr std::string_view kLegacyBeginMarker = "%%BEGINHEADER";
inline constexpr std::string_view kLegacyEndMarker = "%%ENDHEADER";

class LegacyDatFile final : public DataFileReader {
 public:
  /// A closed legacy reader.
  LegacyDatFile();
  /// The record's first four bytes as a big-endian count of 100 µs, in microseconds; -1 for null.
  int64_t TimestampFromRecord(const uint8_t* record) const override;

  /// True when the file's first bytes, read as text up to their first NUL, hold the begin marker.
  static bool HasLegacyBegin(const char* firstBytes, int64_t count);
};

}  // namespace skelvane
