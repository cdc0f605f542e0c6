#pragma once
// The kinds of acquisition-system data file, each with its record layout. Type detection, the record
// readers and the data source manager all take record sizes and timestamp offsets from this table.

#include <array>
#include <cstdint>
#include <string_view>

namespace skelvane {

/// Codes naming the kind of a data file (0: the content probe found no kind).
inline constexpr int32_t kFileTypeUnknown = 0;
inline constexpr int32_t kFileTypeSingleElectrode = 1;
inline constexpr int32_t kFileTypeStereotrode = 2;
inline constexpr int32_t kFileTypeTimestamp = 3;
inline constexpr int32_t kFileTypeTetrode = 4;
inline constexpr int32_t kFileTypeCsc = 5;
inline constexpr int32_t kFileTypeKev = 6;
inline constexpr int32_t kFileTypeKvt = 7;
inline constexpr int32_t kFileTypeLegacy = 20;
/// Code of a reader that serves no kind of file.
inline constexpr int32_t kFileTypeNone = -1;

/// Timestamp offset standing for "first four bytes, big-endian, in units of 100 µs".
inline constexpr int32_t kLegacyTimestampOffset = 696969;
/// Bytes per record of a legacy file.
inline constexpr int32_t kLegacyRecordSize = 4;

struct FileKind {
  int32_t typeCode;
  std::string_view extension;  // three lower-case letters; empty for the legacy kind
  int32_t recordSize;
  int32_t timestampOffset;
};

/// Every kind with a fixed record layout, in the order their extensions are compared.
inline constexpr std::array<FileKind, 7> kFileKinds{{
    {kFileTypeTetrode, "ktt", 304, 0},
    {kFileTypeStereotrode, "kst", 176, 0},
    {kFileTypeSingleElectrode, "kse", 112, 0},
    {kFileTypeTimestamp, "kts", 8, 0},
    {kFileTypeCsc, "kcs", 1044, 0},
    {kFileTypeKev, "kev", 184, 6},
    {kFileTypeKvt, "kvt", 1828, 6},
}};

/// The legacy "%%BEGINHEADER" kind; only the legacy reader serves it.
inline constexpr FileKind kLegacyFileKind{kFileTypeLegacy, "", kLegacyRecordSize, kLegacyTimestampOffset};

/// The kind with `typeCode` (legacy included); a record size of 0 for a code no kind has.
constexpr FileKind FileKindOf(int32_t typeCode) {
  if (typeCode == kFileTypeLegacy) return kLegacyFileKind;
  for (const FileKind& kind : kFileKinds) {
    if (kind.typeCode == typeCode) return kind;
  }
  return FileKind{kFileTypeNone, "", 0, 0};
}

}  // namespace skelvane
