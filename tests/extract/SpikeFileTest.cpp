#include "extract/SpikeExtractor.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <span>
#include <ostream>
#include <string>
#include <sys/resource.h>
#include <vector>

#include "tests/extract/SpikeFileContents.h"
#include "tests/support/CapturedReports.h"
#include "tests/support/TempDir.h"

namespace skelvane {
namespace {

constexpr std::size_t kHeaderSize = 16384;
const std::string kWriteFailed = "Error writing spike file; disk full or file not writable, error code: ";

SourceHeaderInfo Source(const std::string& name, int channel) {
  SourceHeaderInfo info;
  info.ThreshVal = 50;
  info.ADChannel = std::to_string(channel);
  info.ADGain = "1";
  info.AmpGain = "20000";
  info.AmpLowCut = "600";
  info.AmpHiCut = "6000";
  info.ADBitVolts = "0.00000001" + std::to_string(channel);
  info.FileName = "/data/" + name + ".kcs";
  return info;
}

std::time_t UtcInstant(int year, int month, int day, int hour, int minute, int second) {
  std::tm t{};
  t.tm_year = year - 1900;
  t.tm_mon = month - 1;
  t.tm_mday = day;
  t.tm_hour = hour;
  t.tm_min = minute;
  t.tm_sec = second;
  return ::timegm(&t);
}

// A one-channel block of 1536 samples with a positive spike every `spacing` samples in 512..1023
// and timestamps that follow on from the previous block.
struct SpikyBlock {
  std::vector<int64_t> Timestamps;
  std::vector<int16_t> Samples;

