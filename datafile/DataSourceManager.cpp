#include "datafile/DataSourceManager.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <new>

#include "datafile/CreateReader.h"
#include "datafile/FileKind.h"
#include "datafile/FileTypeDetection.h"
#include "datafile/SourceListener.h"
#include "platform/File.h"
#include "platform/FileChooser.h"
#include "platform/ReportError.h"
#include "platform/StatusCodes.h"

namespace skelvane {
namespace {

// A source gets one index entry per this many records, up to the entry limit below.
constexpr uint32_t kRecordsPerIndexEntry = 100;
constexpr uint32_t kMaxIndexIntervals = 10000;
constexpr uint32_t kMinIndexEntries = 2;
// The time range leaves this much room before the first and after the last record.
constexpr int64_t kTimeRangeMargin = 1'000'000;
constexpr int64_t kEmptyRangeEnd = 1;

// Statuses of the path queries, which answer differently from the record operations.
constexpr int32_t kStatusIndexPastTable = -2;

constexpr const char* kMaxSourcesMessage =
    "Unable to open data source; maximum number of sources already open - please close some sources, and try again.";
constexpr const char* kNoReaderMessage =
    "Unable to locate Kestrelon data in file.  Are you sure this is a kestrelon file?";
constexpr const char* kNotCscMessage = "Error opening file, please validate that file is a Kestrelon CSC file:";
constexpr const char* kInvalidSourceMessage = "Attempting to display invalid data source; Data source index = ";

constexpr const char* kDialogTitle = "Open Data File";
constexpr const char* kDialogInitialName = "*.kcs*";

int64_t SaturatingAdd(int64_t a, int64_t b) {
  if (b > 0 && a > std::numeric_limits<int64_t>::max() - b) return std::numeric_limits<int64_t>::max();
  if (b < 0 && a < std::numeric_limits<int64_t>::min() - b) return std::numeric_limits<int64_t>::min();
  return a + b;
}

}  // namespace

DataSourceManager::DataSourceManager(ReaderFactory factory) : factory_(std::move(factory)) {
  if (!factory_) factory_ = CreateReader;
}

DataSourceManager::~DataSourceManager() = default;

bool DataSourceManager::IsValidSource(int32_t index) const {
  return static_cast<uint32_t>(index) < static_cast<uint32_t>(count_);
}

int32_t DataSourceManager::AddListener(SourceListener* listener) {
  if (listenerCount_ >= kMaxListeners) {
    ReportError("Unable to register for data source changes; maximum number of listeners reached: ", kMaxListeners);
    return kStatusFailed;
  }
  listeners_[static_cast<std::size_t>(listenerCount_++)] = listener;
  return kStatusOk;
}

int32_t DataSourceManager::RemoveListener(SourceListener* listener) {
  for (int32_t i = 0; i < listenerCount_; ++i) {
    if (listeners_[static_cast<std::size_t>(i)] != listener) continue;
    // The others keep their order of notification.
    for (int32_t j = i + 1; j < listenerCount_; ++j) {
      listeners_[static_cast<std::size_t>(j - 1)] = listeners_[static_cast<std::size_t>(j)];
    }
    listeners_[static_cast<std::size_t>(--listenerCount_)] = nullptr;
    return kStatusOk;
  }
  return kStatusFailed;
}

void DataSourceManager::NotifyListeners() {
  for (int32_t i = 0; i < listenerCount_; ++i) {
    if (listeners_[static_cast<std::size_t>(i)] != nullptr) listeners_[static_cast<std::size_t>(i)]->OnSourcesChanged();
  }
}

int32_t DataSourceManager::GetRecord(int64_t recordIndex, int32_t sourceIndex, const uint8_t*& record) {
  if (!IsValidSource(sourceIndex)) {
    ReportError(kInvalidSourceMessage, sourceIndex);
    return kStatusNoData;
  }
  DataFileReader& reader = *readers_[static_cast<std::size_t>(sourceIndex)];
  if (recordIndex < 0 || recordIndex >= static_cast<int64_t>(reader.GetNumRecords())) {
    ReportError("Attempting to request record past end of file; record index = ", recordIndex);
    return kStatusNoData;
  }
  return reader.GetRecord(record, recordIndex);
}

int32_t DataSourceManager::FindRecordForTime(int64_t time, int32_t sourceIndex, const uint8_t*& record) {
  if (!IsValidSource(sourceIndex)) {
    ReportError(kInvalidSourceMessage, sourceIndex);
    return kStatusNoData;
  }
  const auto slot = static_cast<std::size_t>(sourceIndex);
  DataFileReader& reader = *readers_[slot];
  const TimeIndex& index = timeIndex_[slot];
  const std::size_t last = index.timestamps.size() - 1;

  if (time <= index.timestamps.front()) return kStatusOk;
  if (time >= index.timestamps[last]) return reader.GetRecord(record, index.records[last]);

  // The first entry after `time` closes the interval to scan; the scan covers one interval only.
  std::size_t upper = last;
  for (std::size_t i = 1; i < last; ++i) {
    if (index.timestamps[i] > time) {
      upper = i;
      break;
    }
  }
  int64_t j = index.records[upper - 1];
  const int64_t end = index.records[upper];
  while (j <= end) {
    const uint8_t* candidate = nullptr;
    const int32_t rc = reader.GetRecord(candidate, j);
    if (rc != kStatusOk) return rc;
    if (reader.TimestampFromRecord(candidate) > time) break;
    ++j;
  }
  // Only a file changed under its mapping can make the interval's first record late.
  if (j == index.records[upper - 1]) return kStatusOk;
  return reader.GetRecord(record, j - 1);
}

int32_t DataSourceManager::FindSourceByPath(const std::string& path, int32_t& index) {
  for (int32_t i = 0; i < count_; ++i) {
    if (paths_[static_cast<std::size_t>(i)] == path) {
      index = i;
      return kStatusOk;
    }
  }
  index = -1;
  return kStatusFailed;
}

int32_t DataSourceManager::GetSourcePath(int32_t index, std::string& path) {
  if (!IsValidSource(index)) return kStatusIndexPastTable;
  path = paths_[static_cast<std::size_t>(index)];
  return kStatusOk;
}

int32_t DataSourceManager::GetSourceFileType(int32_t index, int32_t& type) {
  if (!IsValidSource(index)) return kStatusIndexPastTable;
  const auto& reader = readers_[static_cast<std::size_t>(index)];
  if (!reader) return kStatusFailed;
  type = reader->GetFileTypeCode();
  return kStatusOk;
}

int64_t DataSourceManager::GetNumRecords(int32_t index) {
  if (!IsValidSource(index)) return kStatusNoData;
  return readers_[static_cast<std::size_t>(index)]->GetNumRecords();
}

int32_t DataSourceManager::GetHeader(int32_t index, const char*& header) {
  if (!IsValidSource(index)) return kStatusNoData;
  header = readers_[static_cast<std::size_t>(index)]->GetHeader();
  return kStatusOk;
}

void DataSourceManager::GetTimeRange(int64_t& start, int64_t& end) {
  if (count_ == 0) {
    start = 0;
    end = kEmptyRangeEnd;
    return;
  }
  int64_t first = std::numeric_limits<int64_t>::max();
  int64_t last = std::numeric_limits<int64_t>::min();
  for (int32_t i = 0; i < count_; ++i) {
    const TimeIndex& index = timeIndex_[static_cast<std::size_t>(i)];
    first = std::min(first, index.timestamps.front());
    last = std::max(last, index.timestamps.back());
  }
  // Corrupt files may hold timestamps near the type's limits: saturate instead of wrapping.
  start = std::max<int64_t>(SaturatingAdd(first, -kTimeRangeMargin), 0);
  end = SaturatingAdd(last, kTimeRangeMargin);
}

int32_t DataSourceManager::GetNumSources() { return count_; }

int32_t DataSourceManager::OpenFileForSource(File& file, const std::string& path) {
  const int32_t rc = file.Open(path, File::Mode::Read, /*sequential=*/true);
  if (rc != 0) ReportError("Error opening file; microsoft error code:", rc);
  return rc;
}

int32_t DataSourceManager::OpenSource(const std::string& path) {
  if (count_ >= kMaxSources) {
    ReportError(kMaxSourcesMessage, 0);
    return kStatusFailed;
  }
  File file;
  const int32_t openError = OpenFileForSource(file, path);
  if (openError != 0) return openError;

  int32_t type = kFileTypeUnknown;
  if (DetectFileType(file, type) != kStatusOk) {
    ReportError("Error retrieving file type, please validate that file is a Kestrelon file:", 0);
    return kStatusFailed;
  }
  if (type != kFileTypeCsc) {
    ReportError(kNotCscMessage, 0);
    return kStatusFailed;
  }
  file.Seek(0);
  const int32_t rc = AddSource(file, path);
  if (rc == kStatusOk) NotifyListeners();
  return rc;
}

int32_t DataSourceManager::AddSource(File& file, const std::string& path) {
  const auto slot = static_cast<std::size_t>(count_);
  paths_[slot] = path;
  std::unique_ptr<DataFileReader> reader = factory_(file, path);
  if (!reader) {
    paths_[slot].clear();
    ReportError(kNoReaderMessage, 0);
    return kStatusCannotCreate;
  }
  // Every user of the table reads records as CSC records: a reader of another kind (a legacy header
  // in a ".kcs" file, or a listed path of another kind) would let them read past its records.
  if (reader->GetFileTypeCode() != kFileTypeCsc) {
    paths_[slot].clear();
    ReportError(kNotCscMessage, 0);
    return kStatusFailed;
  }
  readers_[slot] = std::move(reader);
  const int32_t rc = BuildTimeIndex(count_);
  if (rc != kStatusOk) {
    ClearSlot(count_);
    return rc;
  }
  ++count_;
  return kStatusOk;
}

int32_t DataSourceManager::BuildTimeIndex(int32_t slotIndex) {
  const auto slot = static_cast<std::size_t>(slotIndex);
  DataFileReader& reader = *readers_[slot];
  const uint32_t numRecords = reader.GetNumRecords();
  const uint32_t intervals = std::max(std::min(numRecords / kRecordsPerIndexEntry, kMaxIndexIntervals) + 1,
                                      kMinIndexEntries) - 1;
  const uint32_t step = numRecords / intervals;

  TimeIndex index;
  try {
    index.timestamps.resize(intervals + 1);
    index.records.resize(intervals + 1);
  } catch (const std::bad_alloc&) {
    return kStatusCannotCreate;
  }
  for (uint32_t i = 0; i <= intervals; ++i) {
    // The last entry is always the last record, whatever the step left over.
    const uint32_t recordIndex = i < intervals ? step * i : numRecords - 1;
    const uint8_t* record = nullptr;
    const int32_t rc = reader.GetRecord(record, recordIndex);
    if (rc != kStatusOk) return rc;
    index.records[i] = recordIndex;
    index.timestamps[i] = reader.TimestampFromRecord(record);
  }
  timeIndex_[slot] = std::move(index);
  return kStatusOk;
}

void DataSourceManager::ClearSlot(int32_t slotIndex) {
  const auto slot = static_cast<std::size_t>(slotIndex);
  paths_[slot].clear();
  readers_[slot].reset();
  timeIndex_[slot] = TimeIndex{};
}

int32_t DataSourceManager::OpenDataFileDialog() {
  if (count_ >= kMaxSources) {
    ReportError(kMaxSourcesMessage, 0);
    return kStatusFailed;
  }
  const std::vector<FileChooser::Filter> filters{
      {"Continuously Sampled Files (*.kcs)", {"*.kcs"}},
      {"All Kestrelon Data Files (*.k*)", {"*.k*"}},
      {"Old-Versions Kestrelon Files (*.dat)", {"*.dat"}},
  };
  const auto chosen = FileChooser::Current().OpenFiles(kDialogTitle, kDialogInitialName, filters, /*multiple=*/true);
  if (!chosen) return kStatusFailed;
  // Each failure has reported itself; the command succeeded once the user confirmed.
  for (const std::string& path : *chosen) OpenSource(path);
  return kStatusOk;
}

int32_t DataSourceManager::CloseSource(int32_t index) {
  if (!IsValidSource(index)) return kStatusNoData;
  ClearSlot(index);
  const int32_t lastIndex = count_ - 1;
  if (index != lastIndex) {
    const auto to = static_cast<std::size_t>(index);
    const auto from = static_cast<std::size_t>(lastIndex);
    paths_[to] = std::move(paths_[from]);
    readers_[to] = std::move(readers_[from]);
    timeIndex_[to] = std::move(timeIndex_[from]);
    ClearSlot(lastIndex);
  }
  --count_;
  NotifyListeners();
  return kStatusOk;
}

int32_t DataSourceManager::WriteSettings(File& file) {
  const auto fail = [&file]() {
    ReportError("Unable to write data source information to configuration file", file.LastError());
    return file.LastError() != 0 ? file.LastError() : kStatusFailed;
  };
  const int32_t count = count_;
  uint8_t countBytes[sizeof count];
  std::memcpy(countBytes, &count, sizeof count);
  if (!file.Write(countBytes, sizeof countBytes)) return fail();
  for (int32_t i = 0; i < count_; ++i) {
    char field[kSourcePathFieldSize] = {};
    const std::string& path = paths_[static_cast<std::size_t>(i)];
    std::memcpy(field, path.data(), std::min(path.size(), kSourcePathFieldSize - 1));
    if (!file.Write(field, sizeof field)) return fail();
  }
  return kStatusOk;
}

int32_t DataSourceManager::ReadSettings(File& file) {
  bool changed = false;
  // Sources opened before a failure stay open, so the listeners hear of them even then.
  const auto finish = [this, &changed](int32_t status) {
    if (changed) NotifyListeners();
    return status;
  };
  const auto readFailed = [&file, &finish](int64_t got) {
    // A short read without an error means the record ends early: there is no errno to pass on.
    const int32_t code = got < 0 ? file.LastError() : 0;
    ReportError("Unable to read data source information from configuration file", code);
    return finish(code != 0 ? code : kStatusNoData);
  };

  uint8_t countBytes[sizeof(uint32_t)];
  const int64_t gotCount = file.Read(countBytes, sizeof countBytes);
  if (gotCount != static_cast<int64_t>(sizeof countBytes)) return readFailed(gotCount);
  uint32_t listed = 0;
  std::memcpy(&listed, countBytes, sizeof listed);
  if (listed > static_cast<uint32_t>(kMaxSources)) {
    ReportError("Invalid Number of data sources listed in configuration file, number was:", listed);
    listed = kMaxSources;
  }

  bool reportedFull = false;
  for (uint32_t entry = 0; entry < listed; ++entry) {
    char field[kSourcePathFieldSize];
    const int64_t got = file.Read(field, sizeof field);
    if (got != static_cast<int64_t>(sizeof field)) return readFailed(got);
    field[kSourcePathFieldSize - 1] = '\0';
    const std::string path(field);

    // The list may be read into a table that already holds sources: never past its last slot.
    if (count_ >= kMaxSources) {
      if (!reportedFull) ReportError(kMaxSourcesMessage, 0);
      reportedFull = true;
      continue;
    }
    File source;
    const int32_t openError = OpenFileForSource(source, path);
    if (openError != 0) return finish(openError);
    if (AddSource(source, path) == kStatusOk) changed = true;
  }
  changed = true;
  return finish(kStatusOk);
}

int32_t DataSourceManager::GetHeaderValue(int32_t sourceIndex, const std::string& key, std::string& value) {
  if (!IsValidSource(sourceIndex)) return kStatusNoData;
  return readers_[static_cast<std::size_t>(sourceIndex)]->GetHeaderValue(key, value);
}

std::vector<uint32_t> DataSourceManager::GetIndexRecords(int32_t sourceIndex) const {
  if (!IsValidSource(sourceIndex)) return {};
  return timeIndex_[static_cast<std::size_t>(sourceIndex)].records;
}

std::vector<int64_t> DataSourceManager::GetIndexTimestamps(int32_t sourceIndex) const {
  if (!IsValidSource(sourceIndex)) return {};
  return timeIndex_[static_cast<std::size_t>(sourceIndex)].timestamps;
}

}  // namespace skelvane
