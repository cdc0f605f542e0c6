#include "datafile/LegacyDatFile.h"

namespace skelvane {
namespace {
constexpr int64_t kLegacyTimeUnitMicroseconds = 100;
}

LegacyDatFile::LegacyDatFile() : DataFileReader(kLegacyFileKind) {}

int64_t LegacyDatFile::TimestampFromRecord(const uint8_t* record) const {
  if (record == nullptr) return -1;
  const uint32_t units = (static_cast<uint32_t>(record[0]) << 24) | (static_cast<uint32_t>(record[1]) << 16) |
                         (static_cast<uint32_t>(record[2]) << 8) | static_cast<uint32_t>(record[3]);
  return static_cast<int64_t>(units) * kLegacyTimeUnitMicroseconds;
}

}  // namespace skelvane
