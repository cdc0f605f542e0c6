#include "datafile/DataSourceManager.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <limits>

#include "datafile/CreateReader.h"
#include "datafile/FileKind.h"
#include "datafile/FileTypeDetection.h"
#include "datafile/PlausibleRecords.h"
#include "datafile/SourceListener.h"
#include "platform/File.h"
#include "platform/FileChooser.h"
#include "platform/ReportError.h"
#include "platform/Saturating.h"
#include "platform/StatusCodes.h"

namespace skelvane {
namespace {

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
constexpr const char* kNotRecordingMessage = "File does not look like a CSC recording (implausible record values)";
constexpr const char* kChangedMessage = "Data file changed or was truncated while open";
constexpr const char* kReadErrorMessage = "Error reading data file; error code:";
constexpr const char* kNeverIncreasesWarning =
    "The timestamps of this recording never increase; it is shown, but no spikes can be cut from it";

constexpr const char* kDialogTitle = "Open Data File";
constexpr const char* kDialogInitialName = "*.kcs*";

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

DataFileReader* DataSourceManager::ReaderOfRecord(int64_t recordIndex, int32_t sourceIndex) {
  if (!IsValidSource(sourceIndex)) {
    ReportError(kInvalidSourceMessage, sourceIndex);
    return nullptr;
  }
  DataFileReader& reader = *readers_[static_cast<std::size_t>(sourceIndex)];
  if (recordIndex < 0 || recordIndex >= static_cast<int64_t>(reader.GetNumRecords())) {
    ReportError("Attempting to request record past end of file; record index = ", recordIndex);
    return nullptr;
  }
  return &reader;
}

int32_t DataSourceManager::GetRecord(int64_t recordIndex, int32_t sourceIndex, const uint8_t*& record) {
  DataFileReader* reader = ReaderOfRecord(recordIndex, sourceIndex);
  return reader != nullptr ? reader->GetRecord(record, recordIndex) : kStatusNoData;
}

int32_t DataSourceManager::ReadRecordFields(int64_t recordIndex, int32_t sourceIndex, uint8_t* fields, int32_t count) {
  DataFileReader* reader = ReaderOfRecord(recordIndex, sourceIndex);
  if (reader == nullptr || count < 0 || count > kCscSamplesOffset) return kStatusNoData;
  // A file cut short since it was opened no longer holds the record: no fields rather than zeros.
  return reader->ReadRecordBytes(recordIndex, fields, count) == count ? kStatusOk : kStatusNoData;
}

int32_t DataSourceManager::ReadRecordsFields(int64_t first, int32_t count, int32_t sourceIndex, uint8_t* fields) {
  // A few records' fields (a plot's timing at its opening) come in one read of the records they span.
  constexpr int32_t kMostAtOnce = 8;
  if (count <= 0) return 0;
  if (count > kMostAtOnce || !IsValidSource(sourceIndex) || first < 0) {
    return IDataSourceManager::ReadRecordsFields(first, count, sourceIndex, fields);
  }
  DataFileReader& reader = *readers_[static_cast<std::size_t>(sourceIndex)];
  const int64_t size = reader.GetRecordSize();
  // Records past the end are asked for one by one, which reports them as it always has.
  if (size != kCscRecordSize || first + count > static_cast<int64_t>(reader.GetNumRecords())) {
    return IDataSourceManager::ReadRecordsFields(first, count, sourceIndex, fields);
  }
  std::array<uint8_t, kMostAtOnce * kCscRecordSize> bytes;
  const int64_t wanted = (count - 1) * size + kCscSamplesOffset;
  const int64_t got = reader.ReadSpanBytes(first, bytes.data(), wanted);
  int32_t read = 0;
  for (; read < count && std::ptrdiff_t{read} * size + kCscSamplesOffset <= got; ++read) {
    std::memcpy(fields + std::ptrdiff_t{read} * kCscSamplesOffset, bytes.data() + std::ptrdiff_t{read} * size,
                kCscSamplesOffset);
  }
  return read;
}

int32_t DataSourceManager::GetFirstTimestamp(int32_t sourceIndex, int64_t& timestamp) {
  if (!IsValidSource(sourceIndex)) return kStatusNoData;
  timestamp = states_[static_cast<std::size_t>(sourceIndex)]->search.FirstTimestamp();
  return kStatusOk;
}

int32_t DataSourceManager::FindRecordForTime(int64_t time, int32_t sourceIndex, const uint8_t*& record) {
  if (!IsValidSource(sourceIndex)) {
    ReportError(kInvalidSourceMessage, sourceIndex);
    return kStatusNoData;
  }
  const auto slot = static_cast<std::size_t>(sourceIndex);
  int64_t index = -1;
  const int32_t rc = states_[slot]->search.Find(time, index);
  if (rc != kStatusOk) {
    // A file that shrank under us is the usual cause: say so once, as every reader of it would.
    const int32_t changed = CheckSource(sourceIndex);
    if (changed != kStatusOk) return changed;
    ReportFileError(kReadErrorMessage, rc, paths_[slot], rc > 0 ? rc : 0);
    return rc;
  }
  if (index < 0) return kStatusOk;
  return readers_[slot]->GetRecord(record, index);
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
    const RecordTimeSearch& search = states_[static_cast<std::size_t>(i)]->search;
    // A file whose timestamps run backwards still gives an ordered range.
    first = std::min({first, search.FirstTimestamp(), search.LastTimestamp()});
    last = std::max({last, search.FirstTimestamp(), search.LastTimestamp()});
  }
  // Corrupt files may hold timestamps near the type's limits: saturate instead of wrapping. The margin
  // stops at zero for data that starts at or after it; data before zero keeps its margin, or a
  // recording made wholly before zero would lie outside its own range.
  start = SaturatingAdd(first, -kTimeRangeMargin);
  if (first >= 0) start = std::max<int64_t>(start, 0);
  end = SaturatingAdd(last, kTimeRangeMargin);
}

int32_t DataSourceManager::GetNumSources() { return count_; }

int32_t DataSourceManager::OpenFileForSource(File& file, const std::string& path) {
  const int32_t rc = file.Open(path, File::Mode::Read, /*sequential=*/true);
  if (rc != 0) ReportFileError("Error opening file; microsoft error code:", rc, path, rc);
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
    ReportFileError("Error retrieving file type, please validate that file is a Kestrelon file:", 0, path, 0);
    return kStatusFailed;
  }
  if (type != kFileTypeCsc) {
    ReportFileError(kNotCscMessage, 0, path, 0);
    return kStatusFailed;
  }
  const int32_t rc = AddSource(file, path);
  if (rc == kStatusOk) NotifyListeners();
  return rc;
}

