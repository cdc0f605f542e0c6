// What opening accepts: every file with the header marker and whole records, whatever values they
// hold; without the marker only what is plainly no recording is refused. A recording whose time never
// moves on opens with one warning. The chooser opens files in order up to the first that fails.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "datafile/CscRecord.h"
#include "datafile/DataSourceManager.h"
#include "platform/File.h"
#include "platform/FileChooser.h"
#include "platform/ReportError.h"
#include "platform/StatusCodes.h"
#include "tools/SyntheticRecording.h"
#include "tests/datafile/DataFileFixtures.h"
#include "tests/datafile/DataSourceManagerFixture.h"
#include "tests/support/CapturedReports.h"
#include "tests/support/TempDir.h"

namespace skelvane {
namespace {

using namespace test;  // the manager fixture, its reports and the record builders

constexpr const char* kStandsStillReport =
    "The timestamps of this recording never increase; it is shown, but no spikes can be cut from it";

// Bytes a fixed seed makes, standing in for any file that is not a recording.
std::string RandomBytes(std::size_t count, uint64_t seed) {
  std::mt19937_64 rng(seed);
  std::string bytes(count, '\0');
  for (char& c : bytes) c = static_cast<char>(rng());
  return bytes;
}

TEST_F(DataSourceManagerTest, FilesThatArePlainlyNoRecordingsAreRefusedNamingTheFile) {
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

// Writes `value` (4 bytes) at `offset` of record `record` of CSC record bytes.
void PutWord(std::string& records, int64_t record, int32_t offset, uint32_t value) {
  std::memcpy(records.data() + record * kCscRecordSize + offset, &value, sizeof value);
}

// Records out of order, the words the program does not read, any stored frequency and a record of
// zeros are all within the format: with the marker such a file always opens, and without it too.
TEST_F(DataSourceManagerTest, RecordValuesTheFormatAllowsNeverStopAFileFromOpening) {
  const std::string plain = CscRecords(Timestamps(12));
  std::vector<std::pair<std::string, std::string>> variants;
  std::vector<int64_t> swapped = Timestamps(12);
  std::swap(swapped[4], swapped[5]);
  variants.emplace_back("swapped", CscRecords(swapped));
  std::string words = plain;
  for (int64_t r = 0; r < 12; ++r) {
    PutWord(words, r, 8, 0xFFFFFFFFu);
    PutWord(words, r, kCscValidSamplesOffset, 513 + static_cast<uint32_t>(r));
  }
  variants.emplace_back("unread words", words);
  for (const uint32_t frequency : {0u, 2'000'000u}) {
    std::string stored = plain;
    for (int64_t r = 0; r < 12; ++r) PutWord(stored, r, kCscFrequencyOffset, frequency);
    variants.emplace_back("frequency " + std::to_string(frequency), stored);
  }
  std::string zeros = plain;
  std::fill(zeros.begin() + 3 * kCscRecordSize, zeros.begin() + 4 * kCscRecordSize, '\0');
  variants.emplace_back("a record of zeros", zeros);
  std::mt19937_64 random(8);
  std::string noise(20 * kCscRecordSize, '\0');
  for (char& c : noise) c = static_cast<char>(random());
  for (const auto& [name, records] : variants) {
    for (const bool marker : {true, false}) {
      SCOPED_TRACE(name + (marker ? " with the marker" : " without it"));
      test::CapturedReports reports;
      const std::string path = dir_.Write("v.kcs", (marker ? test::StandardHeader() : "") + records);
      EXPECT_EQ(manager_.OpenSource(path), kStatusOk);
      EXPECT_TRUE(reports.Empty()) << reports.Texts()[0];
    }
  }
  // Whatever the records hold, the marker says what the file is.
  test::CapturedReports reports;
  EXPECT_EQ(manager_.OpenSource(dir_.Write("nh.kcs", test::StandardHeader() + noise)), kStatusOk);
  EXPECT_TRUE(reports.Empty());
}

TEST_F(DataSourceManagerTest, ARecordingWhoseTimeNeverMovesOnOpensWithOneWarning) {
  const std::vector<std::vector<int64_t>> still = {{0, 0, 0, 0, 0}, {7, 7, 7, 7}, {900, 800, 800, 100}};
  for (const std::vector<int64_t>& timestamps : still) {
    test::CapturedReports reports;
    const std::string path = dir_.Write("still.kcs", test::StandardHeader() + CscRecords(timestamps));
    EXPECT_EQ(manager_.OpenSource(path), kStatusOk);
    EXPECT_EQ(reports.Texts(), std::vector<std::string>{About(kStandsStillReport, path)});
  }
  // One record has no time to move on in; a step up anywhere is time moving on.
  for (const std::vector<int64_t>& timestamps : std::vector<std::vector<int64_t>>{{5}, {9, 3, 4, 1}}) {
    test::CapturedReports reports;
    EXPECT_EQ(manager_.OpenSource(dir_.Write("moves.kcs", test::StandardHeader() + CscRecords(timestamps))), kStatusOk);
    EXPECT_TRUE(reports.Empty());
  }
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

TEST_F(OpenDataFileDialogTest, OpensThePickedFilesInOrderUpToOneThatFails) {
  test::CapturedReports reports;
  // The files after a refused one would each take its neighbour's place in the channel groups.
  chooser_->answer = std::vector<std::string>{Csc("b.kcs", 3), dir_.File("gone.kcs"), Csc("a.kcs", 3), Csc("c.kcs", 3)};
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
  EXPECT_EQ(manager_.GetNumSources(), 1);
  std::string path;
  manager_.GetSourcePath(0, path);
  EXPECT_EQ(path, dir_.File("b.kcs"));
  EXPECT_EQ(reports.Texts(),
            (std::vector<std::string>{OpenErrorReport(dir_.File("gone.kcs"), ENOENT),
                                      "Files chosen after one that could not be opened were left closed, so that no "
                                      "channel group shifts; files left closed: 2"}));
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
