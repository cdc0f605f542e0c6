#include "datafile/DataSourceManager.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <gtest/gtest.h>
#include <limits>
#include <set>
#include <unistd.h>

#include "datafile/CscRecord.h"
#include "datafile/FileHeader.h"
#include "datafile/FileKind.h"
#include "datafile/SourceListener.h"
#include "platform/File.h"
#include "platform/FileChooser.h"
#include "platform/StatusCodes.h"
#include "tests/datafile/DataFileFixtures.h"
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
constexpr const char* kNoTypeReport = "Error retrieving file type, please validate that file is a Kestrelon file:";
const std::string kOpenErrorReport = "Error opening file; microsoft error code:" + std::to_string(ENOENT);

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

TEST_F(DataSourceManagerTest, IndexHasOneEntryPerHundredRecordsAndAlwaysTheLast) {
  ASSERT_EQ(manager_.OpenSource(Csc("a.kcs", 250)), kStatusOk);
  EXPECT_EQ(manager_.GetIndexRecords(0), (std::vector<uint32_t>{0, 125, 249}));
  EXPECT_EQ(manager_.GetIndexTimestamps(0), (std::vector<int64_t>{1000, 2250, 3490}));

  ASSERT_EQ(manager_.OpenSource(Csc("b.kcs", 5)), kStatusOk);
  EXPECT_EQ(manager_.GetIndexRecords(1), (std::vector<uint32_t>{0, 4}));

  ASSERT_EQ(manager_.OpenSource(Csc("c.kcs", 1)), kStatusOk);
  EXPECT_EQ(manager_.GetIndexRecords(2), (std::vector<uint32_t>{0, 0}));

  ASSERT_EQ(manager_.OpenSource(Csc("d.kcs", 1099)), kStatusOk);
  const std::vector<uint32_t> records = manager_.GetIndexRecords(3);
  ASSERT_EQ(records.size(), 11u);
  EXPECT_EQ(records[9], 9u * 109u);
  EXPECT_EQ(records[10], 1098u);
}

// Counts every record the manager asks for.
class CountingCscReader final : public DataFileReader {
 public:
  CountingCscReader() : DataFileReader(FileKindOf(kFileTypeCsc)) {}
  int32_t GetRecord(const uint8_t*& record, int64_t index) override {
    ++requests;
    distinct.insert(index);
    return DataFileReader::GetRecord(record, index);
  }
  int64_t requests = 0;
  std::set<int64_t> distinct;
};

