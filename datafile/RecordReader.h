#pragma once
// Reads a source's records with its own descriptor and pread, not through the mapping: scattered
// reads and short runs cost far less this way. Used by CscPlot for the records a redraw needs, by
// SourceSummary for its one pass over every record and, through RecordStream, by the extraction.
// For many tiny reads over and over (the filtered bar ends' short stretches) it also maps the file.

#include <sys/stat.h>

#include <cerrno>
#include <cstdint>
#include <span>
#include <vector>

#include "datafile/IDataSourceManager.h"
#include "platform/File.h"
#include "platform/FileMapping.h"

namespace skelvane {

class RecordReader {
 public:
  /// Opens the file of `layout`; 0 or the errno of the failure. `sequential` hints a front-to-back scan.
  int32_t Open(const RecordLayout& layout, bool sequential = false);
  /// True once Open succeeded.
  bool IsOpen() const { return file_.IsOpen(); }
  /// Records in the source when it was opened.
  int64_t NumRecords() const { return layout_.numRecords; }
  /// Bytes per record.
  int32_t RecordSize() const { return layout_.recordSize; }

  /// Reads records first .. first + count - 1 into `buffer`, back to back. 0; kStatusSourceChanged
  /// when the file ends early; or an errno.
  int32_t Read(int64_t first, int64_t count, std::vector<uint8_t>& buffer) const;
  /// As Read, and `whole` says how many of the records, from the first on, the file still held
  /// whole (0 after a read error).
  int32_t ReadAvailable(int64_t first, int64_t count, std::vector<uint8_t>& buffer, int64_t& whole) const;
  /// As ReadAvailable, into `out`, which holds count x RecordSize() bytes.
  int32_t ReadInto(int64_t first, int64_t count, uint8_t* out, int64_t& whole) const;
  /// `count` bytes from `offset` bytes into record `record` on (running on into the records after it)
  /// into `out`; 0 or as Read.
  int32_t ReadBytes(int64_t record, int64_t offset, int64_t count, uint8_t* out) const;
  /// Bytes of the records as ReadBytes reads them.
  struct ByteRange {
    int64_t record;
    int64_t offset;
    int64_t count;
    uint8_t* out;
  };
  /// Many ReadBytes at once, handed to the kernel together; 0 or as Read. Every range has been read,
  /// or given up, when this returns.
  int32_t ReadRanges(std::span<const ByteRange> ranges) const;
  /// The timestamp of one record; 0 or as Read.
  int32_t ReadTimestamp(int64_t record, int64_t& timestamp) const;
  /// Maps the open file into `mapping` (for many small reads again and again: no call per read); 0
  /// or an errno. Record r then starts DataOffset() + r x RecordSize() bytes in, while the file holds it.
  int32_t Map(FileMapping& mapping) const { return IsOpen() ? mapping.Map(file_.Descriptor()) : EBADF; }
  int64_t DataOffset() const { return layout_.dataOffset; }
  /// The reader's own descriptor (-1 when not open), for what else is read of the same file: its
  /// status and its header, say, without opening it again.
  int Descriptor() const { return file_.Descriptor(); }
  /// The status of the file as Open found it through that descriptor (its size, times and inode),
  /// so what is keyed on it needs no second look.
  const struct stat& Status() const { return file_.OpenedStatus(); }

 private:
  // Whether `count` bytes from `offset` bytes into record `record` on lie within the records.
  bool HoldsBytes(int64_t record, int64_t offset, int64_t count) const;

  File file_;
  RecordLayout layout_;
};

}  // namespace skelvane