  SpikyBlock(int blockNumber, int spacing) : Timestamps(1536), Samples(1536, 0) {
    for (std::size_t i = 0; i < Timestamps.size(); ++i) Timestamps[i] = 1000 + (blockNumber * 1536 + i) * 31;
    for (std::size_t p = 520; p < 1020; p += static_cast<std::size_t>(spacing)) Samples[p] = 400;
  }
};

class SpikeFile : public ::testing::Test {
 protected:
  test::TempDir dir_;
  SpikeExtractor extractor_;
};

// ---------------------------------------------------------------------------------------------
// Header

TEST_F(SpikeFile, HeaderIsTheTextLineByLineThenZerosToTheFullBlock) {
  const std::string path = dir_.File("SpikeFile_a_b_c_d.ktt");
  ASSERT_EQ(extractor_.SetExtractionParameters(0, 0, 50, 32, 8, 4), 0);
  extractor_.SetClock([] { return UtcInstant(2021, 3, 4, 5, 6, 7); });
  ASSERT_EQ(extractor_.OpenSpikeFile(path), 0);
  extractor_.SetHeaderValues(SpikeFileWriter::FormatSamplingFrequency(32000.0), 32767);
  ASSERT_EQ(extractor_.WriteSpikeFileHeader(path, {Source("a", 0), Source("b", 1), Source("c", 2), Source("d", 3)}),
            0);
  ASSERT_EQ(extractor_.CloseSpikeFile(), 0);

  const std::string expected =
      "######## Kestrelon Data File Header\r\n"
      "## Created By Kestrelon Skelvane Version 3.0\r\n"
      "## File Name: " + path + "\r\n"
      "## Created From File: /data/a.kcs\r\n"
      "## Created From File: /data/b.kcs\r\n"
      "## Created From File: /data/c.kcs\r\n"
      "## Created From File: /data/d.kcs\r\n"
      "## Time Opened: (m/d/y): 03/04/21 At Time 05:06:07\r\n"
      "-RecordSize  304\r\n"
      "\t-ADChannel  0  1  2  3\r\n"
      "\t-ADGain  1  1  1  1\r\n"
      "\t-AmpGain  20000  20000  20000  20000\r\n"
      "\t-AmpLowCut  600  600  600  600\r\n"
      "\t-AmpHiCut  6000  6000  6000  6000\r\n"
      "\t-SamplingFrequency  32000.\r\n"
      "\t-ADBitVolts  0.000000010  0.000000011  0.000000012  0.000000013\r\n"
      "\t-ADMaxValue  32767\r\n"
      "\t-AlignmentPt  8\r\n"
      "\t-ThreshVal  50  50  50  50\r\n"
      "\r\n";
  const std::string bytes = test::ReadWholeFile(path);
  ASSERT_EQ(bytes.size(), kHeaderSize);
  EXPECT_EQ(bytes.substr(0, expected.size()), expected);
  EXPECT_EQ(bytes.substr(expected.size()), std::string(kHeaderSize - expected.size(), '\0'));
}

// ---------------------------------------------------------------------------------------------
// Opening, reopening, closing

TEST_F(SpikeFile, OpenTruncatesAnExistingFileAndARunWithoutSpikesLeavesOnlyTheHeader) {
  const std::string path = dir_.Write("SpikeFile_old.kse", std::string(100000, 'x'));
  ASSERT_EQ(extractor_.SetExtractionParameters(0, 0, 500, 32, 8, 1), 0);
  ASSERT_EQ(extractor_.OpenSpikeFile(path), 0);
  ASSERT_EQ(extractor_.WriteSpikeFileHeader(path, {Source("old", 0)}), 0);
  SpikyBlock block(0, 40);  // spikes of 400 stay below 500
  EXPECT_EQ(extractor_.DetectSpikes(block.Timestamps, {block.Samples}, 512, 1023, 0, 1535), -1);
  EXPECT_EQ(extractor_.GetSpikeCount(), 0);
  ASSERT_EQ(extractor_.CloseSpikeFile(), 0);
  EXPECT_EQ(std::filesystem::file_size(path), kHeaderSize);
}

TEST_F(SpikeFile, EachNewFileStartsAfreshWithItsOwnCount) {
  ASSERT_EQ(extractor_.SetExtractionParameters(0, 0, 100, 32, 8, 1), 0);
  SpikyBlock block(0, 100);  // spikes at 520, 620, ..., 920
  for (const char* name : {"first.kse", "second.kse"}) {
    const std::string path = dir_.File(name);
    ASSERT_EQ(extractor_.OpenSpikeFile(path), 0);
    ASSERT_EQ(extractor_.WriteSpikeFileHeader(path, {}), 0);
    extractor_.DetectSpikes(block.Timestamps, {block.Samples}, 512, 1023, 0, 1535);
    EXPECT_EQ(extractor_.GetSpikeCount(), 5) << name;  // the same spikes again: the last window end was reset
    ASSERT_EQ(extractor_.CloseSpikeFile(), 0);
    const auto contents = test::ReadSpikeFile(path, 32, 1);
    EXPECT_TRUE(contents.WholeRecords);
    ASSERT_EQ(contents.Spikes.size(), 5u);
    EXPECT_EQ(contents.Spikes[4].Timestamp, block.Timestamps[920]);
  }
}

TEST_F(SpikeFile, RecordsWrittenBeyondTheBufferAreAllThere) {
  // Enough spikes to fill the write buffer several times over; the file must hold each of them.
  const std::string path = dir_.File("many.kse");
  ASSERT_EQ(extractor_.SetExtractionParameters(0, 0, 100, 32, 8, 1), 0);
  ASSERT_EQ(extractor_.OpenSpikeFile(path), 0);
  ASSERT_EQ(extractor_.WriteSpikeFileHeader(path, {}), 0);
  const int blocks = 400;
  for (int b = 0; b < blocks; ++b) {
    SpikyBlock block(b, 40);
    extractor_.DetectSpikes(block.Timestamps, {block.Samples}, 512, 1023, 0, 1535);
  }
  ASSERT_EQ(extractor_.CloseSpikeFile(), 0);
  const auto contents = test::ReadSpikeFile(path, 32, 1);
  ASSERT_TRUE(contents.WholeRecords);
  ASSERT_EQ(contents.Spikes.size(), static_cast<std::size_t>(blocks * 13));  // 520, 560, ..., 1000
  EXPECT_EQ(contents.Spikes.back().Timestamp, SpikyBlock(blocks - 1, 40).Timestamps[1000]);
  EXPECT_EQ(contents.Spikes.back().Samples[7], 400);
}

// ---------------------------------------------------------------------------------------------
// Write failures

TEST_F(SpikeFile, FullDeviceFailsTheHeaderOnceAndNothingClaimsSuccess) {
  if (!std::filesystem::exists("/dev/full")) GTEST_SKIP() << "no /dev/full here";
  test::CapturedReports reports;
  ASSERT_EQ(extractor_.SetExtractionParameters(0, 0, 100, 32, 8, 1), 0);
  ASSERT_EQ(extractor_.OpenSpikeFile("/dev/full"), 0);
  EXPECT_FALSE(extractor_.HasWriteError());
  EXPECT_EQ(extractor_.WriteSpikeFileHeader("/dev/full", {}), -1);
  EXPECT_TRUE(extractor_.HasWriteError());
  SpikyBlock block(0, 40);
  EXPECT_EQ(extractor_.DetectSpikes(block.Timestamps, {block.Samples}, 512, 1023, 0, 1535), -1);
  EXPECT_EQ(extractor_.GetSpikeCount(), 0);
  EXPECT_EQ(extractor_.CloseSpikeFile(), -1);
  EXPECT_EQ(reports.Texts(),
            std::vector<std::string>{kWriteFailed + std::to_string(ENOSPC) + ": /dev/full: No space left on device"});
}

// Lowers this process's file size limit (the disk seems full at that size) and ignores the signal
// the kernel would send, for the life of the object.
class FileSizeLimit {
 public:
  explicit FileSizeLimit(rlim_t bytes) {
    ::getrlimit(RLIMIT_FSIZE, &saved_);
    previous_ = std::signal(SIGXFSZ, SIG_IGN);
    rlimit lowered = saved_;
    lowered.rlim_cur = bytes;
    ok_ = ::setrlimit(RLIMIT_FSIZE, &lowered) == 0;
  }
  ~FileSizeLimit() {
    ::setrlimit(RLIMIT_FSIZE, &saved_);
    std::signal(SIGXFSZ, previous_);
  }
  bool Ok() const { return ok_; }

