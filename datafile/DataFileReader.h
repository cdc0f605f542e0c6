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
  /// end of a legacy header, or the errno of a failed open or mapping.
  int32_t Open(const std::string& path);

  /// Number of whole records.
  uint32_t GetNumRecords() const { return numRecords_; }
  /// The kind of file this reader serves.
  int32_t GetFileTypeCode() const { return typeCode_; }
  /// Bytes per record.
  int32_t GetRecordSize() const { return recordSize_; }
  /// The 16384-byte header (all zero for a file without the marker).
  const char* GetHeader() const { return header_.Data(); }
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
  int32_t OpenLocked(const std::string& path);
  int32_t FindLegacyHeaderEnd(const char* firstBytes, int64_t firstCount, int64_t& headerSize);
  void CloseLocked();

  std::mutex lock_;
  File file_;
  const uint8_t* recordBase_ = nullptr;
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
