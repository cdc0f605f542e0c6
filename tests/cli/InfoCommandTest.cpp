// The info command, run as a user would, on files written by the generator and by hand.
#include <cerrno>
#include <gtest/gtest.h>

#include "tests/cli/CliRunner.h"
#include "tools/CscFileWriter.h"
#include "tools/SyntheticRecording.h"

namespace skelvane {
namespace {

TEST(InfoCommand, PrintsKindRecordsTimeRangeFrequencyAndHeader) {
  test::TempDir dir;
  std::vector<CscRecordData> records(4);
  for (std::size_t k = 0; k < records.size(); ++k) {
    records[k].timestamp = 2'000'000 + static_cast<int64_t>(k) * 20'000;
    records[k].samplingFrequency = 25600;
  }
  const std::string path = dir.File("CSC7.kcs");
  ASSERT_EQ(CscFileWriter::Write(path,
                                 CscFileWriter::MakeHeader({{"-SamplingFrequency", "25600"}, {"-ADChannel", "7"},
                                                            {"-AmpGain", " 20 000 "}}),
                                 records),
            0);
  const test::CliRun run = test::RunCli({"info", path}, dir);
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.err, "");
  EXPECT_EQ(run.out, path + "\n"
                     "  kind:               CSC records (type 5)\n"
                     "  records:            4\n"
                     "  first timestamp:    2000000 us\n"
                     "  last timestamp:     2060000 us\n"
                     "  duration:           0.060000 s\n"
                     "  sampling frequency: 25600 Hz stored, 25600.000 Hz from the mean record interval of 20000.000 us\n"
                     "  header:\n"
                     "    -SamplingFrequency  25600\n"
                     "    -ADMaxValue         (absent)\n"
                     "    -ADBitVolts         (absent)\n"
                     "    -ADChannel          7\n"
                     "    -ADGain             (absent)\n"
                     "    -AmpGain            20000\n"
                     "    -AmpLowCut          (absent)\n"
                     "    -AmpHiCut           (absent)\n");
}

TEST(InfoCommand, FileWithoutHeaderOrWithOneRecordStillPrints) {
  test::TempDir dir;
  CscRecordData record;
  record.timestamp = 99;
  const std::string path = dir.File("bare.kcs");
  ASSERT_EQ(CscFileWriter::Write(path, "", {record}), 0);
  const test::CliRun run = test::RunCli({"info", path}, dir);
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_NE(run.out.find("  records:            1\n"), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("  sampling frequency: 32000 Hz stored\n"), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("  header:             none (records start at byte 0)\n"), std::string::npos) << run.out;
}

TEST(InfoCommand, FailedFilesAreReportedOnStderrAndMakeTheStatusNonZero) {
  test::TempDir dir;
  SynthOptions options;
  options.outDir = dir.Path();
  options.seconds = 1;
  options.channels = 1;
  SynthResult result;
  ASSERT_EQ(SyntheticRecording::Generate(options, result), 0);
  const std::string empty = dir.Write("empty.kcs", "");
  const test::CliRun run = test::RunCli({"info", dir.File("missing.kcs"), result.paths[0], empty, result.truthCsvPath}, dir);
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.err,
            "SkelvaneV3: Error opening file; microsoft error code:" + std::to_string(ENOENT) + ": " +
                dir.File("missing.kcs") + ": No such file or directory\n"
                "SkelvaneV3: Unable to locate Kestrelon data in file.  Are you sure this is a kestrelon file?: " +
                empty + "\n"
                "SkelvaneV3: Error retrieving file type, please validate that file is a Kestrelon file: " +
                result.truthCsvPath + "\n");
  // The good file between them is still described.
  EXPECT_EQ(run.out.substr(0, result.paths[0].size() + 1), result.paths[0] + "\n");
  EXPECT_NE(run.out.find("  records:            62\n"), std::string::npos);
  EXPECT_NE(run.out.find("    -ADChannel          0\n"), std::string::npos);
}

// Differences of such timestamps overflow 64 bits: they must come out saturated, with their sign.
TEST(InfoCommand, TimestampsFarApartGiveASignedDurationAndAPositiveFrequency) {
  test::TempDir dir;
  struct Ends {
    int64_t first, last;
    const char* durationSign;
  };
  for (const Ends& ends : {Ends{4'000'000'000'000'000'000, -6'000'000'000'000'000'000, "-"},
                           Ends{-6'000'000'000'000'000'000, 4'000'000'000'000'000'000, ""}}) {
    // The first records rise, as a recording's must to be opened at all; only the last jumps.
    std::vector<CscRecordData> records(12);
    for (std::size_t k = 0; k + 1 < records.size(); ++k) records[k].timestamp = ends.first + static_cast<int64_t>(k);
    records.back().timestamp = ends.last;
    const std::string path = dir.File("far.kcs");
    ASSERT_EQ(CscFileWriter::Write(path, "", records), 0);
    const test::CliRun run = test::RunCli({"info", path}, dir);
    ASSERT_EQ(run.status, 0) << run.err;
    const std::string duration = "  duration:           " + std::string(ends.durationSign) + "9223372036854.";
    EXPECT_NE(run.out.find(duration), std::string::npos) << run.out;
    EXPECT_EQ(run.out.find("Hz from the mean record interval of -"), std::string::npos) << run.out;
  }
}

// A header is anyone's text: what it holds must not reach the terminal as control sequences (a title
// change, a cleared screen), nor may a file's name.
TEST(InfoCommand, HeaderValuesAndNamesCannotSendControlSequencesToTheTerminal) {
  test::TempDir dir;
  const std::string path = dir.File("CSC\x1b[2J.kcs");
  ASSERT_EQ(CscFileWriter::Write(path, CscFileWriter::MakeHeader({{"-ADChannel", "\x1b]2;owned\x07"}, {"-AmpGain", "\xc2\x9b" "31m"}}),
                                 std::vector<CscRecordData>(3)),
            0);
  const test::CliRun run = test::RunCli({"info", path}, dir);
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out.find('\x1b'), std::string::npos) << run.out;
  EXPECT_EQ(run.out.find("\xc2\x9b"), std::string::npos) << run.out;
  EXPECT_NE(run.out.find(dir.File("CSC\\x1b[2J.kcs") + "\n"), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("    -ADChannel          \\x1b]2;owned\\x07\n"), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("    -AmpGain            \\xc2\\x9b31m\n"), std::string::npos) << run.out;
}

TEST(InfoCommand, NeedsAtLeastOneFile) {
  test::TempDir dir;
  EXPECT_NE(test::RunCli({"info"}, dir).status, 0);
}

}  // namespace
}  // namespace skelvane
