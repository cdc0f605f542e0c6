#pragma once
// The one stand-in for the data source manager in tests: sources are records the test lays out
// (timestamps, frequencies and samples, served as record bytes) or files registered for opening
// with only a time span; lookups, closing and listeners follow the real table's rules. Used by the
// display, summary, extraction and window tests.

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "datafile/CscRecord.h"
#include "datafile/IDataSourceManager.h"
#include "datafile/SourceListener.h"
#include "platform/ReportError.h"
#include "platform/StatusCodes.h"
#include "tests/support/SparseIndexLookup.h"

namespace skelvane::test {

/// The frequency a record is stamped with when the test does not say.
inline constexpr uint32_t kFakeFrequency = 32000;

/// One CSC record as the file holds it: timestamp, frequency, 512 samples (zeros past the given ones).
inline std::vector<uint8_t> MakeRecordBytes(int64_t timestamp, const std::vector<int16_t>& samples,
                                            uint32_t frequency = kFakeFrequency) {
  std::vector<uint8_t> bytes(kCscRecordSize, 0);
  std::memcpy(bytes.data() + kCscTimestampOffset, &timestamp, sizeof timestamp);
  std::memcpy(bytes.data() + kCscFrequencyOffset, &frequency, sizeof frequency);
  const std::size_t count = std::min(samples.size(), static_cast<std::size_t>(kSamplesPerRecord));
  std::memcpy(bytes.data() + kCscSamplesOffset, samples.data(), sizeof(int16_t) * count);
  return bytes;
}

/// One source: its records in an editable form (timestamps, frequencies, samples) and as the bytes
/// the manager serves (AddRecord keeps both; Seal rebuilds the bytes after edits).
struct FakeSource {
  std::string path;
  int32_t type = 5;
  std::vector<int64_t> timestamps;
  std::vector<uint32_t> frequencies;             // kFakeFrequency where missing
  std::vector<std::vector<int16_t>> samples;     // up to 512 per record
  std::map<std::string, std::string> header;     // key (with dash) -> value text
  int64_t failingRecord = -1;                    // GetRecord of this index fails
  std::vector<uint8_t> bytes;                    // the records back to back, kCscRecordSize each
  std::optional<std::pair<int64_t, int64_t>> span;  // first and last time of a source without records
  std::string file;                              // set by WriteFile: the records can be read from disk
  int64_t dataOffset = 0;                        // where record 0 starts in that file

  /// Records served.
  int64_t Count() const { return static_cast<int64_t>(bytes.size()) / kCscRecordSize; }
  /// Timestamp of served record i.
  int64_t TimestampOf(int64_t i) const { return CscRecord(bytes.data() + i * kCscRecordSize).Timestamp(); }
  /// Appends one record, served at once.
  void AddRecord(int64_t timestamp, uint32_t frequency, const std::vector<int16_t>& values) {
    timestamps.push_back(timestamp);
    frequencies.push_back(frequency);
    samples.push_back(values);
    const std::vector<uint8_t> record = MakeRecordBytes(timestamp, values, frequency);
    bytes.insert(bytes.end(), record.begin(), record.end());
  }
  /// Appends `count` silent records starting at `start`, `interval` microseconds apart.
  void AddRecords(int64_t start, int64_t interval, int32_t count) {
    for (int32_t i = 0; i < count; ++i) {
      AddRecord(start + i * interval, kFakeFrequency, std::vector<int16_t>(kSamplesPerRecord, int16_t{0}));
    }
  }
  /// Puts a spike shape with its peak at sample `index` of record `record` (it may run into the
  /// neighbouring records); Seal serves it.
  void AddSpike(int32_t record, int32_t index, int16_t peak = 100) {
    const int16_t shape[] = {static_cast<int16_t>(peak * 2 / 5), static_cast<int16_t>(peak * 4 / 5), peak,
                             static_cast<int16_t>(peak * 3 / 5), static_cast<int16_t>(peak / 5)};
    for (int32_t d = -2; d <= 2; ++d) {
      int32_t r = record;
      int32_t i = index + d;
      if (i < 0) {
        --r;
        i += kSamplesPerRecord;
      } else if (i >= kSamplesPerRecord) {
        ++r;
        i -= kSamplesPerRecord;
      }
      if (r >= 0 && r < static_cast<int32_t>(samples.size())) {
        samples[r].resize(kSamplesPerRecord, 0);
        samples[r][i] = shape[d + 2];
      }
    }
  }
  /// Serves the records as the editable form now has them.
  void Seal() {
    bytes.clear();
    for (std::size_t r = 0; r < timestamps.size() && r < samples.size(); ++r) {
      const uint32_t frequency = r < frequencies.size() ? frequencies[r] : kFakeFrequency;
      const std::vector<uint8_t> record = MakeRecordBytes(timestamps[r], samples[r], frequency);
      bytes.insert(bytes.end(), record.begin(), record.end());
    }
  }
};

/// A file the window's tests let it open: its kind and the times of its first and last records.
struct FakeFile {
  int32_t type = 5;
  int64_t first = 0;
  int64_t last = 0;
  bool indexFails = false;  // opened, then dropped because its time index cannot be built
};

class FakeDataSourceManager final : public IDataSourceManager {
 public:
  static constexpr int32_t kMaxListeners = 10;
  static constexpr int32_t kNotFound = 2;  // what opening a file that is not there returns

