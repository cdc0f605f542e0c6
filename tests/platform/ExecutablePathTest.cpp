#include "platform/ExecutablePath.h"

#include <filesystem>
#include <gtest/gtest.h>

namespace skelvane {
namespace {

TEST(ExecutablePath, NamesThisTestProgramAndItsFolder) {
  const std::string path = ExecutablePath::Path();
  ASSERT_FALSE(path.empty());
  EXPECT_EQ(std::filesystem::path(path).filename(), "platform_tests");
  EXPECT_EQ(ExecutablePath::Folder(), std::filesystem::path(path).parent_path().string());
  EXPECT_TRUE(std::filesystem::is_directory(ExecutablePath::Folder()));
}

}  // namespace
}  // namespace skelvane
