// The data source manager's lookups: records by index and by time (against a sparse-index reference
// on random recordings), sources by path, and the codes for invalid indexes; large files opened
// without touching their records.
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
#include "tests/support/SparseIndexLookup.h"
#include "tests/support/CapturedReports.h"
#include "tests/support/TempDir.h"
#include "tools/SyntheticRecording.h"

namespace skelvane {
namespace {

using namespace test;  // the manager fixture, its reports and the record builders

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

}  // namespace
}  // namespace skelvane
