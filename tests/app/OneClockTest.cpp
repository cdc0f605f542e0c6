// One clock for every time on screen, over recordings whose first record is stamped 0, 1 s and 10 h:
// Go To Time, the status bar, a measuring cursor, the Seconds and Clock axes and the Spikes panel all
// read the same moment as the same seconds from the first record, and raw timestamps appear only
// where they say so (the status bar's and the panel's "timestamp ... us", the Microseconds axis).
#include <gtest/gtest.h>

#include <QAction>
#include <QComboBox>
#include <QTest>
#include <cinttypes>
#include <cstdio>
#include <string>
#include <vector>

#include "app/CommandIds.h"
#include "app/SpikePanels.h"
#include "app/SpikesPanel.h"
#include "app/SpikesPicture.h"
#include "app/StatusBar.h"
#include "tests/app/RealWindowHarness.h"
#include "tests/support/TempDir.h"

namespace skelvane {
namespace {

constexpr int kTraceLeft = 40;  // the data axis
constexpr int kColumns = 600;
constexpr int64_t kGoneTo = 1'500'000;  // "1.5" typed into Go To Time

// A moment `offset` after the first record, stamped `stamp`, as the window reads it out.
std::string Reading(int64_t offset, int64_t stamp) {
  char text[128];
  std::snprintf(text, sizeof text,
                "%" PRId64 ".%06" PRId64 " s  (%" PRId64 ":%02" PRId64 ":%02" PRId64 ".%06" PRId64
                ")  timestamp %" PRId64 " us",
                offset / 1'000'000, offset % 1'000'000, offset / 3'600'000'000, offset / 60'000'000 % 60,
                offset / 1'000'000 % 60, offset % 1'000'000, stamp);
  return text;
}

class OneClockTest : public test::RealWindowHarness, public ::testing::WithParamInterface<int64_t> {
 protected:
  // The label of the time axis standing on the middle column, in the style of `command`.
  std::string MiddleAxisLabel(int32_t command) {
    window->CommandAction(command)->trigger();
    const PlotCanvas::TimeAxisLayout layout =
        canvas.LayoutTimeAxis(kColumns, kTraceLeft, View().VisibleStart, View().VisibleSpan,
                              [this](std::string_view text) { return renderer.GetTextWidth(text); });
    for (const PlotCanvas::TimeLabel& label : layout.labels) {
      if (label.x + label.width / 2 == kTraceLeft + kColumns / 2) return label.text;
    }
    return "(no label on the middle column)";
  }

  test::TempDir recordings_;
  test::TempDir spikes_;
};

TEST_P(OneClockTest, EveryTimeOnScreenCountsFromTheFirstRecord) {
  const int64_t first = GetParam();
  Start();
  window->OnDropFiles(MakeTetrode(recordings_.Path(), first));
  Key(Qt::Key_Left, Qt::ControlModifier);
  Key(Qt::Key_Left, Qt::ControlModifier);  // 2.5 s in view

  // Go To Time puts 1.5 s after the first record in the middle, where the status bar and a cursor
  // read it as 1.5 s.
  ASSERT_FALSE(GoToTime(QStringLiteral("1.5")));
  MoveMouse(kTraceLeft + kColumns / 2, PlotMiddleY(0));
  const StatusBar& status = *window->Status();
  EXPECT_TRUE(status.PointerLabelText().startsWith(QString::fromStdString(Reading(kGoneTo, first + kGoneTo) + "  TT1a: ")))
      << status.PointerLabelText().toStdString();
  Key(Qt::Key_A);
  EXPECT_EQ(status.CursorsLabelText().toStdString(), "A 1.500000 s");

  // The axes label that column 1.5 s on the clock, and the raw timestamp on the Microseconds axis.
  EXPECT_EQ(MiddleAxisLabel(commands::kTimeLabelsSeconds), "1.5");
  EXPECT_EQ(MiddleAxisLabel(commands::kTimeLabelsClock), "0:00:01.5");
  EXPECT_EQ(MiddleAxisLabel(commands::kTimeLabelsMicroseconds), std::to_string(first + kGoneTo));

  // The Spikes panel reads a spike's time on the same clock.
  std::vector<int64_t> peaks;
  window->OnDropFiles({ExtractTetrode(spikes_.Path(), peaks)});
  ASSERT_EQ(window->SpikeFilePanels()->Panels().size(), 1u);
  SpikesPanel& panel = *window->SpikeFilePanels()->Panels().front();
  panel.WaitForLoad();
  QCoreApplication::processEvents();
  const SpikePanelViews::Choice choice{panel.ChannelChooser()->currentIndex(), panel.PairChooser()->currentIndex()};
  const int w = panel.Picture()->width();
  const int h = panel.Picture()->height();
  const std::vector<SpikeFigureLayout::View> views = panel.Views().Views(w, h, choice);
  ASSERT_GE(views.size(), 2u) << "a picture of " << w << " x " << h;
  const SpikeFigureLayout::View& scatter = views[1];
  const SpikeSubset& subset = panel.Views().Subset();
  const int64_t k = subset.Size() / 2;
  const QPoint at(static_cast<int>(SpikeFigureLayout::PixelX(scatter, subset.Peak(k, scatter.channel))),
                  static_cast<int>(SpikeFigureLayout::PixelY(scatter, subset.Peak(k, scatter.otherChannel))));
  const int64_t pointed = panel.Views().SpikeAt(w, h, choice, at.x(), at.y());
  ASSERT_GE(pointed, 0);
  SendMouse(*panel.Picture(), QEvent::MouseMove, at);
  const auto stamp = static_cast<int64_t>(subset.Timestamp(pointed));
  EXPECT_EQ(panel.InfoText().toStdString(), "Spike " + std::to_string(subset.FileIndex(pointed) + 1) + " of " +
                                                std::to_string(peaks.size()) + " at " + Reading(stamp - first, stamp));
}

INSTANTIATE_TEST_SUITE_P(FirstRecordAt, OneClockTest, ::testing::Values(0, 1'000'000, 36'000'000'000));

}  // namespace
}  // namespace skelvane
