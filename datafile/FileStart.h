#pragma once
// The first 16384 bytes of a data file, read with one pread: the legacy header's begin marker, the
// fixed header's marker and the whole fixed header are all told from them. CreateReader reads them
// once for its choice of reader and hands them to the reader it opens; it lives on the caller's stack.

#include <cstdint>

#include "datafile/FileHeader.h"

namespace skelvane {

class File;

class FileStart {
 public:
  /// Nothing read yet (Count() 0).
  FileStart() = default;
  FileStart(const FileStart&) = delete;
  FileStart& operator=(const FileStart&) = delete;

  /// Reads the first kFileHeaderSize bytes of `file` (fewer at the end of a short file) without
  /// moving its position; a failed read leaves none, with its errno in Error().
  void ReadFrom(File& file);

  /// The bytes read; only the first Count() of them are the file's.
  const char* Bytes() const { return bytes_; }
  /// How many bytes were read: kFileHeaderSize, or fewer for a shorter file or a failed read.
  int64_t Count() const { return count_; }
  /// The errno of a failed read, else 0.
  int32_t Error() const { return error_; }

  /// True when the first bytes announce a legacy header (see LegacyHeader::HasBegin).
  bool HasLegacyBegin() const;
  /// How many of the first bytes the legacy probe looks at (at most kLegacyProbeLength).
  int64_t LegacyProbeCount() const;
  /// True when the file begins with the fixed header's marker.
  bool HasHeaderMarker() const;

 private:
  // Left unset: a zero fill would cost as much as the read, and only the first count_ bytes are used.
  char bytes_[kFileHeaderSize];
  int64_t count_ = 0;
  int32_t error_ = 0;
};

}  // namespace skelvane
