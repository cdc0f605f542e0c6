// The synth command, run as a user would: files written, what it prints, how it refuses bad input.
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <iterator>
#include <xxhash.h>

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

// Golden figures, the demo and other tests' expectations rest on these bytes: whatever the generator
// learns, the files that today's options make stay as they are.
TEST(SynthCommand, TodaysOptionsKeepTheirBytes) {
  test::TempDir dir;
  const auto hashOf = [](const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    const std::string bytes(std::istreambuf_iterator<char>(in), {});
    return XXH3_64bits(bytes.data(), bytes.size());
  };
  struct Case {
    std::vector<std::string> args;
    std::vector<std::pair<std::string, XXH64_hash_t>> files;
  };
  const std::vector<Case> cases = {
      {{},
       {{"TT1a.kcs", 13214245062140205233ull},
        {"TT1b.kcs", 1695621140592514909ull},
        {"TT1c.kcs", 4087941113251141204ull},
        {"TT1d.kcs", 2257455754947503509ull},
        {"TT1_truth.csv", 2971500487707446554ull}}},
      {{"--prefix", "V", "--channels", "3", "--seconds", "2", "--rate", "30000", "--seed", "7", "--start", "0",
        "--noise", "35", "--units", "5", "--spike-rate", "20", "--gap", "10:250000", "--gap", "40:3",
        "--late-channel", "1", "--late-records", "4", "--missing-tail", "2:3", "--partial", "17"},
       {{"Va.kcs", 12331817061586390188ull},
        {"Vb.kcs", 1425255911378354347ull},
        {"Vc.kcs", 14688125997028476485ull},
        {"V_truth.csv", 1461510886636224237ull}}},
      {{"--prefix", "N", "--channels", "1", "--seconds", "1", "--units", "0", "--no-header"},
       {{"Na.kcs", 12542506999604361250ull}, {"N_truth.csv", 17455718884911906608ull}}},
  };
  for (std::size_t i = 0; i < cases.size(); ++i) {
    const std::string out = dir.File("case" + std::to_string(i));
    std::vector<std::string> args = {"synth", "--out", out};
    args.insert(args.end(), cases[i].args.begin(), cases[i].args.end());
    const test::CliRun run = test::RunCli(args, dir);
    ASSERT_EQ(run.status, 0) << run.err;
    for (const auto& [name, hash] : cases[i].files) {
      EXPECT_EQ(hashOf(out + "/" + name), hash) << "case " << i << ": " << name;
    }
  }
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

// A kind sets the noise, the spikes and the wave; --units, --noise and --oscillation given beside it
// override its own, and what cannot be made is refused before anything is written.
TEST(SynthCommand, SignalKindsAndTheOptionsThatOverrideThem) {
  test::TempDir dir;
  const auto samplesOf = [](const std::string& path) {
    DataSourceManager manager;
    EXPECT_EQ(manager.OpenSource(path), kStatusOk) << path;
    std::vector<int16_t> samples;
    for (int64_t k = 0; k < manager.GetNumRecords(0); ++k) {
      const uint8_t* record = nullptr;
      EXPECT_EQ(manager.GetRecord(k, 0, record), kStatusOk);
      for (int32_t i = 0; i < kSamplesPerRecord; ++i) samples.push_back(CscRecord(record).Sample(i));
    }
    return samples;
  };
  const auto synth = [&dir](const std::string& name, std::vector<std::string> args) {
    args.insert(args.begin(), {"synth", "--out", dir.File(name), "--channels", "1", "--seconds", "1"});
    const test::CliRun run = test::RunCli(args, dir);
    EXPECT_EQ(run.status, 0) << name << ": " << run.err;
    return run;
  };

  EXPECT_FALSE(synth("flat", {"--signal", "flat", "--units", "2"}).out.ends_with("(0 spikes)\n"));
  const std::vector<int16_t> flat = samplesOf(dir.File("flat/TT1a.kcs"));
  EXPECT_GT(std::count(flat.begin(), flat.end(), int16_t{0}), static_cast<std::ptrdiff_t>(flat.size() * 9 / 10));
  EXPECT_GT(*std::max_element(flat.begin(), flat.end()), 100);

  // The oscillation kind with its wave taken away is the spiky default.
  synth("spiky", {});
  synth("unwaved", {"--signal", "oscillation", "--oscillation", "0:0"});
  synth("waved", {"--signal", "oscillation"});
  EXPECT_EQ(samplesOf(dir.File("unwaved/TT1a.kcs")), samplesOf(dir.File("spiky/TT1a.kcs")));
  EXPECT_NE(samplesOf(dir.File("waved/TT1a.kcs")), samplesOf(dir.File("spiky/TT1a.kcs")));

  const std::string out = dir.File("refused");
  const auto usageError = [&](const std::vector<std::string>& args, const std::string& message) {
    std::vector<std::string> all = {"synth", "--out", out};
    all.insert(all.end(), args.begin(), args.end());
    const test::CliRun run = test::RunCli(all, dir);
    EXPECT_GT(run.status, 100) << message;
    EXPECT_EQ(run.err.substr(0, run.err.find('\n')), message);
  };
  usageError({"--signal", "wobbly"}, "--signal: no signal kind wobbly (spiky|oscillation|clipped|noise|flat|sine)");
  usageError({"--signal", "noise", "--noise", "3"}, "--noise: the noise kind is full-scale noise of its own");
  usageError({"--oscillation", "3"}, "--oscillation: expected a frequency and an amplitude as F:A, got 3");
  const test::CliRun aboveHalf =
      test::RunCli({"synth", "--out", out, "--rate", "30000", "--oscillation", "15001:5"}, dir);
  EXPECT_EQ(aboveHalf.status, 1);
  EXPECT_EQ(aboveHalf.err,
            "SkelvaneV3: Invalid synthetic recording options: oscillation frequency must be 0 to half the sampling "
            "rate\n");
  EXPECT_FALSE(std::filesystem::exists(out));
}

TEST(SynthCommand, MalformedOrImpossibleOptionsFailWithoutWritingFiles) {
  test::TempDir dir;
  const std::string out = dir.File("rec");
  EXPECT_NE(test::RunCli({"synth", "--out", out, "--gap", "3-5000"}, dir).status, 0);
  EXPECT_NE(test::RunCli({"synth", "--out", out, "--missing-tail", "9:1"}, dir).status, 0);
  EXPECT_NE(test::RunCli({"synth", "--out", out, "--late-records", "3"}, dir).status, 0);  // needs --late-channel
  EXPECT_NE(test::RunCli({"synth", "--seconds", "1"}, dir).status, 0);                     // --out is required
  const test::CliRun run = test::RunCli({"synth", "--out", out, "--channels", "129"}, dir);
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.err, "SkelvaneV3: Invalid synthetic recording options: channels must be 1 to 128\n");
  EXPECT_FALSE(std::filesystem::exists(out));
}

}  // namespace
}  // namespace skelvane
