#pragma once
// In-memory stand-ins for the data source manager and the plot collection, so extraction tests can
// lay out records, gaps and channel offsets sample by sample.

#include <atomic>
#include <cstdint>
#include <cstring>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "datafile/CscRecord.h"
#include "datafile/IDataSourceManager.h"
#include "display/IPlot.h"
#include "display/IPlotCollection.h"

namespace skelvane::test {

/// One CSC record as the file holds it: timestamp, frequency, 512 samples.
inline std::vector<uint8_t> MakeRecordBytes(int64_t timestamp, const std::vector<int16_t>& samples,
                                            uint32_t frequency = 32000) {
  std::vector<uint8_t> bytes(kCscRecordSize, 0);
  std::memcpy(bytes.data() + kCscTimestampOffset, &timestamp, sizeof timestamp);
  std::memcpy(bytes.data() + kCscFrequencyOffset, &frequency, sizeof frequency);
  std::memcpy(bytes.data() + kCscSamplesOffset, samples.data(), sizeof(int16_t) * kSamplesPerRecord);
  return bytes;
}

struct FakeSource {
  std::string path;
  std::vector<int64_t> timestamps;               // one per record
  std::vector<std::vector<int16_t>> samples;     // 512 per record
  std::map<std::string, std::string> header;     // key (with dash) -> value text
  int64_t failingRecord = -1;                    // GetRecord of this index fails
  std::vector<std::vector<uint8_t>> bytes;       // built by Seal()

  /// Appends `count` silent records starting at `start`, `interval` microseconds apart.
  void AddRecords(int64_t start, int64_t interval, int32_t count) {
    for (int32_t i = 0; i < count; ++i) {
      timestamps.push_back(start + i * interval);
      samples.emplace_back(kSamplesPerRecord, int16_t{0});
    }
  }
  /// Puts a spike shape with its peak at sample `index` of record `record` (the shape may run
  /// into the neighbouring records).
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
      if (r >= 0 && r < static_cast<int32_t>(samples.size())) samples[r][i] = shape[d + 2];
    }
  }
  void Seal() {
    bytes.clear();
    for (std::size_t r = 0; r < timestamps.size(); ++r) bytes.push_back(MakeRecordBytes(timestamps[r], samples[r]));
  }
};

class FakeSourceManager : public IDataSourceManager {
 public:
  std::vector<FakeSource> sources;

  void SealAll() {
    for (auto& s : sources) s.Seal();
  }

  int32_t AddListener(SourceListener*) override { return 0; }
  int32_t GetRecord(int64_t recordIndex, int32_t sourceIndex, const uint8_t*& record) override {
    if (!Valid(sourceIndex)) return -603;
    const FakeSource& s = sources[sourceIndex];
    if (recordIndex < 0 || recordIndex >= static_cast<int64_t>(s.bytes.size())) return -603;
    if (recordIndex == s.failingRecord) return -603;
    ++recordReads;
    if (onRead) onRead(sourceIndex, recordIndex);
    record = s.bytes[recordIndex].data();
    return 0;
  }
  int32_t FindRecordForTime(int64_t, int32_t, const uint8_t*&) override { return -603; }
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
    type = 5;
    return 0;
  }
  int64_t GetNumRecords(int32_t index) override {
    return Valid(index) ? static_cast<int64_t>(sources[index].bytes.size()) : -603;
  }
  int32_t GetHeader(int32_t, const char*&) override { return -603; }
  void GetTimeRange(int64_t& start, int64_t& end) override {
    start = 0;
    end = 1;
  }
  int32_t GetNumSources() override { return static_cast<int32_t>(sources.size()); }
  int32_t OpenSource(const std::string&) override { return -1; }
  int32_t OpenDataFileDialog() override { return -1; }
  int32_t CloseSource(int32_t) override { return -603; }
  int32_t ReadSettings(File&) override { return 0; }
  int32_t WriteSettings(File&) override { return 0; }
  int32_t GetHeaderValue(int32_t sourceIndex, const std::string& key, std::string& value) override {
    if (!Valid(sourceIndex)) return -603;
    const auto it = sources[sourceIndex].header.find(key);
    if (it == sources[sourceIndex].header.end()) return -603;
    value = it->second;
    return 0;
  }

  std::atomic<int64_t> recordReads{0};  // groups read on several threads
  std::function<void(int32_t source, int64_t record)> onRead;  // called on every record read

 private:
  bool Valid(int32_t index) const { return index >= 0 && index < static_cast<int32_t>(sources.size()); }
};

class FakePlot : public IPlot {
 public:
  FakePlot(std::string path, double samplePeriod, double frequency, int32_t adMax)
      : path_(std::move(path)), period_(samplePeriod), frequency_(frequency), adMax_(adMax) {}

  std::string GetPath() const override { return path_; }
  int32_t GetHeight() const override { return 100; }
  double GetSamplingFrequency() const override { return frequency_; }
  double GetSamplePeriod() const override { return period_; }
  void LoadSourceInfo() override {}
  void SetHeight(int32_t) override {}
  void SetExtractionMode(int32_t mode) override { extractionMode = mode; }
  void SetExtractionType(int32_t type) override { extractionType = type; }
  void SetExtractionValue(double value) override { extractionValue = value; }
  int32_t Draw(const PlotFrame&, int32_t, int32_t, int32_t, int32_t) override { return 0; }
  void DrawIcons(const PlotFrame&, int32_t, int32_t, int32_t, int32_t) override {}
  void DrawName(const PlotFrame&, int32_t, int32_t, int32_t) override {}
  int32_t DrawDataAxisLabel(const PlotFrame&, int32_t, int32_t, int32_t, int32_t) override { return 0; }
  int32_t DrawThresholdOverlay(const PlotFrame&, int32_t, int32_t, uint32_t) override { return 0; }
  int32_t RunPropertiesDialog() override { return 0; }
  int32_t HitTestIcon(int32_t, int32_t) const override { return 0; }
  int32_t ReadProperties(File&) override { return 0; }
  int32_t WriteProperties(File&) override { return 0; }
  void IncreaseHeight() override {}
  int32_t DecreaseHeight() override { return 0; }
  void ForgetIcons() override {}
  int32_t GetADMaxValue() const override { return adMax_; }

  int32_t extractionMode = -1;
  int32_t extractionType = -1;
  double extractionValue = -1.0;

 private:
  std::string path_;
  double period_;
  double frequency_;
  int32_t adMax_;
};

/// Holds plots it does not own; a null entry stands for a plot that cannot be had.
class FakePlotCollection : public IPlotCollection {
 public:
  std::vector<IPlot*> plots;
  int32_t failingIndex = -1;  // GetPlot of this index fails

  int32_t CreatePlot(const std::string&, int32_t, const std::string&) override { return -1; }
  int32_t AddPlotsForNewSources() override { return -1; }
  int32_t RemovePlot(int32_t) override { return -1; }
  int32_t RemoveAllPlots() override { return -1; }
  int32_t GetNumPlots() const override { return static_cast<int32_t>(plots.size()); }
  int32_t GetPlot(int32_t index, IPlot*& plot) const override {
    if (index < 0 || index >= GetNumPlots() || index == failingIndex) return -1;
    plot = plots[index];
    return 0;
  }
  int32_t GetTotalHeight() const override { return 0; }
  int32_t MovePlotUp(int32_t) override { return -1; }
  int32_t MovePlotDown(int32_t) override { return -1; }
  int32_t HandleClick(int32_t, int32_t) override { return 0; }
};

}  // namespace skelvane::test
