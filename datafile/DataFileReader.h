#pragma once
// Random access by index to the fixed-size records of one data file, through a read-only mapping of
// the whole file: records are pointers into it, never copies. Owned by the data source manager.

#include <cstdint>
#include <mutex>
#include <string>

#include "datafile/FileHeader.h"
#include "datafile/FileKind.h"
#include "platform/File.h"
#include "platform/FileMapping.h"

namespace skelvane {

class FileStart;

/// What GetRecord reports for a file without a single whole record.
inline constexpr const char* kEmptyFileMessage = "Empty File.  NumRecs = 0.";
/// Largest record count a reader serves (GetNumRecords is 32 bits wide).
inline constexpr int64_t kMaxRecordCount = 0xFFFF'FFFFll;

class DataFileReader {
 public:
  virtual ~DataFileReader();
  DataFileReader(const DataFileReader&) = delete;
  DataFileReader& operator=(const DataFileReader&) = delete;

  /// Pointer to record `index` inside the mapping; 0, -2402 when not open, -603 for an empty file or
  /// an index past the last record.
  virtual int32_t GetRecord(const uint8_t*& record, int64_t index);
  /// The timestamp of record `index`; 0 or GetRecord's error.
  virtual int32_t GetTimestamp(int64_t& timestamp, int64_t index);
  /// The timestamp stored in `record` (microseconds); -1 for a null record.
  virtual int64_t TimestampFromRecord(const uint8_t* record) const;

  /// Opens and maps `path`; 0, -2401 already open, -2403 wrong kind of file, -603 short header or no
  /// end of a legacy header, -601 more records than a count of 32 bits holds, or the errno of a
  /// failed open or mapping. Reads only the first bytes of the file; nothing of the mapping is touched.
  int32_t Open(const std::string& path);
  /// As Open(path), over `file`, already open for reading on `path`, which the reader takes over, and
  /// `start`, its first bytes: the file is neither opened nor its first bytes read a second time.
  int32_t Open(File&& file, const std::string& path, const FileStart& start);

  /// Copies up to `count` bytes from the start of record `index` with a plain read, leaving the
  /// mapping untouched (scattered probes through it would make most of the file resident); the
  /// number of bytes read, or -1.
  int64_t ReadRecordBytes(int64_t index, void* buffer, int64_t count);
  /// As ReadRecordBytes, running on into the records after record `index` (up to the file's end).
  int64_t ReadSpanBytes(int64_t index, void* buffer, int64_t count);
  /// The timestamp of record `index` read as ReadRecordBytes does; 0, kStatusSourceChanged when the
  /// file no longer holds the record, or an errno.
  int32_t ReadTimestamp(int64_t index, int64_t& timestamp);
  /// False once the file shrank since it was opened, was written over in place at its size (its
  /// modification time moved), or a read through the mapping met a lost page (which then read as
  /// zeros). A file that only grew, as one still being recorded, stays intact. Callable from any thread.
  bool IsIntact() const;

  /// Number of whole records.
  uint32_t GetNumRecords() const { return numRecords_; }
  /// The kind of file this reader serves.
  int32_t GetFileTypeCode() const { return typeCode_; }
  /// Bytes per record.
  int32_t GetRecordSize() const { return recordSize_; }
  /// The header's bytes up to its last nonzero one, NUL-padded to at least the marker's length (all
  /// zero for a file without the marker).
  const char* GetHeader() const { return header_.Data(); }
  /// Byte offset of record 0 in the file (the size of the header, if any).
  int64_t GetDataOffset() const { return dataOffset_; }
  /// True when the file began with the header marker.
  bool HasFixedHeader() const { return hasFixedHeader_; }
  /// True from a successful Open on.
  bool IsOpen() const { return isOpen_; }
  /// The path the reader was opened on.
  const std::string& GetPath() const { return path_; }
  /// Looks up a header key of this file (see FileHeader::GetHeaderValue).
  int32_t GetHeaderValue(const std::string& key, std::string& value);

 protected:
  /// A closed reader for files of `kind`.
  explicit DataFileReader(const FileKind& kind);

 private:
  // Opens over file_, already open on `path`, from its first bytes.
  int32_t OpenLocked(const std::string& path, const FileStart& start);
  void CloseLocked();

  std::mutex lock_;
  File file_;
  const uint8_t* recordBase_ = nullptr;
  int64_t dataOffset_ = 0;
  int64_t openedLength_ = 0;  // the file's length in bytes when it was opened
  int64_t openedModified_ = 0;  // its modification time then, nanoseconds
  uint32_t numRecords_ = 0;
  int32_t recordSize_ = 0;
  int32_t typeCode_ = kFileTypeNone;
  FileMapping mapping_;
  bool hasFixedHeader_ = false;
  bool isOpen_ = false;
  FileHeader header_;
  int32_t timestampOffset_ = 0;
  std::string path_;
};

}  // namespace skelvane
