#pragma once
// What the data source manager's tests share: a manager over a scratch folder that writes CSC files
// on demand, a listener that logs its calls, and the reports the manager gives about a file.

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "datafile/CscRecord.h"
#include "datafile/DataSourceManager.h"
#include "datafile/SourceListener.h"
#include "platform/ReportError.h"
#include "tests/datafile/DataFileFixtures.h"
#include "tests/support/TempDir.h"

namespace skelvane::test {

inline constexpr const char* kMaxSourcesReport =
    "Unable to open data source; maximum number of sources already open - please close some sources, and try again.";
inline constexpr const char* kNoReaderReport = "Unable to locate Kestrelon data in file.  Are you sure this is a kestrelon file?";
inline constexpr const char* kNotCscReport = "Error opening file, please validate that file is a Kestrelon CSC file:";
inline constexpr const char* kNoTypeReport = "Error retrieving file type, please validate that file is a Kestrelon file:";
inline constexpr const char* kNotRecordingReport = "File does not look like a CSC recording (implausible record values)";
inline constexpr const char* kPartialReport = "Corrupt file - incomplete record encountered: Record size in bytes:1044";

// A report about a file: the message, ": " and the path, then ": " and the system's reason, if any.
inline std::string About(const std::string& message, const std::string& path, int error = 0) {
  return FormatFileReport(message, 0, path, error);  // the wording itself is pinned in ReportErrorTest
}
inline std::string OpenErrorReport(const std::string& path, int error) {
  return About("Error opening file; microsoft error code:" + std::to_string(error), path, error);
}

class RecordingListener final : public SourceListener {
 public:
  RecordingListener(std::vector<int>& log, int id) : log_(log), id_(id) {}
  void OnSourcesChanged() override { log_.push_back(id_); }

 private:
  std::vector<int>& log_;
  int id_;
};

inline int64_t TimestampOf(const uint8_t* record) { return CscRecord(record).Timestamp(); }

class DataSourceManagerTest : public ::testing::Test {
 protected:
  // A CSC file of `count` records 10 µs apart from `first` on, with the standard header.
  std::string Csc(const std::string& name, int64_t count, int64_t first = 1000, int64_t step = 10) {
    return dir_.Write(name, StandardHeader() + CscRecords(Timestamps(count, first, step)));
  }
  test::TempDir dir_;
  DataSourceManager manager_;
};


}  // namespace skelvane::test