int32_t DataSourceManager::AddSource(File& file, const std::string& path) {
  std::unique_ptr<DataFileReader> reader = factory_(file, path);
  if (!reader) {
    ReportFileError(kNoReaderMessage, 0, path, 0);
    return kStatusCannotCreate;
  }
  // Every user of the table reads records as CSC records: a reader of another kind (a legacy header
  // in a ".kcs" file, or a listed path of another kind) would let them read past its records.
  if (reader->GetFileTypeCode() != kFileTypeCsc) {
    ReportFileError(kNotCscMessage, 0, path, 0);
    return kStatusFailed;
  }
  if (reader->GetNumRecords() == 0) {
    ReportFileError(kEmptyFileMessage, 0, path, 0);
    return kStatusNoData;
  }
  // Checked before any plot or spike file is made from it: the name alone makes no recording.
  if (!HasPlausibleCscRecords(*reader)) {
    ReportFileError(kNotRecordingMessage, 0, path, 0);
    return kStatusFailed;
  }
  auto state = std::make_unique<SourceState>(*reader);
  if (const int32_t rc = state->search.Open(); rc != kStatusOk) {
    if (rc == kStatusSourceChanged) {
      ReportFileError(kChangedMessage, 0, path, 0);
    } else {
      ReportFileError(kReadErrorMessage, rc, path, rc > 0 ? rc : 0);
    }
    return rc;
  }
  WarnWhenTimeNeverIncreases(*reader, state->search, path);
  const auto slot = static_cast<std::size_t>(count_);
  paths_[slot] = path;
  readers_[slot] = std::move(reader);
  states_[slot] = std::move(state);
  ++count_;
  return kStatusOk;
}

