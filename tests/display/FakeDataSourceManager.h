#pragma once
// An in-memory stand-in for the data source manager: sources are lists of CSC records built by the
// test, looked up with the same rules as the real table (time lookups leave the record alone at the
// first record; closing moves the last source into the freed index).

#include <algorithm>
#include <cstring>
#include <fstream>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "datafile/CscRecord.h"
#include "datafile/IDataSourceManager.h"
#include "platform/ReportError.h"
#include "platform/StatusCodes.h"

namespace skelvane::test {

class FakeDataSourceManager : public IDataSourceManager {
 public:
  struct Source {
    std::string path;
    int32_t type = 5;
    std::vector<uint8_t> bytes;  // records back to back, kCscRecordSize each
    std::map<std::string, std::string> header;
    std::string file;        // set by WriteFile: the records can then be read from disk
    int64_t dataOffset = 0;  // where record 0 starts in that file
    int64_t Count() const { return static_cast<int64_t>(bytes.size()) / kCscRecordSize; }
  };

  /// Adds a source and returns its index.
  int32_t AddSource(const std::string& path, int32_t type = 5) {
    Source added;
    added.path = path;
    added.type = type;
    sources.push_back(std::move(added));
    return static_cast<int32_t>(sources.size()) - 1;
  }
  /// Appends a record to a source.
  void AddRecord(int32_t source, int64_t timestamp, uint32_t frequency, const std::vector<int16_t>& samples) {
    std::vector<uint8_t> record(kCscRecordSize, 0);
    std::memcpy(record.data() + kCscTimestampOffset, &timestamp, 8);
    std::memcpy(record.data() + kCscFrequencyOffset, &frequency, 4);
    for (std::size_t i = 0; i < samples.size() && i < static_cast<std::size_t>(kSamplesPerRecord); ++i) {
      std::memcpy(record.data() + kCscSamplesOffset + 2 * i, &samples[i], 2);
    }
    auto& bytes = sources[source].bytes;
    bytes.insert(bytes.end(), record.begin(), record.end());
  }

  int32_t AddListener(SourceListener*) override { return 0; }
  int32_t GetRecord(int64_t recordIndex, int32_t sourceIndex, const uint8_t*& record) override {
    if (!Valid(sourceIndex)) return -603;
    const Source& s = sources[sourceIndex];
    if (recordIndex < 0 || recordIndex >= s.Count()) {
      ReportError("Attempting to request record past end of file; record index = ", recordIndex);
      return -603;
    }
    record = s.bytes.data() + recordIndex * kCscRecordSize;
    return 0;
  }
  int32_t FindRecordForTime(int64_t time, int32_t sourceIndex, const uint8_t*& record) override {
    if (!Valid(sourceIndex)) return -603;
    const Source& s = sources[sourceIndex];
    if (s.Count() == 0) return -603;
    if (time <= TimestampOf(s, 0)) return 0;
    int64_t found = 0;
    for (int64_t i = 0; i < s.Count() && TimestampOf(s, i) <= time; ++i) found = i;
    record = s.bytes.data() + found * kCscRecordSize;
    return 0;
  }
  int32_t FindSourceByPath(const std::string& path, int32_t& index) override {
    for (std::size_t i = 0; i < sources.size(); ++i) {
      if (sources[i].path == path) {
        index = static_cast<int32_t>(i);
        return 0;
      }
    }
    index = -1;
    return -1;
  }
  int32_t GetSourcePath(int32_t index, std::string& path) override {
    if (!Valid(index)) return -2;
    path = sources[index].path;
    return 0;
  }
  int32_t GetSourceFileType(int32_t index, int32_t& type) override {
    if (!Valid(index)) return -2;
    type = sources[index].type;
    return 0;
  }
  int64_t GetNumRecords(int32_t index) override { return Valid(index) ? sources[index].Count() : -603; }
  int32_t GetHeader(int32_t, const char*&) override { return -603; }
  void GetTimeRange(int64_t& start, int64_t& end) override {
    start = 0;
    end = 1;
    bool any = false;
    for (const Source& s : sources) {
      if (s.Count() == 0) continue;
      const int64_t first = TimestampOf(s, 0) - 1'000'000;
      const int64_t last = TimestampOf(s, s.Count() - 1) + 1'000'000;
      start = any ? std::min(start, first) : first;
      end = any ? std::max(end, last) : last;
      any = true;
    }
    if (start < 0) start = 0;
  }
  int32_t GetNumSources() override { return static_cast<int32_t>(sources.size()); }
  int32_t OpenSource(const std::string& path) override {
    AddSource(path);
    return 0;
  }
  int32_t OpenDataFileDialog() override {
    if (!dialogPicks) return -1;
    for (const auto& path : *dialogPicks) OpenSource(path);
    return 0;
  }
  int32_t CloseSource(int32_t index) override {
    if (!Valid(index)) return -603;
    if (index != GetNumSources() - 1) sources[index] = sources.back();
    sources.pop_back();
    return 0;
  }
  int32_t ReadSettings(File&) override { return 0; }
  int32_t WriteSettings(File&) override { return 0; }
  int32_t GetHeaderValue(int32_t sourceIndex, const std::string& key, std::string& value) override {
    if (!Valid(sourceIndex)) return -603;
    const auto it = sources[sourceIndex].header.find(key);
    if (it == sources[sourceIndex].header.end()) return -603;
    value = it->second;
    return 0;
  }

