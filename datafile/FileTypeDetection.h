#pragma once
// Recognises what kind of acquisition-system data file a file is: by its name, by its size and,
// failing both, by probing its records for increasing timestamps. Used by the readers and the manager.

#include <cstdint>

namespace skelvane {

class File;

/// True when the file's first 18 bytes are the header marker; the position is 0 afterwards.
bool HasHeaderMarker(File& file);

/// Sets `type` to the file's kind and returns 0. Returns -1 with `type` untouched for an unknown
/// extension, or -1 with `type` 0 for a ".dat" file whose kind could not be found.
int32_t DetectFileType(File& file, int32_t& type);

/// Probes the records that start at the current position; the kind whose timestamps increase, or 0.
int32_t DetectTypeByContent(File& file);

/// True when successive timestamps (at `timestampOffset` in records of `recordSize` bytes, the
/// first record at `start`) increase strictly: 99 steps settle it, a short file needs at least 5.
bool TimestampsIncrease(File& file, int32_t recordSize, int32_t timestampOffset, int64_t start);

}  // namespace skelvane