void DataSourceManager::WarnWhenTimeNeverIncreases(DataFileReader& reader, const RecordTimeSearch& search,
                                                   const std::string& path) {
  // Most recordings end later than they begin: only the others are read record by record.
  if (search.LastTimestamp() > search.FirstTimestamp()) return;
  bool standsStill = false;
  const auto timestampOf = [&reader](int64_t index, int64_t& timestamp) { return reader.ReadTimestamp(index, timestamp); };
  if (FindTimeStandingStill(reader.GetNumRecords(), timestampOf, standsStill) == kStatusOk && standsStill) {
    ReportFileError(kNeverIncreasesWarning, 0, path, 0);
  }
}

void DataSourceManager::ClearSlot(int32_t slotIndex) {
  const auto slot = static_cast<std::size_t>(slotIndex);
  paths_[slot].clear();
  states_[slot].reset();  // before the reader its search reads from
  readers_[slot].reset();
}

int32_t DataSourceManager::OpenDataFileDialog() {
  const auto chosen = ChooseDataFiles();
  if (!chosen) return kStatusFailed;
  // Each failure has reported itself; the command succeeded once the user confirmed. The files after
  // a refused one would each take the place of the one before in the plots' channel groups.
  for (std::size_t i = 0; i < chosen->size(); ++i) {
    if (OpenSource((*chosen)[i]) == kStatusOk) continue;
    if (const std::size_t left = chosen->size() - i - 1; left > 0) ReportError(kLeftClosedMessage, static_cast<int64_t>(left));
    break;
  }
  return kStatusOk;
}

std::optional<std::vector<std::string>> DataSourceManager::ChooseDataFiles() {
  if (count_ >= kMaxSources) {
    ReportError(kMaxSourcesMessage, 0);
    return std::nullopt;
  }
  const std::vector<FileChooser::Filter> filters{
      {"Continuously Sampled Files (*.kcs)", {"*.kcs"}},
      {"All Kestrelon Data Files (*.k*)", {"*.k*"}},
      {"Old-Versions Kestrelon Files (*.dat)", {"*.dat"}},
  };
  return FileChooser::Current().OpenFiles(kDialogTitle, kDialogInitialName, filters, /*multiple=*/true);
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
    states_[to] = std::move(states_[from]);
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

int32_t DataSourceManager::GetRecordLayout(int32_t sourceIndex, RecordLayout& layout) {
  if (!IsValidSource(sourceIndex)) return kStatusNoData;
  const DataFileReader& reader = *readers_[static_cast<std::size_t>(sourceIndex)];
  layout.path = paths_[static_cast<std::size_t>(sourceIndex)];
  layout.dataOffset = reader.GetDataOffset();
  layout.recordSize = reader.GetRecordSize();
  layout.numRecords = reader.GetNumRecords();
  return kStatusOk;
}

int32_t DataSourceManager::CheckSource(int32_t sourceIndex) {
  if (!IsValidSource(sourceIndex)) return kStatusNoData;
  const auto slot = static_cast<std::size_t>(sourceIndex);
  if (readers_[slot]->IsIntact()) return kStatusOk;
  // Every walk over the source meets the damage: the first to see it tells the user.
  if (!states_[slot]->changeReported.exchange(true)) ReportFileError(kChangedMessage, 0, paths_[slot], 0);
  return kStatusSourceChanged;
}

}  // namespace skelvane
