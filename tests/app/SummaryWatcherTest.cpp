// The window and the summary cache: the summaries of plots out of view are made behind those on
// screen and kept on disk, and Display > Keep Summaries On Disk switches that off and is remembered.
#include <gtest/gtest.h>

#include <QAction>
#include <QCoreApplication>
#include <filesystem>
#include <string>
#include <vector>

#include "app/CommandIds.h"
#include "app/CommandMenus.h"
#include "app/OverviewStrip.h"
#include "app/Preferences.h"
#include "app/WindowCommands.h"
#include "display/CscPlot.h"
#include "summary/SummaryCache.h"
#include "tests/app/RealWindowHarness.h"
#include "tests/support/ScopedVariable.h"
#include "tools/SyntheticRecording.h"

namespace skelvane {
namespace {

class SummaryWatcherTest : public test::RealWindowHarness {
 protected:
  // Six channels of 4200 records: more than the window shows, each long enough to need a summary
  // (longer than CscPlot::kReadRecords).
  std::vector<std::string> LongRecording() {
    SynthOptions options;
    options.outDir = recordings.Path();
    options.prefix = "LR";
    options.channels = 6;
    options.seconds = 4200 * 0.016;
    SynthResult result;
    EXPECT_EQ(SyntheticRecording::Generate(options, result), 0);
    return result.paths;
  }
  std::vector<CscPlot*> Plots() {
    std::vector<CscPlot*> csc;
    for (int32_t i = 0; i < plots.GetNumPlots(); ++i) {
      IPlot* plot = nullptr;
      if (plots.GetPlot(i, plot) == 0) csc.push_back(dynamic_cast<CscPlot*>(plot));
    }
    return csc;
  }
  void TearDown() override {
    RealWindowHarness::TearDown();
    SummaryCache::Instance().SetEnabled(true);
  }

  test::TempDir recordings;
  test::TempDir cache;
  test::ScopedVariable cacheHome{"XDG_CACHE_HOME", cache.Path()};
};

TEST_F(SummaryWatcherTest, PlotsOutOfViewGetTheirSummariesKeptOnDiskBehindTheOnesOnScreen) {
  Start();
  window->OnDropFiles(LongRecording());
  Settle();
  ASSERT_EQ(plots.GetNumPlots(), 6);
  // The first span is a few seconds: no plot needs its summary to draw, yet every one is made.
  for (CscPlot* plot : Plots()) {
    ASSERT_NE(plot->Summary(), nullptr);
    ASSERT_TRUE(plot->WaitForSummary());
    ASSERT_NE(plot->Summary()->Summary(), nullptr);
    EXPECT_TRUE(plot->Summary()->Summary()->Storage().FromFile());
  }
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(cache.Path() + "/skelvane"), {}), 2 * 6);
}

TEST_F(SummaryWatcherTest, KeepSummariesOnDiskIsAPreferenceTheMenuSwitches) {
  Start();
  QAction* item = window->CommandAction(commands::kKeepSummaries);
  ASSERT_NE(item, nullptr);
  EXPECT_EQ(item->text().toStdString(), "&Keep Summaries On Disk");
  EXPECT_TRUE(item->isChecked());
  window->Commands()->Run(commands::kKeepSummaries);
  EXPECT_FALSE(item->isChecked());
  EXPECT_FALSE(Preferences::KeepSummaries());
  EXPECT_FALSE(SummaryCache::Instance().Enabled());
  // Switched off, summaries are made only when a view needs them (the overview's plot), and in memory.
  window->OnDropFiles(LongRecording());
  Settle();
  for (CscPlot* plot : Plots()) {
    EXPECT_EQ(plot->Summary() != nullptr, plot->GetPath() == window->Overview()->ShownPath()) << plot->GetPath();
  }
  window->Commands()->Run(commands::kShowWholeRecording);
  Settle();
  for (CscPlot* plot : Plots()) {
    if (plot->Summary() == nullptr) continue;  // out of view
    ASSERT_TRUE(plot->WaitForSummary());
    EXPECT_FALSE(plot->Summary()->Summary()->Storage().FromFile());
  }
  EXPECT_FALSE(std::filesystem::exists(cache.Path() + "/skelvane"));

  // The next window starts as the last one was left.
  window.reset();
  SummaryCache::Instance().SetEnabled(true);
  Start();
  EXPECT_FALSE(SummaryCache::Instance().Enabled());
  EXPECT_FALSE(window->CommandAction(commands::kKeepSummaries)->isChecked());
  window->Commands()->Run(commands::kKeepSummaries);
  EXPECT_TRUE(Preferences::KeepSummaries());
}

}  // namespace
}  // namespace skelvane
