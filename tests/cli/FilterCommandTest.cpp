// The filter command as a user runs it: the response it prints for the bands holds what the bands
// promise; --plot draws a picture and never writes over a recording; refused bands are usage errors
// that name the field.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <regex>
#include <string>

#include "cli/ExitStatus.h"
#include "tests/cli/CliRunner.h"

namespace skelvane {
namespace {

// The two numbers of a printed line like "  pass band:     886.6 Hz to 5711 Hz within 0.5 dB".
std::pair<double, double> Range(const std::string& out, const std::string& label) {
  std::smatch match;
  const std::regex line("  " + label + ": +([0-9.]+) Hz to ([0-9.]+) Hz");
  EXPECT_TRUE(std::regex_search(out, match, line)) << label << " in\n" << out;
  return match.size() == 3 ? std::make_pair(std::stod(match[1]), std::stod(match[2])) : std::make_pair(0.0, 0.0);
}

TEST(FilterCommandTest, ThePrintedResponseHoldsWhatTheBandsPromise) {
  test::TempDir dir;
  const test::CliRun spike = test::RunCli({"filter", "--response", "spike"}, dir);
  ASSERT_EQ(spike.status, cli::kExitSucceeded) << spike.err;
  EXPECT_EQ(spike.out.rfind("Spike Band 600-6000 Hz, designed for 32000 Hz\n", 0), 0u) << spike.out;
  const auto [passFrom, passTo] = Range(spike.out, "pass band");
  EXPECT_LE(passFrom, 1000.0);
  EXPECT_GE(passTo, 5000.0);
  const auto [stopFrom, stopTo] = Range(spike.out, "stop band");
  EXPECT_EQ(stopFrom, 0.0);
  EXPECT_GE(stopTo, 150.0);
  EXPECT_NE(spike.out.find("  -6.0"), std::string::npos);
  EXPECT_NE(spike.out.find("low cut-off\n"), std::string::npos);

  const test::CliRun lfp = test::RunCli({"filter", "--response", "lfp", "--rate", "32000"}, dir);
  ASSERT_EQ(lfp.status, cli::kExitSucceeded) << lfp.err;
  const auto [lfpFrom, lfpTo] = Range(lfp.out, "pass band");
  EXPECT_LE(lfpFrom, 3.0);
  EXPECT_GE(lfpTo, 200.0);
  EXPECT_NE(lfp.out.find(" Hz to 16000 Hz at least 30 dB down"), std::string::npos) << lfp.out;
}

TEST(FilterCommandTest, PlotDrawsAPictureButNeverOverARecording) {
  test::TempDir dir;
  const test::CliRun plotted = test::RunCli({"filter", "--response", "300:3000", "--plot", dir.File("r.png"), "--width",
                                             "400", "--height", "300"},
                                            dir);
  ASSERT_EQ(plotted.status, cli::kExitSucceeded) << plotted.err;
  std::ifstream png(dir.File("r.png"), std::ios::binary);
  std::string signature(8, '\0');
  png.read(signature.data(), 8);
  EXPECT_EQ(signature, "\x89PNG\r\n\x1a\n");
  EXPECT_TRUE(plotted.out.empty());

  ASSERT_EQ(test::RunCli({"synth", "--out", dir.File("rec"), "--channels", "1", "--seconds", "1"}, dir).status, 0);
  const std::string recording = dir.File("rec/TT1a.kcs");
  const auto size = std::filesystem::file_size(recording);
  const test::CliRun refused = test::RunCli({"filter", "--response", "spike", "--plot", recording}, dir);
  EXPECT_EQ(refused.status, cli::kExitFailed);
  EXPECT_EQ(refused.err, "SkelvaneV3: Nothing written: this output is a recording (choose another name, or move the "
                         "recording away first): " + recording + "\n");
  EXPECT_EQ(std::filesystem::file_size(recording), size);
}

TEST(FilterCommandTest, RefusedBandsAreUsageErrorsNamingTheField) {
  test::TempDir dir;
  const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
      {{"--response", "6000:300"}, "--response: Filter low cut-off: 6000 Hz is not below the high cut-off, 300 Hz"},
      {{"--response", "spike", "--rate", "8000"},
       "--response: Filter high cut-off: 6000 Hz is not inside (0, 4000) Hz, above 0 and below half the sampling rate"},
      {{"--response", "none"}, "--response: Filter: none has no response to show"},
  };
  for (const auto& [args, message] : cases) {
    std::vector<std::string> command = {"filter"};
    command.insert(command.end(), args.begin(), args.end());
    const test::CliRun run = test::RunCli(command, dir);
    EXPECT_GT(run.status, 100) << message;
    EXPECT_NE(run.err.find(message), std::string::npos) << run.err;
  }
  const test::CliRun help = test::RunCli({"filter", "--help"}, dir);
  EXPECT_NE(help.out.find(cli::kExitStatusHelp), std::string::npos);
}

}  // namespace
}  // namespace skelvane
