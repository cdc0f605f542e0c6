// The command line: files in order, --help and --version, and unknown options.
#include "app/CommandLine.h"

#include <gtest/gtest.h>

namespace skelvane {
namespace {

TEST(CommandLine, EveryArgumentIsAFileInOrder) {
  const auto request = CommandLine::Parse({"skelvane", "/data/TT1a.kcs", "\"/data/with space.kcs\"", "b.kcs"});
  EXPECT_EQ(request.files, (std::vector<std::string>{"/data/TT1a.kcs", "\"/data/with space.kcs\"", "b.kcs"}));
  EXPECT_FALSE(request.showHelp);
  EXPECT_FALSE(request.showVersion);
  EXPECT_TRUE(request.error.empty());
}

TEST(CommandLine, NoArgumentsOpensNothing) {
  const auto request = CommandLine::Parse({"skelvane"});
  EXPECT_TRUE(request.files.empty());
  EXPECT_TRUE(request.error.empty());
}

TEST(CommandLine, HelpAndVersion) {
  EXPECT_TRUE(CommandLine::Parse({"skelvane", "--help"}).showHelp);
  EXPECT_TRUE(CommandLine::Parse({"skelvane", "-h"}).showHelp);
  EXPECT_TRUE(CommandLine::Parse({"skelvane", "--version"}).showVersion);
  EXPECT_TRUE(CommandLine::Parse({"skelvane", "-v"}).showVersion);
  EXPECT_EQ(CommandLine::VersionText(), "Skelvane Version 3.01\n");
  const std::string help = CommandLine::HelpText();
  EXPECT_EQ(help.rfind("Usage: skelvane [options] [FILE...]\n", 0), 0u) << help;
  EXPECT_NE(help.find("--version"), std::string::npos);
}

TEST(CommandLine, UnknownOptionIsAnErrorButHelpIsStillSeen) {
  const auto request = CommandLine::Parse({"skelvane", "--bogus", "--help"});
  EXPECT_EQ(request.error, "Unknown option 'bogus'.");
  EXPECT_TRUE(request.showHelp);
}

TEST(CommandLine, FileNamesAfterDoubleDashMayStartWithADash) {
  const auto request = CommandLine::Parse({"skelvane", "--", "-odd.kcs"});
  EXPECT_EQ(request.files, std::vector<std::string>{"-odd.kcs"});
}

}  // namespace
}  // namespace skelvane