  /// Adds a source and returns its index.
  int32_t AddSource(const std::string& path, int32_t type = 5) {
    FakeSource added;
    added.path = path;
    added.type = type;
    sources.push_back(std::move(added));
    return static_cast<int32_t>(sources.size()) - 1;
  }
  /// Appends a record to a source.
  void AddRecord(int32_t source, int64_t timestamp, uint32_t frequency, const std::vector<int16_t>& samples) {
    sources[source].AddRecord(timestamp, frequency, samples);
  }
  /// Serves every source's records as their editable form now has them.
  void SealAll() {
    for (FakeSource& source : sources) source.Seal();
  }
  /// Lets OpenSource open `path`.
  void AddFile(const std::string& path, FakeFile file) { files[path] = file; }
  /// Writes a source's records to `path` after `headerBytes` filler bytes, followed by `trailingBytes`
  /// of an unfinished record, and reports that file as the source's record layout from then on.
  void WriteFile(int32_t source, const std::string& path, int64_t headerBytes, int64_t trailingBytes = 0) {
    FakeSource& s = sources[source];
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    const std::string filler(static_cast<std::size_t>(headerBytes), '#');
    out.write(filler.data(), static_cast<std::streamsize>(filler.size()));
    out.write(reinterpret_cast<const char*>(s.bytes.data()), static_cast<std::streamsize>(s.bytes.size()));
    const std::string partial(static_cast<std::size_t>(trailingBytes), '\x7f');
    out.write(partial.data(), static_cast<std::streamsize>(partial.size()));
    s.file = path;
    s.dataOffset = headerBytes;
  }
  /// Tells every listener that the sources changed.
  void Notify() {
    for (SourceListener* listener : listeners) listener->OnSourcesChanged();
  }

