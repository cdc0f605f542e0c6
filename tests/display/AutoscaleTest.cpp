// Autoscale: the gain puts the largest excursion in view at nine tenths of half the trace, whether
// the peak comes from the columns the plot drew, from its summary or from columns worked out for it.
#include <gtest/gtest.h>

#include <cmath>

#include "display/Autoscale.h"
#include "display/CscPlot.h"
#include "filter/FilterChoice.h"
#include "tests/support/FakeDataSourceManager.h"
#include "tests/support/TempDir.h"
#include "tests/support/TestFrame.h"

namespace skelvane {
namespace {

constexpr int64_t kStart = 1'000'000;
constexpr int64_t kRecordMicros = 16'000;
constexpr const char* kPath = "/rec/CSC2.kcs";

class AutoscaleTest : public ::testing::Test {
 protected:
  // 5000 records of a sine of amplitude 500, but 1500 in records 1000..1009.
  void SetUp() override {
    const int32_t source = manager.AddSource(kPath);
    manager.sources[source].header["-ADMaxValue"] = "2047";
    for (int32_t r = 0; r < 5000; ++r) {
      const double amplitude = r >= 1000 && r < 1010 ? 1500.0 : 500.0;
      std::vector<int16_t> samples(kSamplesPerRecord);
      for (int32_t i = 0; i < kSamplesPerRecord; ++i) {
        samples[i] = static_cast<int16_t>(std::lround(amplitude * std::sin((r * 512.0 + i) * 2.0 * M_PI / 64.0)));
      }
      manager.AddRecord(source, kStart + r * kRecordMicros, 32'000, samples);
    }
    manager.WriteFile(source, dir.File("CSC2.kcs"), 16384);
  }
  std::unique_ptr<CscPlot> MakePlot() {
    auto plot = std::make_unique<CscPlot>(kPath, "CSC2", manager, 0xFFFFFF);
    plot->LoadSourceInfo();
    return plot;
  }

  test::TempDir dir;
  test::FakeDataSourceManager manager;
};

TEST_F(AutoscaleTest, TheLargestExcursionInViewReachesNineTenthsOfHalfThePlot) {
  auto plot = MakePlot();
  // Records 100..200 (bars, two records a column) hold 500.
  const PlotFrame quiet = test::FrameFor(kStart + 100 * kRecordMicros, 100 * kRecordMicros, 800);
  const std::optional<double> gain = Autoscale::GainFor(*plot, quiet);
  ASSERT_TRUE(gain.has_value());
  EXPECT_NEAR(*gain, 0.9 * 2047 / 500, 0.01);
  // A view that holds the loud records scales to them; zoomed in to samples 20..33 of a sine period
  // (every sample drawn) it is those samples, short of the sine's crest, that count.
  const PlotFrame loud = test::FrameFor(kStart + 900 * kRecordMicros, 200 * kRecordMicros, 800);
  EXPECT_NEAR(*Autoscale::GainFor(*plot, loud), 0.9 * 2047 / 1500, 0.01);
  const PlotFrame narrow = test::FrameFor(kStart + 5 * kRecordMicros + 625, 400, 400);
  EXPECT_GT(*Autoscale::GainFor(*plot, narrow), 0.9 * 2047 / (500 * 0.96));
  EXPECT_FALSE(plot->Cache().minMax);
}

TEST_F(AutoscaleTest, DrawnColumnsSummaryAndFreshColumnsGiveTheSamePeak) {
  // A span long enough for the summary: more records than are read in one go.
  static_assert(CscPlot::kReadRecords < 4500);
  const PlotFrame frame = test::FrameFor(kStart, 4500 * kRecordMicros, 1000);
  auto fresh = MakePlot();
  EXPECT_FALSE(Autoscale::Peak(*fresh, frame).has_value());  // its summary starts, nothing to scale to yet
  ASSERT_TRUE(fresh->WaitForSummary());
  const std::optional<int32_t> fromSummary = Autoscale::Peak(*fresh, frame);
  EXPECT_EQ(fromSummary, 1500);
  EXPECT_EQ(fresh->Cache().width, 0) << "the summary was enough: no columns built";

  ASSERT_EQ(fresh->Draw(frame, 1000, 100, 0, 0), 0);
  ASSERT_GT(fresh->Cache().width, 0);
  EXPECT_EQ(Autoscale::Peak(*fresh, frame), fromSummary);

  // A flat view has nothing to scale to.
  manager.sources[0].header["-ADMaxValue"] = "0";
  auto unscaled = MakePlot();
  EXPECT_FALSE(Autoscale::GainFor(*unscaled, frame).has_value());
}

TEST_F(AutoscaleTest, AFilteredPlotScalesToItsFilteredSamplesFromSummaryAndColumnsAlike) {
  // The 500 Hz sine lies past the LFP Band's upper corner: filtered it is far below its raw 1500.
  const PlotFrame frame = test::FrameFor(kStart, 4500 * kRecordMicros, 1000);
  auto plot = MakePlot();
  EXPECT_FALSE(Autoscale::Peak(*plot, frame).has_value());
  ASSERT_TRUE(plot->WaitForSummary());
  EXPECT_EQ(Autoscale::Peak(*plot, frame), 1500);  // the recorded samples' summary
  std::string refusal;
  ASSERT_TRUE(plot->SetFilter(FilterChoice::Lfp(), refusal)) << refusal;
  EXPECT_FALSE(Autoscale::Peak(*plot, frame).has_value()) << "the filtered summary starts: nothing yet";
  ASSERT_TRUE(plot->WaitForSummary());
  const std::optional<int32_t> fromSummary = Autoscale::Peak(*plot, frame);
  ASSERT_TRUE(fromSummary.has_value());
  EXPECT_LT(*fromSummary, 1500);
  ASSERT_EQ(plot->Draw(frame, 1000, 100, 0, 0), 0);
  EXPECT_EQ(Autoscale::Peak(*plot, frame), fromSummary);
}

}  // namespace
}  // namespace skelvane
