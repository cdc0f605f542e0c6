// The extraction's block reader against the data source manager's own records, on synthetic files,
// and what it and the run do when a file is cut short while it is open.
#include "extract/RecordStream.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <memory>
#include <random>
#include <thread>

#include "datafile/ChannelSource.h"
#include "datafile/CscRecord.h"
#include "datafile/DataSourceManager.h"
#include "extract/ChannelFilter.h"
#include "extract/ExtractionRun.h"
#include "tests/support/FakeDataSourceManager.h"
#include "tests/extract/SpikeFileContents.h"
#include "tests/support/CapturedReports.h"
#include "tests/support/TempDir.h"
#include "tools/SyntheticRecording.h"

namespace skelvane {
namespace {

constexpr int64_t kDataOffset = 16384;

class RecordStreamTest : public ::testing::Test {
 protected:
  void SetUp() override {
    SynthOptions o;
    o.outDir = dir.File("rec");
    o.prefix = "R";
    o.channels = 2;
    o.seconds = 40.0;  // 2500 records: several of the stream's blocks
    o.gaps = {{700, 250'000}};
    o.trailingPartialBytes = 300;
    ASSERT_EQ(SyntheticRecording::Generate(o, made), 0);
    test::CapturedReports partialRecordWarnings;
    for (const std::string& path : made.paths) ASSERT_EQ(manager.OpenSource(path), 0);
    ASSERT_EQ(partialRecordWarnings.Count(), made.paths.size());
  }

  // Truncates a file to half its records from another thread, as another program would.
  void CutInHalf(const std::string& path) {
    const auto size = static_cast<off_t>(std::filesystem::file_size(path));
    std::thread([&] { ASSERT_EQ(::truncate(path.c_str(), kDataOffset + (size - kDataOffset) / 2), 0); }).join();
  }

  test::TempDir dir;
  SynthResult made;
  DataSourceManager manager;
};

TEST_F(RecordStreamTest, AnyRangeReadsTheSameRecordsAsTheManager) {
  RecordStream stream(manager, 1);
  ASSERT_TRUE(stream.ReadsFileDirectly());
  ASSERT_EQ(stream.Count(), manager.GetNumRecords(1));
  std::mt19937 random(99);
  for (int trial = 0; trial < 400; ++trial) {
    // Mostly forward a little, as the run walks; sometimes anywhere.
    const int64_t first = static_cast<int64_t>(random() % static_cast<uint32_t>(stream.Count()));
    const int64_t last = std::min(stream.Count() - 1, first + static_cast<int64_t>(random() % 3));
    ASSERT_TRUE(stream.Ensure(first, last)) << first << ".." << last;
    for (int64_t r = first; r <= last; ++r) {
      const uint8_t* bytes = nullptr;
      ASSERT_EQ(manager.GetRecord(r, 1, bytes), 0);
      const CscRecord record(bytes);
      EXPECT_EQ(stream.Timestamp(r), record.Timestamp()) << r;
      ASSERT_EQ(std::memcmp(stream.Samples(first) + (r - first) * kSamplesPerRecord, bytes + kCscSamplesOffset,
                            sizeof(int16_t) * kSamplesPerRecord),
                0)
          << r;
    }
  }
  EXPECT_FALSE(stream.Ensure(stream.Count() - 1, stream.Count()));  // past the last whole record
  EXPECT_FALSE(stream.FileShrank());
}

// Through the Spike Band with a level: a sample is either the filtered one, or left 0 where the
// filtered one is inside the level; MakeExact makes any stretch of a record the filtered samples.
TEST_F(RecordStreamTest, QuietSamplesAreInsideTheLevelAndMadeExactWhenAskedFor) {
  std::string refusal;
  const auto filters =
      ChannelFilter::ForChannels(FilterChoice::Spike(), {{made.paths[1], 31.25, 32000.0, 2047}}, refusal);
  ASSERT_TRUE(filters) << refusal;
  RecordStream whole(manager, 1);
  whole.SetFilter(&filters->front());
  RecordStream lazy(manager, 1);
  lazy.SetFilter(&filters->front());
  std::mt19937 random(7);
  int32_t level = 0;
  for (int trial = 0; trial < 300; ++trial) {
    if (trial % 50 == 0) {
      level = static_cast<int32_t>(20 + random() % 200);
      lazy.SetQuietLevel(level);
    }
    const int64_t first = static_cast<int64_t>(random() % static_cast<uint32_t>(lazy.Count()));
    const int64_t last = std::min(lazy.Count() - 1, first + static_cast<int64_t>(random() % 3));
    ASSERT_TRUE(whole.Ensure(first, last));
    ASSERT_TRUE(lazy.Ensure(first, last));
    const int64_t record = first + static_cast<int64_t>(random() % static_cast<uint32_t>(last - first + 1));
    const auto from = static_cast<int32_t>(random() % kSamplesPerRecord);
    const auto to = std::min<int32_t>(kSamplesPerRecord, from + static_cast<int32_t>(random() % 64));
    ASSERT_TRUE(lazy.MakeExact(record, from, to));
    for (int64_t r = first; r <= last; ++r) {
      for (int32_t j = 0; j < kSamplesPerRecord; ++j) {
        const int16_t want = whole.Samples(r)[j];
        const int16_t got = lazy.Samples(r)[j];
        if (r == record && j >= from && j < to) {
          ASSERT_EQ(got, want) << "made exact: record " << r << ", sample " << j;
        } else if (got != want) {
          ASSERT_EQ(got, 0) << "record " << r << ", sample " << j;
          ASSERT_LT(std::abs(int32_t{want}), level) << "record " << r << ", sample " << j;
        }
      }
    }
  }
  EXPECT_GT(lazy.LeftQuiet(), 100000);
}

TEST_F(RecordStreamTest, AFileCutShortWhileOpenEndsTheStreamAndSaysSo) {
  RecordStream stream(manager, 0);
  CutInHalf(made.paths[0]);
  int64_t readable = 0;
  while (readable < stream.Count() && stream.Ensure(readable, readable)) ++readable;
  EXPECT_GT(readable, 0);
  EXPECT_LT(readable, stream.Count() / 2 + 1);
  EXPECT_TRUE(stream.FileShrank());
}

TEST_F(RecordStreamTest, AGroupWhoseFileIsCutShortLeavesNoSpikeFileAndTheOtherGroupsAreWritten) {
  std::vector<ChannelSource> channels;
  for (const std::string& path : made.paths) channels.push_back({path, 31.25, 32000.0, 2047});
  ExtractionRun run(manager);
  run.Parameters().Threshold = 80.0;
  run.Parameters().OutputDirectory = dir.Path();
  run.SetJobs(2);
  CutInHalf(made.paths[1]);
  test::CapturedReports reports;
  ASSERT_EQ(run.CreateSpikeFiles(channels), 0);
  EXPECT_EQ(reports.Texts(), std::vector<std::string>{"Data file changed or was truncated while open: " + made.paths[1]});
  ASSERT_EQ(run.WrittenFiles().size(), 2u);
  EXPECT_EQ(run.WrittenFiles()[0].outcome, ExtractionRun::Outcome::Written);
  EXPECT_EQ(run.WrittenFiles()[1].outcome, ExtractionRun::Outcome::SourceChanged);
  EXPECT_EQ(run.FailedGroups(), 1);
  EXPECT_TRUE(test::ReadSpikeFile(dir.File("SpikeFile_Ra.kse"), 32, 1).WholeRecords);
  EXPECT_GT(run.WrittenFiles()[0].spikeCount, 0);
  int files = 0;
  for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(dir.Path())) ++files;
  EXPECT_EQ(files, 2) << "only the recording's folder and the one spike file";
}

}  // namespace
}  // namespace skelvane
