#pragma once
// The table of open CSC data sources as the plots, the extraction run and the main window see it.
// DataSourceManager is the one implementation; tests may substitute their own.

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "datafile/CscRecord.h"
#include "platform/StatusCodes.h"

namespace skelvane {

class File;
class SourceListener;

/// Where a source's records lie in its file, for readers that stream it with their own descriptor
/// instead of through the mapping (the display's summary builder, the extraction's block reader).
struct RecordLayout {
  std::string path;        // the path the source was opened from
  int64_t dataOffset = 0;  // byte offset of record 0 (after the text header, if any)
  int32_t recordSize = 0;  // bytes per record
  int64_t numRecords = 0;  // whole records when the source was opened
};

class IDataSourceManager {
 public:
  virtual ~IDataSourceManager() = default;

  /// Appends a listener (at most 10); 0, or -1 when the table is full.
  virtual int32_t AddListener(SourceListener* listener) = 0;
  /// Forgets a listener before it is destroyed; 0, or -1 when it was not registered. A table that
  /// keeps no listeners has nothing to forget.
  virtual int32_t RemoveListener(SourceListener* /*listener*/) { return -1; }
  /// Pointer to record `recordIndex` of source `sourceIndex` inside the mapped file; 0 or -603.
  virtual int32_t GetRecord(int64_t recordIndex, int32_t sourceIndex, const uint8_t*& record) = 0;
  /// Copies the first `count` bytes of a record (at most its fields before the samples) with a plain
  /// read where the source is a file: a glance at a few records then leaves the mapping untouched (its
  /// first touch builds page tables, dear on these machines). 0 or -603. Tables without files copy
  /// from GetRecord.
  virtual int32_t ReadRecordFields(int64_t recordIndex, int32_t sourceIndex, uint8_t* fields, int32_t count) {
    const uint8_t* record = nullptr;
    if (count < 0 || count > kCscSamplesOffset) return kStatusNoData;
    if (const int32_t rc = GetRecord(recordIndex, sourceIndex, record); rc != kStatusOk) return rc;
    if (record == nullptr) return kStatusNoData;
    std::memcpy(fields, record, static_cast<std::size_t>(count));
    return kStatusOk;
  }
  /// The fields (kCscSamplesOffset bytes each, back to back into `fields`) of records first ..
  /// first + count - 1, as ReadRecordFields reads them; how many were read, from the first on. A file
  /// gives them in one read.
  virtual int32_t ReadRecordsFields(int64_t first, int32_t count, int32_t sourceIndex, uint8_t* fields) {
    int32_t read = 0;
    while (read < count && ReadRecordFields(first + read, sourceIndex, fields + std::ptrdiff_t{read} * kCscSamplesOffset,
                                            kCscSamplesOffset) == kStatusOk) {
      ++read;
    }
    return read;
  }
  /// The timestamp of the source's first record, as it was when the source was opened; 0 or -603.
  virtual int32_t GetFirstTimestamp(int32_t sourceIndex, int64_t& timestamp) {
    uint8_t fields[kCscSamplesOffset];
    if (const int32_t rc = ReadRecordFields(0, sourceIndex, fields, kCscSamplesOffset); rc != kStatusOk) return rc;
    timestamp = CscRecord(fields).Timestamp();
    return kStatusOk;
  }
  /// The last record whose timestamp is not after `time`; `record` is left untouched (and 0 returned)
  /// when `time` is not after the source's first indexed timestamp.
  virtual int32_t FindRecordForTime(int64_t time, int32_t sourceIndex, const uint8_t*& record) = 0;
  /// The first source opened from exactly `path`; 0, or -1 with index -1.
  virtual int32_t FindSourceByPath(const std::string& path, int32_t& index) = 0;
  /// 0, or -2 for an index past the table.
  virtual int32_t GetSourcePath(int32_t index, std::string& path) = 0;
  /// 0 with the reader's file type code; -2 past the table; -1 for an empty slot.
  virtual int32_t GetSourceFileType(int32_t index, int32_t& type) = 0;
  /// The source's record count, or -603.
  virtual int64_t GetNumRecords(int32_t index) = 0;
  /// Pointer to the source's header text up to its last nonzero byte, NUL-padded to at least the
  /// header marker's length (so the marker can be compared); 0 or -603.
  virtual int32_t GetHeader(int32_t index, const char*& header) = 0;
  /// The padded time range of all sources (0..1 when none is open).
  virtual void GetTimeRange(int64_t& start, int64_t& end) = 0;
  virtual int32_t GetNumSources() = 0;
  /// Opens a CSC file as a new source and notifies the listeners.
  virtual int32_t OpenSource(const std::string& path) = 0;
  /// Runs the Open Data File chooser and opens the files picked, in order, up to the first that cannot
  /// be opened (the rest would shift the plots' channel groups); 0, or -1 when cancelled or full.
  virtual int32_t OpenDataFileDialog() = 0;
  /// The Open Data File chooser alone: the files picked, in order; none when cancelled or when the
  /// table is already full (reported). The window opens them itself, passing over those already open.
  virtual std::optional<std::vector<std::string>> ChooseDataFiles() = 0;
  /// Closes a source; the last source moves into its index. 0 or -603.
  virtual int32_t CloseSource(int32_t index) = 0;
  /// Reads a source list record at the file's position and opens the sources it names.
  virtual int32_t ReadSettings(File& file) = 0;
  /// Writes the source list record at the file's position.
  virtual int32_t WriteSettings(File& file) = 0;
  /// Value text of a dash-prefixed header key of a source; 0, -603 or -606.
  virtual int32_t GetHeaderValue(int32_t sourceIndex, const std::string& key, std::string& value) = 0;
  /// Where the records of a source lie in its file; 0 or -603.
  virtual int32_t GetRecordLayout(int32_t /*sourceIndex*/, RecordLayout& /*layout*/) { return -603; }
  /// Checks that the source's file still holds every record it held when opened. 0 when it does;
  /// otherwise reports (once per source) that the file changed or was truncated while open and returns
  /// kStatusSourceChanged. Callable from any thread.
  virtual int32_t CheckSource(int32_t /*sourceIndex*/) { return 0; }
};

}  // namespace skelvane
