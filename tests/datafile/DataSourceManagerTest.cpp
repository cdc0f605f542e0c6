// The data source manager's table: opening and closing sources, the padded time range and the
// listeners (what opening accepts and the Open Data File chooser: OpeningRecordingsTest).
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
#include "platform/ReportError.h"
#include "platform/StatusCodes.h"
#include "tests/datafile/DataFileFixtures.h"
#include "tests/datafile/DataSourceManagerFixture.h"
#include "tests/support/CapturedReports.h"
#include "tests/support/TempDir.h"
#include "tools/SyntheticRecording.h"

namespace skelvane {
namespace {

using namespace test;  // the manager fixture, its reports and the record builders

TEST_F(DataSourceManagerTest, ClosingASourceMovesTheLastIntoItsPlace) {
  std::vector<int> log;
  RecordingListener listener(log, 1);
  manager_.AddListener(&listener);
  ASSERT_EQ(manager_.OpenSource(Csc("first.kcs", 10, 1000)), kStatusOk);
  ASSERT_EQ(manager_.OpenSource(Csc("second.kcs", 10, 2000)), kStatusOk);
  ASSERT_EQ(manager_.OpenSource(Csc("third.kcs", 10, 3000)), kStatusOk);
  log.clear();

  ASSERT_EQ(manager_.CloseSource(0), kStatusOk);
  EXPECT_EQ(log, std::vector<int>{1});
  EXPECT_EQ(manager_.GetNumSources(), 2);
  std::string path;
  manager_.GetSourcePath(0, path);
  EXPECT_EQ(path, dir_.File("third.kcs"));
  manager_.GetSourcePath(1, path);
  EXPECT_EQ(path, dir_.File("second.kcs"));
  // The time index moved with its source.
  const uint8_t* record = nullptr;
  ASSERT_EQ(manager_.FindRecordForTime(3015, 0, record), kStatusOk);
  EXPECT_EQ(TimestampOf(record), 3010);

  ASSERT_EQ(manager_.CloseSource(1), kStatusOk);  // the last one: nothing moves
  EXPECT_EQ(manager_.GetNumSources(), 1);
  manager_.GetSourcePath(0, path);
  EXPECT_EQ(path, dir_.File("third.kcs"));
  EXPECT_EQ(manager_.CloseSource(1), kStatusNoData);
  EXPECT_EQ(manager_.CloseSource(-1), kStatusNoData);
  ASSERT_EQ(manager_.CloseSource(0), kStatusOk);
  EXPECT_EQ(manager_.GetNumSources(), 0);
  EXPECT_EQ(log.size(), 3u);
}

TEST_F(DataSourceManagerTest, TheTwoHundredFiftySeventhSourceIsRefused) {
  test::CapturedReports reports;
  const std::string path = Csc("a.kcs", 2);
  for (int i = 0; i < kMaxSources; ++i) ASSERT_EQ(manager_.OpenSource(path), kStatusOk) << i;
  EXPECT_EQ(manager_.OpenSource(path), kStatusFailed);
  EXPECT_EQ(manager_.GetNumSources(), kMaxSources);
  EXPECT_EQ(reports.Texts(), std::vector<std::string>{kMaxSourcesReport});
}

TEST_F(DataSourceManagerTest, SourceWithoutRecordsIsDroppedAndTheFailureReturned) {
  test::CapturedReports reports;
  std::vector<int> log;
  RecordingListener listener(log, 1);
  manager_.AddListener(&listener);
  EXPECT_EQ(manager_.OpenSource(dir_.Write("h.kcs", test::StandardHeader())), kStatusNoData);
  EXPECT_EQ(reports.Texts(), std::vector<std::string>{About("Empty File.  NumRecs = 0.", dir_.File("h.kcs"))});
  EXPECT_EQ(manager_.GetNumSources(), 0);
  EXPECT_TRUE(log.empty());
  // The slot it used is free again.
  ASSERT_EQ(manager_.OpenSource(Csc("a.kcs", 3)), kStatusOk);
  std::string path;
  manager_.GetSourcePath(0, path);
  EXPECT_EQ(path, dir_.File("a.kcs"));
}

TEST_F(DataSourceManagerTest, TimeRangeIsPaddedByASecondAndClampedAtZeroUnlessTheDataStartsBeforeIt) {
  int64_t start = -1;
  int64_t end = -1;
  manager_.GetTimeRange(start, end);
  EXPECT_EQ(start, 0);
  EXPECT_EQ(end, 1);
  ASSERT_EQ(manager_.OpenSource(Csc("a.kcs", 10, 500'000, 1000)), kStatusOk);
  ASSERT_EQ(manager_.OpenSource(Csc("b.kcs", 10, 2'000'000, 1000)), kStatusOk);
  manager_.GetTimeRange(start, end);
  EXPECT_EQ(start, 0);
  EXPECT_EQ(end, 2'009'000 + 1'000'000);
  manager_.CloseSource(0);
  manager_.GetTimeRange(start, end);
  EXPECT_EQ(start, 1'000'000);
  EXPECT_EQ(end, 3'009'000);
  // A recording made wholly before zero (from -5 s) keeps its margin on both sides.
  manager_.CloseSource(0);
  ASSERT_EQ(manager_.OpenSource(Csc("before.kcs", 10, -5'000'000, 1000)), kStatusOk);
  manager_.GetTimeRange(start, end);
  EXPECT_EQ(start, -6'000'000);
  EXPECT_EQ(end, -4'991'000 + 1'000'000);
}

TEST_F(DataSourceManagerTest, TimeRangeIsOrderedAndSaturatesWhateverTheTimestamps) {
  int64_t start = -1;
  int64_t end = -1;
  // The first records are in order; the last one is stamped before the first.
  std::vector<int64_t> stamps = Timestamps(20, 50'000'000, 1000);
  stamps.back() = 7'000'000;
  ASSERT_EQ(manager_.OpenSource(dir_.Write("back.kcs", CscRecords(stamps))), kStatusOk);
  manager_.GetTimeRange(start, end);
  EXPECT_EQ(start, 6'000'000);
  EXPECT_EQ(end, 51'000'000);
  // Timestamps at the limits of the type neither wrap the range nor overflow.
  constexpr int64_t kMin = std::numeric_limits<int64_t>::min();
  constexpr int64_t kMax = std::numeric_limits<int64_t>::max();
  ASSERT_EQ(manager_.OpenSource(dir_.Write("edge.kcs", CscRecords({kMin, kMax}))), kStatusOk);
  manager_.GetTimeRange(start, end);
  EXPECT_EQ(start, kMin);
  EXPECT_EQ(end, kMax);
  for (const int64_t time : {kMin, int64_t{0}, kMax}) {
    const uint8_t* record = nullptr;
    EXPECT_EQ(manager_.FindRecordForTime(time, 1, record), kStatusOk);
  }
}

TEST_F(DataSourceManagerTest, ListenersAreToldInRegistrationOrderAndAnEleventhIsRefused) {
  test::CapturedReports reports;
  std::vector<int> log;
  std::vector<std::unique_ptr<RecordingListener>> listeners;
  for (int i = 0; i < kMaxListeners + 1; ++i) listeners.push_back(std::make_unique<RecordingListener>(log, i));
  for (int i = 0; i < kMaxListeners; ++i) ASSERT_EQ(manager_.AddListener(listeners[static_cast<std::size_t>(i)].get()), 0);
  EXPECT_EQ(manager_.AddListener(listeners.back().get()), kStatusFailed);
  EXPECT_EQ(reports.Texts(),
            std::vector<std::string>{
                "Unable to register for data source changes; maximum number of listeners reached: 10"});

  ASSERT_EQ(manager_.OpenSource(Csc("a.kcs", 3)), kStatusOk);
  EXPECT_EQ(log, (std::vector<int>{0, 1, 2, 3, 4, 5, 6, 7, 8, 9}));
}

TEST_F(DataSourceManagerTest, RemovedListenerIsNoLongerToldAndFreesItsPlace) {
  test::CapturedReports reports;
  std::vector<int> log;
  std::vector<std::unique_ptr<RecordingListener>> listeners;
  for (int i = 0; i < kMaxListeners + 1; ++i) listeners.push_back(std::make_unique<RecordingListener>(log, i));
  for (int i = 0; i < kMaxListeners; ++i) ASSERT_EQ(manager_.AddListener(listeners[static_cast<std::size_t>(i)].get()), 0);
  EXPECT_EQ(manager_.RemoveListener(listeners[3].get()), kStatusOk);
  EXPECT_EQ(manager_.RemoveListener(listeners[3].get()), kStatusFailed);
  EXPECT_EQ(manager_.RemoveListener(listeners.back().get()), kStatusFailed);
  EXPECT_EQ(manager_.AddListener(listeners.back().get()), kStatusOk);

  ASSERT_EQ(manager_.OpenSource(Csc("a.kcs", 3)), kStatusOk);
  EXPECT_EQ(log, (std::vector<int>{0, 1, 2, 4, 5, 6, 7, 8, 9, 10}));
  EXPECT_TRUE(reports.Texts().empty());
}

// A record's fields read plainly are the mapping's bytes; the first timestamp is record 0's. A
// file cut short since it opened gives no fields for the records it lost (not zeros).
TEST_F(DataSourceManagerTest, RecordFieldsReadPlainlyAreTheMappedOnes) {
  test::CapturedReports reports;
  std::mt19937_64 random(5);
  for (int file = 0; file < 4; ++file) {
    const int64_t count = 1 + static_cast<int64_t>(random() % 40);
    const auto first = static_cast<int64_t>(random() % 1'000'000'000);
    const std::string name = "f" + std::to_string(file) + ".kcs";
    ASSERT_EQ(manager_.OpenSource(dir_.Write(name, StandardHeader() + CscRecords(Timestamps(count, first)))), kStatusOk);
    int64_t firstTimestamp = 0;
    ASSERT_EQ(manager_.GetFirstTimestamp(file, firstTimestamp), kStatusOk);
    EXPECT_EQ(firstTimestamp, first);
    for (int64_t r = 0; r < count; ++r) {
      const uint8_t* record = nullptr;
      ASSERT_EQ(manager_.GetRecord(r, file, record), kStatusOk);
      uint8_t fields[kCscSamplesOffset] = {};
      ASSERT_EQ(manager_.ReadRecordFields(r, file, fields, kCscSamplesOffset), kStatusOk);
      EXPECT_EQ(std::memcmp(fields, record, sizeof fields), 0) << name << " record " << r;
    }
    // A run of records' fields read at once: those one by one, as far as the file has them.
    for (int64_t from = 0; from < count; from += 3) {
      const auto want = static_cast<int32_t>(1 + random() % 9);
      std::vector<uint8_t> run(static_cast<std::size_t>(want) * kCscSamplesOffset);
      const int32_t got = manager_.ReadRecordsFields(from, want, file, run.data());
      EXPECT_EQ(got, std::min<int64_t>(want, count - from)) << name << " from " << from;
      for (int32_t k = 0; k < got; ++k) {
        uint8_t one[kCscSamplesOffset] = {};
        ASSERT_EQ(manager_.ReadRecordFields(from + k, file, one, kCscSamplesOffset), kStatusOk);
        EXPECT_EQ(std::memcmp(one, run.data() + std::ptrdiff_t{k} * kCscSamplesOffset, sizeof one), 0) << name;
      }
    }
    reports.Clear();
    uint8_t fields[kCscSamplesOffset + 1] = {};
    EXPECT_EQ(manager_.ReadRecordFields(0, file, fields, kCscSamplesOffset + 1), kStatusNoData);
    EXPECT_EQ(manager_.ReadRecordFields(count, file, fields, kCscSamplesOffset), kStatusNoData);
  }
  EXPECT_EQ(reports.Texts().size(), 1u);  // one past-the-end report for the last file's
  const std::string cut = Csc("cut.kcs", 10);
  ASSERT_EQ(manager_.OpenSource(cut), kStatusOk);
  ASSERT_EQ(::truncate(cut.c_str(), static_cast<off_t>(kFileHeaderSize + 4 * kCscRecordSize)), 0);
  uint8_t fields[kCscSamplesOffset] = {};
  EXPECT_EQ(manager_.ReadRecordFields(3, 4, fields, kCscSamplesOffset), kStatusOk);
  EXPECT_EQ(manager_.ReadRecordFields(4, 4, fields, kCscSamplesOffset), kStatusNoData);
  uint8_t run[6 * kCscSamplesOffset] = {};
  EXPECT_EQ(manager_.ReadRecordsFields(1, 6, 4, run), 3);  // records 1-3 of the four left
}

}  // namespace
}  // namespace skelvane
