#pragma once
// Reader for old files whose variable-length "%%BEGINHEADER" text header precedes 4-byte records
// holding a big-endian time in units of 100 µs. Made by CreateReader when it sees that header.

#include <cstdint>

#include "datafile/DataFileReader.h"

namespace skelvane {

class LegacyDatFile final : public DataFileReader {
 public:
  /// A closed legacy reader.
  LegacyDatFile();
  /// The record's first four bytes as a big-endian count of 100 µs, in microseconds; -1 for null.
  int64_t TimestampFromRecord(const uint8_t* record) const override;
};

}  // namespace skelvane