 private:
  rlimit saved_{};
  void (*previous_)(int) = nullptr;
  bool ok_ = false;
};

TEST_F(SpikeFile, DiskFullDuringRecordsIsReportedOnceAndTheNextFileWorks) {
  test::CapturedReports reports;
  const std::string path = dir_.File("full.kse");
  ASSERT_EQ(extractor_.SetExtractionParameters(0, 0, 100, 32, 8, 1), 0);
  const rlim_t limit = kHeaderSize + 100 * 112 + 10;
  int64_t countAtFailure = -1;
  {
    FileSizeLimit fileSizeLimit(limit);
    ASSERT_TRUE(fileSizeLimit.Ok());
    ASSERT_EQ(extractor_.OpenSpikeFile(path), 0);
    ASSERT_EQ(extractor_.WriteSpikeFileHeader(path, {}), 0);
    int failures = 0;
    for (int b = 0; b < 400; ++b) {
      SpikyBlock block(b, 40);
      const int32_t result = extractor_.DetectSpikes(block.Timestamps, {block.Samples}, 512, 1023, 0, 1535);
      if (extractor_.HasWriteError()) {
        EXPECT_EQ(result, -1);
        if (countAtFailure < 0) countAtFailure = extractor_.GetSpikeCount();
        EXPECT_EQ(extractor_.GetSpikeCount(), countAtFailure);  // nothing more is stored
        ++failures;
      }
    }
    EXPECT_GT(failures, 1);
    EXPECT_EQ(extractor_.CloseSpikeFile(), -1);
  }
  EXPECT_EQ(reports.Texts(), std::vector<std::string>{kWriteFailed + std::to_string(EFBIG) + ": " + path +
                                                      ": File too large"});
  EXPECT_FALSE(std::filesystem::exists(path));  // a file cut short is not left under its name

  // The run goes on with the next group: a fresh file is written normally.
  reports.Clear();
  const std::string next = dir_.File("next.kse");
  ASSERT_EQ(extractor_.OpenSpikeFile(next), 0);
  EXPECT_FALSE(extractor_.HasWriteError());
  ASSERT_EQ(extractor_.WriteSpikeFileHeader(next, {}), 0);
  SpikyBlock block(0, 40);
  extractor_.DetectSpikes(block.Timestamps, {block.Samples}, 512, 1023, 0, 1535);
  EXPECT_EQ(extractor_.CloseSpikeFile(), 0);
  EXPECT_EQ(extractor_.GetSpikeCount(), 13);
  EXPECT_EQ(std::filesystem::file_size(next), kHeaderSize + 13 * 112);
  EXPECT_TRUE(reports.Empty());
}

TEST_F(SpikeFile, AFailureFirstSeenWhenClosingIsReportedOnce) {
  test::CapturedReports reports;
  const std::string path = dir_.File("close.kse");
  ASSERT_EQ(extractor_.SetExtractionParameters(0, 0, 100, 32, 8, 1), 0);
  {
    FileSizeLimit fileSizeLimit(kHeaderSize + 1000);
    ASSERT_TRUE(fileSizeLimit.Ok());
    ASSERT_EQ(extractor_.OpenSpikeFile(path), 0);
    ASSERT_EQ(extractor_.WriteSpikeFileHeader(path, {}), 0);
    SpikyBlock block(0, 40);
    extractor_.DetectSpikes(block.Timestamps, {block.Samples}, 512, 1023, 0, 1535);
    EXPECT_EQ(extractor_.GetSpikeCount(), 13);  // 1456 bytes, still in the buffer
    EXPECT_TRUE(reports.Empty());
    EXPECT_EQ(extractor_.CloseSpikeFile(), -1);
    EXPECT_TRUE(extractor_.HasWriteError());
    EXPECT_EQ(extractor_.CloseSpikeFile(), -1);  // closing again changes nothing
  }
  EXPECT_EQ(reports.Texts(), std::vector<std::string>{kWriteFailed + std::to_string(EFBIG) + ": " + path +
                                                      ": File too large"});
}

TEST_F(SpikeFile, DetectingWithoutAnOpenFileIsAReportedWriteFailure) {
  test::CapturedReports reports;
  ASSERT_EQ(extractor_.SetExtractionParameters(0, 0, 100, 32, 8, 1), 0);
  SpikyBlock block(0, 40);
  EXPECT_EQ(extractor_.DetectSpikes(block.Timestamps, {block.Samples}, 512, 1023, 0, 1535), -1);
  EXPECT_TRUE(extractor_.HasWriteError());
  EXPECT_EQ(extractor_.GetSpikeCount(), 0);
  EXPECT_EQ(reports.Texts(), std::vector<std::string>{kWriteFailed + std::to_string(EBADF)});
}

}  // namespace
}  // namespace skelvane
