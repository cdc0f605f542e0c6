// The channels the window's extraction takes from its plots: the same as skelvane-cli measures from
// the files (so both write the same spike files), and a list that ends at a plot that cannot be had.
#include "display/PlotChannels.h"

#include <gtest/gtest.h>

#include <memory>
#include <random>

#include "datafile/CscRecord.h"
#include "display/ColorTable.h"
#include "display/PlotCanvas.h"
#include "display/PlotCollection.h"
#include "tests/support/CapturedReports.h"
#include "tests/support/FakeDataSourceManager.h"
#include "tests/support/FakePlotCollection.h"

namespace skelvane {
namespace {

bool SameChannel(const ChannelSource& a, const ChannelSource& b) {
  return a.path == b.path && a.sampleInterval == b.sampleInterval && a.samplingFrequency == b.samplingFrequency &&
         a.adMaxValue == b.adMaxValue;
}

// Sources of every timing a recording may start with: steady rates, jittered whole-microsecond
// stamps, a pause among the first records, a single record, repeated stamps; with and without a
// full scale in the header.
TEST(PlotChannels, ThePlotsGiveWhatTheFilesMeasure) {
  test::FakeDataSourceManager manager;
  ColorTable colours = PlotCanvas::MakePlotColours();
  PlotCollection collection(manager, colours);
  std::mt19937_64 random(11);
  for (int32_t s = 0; s < 40; ++s) {
    const std::string path = "/rec/c" + std::to_string(s) + ".kcs";
    const int32_t source = manager.AddSource(path);
    const uint32_t frequency = 1000 + static_cast<uint32_t>(random() % 40'000);
    const int64_t interval = static_cast<int64_t>(kSamplesPerRecord * 1e6 / frequency);
    const int32_t records = 1 + static_cast<int32_t>(random() % 7);
    int64_t time = static_cast<int64_t>(random() % 1'000'000'000);
    for (int32_t r = 0; r < records; ++r) {
      manager.AddRecord(source, time, frequency, {});
      switch (random() % 4) {
        case 0: time += interval + static_cast<int64_t>(random() % 3); break;  // jitter
        case 1: time += 20 * interval; break;                                    // a pause
        case 2: break;                                                           // the same stamp again
        default: time += interval;
      }
    }
    if (random() % 2 == 0) manager.sources[source].header["-ADMaxValue"] = std::to_string(random() % 40'000);
    ASSERT_EQ(collection.CreatePlot("c" + std::to_string(s), 5, path), 0);
  }

  const std::vector<ChannelSource> shown = PlotChannels::Of(collection);
  ASSERT_EQ(shown.size(), manager.sources.size());
  for (std::size_t i = 0; i < shown.size(); ++i) {
    const ChannelSource measured = ChannelSource::Measured(manager, static_cast<int32_t>(i));
    EXPECT_TRUE(SameChannel(shown[i], measured)) << shown[i].path << ": " << shown[i].sampleInterval << " vs "
                                                 << measured.sampleInterval;
  }
}

TEST(PlotChannels, AMissingPlotEndsTheListAtItsIndex) {
  test::FakePlotCollection plots;
  std::vector<std::unique_ptr<test::FakePlot>> owned;
  for (int32_t i = 0; i < 4; ++i) {
    owned.push_back(std::make_unique<test::FakePlot>("/d/p" + std::to_string(i) + ".kcs", 31.25, 32000.0, 1000 + i));
    plots.plots.push_back(owned.back().get());
  }
  plots.plots[2] = nullptr;
  test::CapturedReports reports;
  std::vector<ChannelSource> channels;
  EXPECT_EQ(PlotChannels::Collect(plots, channels, true), -1);
  ASSERT_EQ(reports.Count(), 1u);
  EXPECT_EQ(reports.Texts()[0], "Error retriving Plot Pointer, Pointer Is NULL, Plot Index = 2");
  ASSERT_EQ(channels.size(), 2u);
  EXPECT_TRUE(SameChannel(channels[1], {"/d/p1.kcs", 31.25, 32000.0, 1001}));

  // Quietly when asked so, and a plot the collection will not hand out ends the list too.
  reports.Clear();
  EXPECT_EQ(PlotChannels::Of(plots).size(), 2u);
  plots.failingIndex = 1;
  EXPECT_EQ(PlotChannels::Of(plots).size(), 1u);
  EXPECT_TRUE(reports.Empty());
}

}  // namespace
}  // namespace skelvane