  int32_t AddListener(SourceListener* listener) override {
    if (static_cast<int32_t>(listeners.size()) >= kMaxListeners) return kStatusFailed;
    listeners.push_back(listener);
    return kStatusOk;
  }
  int32_t RemoveListener(SourceListener* listener) override {
    const auto found = std::find(listeners.begin(), listeners.end(), listener);
    if (found == listeners.end()) return kStatusFailed;
    listeners.erase(found);
    return kStatusOk;
  }
  int32_t GetRecord(int64_t recordIndex, int32_t sourceIndex, const uint8_t*& record) override {
    ++recordReads;
    if (!Valid(sourceIndex)) return kStatusNoData;
    const FakeSource& s = sources[sourceIndex];
    if (recordIndex == s.failingRecord) return kStatusNoData;
    if (recordIndex < 0 || recordIndex >= s.Count()) {
      ReportError("Attempting to request record past end of file; record index = ", recordIndex);
      return kStatusNoData;
    }
    if (onRead) onRead(sourceIndex, recordIndex);
    record = s.bytes.data() + recordIndex * kCscRecordSize;
    return kStatusOk;
  }
  int32_t FindRecordForTime(int64_t time, int32_t sourceIndex, const uint8_t*& record) override {
    ++recordReads;
    if (!Valid(sourceIndex)) return kStatusNoData;
    const FakeSource& s = sources[sourceIndex];
    if (s.Count() == 0) return kStatusNoData;
    // The Part's sparse index, whatever the timestamps do.
    const int64_t found = SparseIndexLookup::Find(s.Count(), [&s](int64_t i) { return s.TimestampOf(i); }, time);
    if (found < 0) return kStatusOk;
    record = s.bytes.data() + found * kCscRecordSize;
    return kStatusOk;
  }
  int32_t FindSourceByPath(const std::string& path, int32_t& index) override {
    for (std::size_t i = 0; i < sources.size(); ++i) {
      if (sources[i].path == path) {
        index = static_cast<int32_t>(i);
        return kStatusOk;
      }
    }
    index = -1;
    return kStatusFailed;
  }
  int32_t GetSourcePath(int32_t index, std::string& path) override {
    if (!Valid(index)) return kBadIndex;
    path = sources[index].path;
    return kStatusOk;
  }
  int32_t GetSourceFileType(int32_t index, int32_t& type) override {
    if (!Valid(index)) return kBadIndex;
    type = sources[index].type;
    return kStatusOk;
  }
  int64_t GetNumRecords(int32_t index) override { return Valid(index) ? sources[index].Count() : kStatusNoData; }
  int32_t GetHeader(int32_t, const char*&) override { return kStatusNoData; }
  /// The sources' range padded by a second each side, from 0 at the earliest; 0..1 with none.
  void GetTimeRange(int64_t& start, int64_t& end) override {
    start = 0;
    end = 1;
    bool any = false;
    for (const FakeSource& s : sources) {
      int64_t first = 0;
      int64_t last = 0;
      if (s.Count() > 0) {
        first = s.TimestampOf(0);
        last = s.TimestampOf(s.Count() - 1);
      } else if (s.span) {
        std::tie(first, last) = *s.span;
      } else {
        continue;
      }
      start = any ? std::min(start, first - kPadding) : first - kPadding;
      end = any ? std::max(end, last + kPadding) : last + kPadding;
      any = true;
    }
    start = std::max<int64_t>(start, 0);
  }
  int32_t GetNumSources() override { return static_cast<int32_t>(sources.size()); }
  int32_t OpenSource(const std::string& path) override {
    openAttempts.push_back(path);
    const auto found = files.find(path);
    if (found == files.end()) {
      ReportError("Error opening file; microsoft error code:", kNotFound);
      return kNotFound;
    }
    if (!found->second.indexFails) {
      const int32_t index = AddSource(path, found->second.type);
      sources[index].span = std::make_pair(found->second.first, found->second.last);
    }
    Notify();
    return kStatusOk;
  }
  int32_t OpenDataFileDialog() override {
    if (!dialogPicks) return kStatusFailed;
    for (const auto& path : *dialogPicks) OpenSource(path);
    return kStatusOk;
  }
  std::optional<std::vector<std::string>> ChooseDataFiles() override { return dialogPicks; }
  int32_t CloseSource(int32_t index) override {
    if (!Valid(index)) return kStatusNoData;
    if (index != GetNumSources() - 1) sources[index] = sources.back();
    sources.pop_back();
    Notify();
    return kStatusOk;
  }
  int32_t ReadSettings(File&) override { return kStatusOk; }
  int32_t WriteSettings(File&) override { return kStatusOk; }
  int32_t GetHeaderValue(int32_t sourceIndex, const std::string& key, std::string& value) override {
    if (!Valid(sourceIndex)) return kStatusNoData;
    const auto it = sources[sourceIndex].header.find(key);
    if (it == sources[sourceIndex].header.end()) return kStatusNoData;
    value = it->second;
    return kStatusOk;
  }
  int32_t GetRecordLayout(int32_t sourceIndex, RecordLayout& layout) override {
    if (!Valid(sourceIndex) || sources[sourceIndex].file.empty()) return kStatusNoData;
    const FakeSource& s = sources[sourceIndex];
    layout = RecordLayout{s.file, s.dataOffset, kCscRecordSize, s.Count()};
    return kStatusOk;
  }
  int32_t CheckSource(int32_t sourceIndex) override {
    ++checkCalls;
    return Valid(sourceIndex) && changedPaths.count(sources[sourceIndex].path) != 0 ? kStatusSourceChanged : 0;
  }

  std::vector<FakeSource> sources;
  std::map<std::string, FakeFile> files;     // what OpenSource can open
  std::vector<std::string> openAttempts;     // every path OpenSource was asked for
  std::vector<SourceListener*> listeners;
  std::optional<std::vector<std::string>> dialogPicks;  // what the Open Data dialog returns; none = cancel
  std::set<std::string> changedPaths;        // sources CheckSource calls changed
  int64_t checkCalls = 0;
  std::atomic<int64_t> recordReads{0};       // GetRecord and FindRecordForTime calls (several threads read)
  std::function<void(int32_t source, int64_t record)> onRead;  // called on every record served

 private:
  static constexpr int32_t kBadIndex = -2;
  static constexpr int64_t kPadding = 1'000'000;
  bool Valid(int32_t index) const { return index >= 0 && index < static_cast<int32_t>(sources.size()); }
};

}  // namespace skelvane::test
