// The progress line of an extraction: percentages, rate, time left and the groups being written.
#include "extract/ProgressReport.h"

#include <gtest/gtest.h>

namespace skelvane {
namespace {

using State = ExtractionProgress::State;

ExtractionProgress::GroupView Group(const std::string& path, int64_t done, int64_t total, int32_t channels,
                                    State state) {
  ExtractionProgress::GroupView view;
  view.path = path;
  view.doneRecords = done;
  view.totalRecords = total;
  view.channels = channels;
  view.state = state;
  return view;
}

TEST(ProgressReport, LineShowsOverallAndRunningFilesThenAFinalHundredPercent) {
  // Three tetrodes of a million records (2048 samples each across the channels).
  const std::vector<ExtractionProgress::GroupView> groups = {
      Group("/out/SpikeFile_a.ktt", 500'000, 1'000'000, 4, State::Running),
      Group("/out/SpikeFile_b.ktt", 1'000'000, 1'000'000, 4, State::Done),
      Group("/out/SpikeFile_c.ktt", 0, 1'000'000, 4, State::Waiting)};
  // 1.5 million records of 2048 samples in 2 s is 1.536 G samples/s; as many left take 2 s more.
  EXPECT_EQ(ProgressReport::Line(groups, 2.0, false),
            "Extracting 3 files: 50%, 1.54 G samples/s, 2 s left | SpikeFile_a.ktt 50%");
  EXPECT_EQ(ProgressReport::Line(groups, 2.0, true), "Extracting 3 files: 100%, 1.54 G samples/s, done in 2.0 s");
  const auto totals = ProgressReport::Sum(groups);
  EXPECT_EQ(totals.doneSamples, int64_t{1'500'000} * 2048);
  EXPECT_EQ(totals.totalSamples, int64_t{3'000'000} * 2048);
  EXPECT_EQ(totals.filesDone, 1);
  EXPECT_EQ(totals.files, 3);
}

TEST(ProgressReport, PercentReachesHundredOnlyAtTheEnd) {
  EXPECT_EQ(ProgressReport::Percent(0, 0, false), 0);
  EXPECT_EQ(ProgressReport::Percent(999, 1000, false), 99);
  EXPECT_EQ(ProgressReport::Percent(1000, 1000, false), 99);  // walked, still closing
  EXPECT_EQ(ProgressReport::Percent(3, 1000, true), 100);     // a group that ended early
  EXPECT_EQ(ProgressReport::Percent(1, 3, false), 33);
}

TEST(ProgressReport, RatesAndDurationsReadAsPeopleSayThem) {
  EXPECT_EQ(ProgressReport::Rate(812.4e6), "812 M samples/s");
  EXPECT_EQ(ProgressReport::Rate(2.345e9), "2.35 G samples/s");
  EXPECT_EQ(ProgressReport::Duration(0.2), "1 s");
  EXPECT_EQ(ProgressReport::Duration(125.0), "2 min 5 s");
  EXPECT_EQ(ProgressReport::Duration(3725.0), "1 h 2 min");
  EXPECT_EQ(ProgressReport::Duration(-4.0), "0 s");
}

}  // namespace
}  // namespace skelvane
