// Session paths: files below the session's folder are stored relative to it, so the folder moves as a
// whole; recordings that moved elsewhere are looked for in one folder, asked for once.
#include "session/SessionPaths.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "tests/support/TempDir.h"

namespace skelvane {
namespace {

namespace fs = std::filesystem;

TEST(SessionPathsTest, RelativePathsSurviveMovingTheFolder) {
  test::TempDir root;
  const fs::path before = fs::path(root.Path()) / "day 1";
  fs::create_directories(before / "tetrode");
  const std::string inside = (before / "tetrode" / "TT1a.kcs").string();
  test::TempDir elsewhere;
  const std::string outside = elsewhere.Write("CH0.kcs", "x");
  root.Write("day 1/tetrode/TT1a.kcs", "x");

  const std::vector<std::string> stored = {SessionPaths::Stored(inside, before.string()),
                                           SessionPaths::Stored(outside, before.string())};
  EXPECT_EQ(stored[0], "tetrode/TT1a.kcs");
  EXPECT_EQ(stored[1], outside);  // not below the folder: it does not move with it

  const fs::path after = fs::path(root.Path()) / "archive" / "day 1";
  fs::create_directories(after.parent_path());
  fs::rename(before, after);
  std::vector<std::string> missing;
  int asked = 0;
  const std::vector<std::string> found =
      SessionPaths::Locate(stored, after.string(), [&asked](const std::string&) { return ++asked, std::string(); },
                           missing);
  EXPECT_EQ(found, (std::vector<std::string>{(after / "tetrode" / "TT1a.kcs").string(), outside}));
  EXPECT_TRUE(missing.empty());
  EXPECT_EQ(asked, 0);
}

TEST(SessionPathsTest, MovedRecordingsAreFoundInTheOneFolderAskedFor) {
  test::TempDir session;
  test::TempDir moved;
  for (const char* name : {"TT1a.kcs", "TT1b.kcs"}) moved.Write(name, "x");
  const std::vector<std::string> stored = {"/gone/TT1a.kcs", "gone/TT1b.kcs", "/gone/TT1c.kcs"};
  std::vector<std::string> questions;
  std::vector<std::string> missing;
  const std::vector<std::string> found = SessionPaths::Locate(
      stored, session.Path(),
      [&](const std::string& first) {
        questions.push_back(first);
        return moved.Path();
      },
      missing);
  EXPECT_EQ(questions, std::vector<std::string>{"/gone/TT1a.kcs"});
  EXPECT_EQ(found, (std::vector<std::string>{moved.File("TT1a.kcs"), moved.File("TT1b.kcs"), "/gone/TT1c.kcs"}));
  EXPECT_EQ(missing, std::vector<std::string>{"/gone/TT1c.kcs"});
}

}  // namespace
}  // namespace skelvane
