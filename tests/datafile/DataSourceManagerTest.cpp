// The data source manager's table: opening, refusing and closing sources, the padded time range,
// the listeners and the Open Data File chooser.
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

// Bytes a fixed seed makes, standing in for any file that is not a recording.
std::string RandomBytes(std::size_t count, uint64_t seed) {
  std::mt19937_64 rng(seed);
  std::string bytes(count, '\0');
  for (char& c : bytes) c = static_cast<char>(rng());
  return bytes;
}

TEST_F(DataSourceManagerTest, FilesThatAreNoRecordingsAreRefusedNamingTheFile) {
  const std::string fifo = dir_.File("pipe.kcs");
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  std::string accounts;
  while (accounts.size() < 3000) accounts += "daemon:x:1:1:daemon:/usr/sbin:/usr/sbin/nologin\n";
  struct Case {
    std::string path;
    int32_t status;
    std::vector<std::string> reports;
  };
  const std::string missing = dir_.File("missing.kcs");
  const std::string notes = dir_.Write("notes.txt", CscRecords(Timestamps(8)));
  const std::string spikes = dir_.Write("TT1.kse", CscRecords(Timestamps(8)));
  const std::string empty = dir_.Write("empty.kcs", "");
  const std::string text = dir_.Write("passwd.kcs", accounts);
  const std::string noise = dir_.Write("noise.kcs", RandomBytes(68 * 1024, 7));
  const std::string noiseWithHeader = dir_.Write("nh.kcs", test::StandardHeader() + RandomBytes(20 * 1044, 8));
  const std::string legacy = dir_.Write("old.kcs", test::LegacyHeader(150) + std::string(40, '\1'));
  const std::vector<Case> cases{
      {missing, ENOENT, {OpenErrorReport(missing, ENOENT)}},
      {dir_.Path(), EISDIR, {OpenErrorReport(dir_.Path(), EISDIR)}},
      {fifo, kErrorNotRegularFile, {OpenErrorReport(fifo, kErrorNotRegularFile)}},
      {"/dev/null", kErrorNotRegularFile, {OpenErrorReport("/dev/null", kErrorNotRegularFile)}},
      {notes, kStatusFailed, {About(kNoTypeReport, notes)}},
      {spikes, kStatusFailed, {About(kNotCscReport, spikes)}},
      {empty, kStatusCannotCreate, {About(kNoReaderReport, empty)}},
      {legacy, kStatusFailed, {About(kNotCscReport, legacy)}},
      {text, kStatusFailed, {About(kPartialReport, text), About(kNotRecordingReport, text)}},
      {noise, kStatusFailed, {About(kPartialReport, noise), About(kNotRecordingReport, noise)}},
      {noiseWithHeader, kStatusFailed, {About(kNotRecordingReport, noiseWithHeader)}},
  };
  for (const Case& c : cases) {
    test::CapturedReports reports;
    EXPECT_EQ(manager_.OpenSource(c.path), c.status) << c.path;
    EXPECT_EQ(reports.Texts(), c.reports) << c.path;
  }
  EXPECT_EQ(manager_.GetNumSources(), 0);
}

TEST_F(DataSourceManagerTest, RecordingsWithoutHeaderOrWithAnIncompleteLastRecordStillOpen) {
  test::CapturedReports reports;
  SynthOptions options;
  options.outDir = dir_.File("synth");
  options.channels = 1;
  options.seconds = 0.5;
  options.writeHeader = false;
  options.trailingPartialBytes = 10;
  SynthResult result;
  ASSERT_EQ(SyntheticRecording::Generate(options, result), 0);
  ASSERT_EQ(result.paths.size(), 1u);
  EXPECT_EQ(manager_.OpenSource(result.paths[0]), kStatusOk);
  EXPECT_EQ(reports.Texts(), std::vector<std::string>{About(kPartialReport, result.paths[0])});
  // A file that stops after its first record, and one whose records repeat a timestamp.
  EXPECT_EQ(manager_.OpenSource(Csc("one.kcs", 1)), kStatusOk);
  EXPECT_EQ(manager_.OpenSource(dir_.Write("same.kcs", CscRecords({5, 5, 5, 5, 5, 5, 5, 5, 5}))), kStatusOk);
  EXPECT_EQ(manager_.GetNumSources(), 3);
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
  EXPECT_EQ(reports.Texts(), std::vector<std::string>{OpenErrorReport(dir_.File("gone.kcs"), ENOENT)});
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

}  // namespace
}  // namespace skelvane
