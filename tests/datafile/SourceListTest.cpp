// The source list record: written and read back, long and missing paths, unusable entries, a full
// table and failed writes.
#include "datafile/DataSourceManager.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <limits>
#include <random>
#include <sys/stat.h>
#include <unistd.h>

#include "datafile/CscRecord.h"
#include "datafile/FileHeader.h"
#include "datafile/FileKind.h"
#include "datafile/SourceListener.h"
#include "platform/File.h"
#include "platform/FileChooser.h"
#include "platform/ReportError.h"
#include "platform/StatusCodes.h"
#include "tests/datafile/DataFileFixtures.h"
#include "tests/datafile/DataSourceManagerFixture.h"
#include "tests/support/CapturedReports.h"
#include "tests/support/TempDir.h"

namespace skelvane {
namespace {

using namespace test;  // the manager fixture, its reports and the record builders

// Builds a source list record by hand.
std::string SourceList(uint32_t count, const std::vector<std::string>& paths) {
  std::string bytes(sizeof count, '\0');
  std::memcpy(bytes.data(), &count, sizeof count);
  for (const std::string& path : paths) {
    std::string field = path.substr(0, kSourcePathFieldSize);
    field.resize(kSourcePathFieldSize, '\0');
    bytes += field;
  }
  return bytes;
}

class SourceListTest : public DataSourceManagerTest {
 protected:
  int32_t Read(const std::string& bytes) {
    File file;
    EXPECT_EQ(file.Open(dir_.Write("list.bin", bytes), File::Mode::Read), 0);
    const int32_t rc = manager_.ReadSettings(file);
    position_ = file.Position();
    return rc;
  }
  int64_t position_ = -1;
};

TEST_F(SourceListTest, WriteThenReadGivesTheSameSources) {
  const std::string a = Csc("a.kcs", 3);
  const std::string b = Csc("b.kcs", 4);
  ASSERT_EQ(manager_.OpenSource(a), kStatusOk);
  ASSERT_EQ(manager_.OpenSource(b), kStatusOk);
  File out;
  ASSERT_EQ(out.Open(dir_.File("list.bin"), File::Mode::CreateWrite), 0);
  ASSERT_TRUE(out.Write("pre", 3));  // the record goes at the file's current position
  ASSERT_EQ(manager_.WriteSettings(out), kStatusOk);
  ASSERT_EQ(out.Close(), 0);
  EXPECT_EQ(std::filesystem::file_size(dir_.File("list.bin")), 3u + 4u + 2u * 260u);

  DataSourceManager reread;
  std::vector<int> log;
  RecordingListener listener(log, 1);
  reread.AddListener(&listener);
  File in;
  ASSERT_EQ(in.Open(dir_.File("list.bin"), File::Mode::Read), 0);
  in.Seek(3);
  ASSERT_EQ(reread.ReadSettings(in), kStatusOk);
  ASSERT_EQ(reread.GetNumSources(), 2);
  std::string path;
  reread.GetSourcePath(1, path);
  EXPECT_EQ(path, b);
  EXPECT_EQ(reread.GetNumRecords(1), 4);
  EXPECT_EQ(log, std::vector<int>{1});
}

TEST_F(SourceListTest, LongPathIsStoredCutTo259Characters) {
  // A real file whose path is 300 characters long, in nested folders.
  std::string folder = dir_.Path();
  while (folder.size() < 300 - 60) folder += "/" + std::string(50, 'd');
  std::filesystem::create_directories(folder);
  const std::string path = folder + "/" + std::string(300 - folder.size() - 1 - 4, 'f') + ".kcs";
  ASSERT_EQ(path.size(), 300u);
  test::TempDir unused;
  {
    File file;
    ASSERT_EQ(file.Open(path, File::Mode::CreateWrite), 0);
    const std::string bytes = CscRecords(Timestamps(2));
    ASSERT_TRUE(file.Write(bytes.data(), static_cast<int64_t>(bytes.size())));
  }
  ASSERT_EQ(manager_.OpenSource(path), kStatusOk);
  File out;
  ASSERT_EQ(out.Open(dir_.File("list.bin"), File::Mode::CreateReadWrite), 0);
  ASSERT_EQ(manager_.WriteSettings(out), kStatusOk);
  out.Seek(0);
  char bytes[4 + 260] = {};
  ASSERT_EQ(out.Read(bytes, sizeof bytes), static_cast<int64_t>(sizeof bytes));
  EXPECT_EQ(bytes[0], 1);
  EXPECT_EQ(std::string(bytes + 4, 259), path.substr(0, 259));
  EXPECT_EQ(bytes[4 + 259], '\0');
}

TEST_F(SourceListTest, ThreeHundredListedAreReportedAndTheFirst256Opened) {
  test::CapturedReports reports;
  const std::string path = Csc("a.kcs", 2);
  EXPECT_EQ(Read(SourceList(300, std::vector<std::string>(300, path))), kStatusOk);
  EXPECT_EQ(reports.Texts(),
            std::vector<std::string>{"Invalid Number of data sources listed in configuration file, number was:300"});
  EXPECT_EQ(manager_.GetNumSources(), kMaxSources);
  EXPECT_EQ(position_, 4 + 256 * 260);
}

TEST_F(SourceListTest, MissingSecondPathReturnsTheOpenErrorAndKeepsTheFirst) {
  test::CapturedReports reports;
  std::vector<int> log;
  RecordingListener listener(log, 1);
  manager_.AddListener(&listener);
  const std::string path = Csc("a.kcs", 2);
  EXPECT_EQ(Read(SourceList(3, {path, dir_.File("gone.kcs"), path})), ENOENT);
  EXPECT_EQ(reports.Texts(), std::vector<std::string>{OpenErrorReport(dir_.File("gone.kcs"), ENOENT)});
  EXPECT_EQ(manager_.GetNumSources(), 1);
  EXPECT_EQ(position_, 4 + 2 * 260);  // the rest of the record is left unread
  EXPECT_EQ(log, std::vector<int>{1});  // the source that did open is announced
}

TEST_F(SourceListTest, UnusableEntriesAreLeftOutAndTheRestNumberedWithoutGaps) {
  test::CapturedReports reports;
  const std::string good = Csc("good.kcs", 2);
  const std::string empty = dir_.Write("empty.kcs", "");
  const std::string spikes = dir_.Write("spikes.kse", test::RecordsWithTimestamps({1, 2}, 112, 0));
  const std::string headerOnly = dir_.Write("h.kcs", test::StandardHeader());
  EXPECT_EQ(Read(SourceList(5, {empty, spikes, good, headerOnly, good})), kStatusOk);
  EXPECT_EQ(reports.Texts(), (std::vector<std::string>{About(kNoReaderReport, empty), About(kNotCscReport, spikes),
                                                       About("Empty File.  NumRecs = 0.", headerOnly)}));
  ASSERT_EQ(manager_.GetNumSources(), 2);
  std::string path;
  manager_.GetSourcePath(1, path);
  EXPECT_EQ(path, good);
}

TEST_F(SourceListTest, TruncatedRecordIsReportedAndWhatOpenedStays) {
  test::CapturedReports reports;
  const std::string path = Csc("a.kcs", 2);
  std::string bytes = SourceList(2, {path, path});
  bytes.resize(bytes.size() - 10);
  EXPECT_EQ(Read(bytes), kStatusNoData);
  EXPECT_EQ(reports.Texts(), std::vector<std::string>{"Unable to read data source information from configuration file"});
  EXPECT_EQ(manager_.GetNumSources(), 1);
  reports.Clear();
  DataSourceManager other;
  File empty;
  ASSERT_EQ(empty.Open(dir_.Write("empty.bin", ""), File::Mode::Read), 0);
  EXPECT_EQ(other.ReadSettings(empty), kStatusNoData);
  EXPECT_EQ(reports.Texts(), std::vector<std::string>{"Unable to read data source information from configuration file"});
}

TEST_F(SourceListTest, ListIntoAFullTableOpensNothingMore) {
  test::CapturedReports reports;
  const std::string path = Csc("a.kcs", 2);
  for (int i = 0; i < kMaxSources - 1; ++i) ASSERT_EQ(manager_.OpenSource(path), kStatusOk);
  EXPECT_EQ(Read(SourceList(3, {path, path, path})), kStatusOk);
  EXPECT_EQ(manager_.GetNumSources(), kMaxSources);
  EXPECT_EQ(reports.Texts(), std::vector<std::string>{kMaxSourcesReport});
  EXPECT_EQ(position_, 4 + 3 * 260);
}

TEST_F(SourceListTest, WriteFailuresReportTheErrno) {
  test::CapturedReports reports;
  ASSERT_EQ(manager_.OpenSource(Csc("a.kcs", 2)), kStatusOk);
  File full;
  if (full.Open("/dev/full", File::Mode::CreateWrite) == 0) {
    EXPECT_EQ(manager_.WriteSettings(full), ENOSPC);
    EXPECT_EQ(reports.Texts(), std::vector<std::string>{
                                   "Unable to write data source information to configuration file" +
                                   std::to_string(ENOSPC)});
    reports.Clear();
  }
  File readOnly;
  ASSERT_EQ(readOnly.Open(dir_.Write("ro.bin", ""), File::Mode::Read), 0);
  EXPECT_EQ(manager_.WriteSettings(readOnly), EBADF);
  EXPECT_EQ(reports.Texts(), std::vector<std::string>{
                                 "Unable to write data source information to configuration file" + std::to_string(EBADF)});
}

}  // namespace
}  // namespace skelvane
