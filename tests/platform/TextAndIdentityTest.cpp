// Text from files shown safely (terminal and JSON), and outputs recognised as inputs under any name.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "platform/FileIdentity.h"
#include "platform/Utf8Text.h"
#include "tests/support/TempDir.h"

namespace skelvane {
namespace {

TEST(Utf8Text, ControlsAndBytesThatAreNoUtf8NeverReachTheTerminal) {
  EXPECT_EQ(Utf8Text::ForTerminal("plain 32000"), "plain 32000");
  EXPECT_EQ(Utf8Text::ForTerminal("Überblick 日本"), "Überblick 日本");
  EXPECT_EQ(Utf8Text::ForTerminal("\x1b]2;owned\x07\x1b[2J"), "\\x1b]2;owned\\x07\\x1b[2J");
  EXPECT_EQ(Utf8Text::ForTerminal("a\\b\x7f"), "a\\\\b\\x7f");
  EXPECT_EQ(Utf8Text::ForTerminal("\xc2\x9b" "31m"), "\\xc2\\x9b31m");           // C1 control (CSI)
  EXPECT_EQ(Utf8Text::ForTerminal("\x9b" "31m\xff\xe6\x97"), "\\x9b31m\\xff\\xe6\\x97");  // stray and cut bytes
  EXPECT_EQ(Utf8Text::ForTerminal("\xc0\xaf\xed\xa0\x80"), "\\xc0\\xaf\\xed\\xa0\\x80");  // overlong, surrogate
}

TEST(Utf8Text, JsonStringsAreAlwaysValidUnicode) {
  EXPECT_EQ(Utf8Text::JsonQuoted("a\"b\\c\n\x01"), "\"a\\\"b\\\\c\\u000a\\u0001\"");
  EXPECT_EQ(Utf8Text::JsonQuoted("/data/Überblick/日本.kcs"), "\"/data/Überblick/日本.kcs\"");
  EXPECT_EQ(Utf8Text::JsonQuoted("/data/\xe9t\xe9.kcs"), "\"/data/\\ufffdt\\ufffd.kcs\"");
  EXPECT_EQ(Utf8Text::JsonQuoted("\xf0\x9f\x98"), "\"\\ufffd\\ufffd\\ufffd\"");
}

TEST(FileIdentity, AnOutputIsAnInputUnderAnyOfItsNames) {
  test::TempDir dir;
  const std::string recording = dir.Write("TT1a.kcs", "samples");
  const std::string other = dir.Write("TT1b.kcs", "samples");
  std::filesystem::create_symlink(recording, dir.File("link.bmp"));
  std::filesystem::create_hard_link(recording, dir.File("second.bmp"));
  EXPECT_TRUE(FileIdentity::IsOneOf(recording, {other, recording}));
  EXPECT_TRUE(FileIdentity::IsOneOf(dir.File("link.bmp"), {recording}));
  EXPECT_TRUE(FileIdentity::IsOneOf(dir.File("second.bmp"), {other, dir.File("./TT1a.kcs")}));
  EXPECT_FALSE(FileIdentity::IsOneOf(other, {recording}));
  EXPECT_FALSE(FileIdentity::IsOneOf(dir.File("new.bmp"), {recording}));  // nothing there yet
}

}  // namespace
}  // namespace skelvane