TEST(DataSourceManagerLargeFile, TwoMillionRecordsGetTenThousandAndOneEntriesFromAsManyRecords) {
  test::TempDir dir;
  constexpr int64_t kRecords = 2'000'000;
  const auto stampOf = [](int64_t k) { return 5'000'000 + k * 16'000; };
  // A sparse file: only the records the index reads carry their timestamp.
  const std::string path = dir.File("big.kcs");
  {
    File file;
    ASSERT_EQ(file.Open(path, File::Mode::CreateReadWrite), 0);
    const std::string header = test::StandardHeader();
    ASSERT_TRUE(file.Write(header.data(), static_cast<int64_t>(header.size())));
    ASSERT_EQ(::ftruncate(file.Descriptor(), static_cast<off_t>(kFileHeaderSize + kRecords * kCscRecordSize)), 0);
    for (int64_t k = 0; k < kRecords; k += 200) {
      for (const int64_t r : {k, kRecords - 1}) {
        const int64_t stamp = stampOf(r);
        ASSERT_EQ(::pwrite(file.Descriptor(), &stamp, sizeof stamp,
                           static_cast<off_t>(kFileHeaderSize + r * kCscRecordSize)),
                  static_cast<ssize_t>(sizeof stamp));
      }
    }
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
  EXPECT_EQ(manager.GetNumRecords(0), kRecords);

  const std::vector<uint32_t> records = manager.GetIndexRecords(0);
  const std::vector<int64_t> stamps = manager.GetIndexTimestamps(0);
  ASSERT_EQ(records.size(), 10001u);
  ASSERT_EQ(stamps.size(), 10001u);
  for (std::size_t i = 0; i < 10000; ++i) {
    ASSERT_EQ(records[i], i * 200u);
    ASSERT_EQ(stamps[i], stampOf(static_cast<int64_t>(i) * 200));
  }
  EXPECT_EQ(records[10000], kRecords - 1);
  EXPECT_EQ(stamps[10000], stampOf(kRecords - 1));
  EXPECT_EQ(counting->requests, 10001);
  EXPECT_EQ(counting->distinct.size(), 10001u);
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
  EXPECT_EQ(manager_.GetIndexTimestamps(0).front(), 3000);

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

TEST_F(DataSourceManagerTest, OpenSourceRefusalsCarryTheirMessages) {
  test::CapturedReports reports;
  EXPECT_EQ(manager_.OpenSource(dir_.File("missing.kcs")), ENOENT);
  EXPECT_EQ(manager_.OpenSource(dir_.Write("notes.txt", CscRecords(Timestamps(8)))), kStatusFailed);
  EXPECT_EQ(manager_.OpenSource(dir_.Write("TT1.kse", CscRecords(Timestamps(8)))), kStatusFailed);
  EXPECT_EQ(manager_.OpenSource(dir_.Write("empty.kcs", "")), kStatusCannotCreate);
  EXPECT_EQ(manager_.OpenSource(dir_.Path()), EISDIR);
  EXPECT_EQ(reports.Texts(),
            (std::vector<std::string>{kOpenErrorReport, kNoTypeReport, kNotCscReport, kNoReaderReport,
                                      "Error opening file; microsoft error code:" + std::to_string(EISDIR)}));
  EXPECT_EQ(manager_.GetNumSources(), 0);
}

TEST_F(DataSourceManagerTest, SourceWithoutRecordsIsDroppedAndTheFailureReturned) {
  test::CapturedReports reports;
  std::vector<int> log;
  RecordingListener listener(log, 1);
  manager_.AddListener(&listener);
  EXPECT_EQ(manager_.OpenSource(dir_.Write("h.kcs", test::StandardHeader())), kStatusNoData);
  EXPECT_EQ(reports.Texts(), std::vector<std::string>{"Empty File.  NumRecs = 0."});
  EXPECT_EQ(manager_.GetNumSources(), 0);
  EXPECT_TRUE(log.empty());
  // The slot it used is free again.
  ASSERT_EQ(manager_.OpenSource(Csc("a.kcs", 3)), kStatusOk);
  std::string path;
  manager_.GetSourcePath(0, path);
  EXPECT_EQ(path, dir_.File("a.kcs"));
}

TEST_F(DataSourceManagerTest, LegacyContentInACscNamedFileIsNotTakenForCsc) {
  test::CapturedReports reports;
  EXPECT_EQ(manager_.OpenSource(dir_.Write("old.kcs", test::LegacyHeader(150) + std::string(40, '\1'))),
            kStatusFailed);
  EXPECT_EQ(reports.Texts(), std::vector<std::string>{kNotCscReport});
  EXPECT_EQ(manager_.GetNumSources(), 0);
}

TEST_F(DataSourceManagerTest, CorruptCscFilesOpenWithoutCrashing) {
  test::CapturedReports reports;
  // Random bytes named .kcs: a CSC file by name, without a header.
  std::string noise(20 * kCscRecordSize + 7, '\0');
  uint64_t state = 12345;
  for (char& c : noise) {
    state = state * 6364136223846793005ull + 1442695040888963407ull;
    c = static_cast<char>(state >> 56);
  }
  ASSERT_EQ(manager_.OpenSource(dir_.Write("noise.kcs", noise)), kStatusOk);
  EXPECT_EQ(reports.Texts(),
            std::vector<std::string>{"Corrupt file - incomplete record encountered: Record size in bytes:1044"});
  for (const int64_t time : {std::numeric_limits<int64_t>::min(), int64_t{0}, std::numeric_limits<int64_t>::max()}) {
    const uint8_t* record = nullptr;
    EXPECT_EQ(manager_.FindRecordForTime(time, 0, record), kStatusOk);
  }
  // Timestamps at the limits of the type neither wrap the time range nor overflow.
  ASSERT_EQ(manager_.OpenSource(dir_.Write(
                "edge.kcs", CscRecords({std::numeric_limits<int64_t>::min(), std::numeric_limits<int64_t>::max()}))),
            kStatusOk);
  int64_t start = -1;
  int64_t end = -1;
  manager_.GetTimeRange(start, end);
  EXPECT_EQ(start, 0);
  EXPECT_EQ(end, std::numeric_limits<int64_t>::max());
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

class FakeChooser final : public FileChooser {
 public:
  std::optional<std::vector<std::string>> OpenFiles(const std::string& t, const std::string& initial,
                                                    const std::vector<Filter>& f, bool many) override {
    ++calls;
    title = t;
    initialName = initial;
    filters = f;
    multiple = many;
    return answer;
  }
  std::optional<std::string> SaveFile(const std::string&, const std::string&, const std::vector<Filter>&) override {
    return std::nullopt;
  }
  std::optional<std::string> ChooseFolder(const std::string&, const std::string&) override { return std::nullopt; }

  std::optional<std::vector<std::string>> answer;
  int calls = 0;
  std::string title;
  std::string initialName;
  std::vector<Filter> filters;
  bool multiple = false;
};

class OpenDataFileDialogTest : public DataSourceManagerTest {
 protected:
  void SetUp() override { previous_ = FileChooser::Install(chooser_); }
  void TearDown() override { FileChooser::Install(previous_); }
  std::shared_ptr<FakeChooser> chooser_ = std::make_shared<FakeChooser>();
  std::shared_ptr<FileChooser> previous_;
};

TEST_F(OpenDataFileDialogTest, OpensEveryPickedFileInOrderWhateverFails) {
  test::CapturedReports reports;
  chooser_->answer = std::vector<std::string>{Csc("b.kcs", 3), dir_.File("gone.kcs"), Csc("a.kcs", 3)};
  EXPECT_EQ(manager_.OpenDataFileDialog(), kStatusOk);
  EXPECT_EQ(chooser_->title, "Open Data File");
  EXPECT_EQ(chooser_->initialName, "*.kcs*");
  EXPECT_TRUE(chooser_->multiple);
  ASSERT_EQ(chooser_->filters.size(), 3u);
  EXPECT_EQ(chooser_->filters[0].description, "Continuously Sampled Files (*.kcs)");
  EXPECT_EQ(chooser_->filters[0].patterns, std::vector<std::string>{"*.kcs"});
  EXPECT_EQ(chooser_->filters[1].description, "All Kestrelon Data Files (*.k*)");
  EXPECT_EQ(chooser_->filters[1].patterns, std::vector<std::string>{"*.k*"});
  EXPECT_EQ(chooser_->filters[2].description, "Old-Versions Kestrelon Files (*.dat)");
  EXPECT_EQ(chooser_->filters[2].patterns, std::vector<std::string>{"*.dat"});
  EXPECT_EQ(manager_.GetNumSources(), 2);
  std::string path;
  manager_.GetSourcePath(0, path);
  EXPECT_EQ(path, dir_.File("b.kcs"));
  EXPECT_EQ(reports.Texts(), std::vector<std::string>{kOpenErrorReport});
}

TEST_F(OpenDataFileDialogTest, CancelledOrFullTableGivesMinusOne) {
  test::CapturedReports reports;
  EXPECT_EQ(manager_.OpenDataFileDialog(), kStatusFailed);
  EXPECT_EQ(chooser_->calls, 1);
  const std::string path = Csc("a.kcs", 2);
  for (int i = 0; i < kMaxSources; ++i) ASSERT_EQ(manager_.OpenSource(path), kStatusOk);
  chooser_->answer = std::vector<std::string>{path};
  EXPECT_EQ(manager_.OpenDataFileDialog(), kStatusFailed);
  EXPECT_EQ(chooser_->calls, 1);  // the dialog is not even shown
  EXPECT_EQ(reports.Texts(), std::vector<std::string>{kMaxSourcesReport});
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
  EXPECT_EQ(reports.Texts(), std::vector<std::string>{kOpenErrorReport});
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
  EXPECT_EQ(reports.Texts(), (std::vector<std::string>{kNoReaderReport, kNotCscReport, "Empty File.  NumRecs = 0."}));
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
