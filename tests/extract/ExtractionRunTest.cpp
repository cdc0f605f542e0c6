#include "extract/ExtractionRun.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <limits>
#include <memory>
#include <random>

#include "tests/support/FakeDataSourceManager.h"
#include "tests/support/FakePlotCollection.h"
#include "tests/extract/SpikeFileContents.h"
#include "tests/support/CapturedReports.h"
#include "tests/support/TempDir.h"

namespace skelvane {
namespace {

constexpr double kDt = 31.25;             // 32 kHz
constexpr int64_t kRecordSpan = 16000;    // 512 samples of 31.25 us
constexpr int64_t kStart = 5'000'000;
constexpr int32_t kAlignmentIndex = 7;    // default alignment point 8, 0-based
constexpr int32_t kNumSpikePoints = 32;
constexpr std::size_t kHeaderSize = 16384;
constexpr const char* kOpenFailure = "Error opening file; Is the file/path name correct?";

uint64_t SampleTime(int64_t recordTime, int32_t index, double dt = kDt) {
  return static_cast<uint64_t>(static_cast<double>(recordTime) + index * dt);
}

// The header's text lines, up to the zero padding.
std::vector<std::string> HeaderLines(const std::string& header) {
  const std::string text = header.substr(0, header.find('\0'));
  std::vector<std::string> lines;
  std::size_t from = 0;
  while (from < text.size()) {
    const std::size_t end = text.find("\r\n", from);
    if (end == std::string::npos) {
      lines.push_back(text.substr(from));
      break;
    }
    lines.push_back(text.substr(from, end - from));
    from = end + 2;
  }
  return lines;
}

int16_t SampleAt(const test::StoredSpike& spike, int32_t point, int32_t channel, int32_t numChannels) {
  return spike.Samples[static_cast<std::size_t>(point * numChannels + channel)];
}

class ExtractionRunTest : public ::testing::Test {
 protected:
  ExtractionRunTest() {
    run.Parameters().Threshold = 50.0;
    run.Parameters().OutputDirectory = dir.Path();
  }

  /// Adds a source of `records` silent records; returns its index.
  int32_t AddSource(const std::string& name, int32_t records, int64_t start = kStart) {
    test::FakeSource source;
    source.path = dir.File(name);
    source.AddRecords(start, kRecordSpan, records);
    sources.sources.push_back(std::move(source));
    return static_cast<int32_t>(sources.sources.size()) - 1;
  }
  test::FakeSource& Source(int32_t i) { return sources.sources[i]; }

  /// Seals every source and shows each as one plot, in source order.
  void ShowAll(double dt = kDt, double frequency = 32000.0, int32_t adMax = 2047) {
    sources.SealAll();
    for (const auto& source : sources.sources) {
      ownedPlots.push_back(std::make_unique<test::FakePlot>(source.path, dt, frequency, adMax));
      plots.plots.push_back(ownedPlots.back().get());
    }
  }

  test::SpikeFileContents Output(const std::string& name, int32_t channels) {
    return test::ReadSpikeFile(dir.File(name), kNumSpikePoints, channels);
  }

