// The spike reader against files made byte by byte: every field of every record as written, across
// read blocks and for every channel count, and each kind of bad file refused with its own message.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>

#include "platform/StatusCodes.h"
#include "spikes/SpikeFile.h"
#include "tests/spikes/MadeSpikeFile.h"
#include "tests/support/CapturedReports.h"
#include "tests/support/TempDir.h"

namespace skelvane {
namespace {

using test::MadeHeaderText;
using test::MadeSpikeFile;
using test::RandomSpikes;

bool SameRecord(const SpikeRecords& records, int64_t i, const test::MadeSpike& made, int channels) {
  bool same =
      records.Timestamp(i) == made.timestamp && records.Word1(i) == made.word1 && records.Word2(i) == made.word2;
  for (int32_t w = 0; w < 8; ++w) same = same && records.Feature(i, w) == made.features[static_cast<std::size_t>(w)];
  for (int32_t p = 0; p < 32; ++p) {
    for (int32_t c = 0; c < channels; ++c) {
      same = same && records.Sample(i, p, c) == made.samples[static_cast<std::size_t>(p * channels + c)];
    }
  }
  return same;
}

struct Shape {
  int channels;
  const char* name;
};

TEST(SpikeFileTest, EveryFieldOfEveryRecordReadsBackAsWrittenAcrossBlocks) {
  test::TempDir dir;
  test::CapturedReports reports;
  for (const Shape shape : {Shape{1, "a.kse"}, Shape{2, "b.kst"}, Shape{3, "c.dat"}, Shape{4, "d.ktt"}}) {
    // Enough records that the tetrode file spans two read blocks.
    const auto spikes = RandomSpikes(shape.channels, 4000, static_cast<uint32_t>(shape.channels));
    const std::string path = dir.Write(shape.name, MadeSpikeFile(MadeHeaderText(shape.channels, 11, 73), spikes));
    SpikeFile file;
    ASSERT_EQ(file.Open(path), 0) << shape.name;
    EXPECT_EQ(file.NumChannels(), shape.channels);
    EXPECT_EQ(file.RecordSize(), 48 + 64 * shape.channels);
    EXPECT_EQ(file.NumSpikes(), 4000);
    EXPECT_EQ(file.AlignmentPt(), 11);
    EXPECT_EQ(file.Thresholds(), std::vector<std::optional<int64_t>>(shape.channels, 73));
    EXPECT_EQ(file.Header().SourceFiles().size(), static_cast<std::size_t>(shape.channels));

    int64_t next = 0;
    int32_t blocks = 0;
    ASSERT_EQ(
        file.ForEachBlock(0, file.NumSpikes(),
                          [&](int64_t first, const SpikeRecords& records) {
                            EXPECT_EQ(first, next);
                            ++blocks;
                            for (int64_t i = 0; i < records.Count(); ++i, ++next) {
                              if (!SameRecord(records, i, spikes[static_cast<std::size_t>(next)], shape.channels)) {
                                ADD_FAILURE() << shape.name << " record " << next;
                                return false;
                              }
                            }
                            return true;
                          }),
        0);
    EXPECT_EQ(next, 4000);
    EXPECT_EQ(blocks, shape.channels == 4 ? 2 : 1) << shape.name;

    for (const int64_t probe : {int64_t{0}, int64_t{1}, int64_t{1999}, int64_t{3999}}) {
      const int64_t time = spikes[static_cast<std::size_t>(probe)].timestamp;
      EXPECT_EQ(file.FirstAtOrAfter(time), probe);
      EXPECT_EQ(file.FirstAtOrAfter(time - 1), probe);
    }
    EXPECT_EQ(file.FirstAtOrAfter(spikes.back().timestamp + 1), 4000);
  }
  EXPECT_TRUE(reports.Empty()) << reports.Texts().front();
}

TEST(SpikeFileTest, ReadsOutsideTheFileAreRefusedQuietly) {
  test::TempDir dir;
  const std::string path = dir.Write("x.kse", MadeSpikeFile(MadeHeaderText(1), RandomSpikes(1, 10, 1)));
  test::CapturedReports reports;
  SpikeFile file;
  ASSERT_EQ(file.Open(path), 0);
  std::vector<uint8_t> buffer;
  SpikeRecords records;
  EXPECT_EQ(file.Read(9, 2, buffer, records), kStatusNoData);
  EXPECT_EQ(file.Read(-1, 1, buffer, records), kStatusNoData);
  EXPECT_EQ(file.Read(10, 0, buffer, records), kStatusOk);
  EXPECT_EQ(file.ForEachBlock(0, 11, [](int64_t, const SpikeRecords&) { return true; }), kStatusNoData);
  EXPECT_TRUE(reports.Empty());
}

struct BadFile {
  const char* name;
  std::string bytes;
  std::string message;  // the report, before ": <path>"
};

std::string WithLine(std::string header, const std::string& line, const std::string& replacement) {
  const std::size_t at = header.find(line);
  return header.replace(at, line.size(), replacement);
}

TEST(SpikeFileTest, BadFilesAreRefusedWithAMessageNamingTheFileAndTheFault) {
  const std::string tetrode = MadeHeaderText(4);
  const std::string twoRecords = std::string(2 * 304, '\0');
  const std::vector<BadFile> cases = {
      {"empty.ktt", "", "Not a spike file, it is empty:"},
      {"TT1a.kcs", test::HeaderBlock(tetrode), "Not a spike file but a CSC recording:"},
      {"text.ktt", std::string(20000, 'x'), "Not a spike file, it has no Kestrelon header:"},
      {"short.ktt", tetrode,
       "Not a spike file, it ends inside its 16384-byte header; file size in bytes: " + std::to_string(tetrode.size())},
      {"norecordsize.ktt", test::HeaderBlock(WithLine(tetrode, "-RecordSize  304", "-RecSize  304")) + twoRecords,
       "Not a spike file, its header has no -RecordSize:"},
      {"odd.ktt", test::HeaderBlock(WithLine(tetrode, "-RecordSize  304", "-RecordSize  300")) + twoRecords,
       "Spike record size is not 48 + 64 bytes per channel; RecordSize = 300"},
      {"word.ktt", test::HeaderBlock(WithLine(tetrode, "-RecordSize  304", "-RecordSize  big")) + twoRecords,
       "Spike file header's -RecordSize is not a number:"},
      {"zero.ktt", test::HeaderBlock(WithLine(tetrode, "-RecordSize  304", "-RecordSize  0")) + twoRecords,
       "Spike record size is not 48 + 64 bytes per channel; RecordSize = 0"},
      {"negative.dat", test::HeaderBlock(WithLine(tetrode, "-RecordSize  304", "-RecordSize  -9223372036854775808")),
       "Spike record size is not 48 + 64 bytes per channel; RecordSize = -9223372036854775808"},
      {"wide.dat", test::HeaderBlock(WithLine(tetrode, "-RecordSize  304", "-RecordSize  4208")) + twoRecords,
       "Spike record size gives more than 64 channels; RecordSize = 4208"},
      {"huge.dat", test::HeaderBlock(WithLine(tetrode, "-RecordSize  304", "-RecordSize  70368744177712")),
       "Spike record size gives more than 64 channels; RecordSize = 70368744177712"},
      {"stereo.ktt", test::HeaderBlock(MadeHeaderText(2)) + twoRecords,
       "Spike record size does not match the file's extension: a .ktt file holds 4 channels (RecordSize 304); "
       "RecordSize = 176"},
      {"sources.dat", test::HeaderBlock(WithLine(tetrode, "-RecordSize  304", "-RecordSize  176")),
       "Spike record size does not match the header: it names 4 data files; RecordSize = 176"},
      {"noalign.ktt", test::HeaderBlock(WithLine(tetrode, "-AlignmentPt  8", "")) + twoRecords,
       "Spike file header has no -AlignmentPt:"},
      {"alignword.ktt", test::HeaderBlock(WithLine(tetrode, "-AlignmentPt  8", "-AlignmentPt  eight")) + twoRecords,
       "Spike file header's -AlignmentPt is not a number:"},
      {"align.ktt", test::HeaderBlock(WithLine(tetrode, "-AlignmentPt  8", "-AlignmentPt  33")) + twoRecords,
       "Alignment point outside the 32-point spike window; AlignmentPt = 33"},
  };
  test::TempDir dir;
  for (const BadFile& bad : cases) {
    const std::string path = dir.Write(bad.name, bad.bytes);
    test::CapturedReports reports;
    SpikeFile file;
    EXPECT_NE(file.Open(path), 0) << bad.name;
    EXPECT_FALSE(file.IsOpen());
    // Messages ending on a colon take the path after a blank, the others after ": ".
    const std::string separator = bad.message.back() == ':' ? " " : ": ";
    ASSERT_EQ(reports.Count(), 1u) << bad.name;
    EXPECT_EQ(reports.Texts()[0], bad.message + separator + path) << bad.name;
  }

  test::CapturedReports reports;
  SpikeFile file;
  EXPECT_EQ(file.Open(dir.File("absent.ktt")), ENOENT);
  EXPECT_EQ(reports.Texts(), std::vector<std::string>{"Error opening spike file: " + dir.File("absent.ktt") +
                                                      ": No such file or directory"});
}

TEST(SpikeFileTest, FileCutShortIsReportedAndReadUpToItsLastWholeRecord) {
  test::TempDir dir;
  std::string bytes = MadeSpikeFile(MadeHeaderText(2), RandomSpikes(2, 5, 3));
  bytes.resize(bytes.size() - 100);
  const std::string path = dir.Write("cut.kst", bytes);
  test::CapturedReports reports;
  SpikeFile file;
  ASSERT_EQ(file.Open(path), 0);
  EXPECT_EQ(file.NumSpikes(), 4);
  EXPECT_EQ(file.TrailingBytes(), 76);
  EXPECT_EQ(
      reports.Texts(),
      std::vector<std::string>{"Spike file cut short, read up to its last whole record; bytes after it: 76: " + path});
}

TEST(SpikeFileTest, FileShrinkingWhileOpenIsReportedOnRead) {
  test::TempDir dir;
  const std::string path = dir.Write("shrink.kse", MadeSpikeFile(MadeHeaderText(1), RandomSpikes(1, 50, 4)));
  SpikeFile file;
  ASSERT_EQ(file.Open(path), 0);
  std::filesystem::resize_file(path, 16384 + 112 * 10);
  test::CapturedReports reports;
  std::vector<uint8_t> buffer;
  SpikeRecords records;
  EXPECT_EQ(file.Read(5, 20, buffer, records), kStatusSourceChanged);
  EXPECT_EQ(reports.Texts(), std::vector<std::string>{"Spike file changed or was truncated while open: " + path});
}

}  // namespace
}  // namespace skelvane
