#pragma once
// The table of open CSC data sources: opens and closes them, hands out records by index and by time
// (a binary search per source), checks that their files stay whole, and tells listeners about changes.

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "datafile/DataFileReader.h"
#include "datafile/IDataSourceManager.h"
#include "datafile/RecordTimeSearch.h"

namespace skelvane {

/// Most sources open at once.
inline constexpr int32_t kMaxSources = 256;
/// Reported, with their count, for the chosen files left closed after one that could not be opened.
inline constexpr const char* kLeftClosedMessage =
    "Files chosen after one that could not be opened were left closed, so that no channel group shifts; "
    "files left closed: ";
/// Most listeners registered at once.
inline constexpr int32_t kMaxListeners = 10;
/// Bytes of one path field in a source list record (at most 259 characters and a NUL).
inline constexpr std::size_t kSourcePathFieldSize = 260;

class DataSourceManager final : public IDataSourceManager {
 public:
  /// Makes and opens a reader for a file already open on its path, which the reader may take over
  /// (see CreateReader).
  using ReaderFactory = std::function<std::unique_ptr<DataFileReader>(File& file, const std::string& path)>;

  /// An empty table; `factory` replaces CreateReader (tests count record requests through it).
  explicit DataSourceManager(ReaderFactory factory = {});
  ~DataSourceManager() override;
  DataSourceManager(const DataSourceManager&) = delete;
  DataSourceManager& operator=(const DataSourceManager&) = delete;

  // The table's operations, as documented in IDataSourceManager.
  int32_t AddListener(SourceListener* listener) override;
  int32_t RemoveListener(SourceListener* listener) override;
  int32_t GetRecord(int64_t recordIndex, int32_t sourceIndex, const uint8_t*& record) override;
  int32_t ReadRecordFields(int64_t recordIndex, int32_t sourceIndex, uint8_t* fields, int32_t count) override;
  int32_t ReadRecordsFields(int64_t first, int32_t count, int32_t sourceIndex, uint8_t* fields) override;
  int32_t GetFirstTimestamp(int32_t sourceIndex, int64_t& timestamp) override;
  int32_t FindRecordForTime(int64_t time, int32_t sourceIndex, const uint8_t*& record) override;
  int32_t FindSourceByPath(const std::string& path, int32_t& index) override;
  int32_t GetSourcePath(int32_t index, std::string& path) override;
  int32_t GetSourceFileType(int32_t index, int32_t& type) override;
  int64_t GetNumRecords(int32_t index) override;
  int32_t GetHeader(int32_t index, const char*& header) override;
  void GetTimeRange(int64_t& start, int64_t& end) override;
  int32_t GetNumSources() override;
  int32_t OpenSource(const std::string& path) override;
  int32_t OpenDataFileDialog() override;
  std::optional<std::vector<std::string>> ChooseDataFiles() override;
  int32_t CloseSource(int32_t index) override;
  int32_t ReadSettings(File& file) override;
  int32_t WriteSettings(File& file) override;
  int32_t GetHeaderValue(int32_t sourceIndex, const std::string& key, std::string& value) override;
  int32_t GetRecordLayout(int32_t sourceIndex, RecordLayout& layout) override;
  int32_t CheckSource(int32_t sourceIndex) override;

 private:
  // The reader of a source that holds record `recordIndex`; null (and reported) otherwise.
  DataFileReader* ReaderOfRecord(int64_t recordIndex, int32_t sourceIndex);
  // What the table keeps per source beside its reader; behind a pointer so a closed source's slot
  // can take the last source's state.
  struct SourceState {
    explicit SourceState(DataFileReader& reader) : search(reader) {}
    RecordTimeSearch search;
    std::atomic<bool> changeReported{false};
  };

  bool IsValidSource(int32_t index) const;
  int32_t OpenFileForSource(File& file, const std::string& path);
  int32_t AddSource(File& file, const std::string& path);
  void ClearSlot(int32_t slot);
  // One warning for a recording whose timestamps never increase: it is shown, but cannot be extracted.
  static void WarnWhenTimeNeverIncreases(DataFileReader& reader, const RecordTimeSearch& search, const std::string& path);
  void NotifyListeners();

  ReaderFactory factory_;
  std::array<std::unique_ptr<DataFileReader>, kMaxSources> readers_;
  std::array<std::string, kMaxSources> paths_;
  int32_t count_ = 0;
  std::array<std::unique_ptr<SourceState>, kMaxSources> states_;
  std::array<SourceListener*, kMaxListeners> listeners_{};
  int32_t listenerCount_ = 0;
};

}  // namespace skelvane