  /// Writes a source's records to `path` after `headerBytes` filler bytes, followed by `trailingBytes`
  /// of an unfinished record, and reports that file as the source's record layout from then on.
  void WriteFile(int32_t source, const std::string& path, int64_t headerBytes, int64_t trailingBytes = 0) {
    Source& s = sources[source];
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    const std::string filler(static_cast<std::size_t>(headerBytes), '#');
    out.write(filler.data(), static_cast<std::streamsize>(filler.size()));
    out.write(reinterpret_cast<const char*>(s.bytes.data()), static_cast<std::streamsize>(s.bytes.size()));
    const std::string partial(static_cast<std::size_t>(trailingBytes), '\x7f');
    out.write(partial.data(), static_cast<std::streamsize>(partial.size()));
    s.file = path;
    s.dataOffset = headerBytes;
  }
  int32_t GetRecordLayout(int32_t sourceIndex, RecordLayout& layout) override {
    if (!Valid(sourceIndex) || sources[sourceIndex].file.empty()) return kStatusNoData;
    const Source& s = sources[sourceIndex];
    layout = RecordLayout{s.file, s.dataOffset, kCscRecordSize, s.Count()};
    return 0;
  }
  int32_t CheckSource(int32_t sourceIndex) override {
    ++checkCalls;
    return Valid(sourceIndex) && changedPaths.count(sources[sourceIndex].path) != 0 ? kStatusSourceChanged : 0;
  }

  std::vector<Source> sources;
  std::set<std::string> changedPaths;  // sources CheckSource calls changed
  int64_t checkCalls = 0;
  std::optional<std::vector<std::string>> dialogPicks;  // what the Open Data dialog returns; none = cancel

 private:
  bool Valid(int32_t index) const { return index >= 0 && index < static_cast<int32_t>(sources.size()); }
  static int64_t TimestampOf(const Source& s, int64_t i) {
    return CscRecord(s.bytes.data() + i * kCscRecordSize).Timestamp();
  }
};

/// Counts the record lookups that reach the wrapped manager, to show which redraws touch the file.
class CountingDataSourceManager : public IDataSourceManager {
 public:
  explicit CountingDataSourceManager(IDataSourceManager& inner) : inner_(inner) {}

  int64_t RecordReads() const { return getRecordCalls + findRecordCalls; }
  void ResetCounts() { getRecordCalls = findRecordCalls = 0; }

  int32_t AddListener(SourceListener* l) override { return inner_.AddListener(l); }
  int32_t GetRecord(int64_t r, int32_t s, const uint8_t*& rec) override {
    ++getRecordCalls;
    return inner_.GetRecord(r, s, rec);
  }
  int32_t FindRecordForTime(int64_t t, int32_t s, const uint8_t*& rec) override {
    ++findRecordCalls;
    return inner_.FindRecordForTime(t, s, rec);
  }
  int32_t FindSourceByPath(const std::string& p, int32_t& i) override { return inner_.FindSourceByPath(p, i); }
  int32_t GetSourcePath(int32_t i, std::string& p) override { return inner_.GetSourcePath(i, p); }
  int32_t GetSourceFileType(int32_t i, int32_t& t) override { return inner_.GetSourceFileType(i, t); }
  int64_t GetNumRecords(int32_t i) override { return inner_.GetNumRecords(i); }
  int32_t GetHeader(int32_t i, const char*& h) override { return inner_.GetHeader(i, h); }
  void GetTimeRange(int64_t& s, int64_t& e) override { inner_.GetTimeRange(s, e); }
  int32_t GetNumSources() override { return inner_.GetNumSources(); }
  int32_t OpenSource(const std::string& p) override { return inner_.OpenSource(p); }
  int32_t OpenDataFileDialog() override { return inner_.OpenDataFileDialog(); }
  int32_t CloseSource(int32_t i) override { return inner_.CloseSource(i); }
  int32_t ReadSettings(File& f) override { return inner_.ReadSettings(f); }
  int32_t WriteSettings(File& f) override { return inner_.WriteSettings(f); }
  int32_t GetHeaderValue(int32_t s, const std::string& k, std::string& v) override {
    return inner_.GetHeaderValue(s, k, v);
  }

  int64_t getRecordCalls = 0;
  int64_t findRecordCalls = 0;

 private:
  IDataSourceManager& inner_;
};

}  // namespace skelvane::test
