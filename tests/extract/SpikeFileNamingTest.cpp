// A group's spike file: its name from the output folder and the sources' titles, and the header
// values it copies from each source.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <limits>
#include <memory>
#include <random>

#include "extract/ExtractionRun.h"
#include "tests/extract/ExtractionRunFixture.h"
#include "tests/support/FakeDataSourceManager.h"
#include "tests/extract/SpikeFileContents.h"
#include "tests/support/CapturedReports.h"
#include "tests/support/TempDir.h"

namespace skelvane {
namespace {

using namespace test;

// ---- Naming ---------------------------------------------------------------------------------

TEST_F(ExtractionRunTest, TetrodeFileNameJoinsSourceTitlesInGroupOrder) {
  for (const char* name : {"TT1a.kcs", "TT1b.kcs", "TT1c.kcs", "TT1d.kcs"}) {
    test::FakeSource s;
    s.path = std::string("/data/") + name;
    sources.sources.push_back(s);
  }
  run.Parameters().OutputDirectory = "/out";
  run.Parameters().NumChannels = 4;
  EXPECT_EQ(run.BuildSpikeFileName({0, 1, 2, 3}), "/out/SpikeFile_TT1a_TT1b_TT1c_TT1d.ktt");
  EXPECT_EQ(run.BuildSpikeFileName({3, 1, 2, 0}), "/out/SpikeFile_TT1d_TT1b_TT1c_TT1a.ktt");
}

TEST_F(ExtractionRunTest, ExtensionFollowsChannelCount) {
  test::FakeSource s;
  s.path = "/data/ch.kcs";
  sources.sources.push_back(s);
  run.Parameters().OutputDirectory = "/out";
  const std::pair<int32_t, const char*> cases[] = {{1, ".kse"}, {2, ".kst"}, {4, ".ktt"}, {3, ".dat"}, {8, ".dat"}};
  for (const auto& [channels, extension] : cases) {
    run.Parameters().NumChannels = channels;
    EXPECT_EQ(run.BuildSpikeFileName({0}), std::string("/out/SpikeFile_ch") + extension) << channels;
  }
}

TEST_F(ExtractionRunTest, TitleIsCutAtFirstDotAndEmptyWithoutOne) {
  for (const char* path : {"/d/x.y.kcs", "/d/noext", "/d.dir/plain"}) {
    test::FakeSource s;
    s.path = path;
    sources.sources.push_back(s);
  }
  run.Parameters().OutputDirectory = "/out";
  run.Parameters().NumChannels = 2;
  EXPECT_EQ(run.BuildSpikeFileName({0, 1}), "/out/SpikeFile_x_.kst");
  EXPECT_EQ(run.BuildSpikeFileName({2, 0}), "/out/SpikeFile__x.kst");
}

TEST_F(ExtractionRunTest, EmptyOutputDirectoryPutsFileBesideFirstDataFile) {
  for (const char* path : {"/data/one/a.kcs", "/data/two/b.kcs"}) {
    test::FakeSource s;
    s.path = path;
    sources.sources.push_back(s);
  }
  run.Parameters().OutputDirectory.clear();
  run.Parameters().NumChannels = 2;
  EXPECT_EQ(run.BuildSpikeFileName({0, 1}), "/data/one/SpikeFile_a_b.kst");
  EXPECT_EQ(run.BuildSpikeFileName({1, 0}), "/data/two/SpikeFile_b_a.kst");
}

TEST_F(ExtractionRunTest, FolderlessSourceAndNoOutputDirectoryStayRelative) {
  test::FakeSource s;
  s.path = "a.kcs";
  sources.sources.push_back(s);
  run.Parameters().OutputDirectory.clear();
  EXPECT_EQ(run.BuildSpikeFileName({0}), "SpikeFile_a.kse");
}

TEST_F(ExtractionRunTest, EmptyOutputDirectoryBesideADataFileInTheRootFolderMeansTheRootFolder) {
  test::FakeSource s;
  s.path = "/a.kcs";
  sources.sources.push_back(s);
  run.Parameters().OutputDirectory.clear();
  EXPECT_EQ(run.BuildSpikeFileName({0}), "/SpikeFile_a.kse");
}

TEST_F(ExtractionRunTest, OutputDirectoryWithTrailingSlashGetsNoSecondOne) {
  test::FakeSource s;
  s.path = "/d/a.kcs";
  sources.sources.push_back(s);
  run.Parameters().OutputDirectory = "/out/";
  EXPECT_EQ(run.BuildSpikeFileName({0}), "/out/SpikeFile_a.kse");
}

// ---- Header values --------------------------------------------------------------------------

TEST_F(ExtractionRunTest, HeaderInfoCopiesEachSourcesValuesAsText) {
  AddSource("a.kcs", 1);
  AddSource("b.kcs", 1);
  Source(0).header = {{"-ADChannel", "3"},      {"-ADGain", "2"},         {"-AmpGain", "10000"},
                      {"-AmpLowCut", "600"},    {"-AmpHiCut", "6000"},    {"-ADBitVolts", "0.0000000305"}};
  Source(1).header = {{"-ADChannel", " 7 "}, {"-ADBitVolts", "1e-8"}};
  run.Parameters().Threshold = 12.9;
  const auto infos = run.GatherSourceHeaderInfo({1, 0});
  ASSERT_EQ(infos.size(), 2u);
  EXPECT_EQ(infos[0].FileName, dir.File("b.kcs"));
  EXPECT_EQ(infos[0].ADChannel, " 7 ");
  EXPECT_EQ(infos[0].ADGain, "");
  EXPECT_EQ(infos[0].AmpHiCut, "");
  EXPECT_EQ(infos[0].ADBitVolts, "1e-8");
  EXPECT_EQ(infos[1].FileName, dir.File("a.kcs"));
  EXPECT_EQ(infos[1].ADChannel, "3");
  EXPECT_EQ(infos[1].ADGain, "2");
  EXPECT_EQ(infos[1].AmpGain, "10000");
  EXPECT_EQ(infos[1].AmpLowCut, "600");
  EXPECT_EQ(infos[1].AmpHiCut, "6000");
  EXPECT_EQ(infos[1].ADBitVolts, "0.0000000305");
  EXPECT_EQ(infos[0].ThreshVal, 12);
  EXPECT_EQ(infos[1].ThreshVal, 12);
}

TEST_F(ExtractionRunTest, ThresholdIsTruncatedTowardZero) {
  AddSource("a.kcs", 1);
  run.Parameters().Threshold = -12.9;
  EXPECT_EQ(run.GatherSourceHeaderInfo({0})[0].ThreshVal, -12);
  run.Parameters().Threshold = 1e12;  // held in range instead of overflowing
  EXPECT_EQ(run.GatherSourceHeaderInfo({0})[0].ThreshVal, 2147483647);
}

TEST_F(ExtractionRunTest, SpikeFileHeaderCarriesEverySourceAndTheGroupsLastChannelValues) {
  AddSource("a.kcs", 3);
  AddSource("b.kcs", 3);
  Source(0).header = {{"-ADChannel", "0"}, {"-ADBitVolts", "0.1"}};
  Source(1).header = {{"-ADChannel", "1"}, {"-ADBitVolts", "0.2"}};
  sources.SealAll();
  channels = {{Source(0).path, kDt, 32000.0, 1000}, {Source(1).path, kDt, 30000.0, 2047}};
  run.Parameters().NumChannels = 2;
  ASSERT_EQ(run.CreateSpikeFiles(channels), 0);
  const auto file = Output("SpikeFile_a_b.kst", 2);
  EXPECT_EQ(file.Bytes.size(), kHeaderSize);
  const auto lines = HeaderLines(file.Header);
  ASSERT_GE(lines.size(), 17u);
  EXPECT_EQ(lines[2], "## File Name: " + dir.File("SpikeFile_a_b.kst"));
  EXPECT_EQ(lines[3], "## Created From File: " + Source(0).path);
  EXPECT_EQ(lines[4], "## Created From File: " + Source(1).path);
  EXPECT_EQ(lines[6], "-RecordSize  176");
  EXPECT_EQ(lines[7], "\t-ADChannel  0  1");
  EXPECT_EQ(lines[8], "\t-ADGain    ");
  EXPECT_EQ(lines[12], "\t-SamplingFrequency  30000.");
  EXPECT_EQ(lines[13], "\t-ADBitVolts  0.1  0.2");
  EXPECT_EQ(lines[14], "\t-ADMaxValue  2047");
  EXPECT_EQ(lines[15], "\t-AlignmentPt  8");
  EXPECT_EQ(lines[16], "\t-ThreshVal  50  50");
}

}  // namespace
}  // namespace skelvane
