#include "datafile/DataSourceManager.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <gtest/gtest.h>
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
#include "tools/SyntheticRecording.h"
#include "tests/datafile/DataFileFixtures.h"
#include "tests/datafile/SparseIndexLookup.h"
#include "tests/support/CapturedReports.h"
#include "tests/support/TempDir.h"

namespace skelvane {
namespace {

using test::CscRecords;
using test::Timestamps;

constexpr const char* kMaxSourcesReport =
    "Unable to open data source; maximum number of sources already open - please close some sources, and try again.";
constexpr const char* kNoReaderReport = "Unable to locate Kestrelon data in file.  Are you sure this is a kestrelon file?";
constexpr const char* kNotCscReport = "Error opening file, please validate that file is a Kestrelon CSC file:";
constexpr const char* kPartialReport = "Corrupt file - incomplete record encountered: Record size in bytes:1044";

// A report about a file: the message, ": " and the path, then ": " and the system's reason, if any.
std::string About(const std::string& message, const std::string& path, int error = 0) {
  return FormatFileReport(message, 0, path, error);  // the wording itself is pinned in ReportErrorTest
}
std::string OpenErrorReport(const std::string& path, int error) {
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

int64_t TimestampOf(const uint8_t* record) { return CscRecord(record).Timestamp(); }

class DataSourceManagerTest : public ::testing::Test {
 protected:
  // A CSC file of `count` records 10 µs apart from `first` on, with the standard header.
  std::string Csc(const std::string& name, int64_t count, int64_t first = 1000, int64_t step = 10) {
    return dir_.Write(name, test::StandardHeader() + CscRecords(Timestamps(count, first, step)));
  }
  test::TempDir dir_;
  DataSourceManager manager_;
};

// Counts every record the manager asks for through the mapping.
class CountingCscReader final : public DataFileReader {
 public:
  CountingCscReader() : DataFileReader(FileKindOf(kFileTypeCsc)) {}
  int32_t GetRecord(const uint8_t*& record, int64_t index) override {
    ++requests;
    return DataFileReader::GetRecord(record, index);
  }
  int64_t requests = 0;
};

TEST(DataSourceManagerLargeFile, OpeningTwoMillionRecordsTouchesNoneThroughTheMapping) {
  test::TempDir dir;
  constexpr int64_t kRecords = 2'000'000;
  // A sparse file: only the first records and the last one are written.
  const std::string path = dir.File("big.kcs");
  const std::string header = test::StandardHeader();
  const std::vector<int64_t> stamps = Timestamps(kRecords, 5'000'000, 16'000);
  {
    File file;
    ASSERT_EQ(file.Open(path, File::Mode::CreateReadWrite), 0);
    const std::string head = header + CscRecords({stamps.begin(), stamps.begin() + 8});
    ASSERT_TRUE(file.Write(head.data(), static_cast<int64_t>(head.size())));
    const std::string last = CscRecords({stamps.back()});
    ASSERT_EQ(::pwrite(file.Descriptor(), last.data(), last.size(),
                       static_cast<off_t>(kFileHeaderSize + (kRecords - 1) * kCscRecordSize)),
              static_cast<ssize_t>(last.size()));
  }
  CountingCscReader* counting = nullptr;
  DataSourceManager manager([&counting](File& file, const std::string& p) -> std::unique_ptr<DataFileReader> {
    file.Close();
    auto reader = std::make_unique<CountingCscReader>();
    if (reader->Open(p) != kStatusOk) return nullptr;
    counting = reader.get();
    return reader;
  });
  ASSERT_EQ(manager.OpenSource(path), kStatusOk);
  ASSERT_NE(counting, nullptr);
  EXPECT_EQ(counting->requests, 0);
  EXPECT_EQ(manager.GetNumRecords(0), kRecords);
  int64_t start = 0;
  int64_t end = 0;
  manager.GetTimeRange(start, end);
  EXPECT_EQ(start, stamps.front() - 1'000'000);
  EXPECT_EQ(end, stamps.back() + 1'000'000);

  RecordLayout layout;
  ASSERT_EQ(manager.GetRecordLayout(0, layout), kStatusOk);
  EXPECT_EQ(layout.path, path);
  EXPECT_EQ(layout.dataOffset, static_cast<int64_t>(kFileHeaderSize));
  EXPECT_EQ(layout.recordSize, kCscRecordSize);
  EXPECT_EQ(layout.numRecords, kRecords);
  EXPECT_EQ(manager.GetRecordLayout(1, layout), kStatusNoData);

  // A lookup maps in the one record it hands back.
  const uint8_t* record = nullptr;
  ASSERT_EQ(manager.FindRecordForTime(stamps.back() + 1, 0, record), kStatusOk);
  ASSERT_NE(record, nullptr);
  EXPECT_EQ(TimestampOf(record), stamps.back());
  EXPECT_EQ(counting->requests, 1);
}

TEST(DataSourceManagerLargeFile, MoreRecordsThanThirtyTwoBitsHoldAreRefusedNamingTheFile) {
  test::TempDir dir;
  test::CapturedReports reports;
  const std::string path = dir.File("huge.kcs");
  constexpr int64_t kLength = int64_t{5} << 40;  // 5 TiB, sparse
  {
    File file;
    ASSERT_EQ(file.Open(path, File::Mode::CreateWrite), 0);
    const std::string bytes = test::StandardHeader() + CscRecords(Timestamps(8));
    ASSERT_TRUE(file.Write(bytes.data(), static_cast<int64_t>(bytes.size())));
    if (::ftruncate(file.Descriptor(), kLength) != 0) GTEST_SKIP() << "no 5 TiB sparse files here";
  }
  DataSourceManager manager;
  EXPECT_EQ(manager.OpenSource(path), kStatusCannotCreate);
  EXPECT_EQ(manager.GetNumSources(), 0);
  const int64_t records = (kLength - static_cast<int64_t>(kFileHeaderSize)) / kCscRecordSize;
  ASSERT_GT(records, int64_t{0xFFFFFFFF});
  EXPECT_EQ(reports.Texts(),
            (std::vector<std::string>{
                "Too many records in file to open it; record count:" + std::to_string(records) + ": " + path,
                std::string(kNoReaderReport) + ": " + path}));
}

// Random recordings: pauses, runs of equal timestamps, with or without a header, with or without an
// incomplete last record. `decreasing` lets timestamps after the first few run backwards too.
struct RandomRecording {
  std::vector<int64_t> stamps;
  std::string bytes;
};

RandomRecording MakeRandomRecording(std::mt19937_64& rng, bool decreasing) {
  std::uniform_int_distribution<int64_t> count(1, 2500);
  std::uniform_int_distribution<int64_t> start(-1'000'000'000'000, 1'000'000'000'000);
  std::uniform_int_distribution<int64_t> pause(1, 5'000'000'000);
  std::uniform_int_distribution<int> kind(0, 7);
  RandomRecording out;
  const int64_t n = count(rng);
  int64_t t = start(rng);
  for (int64_t k = 0; k < n; ++k) {
    out.stamps.push_back(t);
    const int step = kind(rng);
    if (decreasing && k >= 8 && step == 7) {
      t = start(rng);  // anywhere, earlier or later
    } else if (step == 0) {
      // the next record repeats this timestamp
    } else if (step == 1) {
      t += pause(rng);
    } else {
      t += 16'000;
    }
  }
  out.bytes = (rng() % 2 == 0 ? test::StandardHeader() : std::string()) + CscRecords(out.stamps) +
              std::string(rng() % 3 == 0 ? rng() % kCscRecordSize : 0, '\x5a');
  return out;
}

// Times at and around record stamps, inside pauses, and at the ends of the type, shuffled, then a
// walk backwards the way the plot walks: each time just before the record found last.
std::vector<int64_t> TimesToLookUp(std::mt19937_64& rng, const std::vector<int64_t>& stamps) {
  std::vector<int64_t> times{std::numeric_limits<int64_t>::min(), std::numeric_limits<int64_t>::max()};
  for (int i = 0; i < 150; ++i) {
    const std::size_t k = rng() % stamps.size();
    const std::size_t next = std::min(k + 1, stamps.size() - 1);
    times.insert(times.end(), {stamps[k] - 1, stamps[k], stamps[k] + 1, stamps[k] / 2 + stamps[next] / 2});
  }
  std::shuffle(times.begin(), times.end(), rng);
  return times;
}

TEST_F(DataSourceManagerTest, FindRecordForTimeAgreesWithTheSparseIndexLookup) {
  std::mt19937_64 rng(20261208);
  for (int file = 0; file < 24; ++file) {
    const RandomRecording recording = MakeRandomRecording(rng, /*decreasing=*/false);
    DataSourceManager manager;
    ASSERT_EQ(manager.OpenSource(dir_.Write("r" + std::to_string(file) + ".kcs", recording.bytes)), kStatusOk);
    const test::SparseIndexLookup reference(recording.stamps);
    const uint8_t* base = nullptr;
    ASSERT_EQ(manager.GetRecord(0, 0, base), kStatusOk);
    const auto find = [&](int64_t time) {
      const uint8_t* record = nullptr;
      EXPECT_EQ(manager.FindRecordForTime(time, 0, record), kStatusOk);
      return record == nullptr ? int64_t{-1} : (record - base) / kCscRecordSize;
    };
    for (const int64_t time : TimesToLookUp(rng, recording.stamps)) {
      ASSERT_EQ(find(time), reference.Find(time)) << "file " << file << " time " << time;
    }
    int64_t cursor = recording.stamps.back();
    for (int step = 0; step < 300; ++step) {
      const int64_t found = find(cursor);
      ASSERT_EQ(found, reference.Find(cursor)) << "file " << file << " time " << cursor;
      if (found < 0) break;
      cursor = recording.stamps[static_cast<std::size_t>(found)] - 1;
    }
  }
}

TEST_F(DataSourceManagerTest, FindRecordForTimeOnTimestampsThatGoBackNeverGivesALaterRecord) {
  std::mt19937_64 rng(8122026);
  for (int file = 0; file < 24; ++file) {
    const RandomRecording recording = MakeRandomRecording(rng, /*decreasing=*/true);
    DataSourceManager manager;
    ASSERT_EQ(manager.OpenSource(dir_.Write("b" + std::to_string(file) + ".kcs", recording.bytes)), kStatusOk);
    std::vector<int64_t> times = TimesToLookUp(rng, recording.stamps);
    for (int i = 0; i < 200; ++i) times.push_back(static_cast<int64_t>(rng()));
    for (const int64_t time : times) {
      const uint8_t* record = nullptr;
      ASSERT_EQ(manager.FindRecordForTime(time, 0, record), kStatusOk);
      if (record != nullptr) {
        ASSERT_LE(TimestampOf(record), time) << "file " << file;
      }
    }
  }
}

TEST_F(DataSourceManagerTest, FindRecordForTimeGivesTheLastRecordNotAfterTheTime) {
  ASSERT_EQ(manager_.OpenSource(Csc("a.kcs", 250, 1000, 10)), kStatusOk);  // record k at 1000 + 10k
  const auto find = [this](int64_t time) -> int64_t {
    const uint8_t* record = nullptr;
    EXPECT_EQ(manager_.FindRecordForTime(time, 0, record), kStatusOk) << time;
    return record == nullptr ? -1 : (TimestampOf(record) - 1000) / 10;
  };
  EXPECT_EQ(find(1000), -1);  // not after the first record: success, no record
  EXPECT_EQ(find(-5), -1);
  EXPECT_EQ(find(1001), 0);
  EXPECT_EQ(find(1009), 0);
  EXPECT_EQ(find(1010), 1);
  EXPECT_EQ(find(1000 + 10 * 124 + 9), 124);  // just before an index entry
  EXPECT_EQ(find(1000 + 10 * 125), 125);      // on an index entry
  EXPECT_EQ(find(1000 + 10 * 130 + 5), 130);  // between two records
  EXPECT_EQ(find(1000 + 10 * 248 + 9), 248);
  EXPECT_EQ(find(1000 + 10 * 249), 249);  // the last record
  EXPECT_EQ(find(std::numeric_limits<int64_t>::max()), 249);
}

TEST_F(DataSourceManagerTest, FindRecordForTimeAcrossAPauseInTheRecording) {
  std::vector<int64_t> stamps = Timestamps(300, 0, 100);
  for (std::size_t k = 150; k < stamps.size(); ++k) stamps[k] += 1'000'000;
  ASSERT_EQ(manager_.OpenSource(dir_.Write("p.kcs", CscRecords(stamps))), kStatusOk);
  const uint8_t* record = nullptr;
  ASSERT_EQ(manager_.FindRecordForTime(500'000, 0, record), kStatusOk);
  ASSERT_NE(record, nullptr);
  EXPECT_EQ(TimestampOf(record), stamps[149]);
  ASSERT_EQ(manager_.FindRecordForTime(stamps[150] + 1, 0, record), kStatusOk);
  EXPECT_EQ(TimestampOf(record), stamps[150]);
}

TEST_F(DataSourceManagerTest, InvalidSourceOrRecordIsReported) {
  test::CapturedReports reports;
  ASSERT_EQ(manager_.OpenSource(Csc("a.kcs", 10)), kStatusOk);
  const uint8_t* record = nullptr;
  EXPECT_EQ(manager_.FindRecordForTime(2000, 1, record), kStatusNoData);
  EXPECT_EQ(manager_.FindRecordForTime(2000, -1, record), kStatusNoData);
  EXPECT_EQ(manager_.GetRecord(0, 1, record), kStatusNoData);
  EXPECT_EQ(manager_.GetRecord(10, 0, record), kStatusNoData);
  EXPECT_EQ(manager_.GetRecord(-1, 0, record), kStatusNoData);
  EXPECT_EQ(record, nullptr);
  EXPECT_EQ(reports.Texts(), (std::vector<std::string>{
                                 "Attempting to display invalid data source; Data source index = 1",
                                 "Attempting to display invalid data source; Data source index = -1",
                                 "Attempting to display invalid data source; Data source index = 1",
                                 "Attempting to request record past end of file; record index = 10",
                                 "Attempting to request record past end of file; record index = -1"}));
  ASSERT_EQ(manager_.GetRecord(9, 0, record), kStatusOk);
  EXPECT_EQ(TimestampOf(record), 1090);
}

TEST_F(DataSourceManagerTest, QueriesOnInvalidIndexesAnswerWithTheirOwnCodes) {
  ASSERT_EQ(manager_.OpenSource(Csc("a.kcs", 10)), kStatusOk);
  std::string path = "kept";
  int32_t type = 99;
  const char* header = nullptr;
  std::string value = "kept";
  for (const int32_t bad : {1, -1, 300}) {
    EXPECT_EQ(manager_.GetSourcePath(bad, path), -2);
    EXPECT_EQ(manager_.GetSourceFileType(bad, type), -2);
    EXPECT_EQ(manager_.GetNumRecords(bad), kStatusNoData);
    EXPECT_EQ(manager_.GetHeader(bad, header), kStatusNoData);
    EXPECT_EQ(manager_.GetHeaderValue(bad, "-ADChannel", value), kStatusNoData);
  }
  EXPECT_EQ(path, "kept");
  EXPECT_EQ(type, 99);
  EXPECT_EQ(value, "kept");

  ASSERT_EQ(manager_.GetSourcePath(0, path), kStatusOk);
  EXPECT_EQ(path, dir_.File("a.kcs"));
  ASSERT_EQ(manager_.GetSourceFileType(0, type), kStatusOk);
  EXPECT_EQ(type, kFileTypeCsc);
  ASSERT_EQ(manager_.GetHeader(0, header), kStatusOk);
  EXPECT_EQ(std::string(header, kHeaderMarker.size()), kHeaderMarker);
  ASSERT_EQ(manager_.GetHeaderValue(0, "-ADChannel", value), kStatusOk);
  EXPECT_EQ(value, "3");
  EXPECT_EQ(manager_.GetHeaderValue(0, "-AmpGain", value), kStatusNoData);
}

TEST_F(DataSourceManagerTest, FindSourceByPathIsExact) {
  ASSERT_EQ(manager_.OpenSource(Csc("a.kcs", 3)), kStatusOk);
  ASSERT_EQ(manager_.OpenSource(Csc("B.kcs", 3)), kStatusOk);
  int32_t index = 7;
  ASSERT_EQ(manager_.FindSourceByPath(dir_.File("B.kcs"), index), kStatusOk);
  EXPECT_EQ(index, 1);
  EXPECT_EQ(manager_.FindSourceByPath(dir_.File("b.kcs"), index), kStatusFailed);
  EXPECT_EQ(index, -1);
}

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

TEST_F(DataSourceManagerTest, TimeRangeIsPaddedByASecondAndClampedAtZero) {
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
  EXPECT_EQ(start, 0);
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