  test::TempDir dir;
  test::FakeDataSourceManager sources;
  test::FakePlotCollection plots;
  std::vector<std::unique_ptr<test::FakePlot>> ownedPlots;
  ExtractionRun run{plots, sources};
};

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

TEST_F(ExtractionRunTest, SpikeFileHeaderCarriesEverySourceAndTheGroupsLastPlotValues) {
  AddSource("a.kcs", 3);
  AddSource("b.kcs", 3);
  Source(0).header = {{"-ADChannel", "0"}, {"-ADBitVolts", "0.1"}};
  Source(1).header = {{"-ADChannel", "1"}, {"-ADBitVolts", "0.2"}};
  sources.SealAll();
  test::FakePlot first(Source(0).path, kDt, 32000.0, 1000);
  test::FakePlot second(Source(1).path, kDt, 30000.0, 2047);
  plots.plots = {&first, &second};
  run.Parameters().NumChannels = 2;
  ASSERT_EQ(run.CreateSpikeFiles(), 0);
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

// ---- Run over the plots ---------------------------------------------------------------------

TEST_F(ExtractionRunTest, FivePlotsWithTwoChannelsGiveTwoStereotrodeFiles) {
  for (const char* name : {"p0.kcs", "p1.kcs", "p2.kcs", "p3.kcs", "p4.kcs"}) AddSource(name, 4);
  ShowAll();
  run.Parameters().NumChannels = 2;
  test::CapturedReports reports;
  EXPECT_EQ(run.CreateSpikeFiles(), 0);
  EXPECT_TRUE(reports.Empty());
  ASSERT_EQ(run.WrittenFiles().size(), 2u);
  EXPECT_EQ(run.WrittenFiles()[0].path, dir.File("SpikeFile_p0_p1.kst"));
  EXPECT_EQ(run.WrittenFiles()[1].path, dir.File("SpikeFile_p2_p3.kst"));
  int files = 0;
  for (const auto& entry : std::filesystem::directory_iterator(dir.Path())) {
    files += entry.path().extension() == ".kst";
  }
  EXPECT_EQ(files, 2);
}

TEST_F(ExtractionRunTest, MissingPlotStopsTheRunWithItsIndexAndKeepsEarlierFiles) {
  for (const char* name : {"p0.kcs", "p1.kcs", "p2.kcs", "p3.kcs"}) AddSource(name, 3);
  ShowAll();
  plots.plots[2] = nullptr;
  test::CapturedReports reports;
  EXPECT_EQ(run.CreateSpikeFiles(), -1);
  ASSERT_EQ(reports.Count(), 1u);
  EXPECT_EQ(reports.Texts()[0], "Error retriving Plot Pointer, Pointer Is NULL, Plot Index = 2");
  EXPECT_TRUE(std::filesystem::exists(dir.File("SpikeFile_p0.kse")));
  EXPECT_TRUE(std::filesystem::exists(dir.File("SpikeFile_p1.kse")));
  EXPECT_FALSE(std::filesystem::exists(dir.File("SpikeFile_p3.kse")));
}

TEST_F(ExtractionRunTest, FailedPlotLookupOrUnknownSourceStopsTheRun) {
  AddSource("p0.kcs", 3);
  AddSource("p1.kcs", 3);
  ShowAll();
  plots.failingIndex = 1;
  EXPECT_EQ(run.CreateSpikeFiles(), -1);
  EXPECT_EQ(run.WrittenFiles().size(), 1u);

  plots.failingIndex = -1;
  test::FakePlot stranger(dir.File("gone.kcs"), kDt, 32000.0, 2047);
  plots.plots[0] = &stranger;
  EXPECT_EQ(run.CreateSpikeFiles(), -1);
  EXPECT_TRUE(run.WrittenFiles().empty());
}

TEST_F(ExtractionRunTest, RefusedParametersStopTheRunBeforeAnyFile) {
  AddSource("p0.kcs", 3);
  ShowAll();
  run.Parameters().AlignmentPt = 40;
  test::CapturedReports reports;
  EXPECT_EQ(run.CreateSpikeFiles(), -1);
  ASSERT_EQ(reports.Count(), 1u);
  EXPECT_EQ(reports.Texts()[0],
            "Invalid Alignment Point For Extracting Paramters In SetExtractionParameters(), Alignment Point  = 39");
  EXPECT_FALSE(std::filesystem::exists(dir.File("SpikeFile_p0.kse")));
}

TEST_F(ExtractionRunTest, UnwritableOutputDirectoryReportsOpenFailureForEachGroupAndGoesOn) {
  AddSource("p0.kcs", 3);
  AddSource("p1.kcs", 3);
  ShowAll();
  run.Parameters().OutputDirectory = dir.File("missing/deeper");
  test::CapturedReports reports;
  EXPECT_EQ(run.CreateSpikeFiles(), 0);
  EXPECT_EQ(reports.Count(), 2u);
  EXPECT_EQ(reports.CountOf(kOpenFailure), 2u);
  EXPECT_TRUE(run.WrittenFiles().empty());
}

TEST_F(ExtractionRunTest, WriteFailureEndsItsGroupAndTheNextGroupIsWrittenInFull) {
  AddSource("p0.kcs", 20);
  AddSource("p1.kcs", 20);
  for (int32_t r = 1; r < 19; ++r) {
    Source(0).AddSpike(r, 100);
    Source(1).AddSpike(r, 100);
  }
  ShowAll();
  // The first group's file name leads to a device that is always full.
  std::filesystem::create_symlink("/dev/full", dir.File("SpikeFile_p0.kse"));
  test::CapturedReports reports;
  EXPECT_EQ(run.CreateSpikeFiles(), 0);
  EXPECT_FALSE(reports.Empty());
  ASSERT_EQ(run.WrittenFiles().size(), 2u);
  EXPECT_FALSE(run.WrittenFiles()[0].complete);
  EXPECT_TRUE(run.WrittenFiles()[1].complete);
  EXPECT_EQ(run.WrittenFiles()[1].spikeCount, 18);
  EXPECT_EQ(Output("SpikeFile_p1.kse", 1).Spikes.size(), 18u);
  // No detection work was spent on the group that could not be written: every read was the second's.
  EXPECT_LE(sources.recordReads, 3 * 20);
}

TEST_F(ExtractionRunTest, GroupWhoseFileNameAnEarlierGroupOfTheRunUsedIsSkippedNotWrittenOver) {
  // Two days' recordings of the same electrode carry the same title; into one output folder the
  // second group would silently replace the first one's spikes.
  std::filesystem::create_directory(dir.File("day1"));
  std::filesystem::create_directory(dir.File("day2"));
  std::filesystem::create_directory(dir.File("out"));
  AddSource("day1/TT1.kcs", 5);
  AddSource("day2/TT1.kcs", 5);
  AddSource("day2/TT2.kcs", 5);
  Source(0).AddSpike(1, 100);
  Source(1).AddSpike(3, 200);
  ShowAll();
  run.Parameters().OutputDirectory = dir.File("out");
  test::CapturedReports reports;
  EXPECT_EQ(run.CreateSpikeFiles(), 0);
  const std::string reused = dir.File("out/SpikeFile_TT1.kse");
  ASSERT_EQ(reports.Count(), 1u);
  EXPECT_EQ(reports.Texts()[0], "An earlier group of this run already wrote this spike file; group skipped: " + reused);
  ASSERT_EQ(run.WrittenFiles().size(), 2u);
  EXPECT_EQ(run.WrittenFiles()[0].path, reused);
  EXPECT_EQ(run.WrittenFiles()[1].path, dir.File("out/SpikeFile_TT2.kse"));
  const auto file = test::ReadSpikeFile(reused, kNumSpikePoints, 1);
  ASSERT_EQ(file.Spikes.size(), 1u);
  EXPECT_EQ(file.Spikes[0].Timestamp, SampleTime(kStart + kRecordSpan, 100));
}

TEST_F(ExtractionRunTest, SpikeFileOfAnEarlierRunIsWrittenOver) {
  AddSource("a.kcs", 5);
  Source(0).AddSpike(1, 100);
  ShowAll();
  test::CapturedReports reports;
  ASSERT_EQ(run.CreateSpikeFiles(), 0);
  ASSERT_EQ(run.CreateSpikeFiles(), 0);
  EXPECT_TRUE(reports.Empty());
  EXPECT_EQ(Output("SpikeFile_a.kse", 1).Spikes.size(), 1u);
}

TEST_F(ExtractionRunTest, EmptyGroupIsReported) {
  test::CapturedReports reports;
  EXPECT_EQ(run.CreateSpikeBuffers({}, kDt), -1);
  ASSERT_EQ(reports.Count(), 1u);
  EXPECT_EQ(reports.Texts()[0], "Error, There are not any files to create spike files from in CreateSpikeBuffers()");
}

// ---- The block walk -------------------------------------------------------------------------

TEST_F(ExtractionRunTest, SpikeIsStoredAtItsPeakTimeWithTheWindowAlignedOnThePeak) {
  AddSource("a.kcs", 5);
  Source(0).AddSpike(2, 100);
  ShowAll();
  ASSERT_EQ(run.CreateSpikeFiles(), 0);
  const auto file = Output("SpikeFile_a.kse", 1);
  ASSERT_EQ(file.Spikes.size(), 1u);
  EXPECT_EQ(file.Spikes[0].Timestamp, SampleTime(kStart + 2 * kRecordSpan, 100));
  EXPECT_EQ(file.Spikes[0].Samples[kAlignmentIndex - 2], 40);
  EXPECT_EQ(file.Spikes[0].Samples[kAlignmentIndex - 1], 80);
  EXPECT_EQ(file.Spikes[0].Samples[kAlignmentIndex], 100);
  EXPECT_EQ(file.Spikes[0].Samples[kAlignmentIndex + 1], 60);
  EXPECT_EQ(file.Spikes[0].Samples[kAlignmentIndex + 2], 20);
  EXPECT_TRUE(file.WholeRecords);
  EXPECT_EQ(run.WrittenFiles().at(0).spikeCount, 1);
}

TEST_F(ExtractionRunTest, WindowReachingIntoTheNextRecordIsStoredOnce) {
  AddSource("a.kcs", 5);
  Source(0).AddSpike(2, 510);  // the shape's last sample is sample 0 of record 3
  ShowAll();
  ASSERT_EQ(run.CreateSpikeFiles(), 0);
  const auto file = Output("SpikeFile_a.kse", 1);
  ASSERT_EQ(file.Spikes.size(), 1u);
  EXPECT_EQ(file.Spikes[0].Timestamp, SampleTime(kStart + 2 * kRecordSpan, 510));
  EXPECT_EQ(file.Spikes[0].Samples[kAlignmentIndex + 2], 20);
}

TEST_F(ExtractionRunTest, WindowReachingBackIntoThePreviousRecordIsStored) {
  AddSource("a.kcs", 5);
  Source(0).AddSpike(2, 3);  // the window starts at sample 508 of record 1
  ShowAll();
  ASSERT_EQ(run.CreateSpikeFiles(), 0);
  const auto file = Output("SpikeFile_a.kse", 1);
  ASSERT_EQ(file.Spikes.size(), 1u);
  EXPECT_EQ(file.Spikes[0].Timestamp, SampleTime(kStart + 2 * kRecordSpan, 3));
  EXPECT_EQ(file.Spikes[0].Samples[kAlignmentIndex], 100);
  EXPECT_EQ(file.Spikes[0].Samples[kAlignmentIndex - 2], 40);  // sample 1 of record 2
}

TEST_F(ExtractionRunTest, FirstRecordIsSearchedFromTheAlignmentPointOn) {
  // Peak 10: the crossing at sample 9 follows a quiet sample 8 and its window starts at sample 3.
  // Peak 9: the excursion is already under way at sample 8, where the search begins.
  AddSource("early.kcs", 3);
  AddSource("late.kcs", 3);
  Source(0).AddSpike(0, 9);
  Source(1).AddSpike(0, 10);
  ShowAll();
  ASSERT_EQ(run.CreateSpikeFiles(), 0);
  EXPECT_EQ(Output("SpikeFile_early.kse", 1).Spikes.size(), 0u);
  const auto late = Output("SpikeFile_late.kse", 1);
  ASSERT_EQ(late.Spikes.size(), 1u);
  EXPECT_EQ(late.Spikes[0].Timestamp, SampleTime(kStart, 10));
}

TEST_F(ExtractionRunTest, LastRecordKeepsWindowsInsideTheRecord) {
  // Peak 487: window 480..511 fits; peak 488 would need sample 512.
  AddSource("fits.kcs", 3);
  AddSource("spills.kcs", 3);
  Source(0).AddSpike(2, 487);
  Source(1).AddSpike(2, 488);
  ShowAll();
  ASSERT_EQ(run.CreateSpikeFiles(), 0);
  const auto fits = Output("SpikeFile_fits.kse", 1);
  ASSERT_EQ(fits.Spikes.size(), 1u);
  EXPECT_EQ(fits.Spikes[0].Timestamp, SampleTime(kStart + 2 * kRecordSpan, 487));
  EXPECT_EQ(Output("SpikeFile_spills.kse", 1).Spikes.size(), 0u);
}

TEST_F(ExtractionRunTest, RecordsAcrossATimeGapAreNotJoined) {
  // Spikes whose windows straddle records 3 and 4: joined when contiguous, dropped across a gap.
  AddSource("joined.kcs", 8);
  AddSource("gap.kcs", 8);
  for (int32_t r = 4; r < 8; ++r) Source(1).timestamps[r] += 1'000'000;
  for (int32_t i : {0, 1}) {
    Source(i).AddSpike(3, 505);
    Source(i).AddSpike(5, 2);
  }
  ShowAll();
  ASSERT_EQ(run.CreateSpikeFiles(), 0);
  EXPECT_EQ(Output("SpikeFile_joined.kse", 1).Spikes.size(), 2u);
  EXPECT_EQ(Output("SpikeFile_gap.kse", 1).Spikes.size(), 1u);  // records 4 and 5 are still joined
}

TEST_F(ExtractionRunTest, SpikeRightAfterAGapIsDroppedButOneLaterIsKept) {
  AddSource("gap.kcs", 8);
  for (int32_t r = 4; r < 8; ++r) Source(0).timestamps[r] += 1'000'000;
  Source(0).AddSpike(4, 3);    // would need record 3 for its window
  Source(0).AddSpike(4, 200);
  ShowAll();
  ASSERT_EQ(run.CreateSpikeFiles(), 0);
  const auto file = Output("SpikeFile_gap.kse", 1);
  ASSERT_EQ(file.Spikes.size(), 1u);
  EXPECT_EQ(file.Spikes[0].Timestamp, SampleTime(kStart + 4 * kRecordSpan + 1'000'000, 200));
}

TEST_F(ExtractionRunTest, OutOfStepChannelIsBroughtIntoStep) {
  // Channel b starts three records earlier; spikes on both channels at the same times must end up
  // in the same records, channel by channel.
  AddSource("a.kcs", 10);
  AddSource("b.kcs", 13, kStart - 3 * kRecordSpan);
  Source(0).AddSpike(4, 100, 100);
  Source(1).AddSpike(7, 100, 200);
  Source(0).AddSpike(9, 300, 100);
  Source(1).AddSpike(12, 300, 200);
  ShowAll();
  run.Parameters().NumChannels = 2;
  ASSERT_EQ(run.CreateSpikeFiles(), 0);
  const auto file = Output("SpikeFile_a_b.kst", 2);
  ASSERT_EQ(file.Spikes.size(), 2u);
  EXPECT_EQ(file.Spikes[0].Timestamp, SampleTime(kStart + 4 * kRecordSpan, 100));
  EXPECT_EQ(SampleAt(file.Spikes[0], kAlignmentIndex, 0, 2), 100);
  EXPECT_EQ(SampleAt(file.Spikes[0], kAlignmentIndex, 1, 2), 200);
  EXPECT_EQ(file.Spikes[1].Timestamp, SampleTime(kStart + 9 * kRecordSpan, 300));
  EXPECT_EQ(SampleAt(file.Spikes[1], kAlignmentIndex, 1, 2), 200);
}

TEST_F(ExtractionRunTest, PassesThatOnlyBringChannelsIntoStepAreNotCounted) {
  // a leads by three records, then lacks three that b has: six catch-up passes in all. Were they
  // counted, the walk would stop three blocks before the spike at the end.
  test::FakeSource a;
  a.path = dir.File("a.kcs");
  test::FakeSource b;
  b.path = dir.File("b.kcs");
  for (int64_t t = -3; t <= 12; ++t) {
    if (t < 5 || t > 7) a.AddRecords(kStart + t * kRecordSpan, kRecordSpan, 1);
    if (t >= 0) b.AddRecords(kStart + t * kRecordSpan, kRecordSpan, 1);
  }
  sources.sources = {a, b};
  Source(0).AddSpike(12, 100);  // a's record 12 is time 12, its last
  Source(1).AddSpike(12, 100);
  Source(0).AddSpike(6, 100);   // a's record 6 is time 3
  Source(1).AddSpike(3, 100);
  ShowAll();
  run.Parameters().NumChannels = 2;
  ASSERT_EQ(run.CreateSpikeFiles(), 0);
  const auto file = Output("SpikeFile_a_b.kst", 2);
  ASSERT_EQ(file.Spikes.size(), 2u);
  EXPECT_EQ(file.Spikes[0].Timestamp, SampleTime(kStart + 3 * kRecordSpan, 100));
  EXPECT_EQ(file.Spikes[1].Timestamp, SampleTime(kStart + 12 * kRecordSpan, 100));
}

TEST_F(ExtractionRunTest, NeighboursThatDifferAcrossChannelsStayOutOfTheWindows) {
  // b lacks the record at time 5. At time 4 the channels' next records differ (5 and 6), at time 6
  // their previous ones (5 and 4): windows reaching into them are dropped, even though channel 0's
  // own neighbours are seamless; the others are kept.
  test::FakeSource a;
  a.path = dir.File("a.kcs");
  test::FakeSource b;
  b.path = dir.File("b.kcs");
  for (int64_t t = 0; t < 10; ++t) {
    a.AddRecords(kStart + t * kRecordSpan, kRecordSpan, 1);
    if (t != 5) b.AddRecords(kStart + t * kRecordSpan, kRecordSpan, 1);
  }
  sources.sources = {a, b};
  Source(0).AddSpike(4, 505);
  Source(1).AddSpike(4, 505);  // b's record 4 is time 4
  Source(0).AddSpike(6, 3);
  Source(1).AddSpike(5, 3);    // b's record 5 is time 6
  Source(0).AddSpike(6, 200);
  Source(1).AddSpike(5, 200);
  ShowAll();
  run.Parameters().NumChannels = 2;
  ASSERT_EQ(run.CreateSpikeFiles(), 0);
  const auto file = Output("SpikeFile_a_b.kst", 2);
  ASSERT_EQ(file.Spikes.size(), 1u);
  EXPECT_EQ(file.Spikes[0].Timestamp, SampleTime(kStart + 6 * kRecordSpan, 200));
}

TEST_F(ExtractionRunTest, ScanAfterAGapStartsAtTheAlignmentPoint) {
  // A broad spike crossing at sample 5 is already under way at sample 8, so after a gap it is not
  // taken; in a record joined to its predecessor it is. Records up to 2 x 512 sample intervals
  // apart still count as joined.
  AddSource("joined.kcs", 6);
  AddSource("atlimit.kcs", 6);
  AddSource("beyond.kcs", 6);
  AddSource("gap.kcs", 6);
  const int64_t shifts[] = {0, kRecordSpan, kRecordSpan + 1, 5'000'000};
  for (int32_t i = 0; i < 4; ++i) {
    for (int32_t r = 3; r < 6; ++r) Source(i).timestamps[r] += shifts[i];
    for (int32_t k = 5; k <= 12; ++k) Source(i).samples[3][k] = static_cast<int16_t>(50 + 10 * (k - 5));
    Source(i).samples[3][13] = 40;
  }
  ShowAll();
  ASSERT_EQ(run.CreateSpikeFiles(), 0);
  const auto joined = Output("SpikeFile_joined.kse", 1);
  ASSERT_EQ(joined.Spikes.size(), 1u);
  EXPECT_EQ(joined.Spikes[0].Timestamp, SampleTime(kStart + 3 * kRecordSpan, 12));
  EXPECT_EQ(Output("SpikeFile_atlimit.kse", 1).Spikes.size(), 1u);
  EXPECT_EQ(Output("SpikeFile_beyond.kse", 1).Spikes.size(), 0u);
  EXPECT_EQ(Output("SpikeFile_gap.kse", 1).Spikes.size(), 0u);
}

TEST_F(ExtractionRunTest, GroupEndsWhereItsShortestChannelEnds) {
  AddSource("long.kcs", 10);
  AddSource("short.kcs", 6);
  for (int32_t i : {0, 1}) {
    Source(i).AddSpike(3, 100);
    if (i == 0) Source(i).AddSpike(8, 100);
  }
  ShowAll();
  run.Parameters().NumChannels = 2;
  ASSERT_EQ(run.CreateSpikeFiles(), 0);
  const auto file = Output("SpikeFile_long_short.kst", 2);
  ASSERT_EQ(file.Spikes.size(), 1u);
  EXPECT_EQ(file.Spikes[0].Timestamp, SampleTime(kStart + 3 * kRecordSpan, 100));
}

TEST_F(ExtractionRunTest, UnreadableRecordEndsItsGroupQuietlyAndTheNextGroupFollows) {
  AddSource("broken.kcs", 10);
  AddSource("fine.kcs", 10);
  for (int32_t i : {0, 1}) {
    Source(i).AddSpike(2, 100);
    Source(i).AddSpike(8, 100);
  }
  Source(0).failingRecord = 6;
  ShowAll();
  test::CapturedReports reports;
  ASSERT_EQ(run.CreateSpikeFiles(), 0);
  EXPECT_TRUE(reports.Empty());
  EXPECT_EQ(Output("SpikeFile_broken.kse", 1).Spikes.size(), 1u);
  EXPECT_EQ(Output("SpikeFile_fine.kse", 1).Spikes.size(), 2u);
}

TEST_F(ExtractionRunTest, SampleTimesAreComputedInDoublePrecisionAndTruncated) {
  // Above 2^52 a double holds whole microseconds only, so the sum rounds before it is truncated.
  const double dt = 1e6 / 30000.0;
  const int64_t start = 5'000'000'000'000'001;
  test::FakeSource source;
  source.path = dir.File("a.kcs");
  for (int32_t r = 0; r < 4; ++r) {
    source.timestamps.push_back(start + static_cast<int64_t>(r * 512 * dt));
    source.samples.emplace_back(kSamplesPerRecord, int16_t{0});
  }
  sources.sources.push_back(source);
  Source(0).AddSpike(1, 250);
  Source(0).AddSpike(2, 509);
  ShowAll(dt, 30000.0);
  ASSERT_EQ(run.CreateSpikeFiles(), 0);
  const auto file = Output("SpikeFile_a.kse", 1);
  ASSERT_EQ(file.Spikes.size(), 2u);
  EXPECT_EQ(file.Spikes[0].Timestamp, SampleTime(Source(0).timestamps[1], 250, dt));
  EXPECT_EQ(file.Spikes[1].Timestamp, SampleTime(Source(0).timestamps[2], 509, dt));
  EXPECT_NE(file.Spikes[1].Timestamp,
            static_cast<uint64_t>(Source(0).timestamps[2] + static_cast<int64_t>(509 * dt)));
}

TEST_F(ExtractionRunTest, SampleTimesPastTheUnsignedRangeStayAtItsTopInsteadOfWrapping) {
  // A negative record timestamp (a damaged file) reads as just below 2^64; the sample times after
  // it cannot be represented and must not wrap around to the start of time.
  test::FakeSource source;
  source.path = dir.File("a.kcs");
  source.AddRecords(-1, 0, 3);
  sources.sources.push_back(source);
  Source(0).AddSpike(1, 100);
  ShowAll();
  ASSERT_EQ(run.CreateSpikeFiles(), 0);
  const auto file = Output("SpikeFile_a.kse", 1);
  ASSERT_EQ(file.Spikes.size(), 1u);
  EXPECT_EQ(file.Spikes[0].Timestamp, std::numeric_limits<uint64_t>::max());
}

TEST_F(ExtractionRunTest, ModeAndTypeReachTheDetectorInTheirOwnPlaces) {
  AddSource("a.kcs", 5);
  Source(0).AddSpike(1, 100, 100);
  Source(0).AddSpike(3, 100, -100);
  ShowAll();
  run.Parameters().ExtractionMode = 0;
  run.Parameters().ExtractionType = 1;  // negative only
  ASSERT_EQ(run.CreateSpikeFiles(), 0);
  const auto file = Output("SpikeFile_a.kse", 1);
  ASSERT_EQ(file.Spikes.size(), 1u);
  EXPECT_EQ(file.Spikes[0].Timestamp, SampleTime(kStart + 3 * kRecordSpan, 100));
  EXPECT_EQ(file.Spikes[0].Samples[kAlignmentIndex], -100);
}

TEST_F(ExtractionRunTest, SlopeModeFindsSteepRisesButNotSlowOnes) {
  AddSource("a.kcs", 5);
  // A slow ramp to 300 in steps of 10 per sample, then a steep spike (steps of 40).
  for (int32_t i = 0; i < 30; ++i) Source(0).samples[1][100 + i] = static_cast<int16_t>(10 * (i + 1));
  Source(0).AddSpike(3, 100, 100);
  ShowAll();
  run.Parameters().ExtractionMode = 1;
  run.Parameters().Threshold = 30.0;
  ASSERT_EQ(run.CreateSpikeFiles(), 0);
  const auto file = Output("SpikeFile_a.kse", 1);
  ASSERT_EQ(file.Spikes.size(), 1u);
  EXPECT_EQ(file.Spikes[0].Timestamp, SampleTime(kStart + 3 * kRecordSpan, 100));
}


// ---- Runs at scale: threads, cancelling, faults ---------------------------------------------

namespace scale {

// The header's "Time Opened" line is the one part two runs may differ in.
std::string WithoutTimeLine(std::string bytes) {
  const std::size_t from = bytes.find("## Time Opened: ");
  if (from == std::string::npos) return bytes;
  const std::size_t end = bytes.find("\r\n", from);
  std::fill(bytes.begin() + static_cast<std::ptrdiff_t>(from), bytes.begin() + static_cast<std::ptrdiff_t>(end), '*');
  return bytes;
}

std::vector<std::string> SpikeFilesIn(const std::string& folder) {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) names.push_back(entry.path().filename());
  std::sort(names.begin(), names.end());
  return names;
}

}  // namespace scale

TEST_F(ExtractionRunTest, GroupsOnSeveralThreadsWriteTheSameFilesAsOnOne) {
  // Random groups with spikes, pauses, channels out of step and unequal lengths: whatever the number
  // of threads, every file is the one a single thread writes.
  std::mt19937 random(20261208);
  for (int32_t i = 0; i < 8; ++i) {
    const int32_t records = 20 + static_cast<int32_t>(random() % 30);
    const int32_t source = AddSource("s" + std::to_string(i) + ".kcs", records);
    if (i % 3 == 1) {
      for (int32_t r = records / 2; r < records; ++r) Source(source).timestamps[r] += 400'000;
    }
    if (i % 4 == 2) Source(source).timestamps.erase(Source(source).timestamps.begin()), Source(source).samples.pop_back();
    for (int32_t n = 0; n < records * 2; ++n) {
      Source(source).AddSpike(static_cast<int32_t>(random() % (records - 1)), static_cast<int32_t>(random() % 512),
                              static_cast<int16_t>(60 + random() % 200));
    }
  }
  ShowAll();
  const std::string single = dir.File("jobs1");  // two folder names of one length: the same header size
  const std::string several = dir.File("jobs3");
  std::filesystem::create_directory(single);
  std::filesystem::create_directory(several);
  for (const int32_t channels : {1, 2, 4}) {
    run.Parameters().NumChannels = channels;
    run.Parameters().ExtractionType = kExtractionTypeBoth;
    run.SetJobs(1);
    run.Parameters().OutputDirectory = single;
    ASSERT_EQ(run.CreateSpikeFiles(), 0);
    run.SetJobs(3);
    run.Parameters().OutputDirectory = several;
    ASSERT_EQ(run.CreateSpikeFiles(), 0);
    ASSERT_EQ(run.WrittenFiles().size(), 8u / static_cast<std::size_t>(channels));
    const auto names = scale::SpikeFilesIn(single);
    ASSERT_EQ(names, scale::SpikeFilesIn(several));
    for (const std::string& name : names) {
      std::string one = test::ReadWholeFile(single + "/" + name);
      std::string many = test::ReadWholeFile(several + "/" + name);
      // The header names the file's own folder.
      const std::size_t at = many.find(several);
      ASSERT_NE(at, std::string::npos);
      many.replace(at, several.size(), single);
      EXPECT_TRUE(scale::WithoutTimeLine(one) == scale::WithoutTimeLine(many)) << name;
    }
  }
}

TEST_F(ExtractionRunTest, TimeGoingBackIsReportedOncePerFileAndTheSpikesAfterItAreFound) {
  AddSource("a.kcs", 120);
  AddSource("b.kcs", 120);
  int32_t clear = 0;
  for (int32_t r = 1; r < 119; ++r) {
    for (const int32_t at : {100, 300}) {
      Source(0).AddSpike(r, at);
      Source(1).AddSpike(r, at, 80);
      ++clear;
    }
  }
  // Part-way the clock starts again from the first record's time, twice.
  for (int32_t r = 50; r < 120; ++r) {
    for (int32_t i : {0, 1}) Source(i).timestamps[r] = kStart + (r - 50) * kRecordSpan;
  }
  for (int32_t r = 90; r < 120; ++r) {
    for (int32_t i : {0, 1}) Source(i).timestamps[r] = kStart + (r - 90) * kRecordSpan;
  }
  ShowAll();
  run.Parameters().NumChannels = 2;
  test::CapturedReports reports;
  ASSERT_EQ(run.CreateSpikeFiles(), 0);
  const std::string message = "Timestamps go back here; the recording is taken up again as after a pause, at record 50: ";
  EXPECT_EQ(reports.Texts(), (std::vector<std::string>{message + dir.File("a.kcs"), message + dir.File("b.kcs")}));
  const auto file = Output("SpikeFile_a_b.kst", 2);
  EXPECT_EQ(static_cast<int32_t>(file.Spikes.size()), clear);
  EXPECT_EQ(run.FailedGroups(), 0);
}

TEST_F(ExtractionRunTest, CancelKeepsFinishedGroupsAndLeavesNothingOfTheGroupBeingWritten) {
  for (const char* name : {"g0.kcs", "g1.kcs", "g2.kcs"}) {
    const int32_t source = AddSource(name, 40);
    for (int32_t r = 1; r < 39; ++r) Source(source).AddSpike(r, 200);
  }
  ShowAll();
  sources.onRead = [&](int32_t source, int64_t record) {
    if (source == 1 && record == 20) run.Cancel();
  };
  ASSERT_EQ(run.CreateSpikeFiles(), 0);
  EXPECT_TRUE(run.WasCancelled());
  EXPECT_EQ(scale::SpikeFilesIn(dir.Path()), std::vector<std::string>{"SpikeFile_g0.kse"});
  EXPECT_EQ(Output("SpikeFile_g0.kse", 1).Spikes.size(), 38u);
  ASSERT_EQ(run.WrittenFiles().size(), 2u);
  EXPECT_EQ(run.WrittenFiles()[0].outcome, ExtractionRun::Outcome::Written);
  EXPECT_EQ(run.WrittenFiles()[1].outcome, ExtractionRun::Outcome::Cancelled);
  EXPECT_FALSE(run.WrittenFiles()[1].complete);
  EXPECT_EQ(run.FailedGroups(), 0);

  // The next run starts afresh.
  sources.onRead = nullptr;
  ASSERT_EQ(run.CreateSpikeFiles(), 0);
  EXPECT_FALSE(run.WasCancelled());
  EXPECT_EQ(scale::SpikeFilesIn(dir.Path()).size(), 3u);
}

TEST_F(ExtractionRunTest, ProgressEndsWithEveryGroupDoneAndEveryRecordWalked) {
  AddSource("p0.kcs", 7);
  AddSource("p1.kcs", 9);
  AddSource("p2.kcs", 4);
  ShowAll();
  run.SetJobs(2);
  ASSERT_EQ(run.CreateSpikeFiles(), 0);
  const auto views = run.Progress().Snapshot();
  ASSERT_EQ(views.size(), 3u);
  for (std::size_t i = 0; i < views.size(); ++i) {
    EXPECT_EQ(views[i].state, ExtractionProgress::State::Done);
    EXPECT_EQ(views[i].doneRecords, sources.GetNumRecords(static_cast<int32_t>(i)));
    EXPECT_EQ(views[i].totalRecords, views[i].doneRecords);
    EXPECT_EQ(views[i].path, run.WrittenFiles()[i].path);
  }
}

TEST_F(ExtractionRunTest, NoiseThresholdIsKTimesTheLargestChannelsMedianMagnitudeOverItsFirstTenSeconds) {
  // 1000 Hz: ten seconds are 10000 samples, 19.5 records; what follows must not count.
  std::mt19937 random(7);
  for (const double spread : {30.0, 55.0}) {
    const int32_t source = AddSource("n" + std::to_string(static_cast<int>(spread)) + ".kcs", 30);
    std::normal_distribution<double> noise(0.0, spread);
    for (auto& record : Source(source).samples) {
      for (auto& sample : record) sample = static_cast<int16_t>(std::lround(noise(random)));
    }
    for (std::size_t r = 20; r < 30; ++r) std::fill(Source(source).samples[r].begin(), Source(source).samples[r].end(), 5000);
  }
  ShowAll(1000.0, 1000.0);
  // The reference: sort the first 10000 magnitudes of each channel and take the middle one.
  double expectedNoise = 0.0;
  for (int32_t i : {0, 1}) {
    std::vector<int32_t> magnitudes;
    for (const auto& record : Source(i).samples) {
      for (const int16_t sample : record) {
        if (magnitudes.size() < 10000) magnitudes.push_back(std::abs(int32_t{sample}));
      }
    }
    std::sort(magnitudes.begin(), magnitudes.end());
    expectedNoise = std::max(expectedNoise, magnitudes[magnitudes.size() / 2] / 0.6745);
  }
  run.Parameters().NumChannels = 2;
  run.Parameters().NoiseThresholdFactor = 4.5;
  ASSERT_EQ(run.CreateSpikeFiles(), 0);
  ASSERT_EQ(run.WrittenFiles().size(), 1u);
  const auto& written = run.WrittenFiles()[0];
  EXPECT_DOUBLE_EQ(written.noiseLevel, expectedNoise);
  EXPECT_EQ(written.threshold, static_cast<int32_t>(4.5 * expectedNoise));
  const auto lines = HeaderLines(Output("SpikeFile_n30_n55.kst", 2).Header);
  const std::string thresholdText = std::to_string(written.threshold);
  EXPECT_NE(std::find(lines.begin(), lines.end(), "\t-ThreshVal  " + thresholdText + "  " + thresholdText),
            lines.end());
}

}  // namespace
}  // namespace skelvane
