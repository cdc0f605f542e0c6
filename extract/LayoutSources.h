#pragma once
// A read-only table of a few sources known only by where their records lie, so that a worker thread
// can stream them with its own descriptors while the window's table opens and closes sources. Used
// by the detection preview's worker.

#include <cstdint>
#include <string>
#include <vector>

#include "datafile/IDataSourceManager.h"

namespace skelvane {

class LayoutSources final : public IDataSourceManager {
 public:
  /// Adds a source by its layout; returns its index in this table.
  int32_t Add(const RecordLayout& layout);
  /// The layouts, by index.
  const std::vector<RecordLayout>& Layouts() const { return layouts_; }

  /// The layout given; 0, or -603 past the table.
  int32_t GetRecordLayout(int32_t sourceIndex, RecordLayout& layout) override;
  /// Records in the layout, or -603.
  int64_t GetNumRecords(int32_t index) override;
  /// The layout's path; 0, or -2 past the table.
  int32_t GetSourcePath(int32_t index, std::string& path) override;
  /// The first source of exactly `path`; 0, or -1 with index -1.
  int32_t FindSourceByPath(const std::string& path, int32_t& index) override;
  /// Sources in the table.
  int32_t GetNumSources() override;

  // Nothing else of a table: records are only streamed from the files, never handed out here.
  /// Not kept: -1.
  int32_t AddListener(SourceListener* listener) override;
  /// No mapping to hand out: -603.
  int32_t GetRecord(int64_t recordIndex, int32_t sourceIndex, const uint8_t*& record) override;
  /// No mapping to hand out: -603.
  int32_t FindRecordForTime(int64_t time, int32_t sourceIndex, const uint8_t*& record) override;
  /// Every source is a CSC source; -2 past the table.
  int32_t GetSourceFileType(int32_t index, int32_t& type) override;
  /// No header kept: -603.
  int32_t GetHeader(int32_t index, const char*& header) override;
  /// 0..1: the table knows no times.
  void GetTimeRange(int64_t& start, int64_t& end) override;
  /// Opens nothing: -1.
  int32_t OpenSource(const std::string& path) override;
  /// Opens nothing: -1.
  int32_t OpenDataFileDialog() override;
  /// Chooses nothing.
  std::optional<std::vector<std::string>> ChooseDataFiles() override;
  /// Closes nothing: -603.
  int32_t CloseSource(int32_t index) override;
  /// Reads nothing: -1.
  int32_t ReadSettings(File& file) override;
  /// Writes nothing: -1.
  int32_t WriteSettings(File& file) override;
  /// No header kept: -603.
  int32_t GetHeaderValue(int32_t sourceIndex, const std::string& key, std::string& value) override;

 private:
  bool Valid(int32_t index) const { return index >= 0 && index < static_cast<int32_t>(layouts_.size()); }

  std::vector<RecordLayout> layouts_;
};

}  // namespace skelvane
