#pragma once
// A data source manager for the main window's tests: "files" the test registers with a time span,
// opened without touching the disk; anything else fails with the open message. Listeners are
// notified as the real manager does.

#include <algorithm>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "datafile/IDataSourceManager.h"
#include "datafile/SourceListener.h"
#include "platform/ReportError.h"

namespace skelvane::test {

class FakeDataSourceManager final : public IDataSourceManager {
 public:
  struct FakeFile {
    int32_t type = 5;
    int64_t first = 0;  // first and last record timestamps, microseconds
    int64_t last = 0;
    bool indexFails = false;  // opened, then dropped because its time index cannot be built
  };

  void AddFile(const std::string& path, FakeFile file) { files[path] = file; }

  int32_t AddListener(SourceListener* listener) override {
    if (listeners.size() >= 10) return -1;
    listeners.push_back(listener);
    return 0;
  }
  int32_t RemoveListener(SourceListener* listener) override {
    const auto found = std::find(listeners.begin(), listeners.end(), listener);
    if (found == listeners.end()) return -1;
    listeners.erase(found);
    return 0;
  }
  int32_t GetRecord(int64_t, int32_t, const uint8_t*&) override { return -603; }
  int32_t FindRecordForTime(int64_t, int32_t, const uint8_t*&) override { return -603; }
  int32_t FindSourceByPath(const std::string& path, int32_t& index) override {
    const auto found = std::find(open.begin(), open.end(), path);
    index = found == open.end() ? -1 : static_cast<int32_t>(found - open.begin());
    return index < 0 ? -1 : 0;
  }
  int32_t GetSourcePath(int32_t index, std::string& path) override {
    if (index < 0 || index >= GetNumSources()) return -2;
    path = open[index];
    return 0;
  }
  int32_t GetSourceFileType(int32_t index, int32_t& type) override {
    if (index < 0 || index >= GetNumSources()) return -2;
    type = files[open[index]].type;
    return 0;
  }
  int64_t GetNumRecords(int32_t) override { return -603; }
  int32_t GetHeader(int32_t, const char*&) override { return -603; }
  void GetTimeRange(int64_t& start, int64_t& end) override {
    if (open.empty()) {
      start = 0;
      end = 1;
      return;
    }
    start = INT64_MAX;
    end = INT64_MIN;
    for (const std::string& path : open) {
      start = std::min(start, files[path].first);
      end = std::max(end, files[path].last);
    }
    start = std::max<int64_t>(start - 1'000'000, 0);
    end += 1'000'000;
  }
  int32_t GetNumSources() override { return static_cast<int32_t>(open.size()); }
  int32_t OpenSource(const std::string& path) override {
    openAttempts.push_back(path);
    const auto found = files.find(path);
    if (found == files.end()) {
      ReportError("Error opening file; microsoft error code:", 2);
      return 2;
    }
    if (!found->second.indexFails) open.push_back(path);
    Notify();
    return 0;
  }
  int32_t OpenDataFileDialog() override { return -1; }
  int32_t CloseSource(int32_t index) override {
    if (index < 0 || index >= GetNumSources()) return -603;
    open[index] = open.back();
    open.pop_back();
    Notify();
    return 0;
  }
  int32_t ReadSettings(File&) override { return 0; }
  int32_t WriteSettings(File&) override { return 0; }
  int32_t GetHeaderValue(int32_t, const std::string&, std::string&) override { return -603; }

  void Notify() {
    for (SourceListener* listener : listeners) listener->OnSourcesChanged();
  }

  std::map<std::string, FakeFile> files;
  std::vector<std::string> open;
  std::vector<std::string> openAttempts;
  std::vector<SourceListener*> listeners;
};

}  // namespace skelvane::test
