#include "platform/PathHelpers.h"

#include <gtest/gtest.h>

namespace skelvane {
namespace {

TEST(PathHelpers, NameTitleAndFolder) {
  EXPECT_EQ(FileNameOf("/data/rat1/TT1a.kcs"), "TT1a.kcs");
  EXPECT_EQ(FileNameOf("TT1a.kcs"), "TT1a.kcs");
  EXPECT_EQ(FileTitleOf("/data/rat1/TT1a.v2.kcs"), "TT1a");
  EXPECT_EQ(FileTitleOf("/data/rat1.d/noext"), "");
  EXPECT_EQ(FolderOf("/data/rat1/TT1a.kcs"), "/data/rat1");
  EXPECT_EQ(FolderOf("TT1a.kcs"), "");
}

}  // namespace
}  // namespace skelvane
