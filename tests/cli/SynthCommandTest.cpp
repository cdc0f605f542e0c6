// The synth command, run as a user would: files written, what it prints, how it refuses bad input.
#include <filesystem>
#include <gtest/gtest.h>

#include "datafile/CscRecord.h"
#include "datafile/DataSourceManager.h"
#include "platform/StatusCodes.h"
#include "tests/cli/CliRunner.h"

namespace skelvane {
namespace {

TEST(SynthCommand, WritesOneFilePerChannelAndTheTruthAndListsThem) {
  test::TempDir dir;
  const std::string out = dir.File("rec");
  const test::CliRun run = test::RunCli(
      {"synth", "--out", out, "--prefix", "ST", "--channels", "2", "--seconds", "2", "--rate", "16000", "--seed", "4"},
      dir);
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.err, "");
  const std::string expectedStart = out + "/STa.kcs\n" + out + "/STb.kcs\n" + out + "/ST_truth.csv (";
  EXPECT_EQ(run.out.substr(0, expectedStart.size()), expectedStart);
  EXPECT_TRUE(run.out.ends_with(" spikes)\n")) << run.out;
  DataSourceManager manager;
  ASSERT_EQ(manager.OpenSource(out + "/STb.kcs"), kStatusOk);
  EXPECT_EQ(manager.GetNumRecords(0), 62);  // 2 s at 16 kHz
  std::string value;
  ASSERT_EQ(manager.GetHeaderValue(0, "-SamplingFrequency", value), kStatusOk);
  EXPECT_EQ(value, "16000");
}

TEST(SynthCommand, GapsLateChannelMissingTailsPartialAndNoHeaderReachTheFiles) {
  test::TempDir dir;
  const std::string out = dir.File("rec");
  const test::CliRun run = test::RunCli({"synth", "--out", out, "--seconds", "1", "--gap", "3:5000", "--gap", "7:1",
                                         "--late-channel", "2", "--late-records", "4", "--missing-tail", "1:2",
                                         "--missing-tail", "3:1", "--partial", "10", "--no-header"},
                                        dir);
  ASSERT_EQ(run.status, 0) << run.err;
  const auto size = [&out](const char* name) { return std::filesystem::file_size(out + "/" + name); };
  EXPECT_EQ(size("TT1a.kcs"), 62u * 1044u + 10u);
  EXPECT_EQ(size("TT1b.kcs"), 60u * 1044u + 10u);
  EXPECT_EQ(size("TT1c.kcs"), 58u * 1044u + 10u);
  EXPECT_EQ(size("TT1d.kcs"), 61u * 1044u + 10u);
  DataSourceManager manager;
  ASSERT_EQ(manager.OpenSource(out + "/TT1a.kcs"), kStatusOk);
  const uint8_t* last = nullptr;
  ASSERT_EQ(manager.GetRecord(manager.GetNumRecords(0) - 1, 0, last), kStatusOk);
  EXPECT_EQ(CscRecord(last).Timestamp(), 1'000'000 + 61 * 16'000 + 5'000 + 1);
}

TEST(SynthCommand, MissingTailBeyondTheRecordingDropsEveryRecordWhateverItsSize) {
  test::TempDir dir;
  const std::string out = dir.File("rec");
  // 2^32 + 1 and 3 * 10^9 records: neither may wrap into a small or negative count.
  for (const char* tail : {"0:4294967297", "0:3000000000", "0:62"}) {
    const test::CliRun run = test::RunCli({"synth", "--out", out, "--seconds", "1", "--channels", "2", "--missing-tail",
                                           tail},
                                          dir);
    ASSERT_EQ(run.status, 0) << tail << ": " << run.err;
    EXPECT_EQ(std::filesystem::file_size(out + "/TT1a.kcs"), 16384u) << tail;
    EXPECT_EQ(std::filesystem::file_size(out + "/TT1b.kcs"), 16384u + 62u * 1044u) << tail;
  }
}

TEST(SynthCommand, MalformedOrImpossibleOptionsFailWithoutWritingFiles) {
  test::TempDir dir;
  const std::string out = dir.File("rec");
  EXPECT_NE(test::RunCli({"synth", "--out", out, "--gap", "3-5000"}, dir).status, 0);
  EXPECT_NE(test::RunCli({"synth", "--out", out, "--missing-tail", "9:1"}, dir).status, 0);
  EXPECT_NE(test::RunCli({"synth", "--out", out, "--late-records", "3"}, dir).status, 0);  // needs --late-channel
  EXPECT_NE(test::RunCli({"synth", "--seconds", "1"}, dir).status, 0);                     // --out is required
  const test::CliRun run = test::RunCli({"synth", "--out", out, "--channels", "30"}, dir);
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.err, "SkelvaneV3: Invalid synthetic recording options: channels must be 1 to 26\n");
  EXPECT_FALSE(std::filesystem::exists(out));
}

}  // namespace
}  // namespace skelvane
