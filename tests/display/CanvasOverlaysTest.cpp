// What the canvas draws on request over the plots: scale bars of round values no longer than their
// share of the trace, labelled with that value on a plate of their own, and cursor lines at their
// times' columns.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>
#include <set>
#include <algorithm>
#include <string>
#include <utility>
#include <vector>

#include "display/CanvasOverlays.h"
#include "columns/TimeColumns.h"
#include "display/MarkerSet.h"
#include "display/RecordingClock.h"
#include "display/TimeCursors.h"

namespace skelvane {
namespace {

const CanvasOverlays::TextMeasure kSevenPerLetter = [](std::string_view text) {
  return static_cast<int32_t>(7 * text.size());
};

TEST(CanvasOverlays, RoundValuesAndTheirTexts) {
  const std::vector<std::pair<double, double>> rounded = {
      {1.0, 1.0},
      {0.3, 0.2},
      {7.0, 5.0},
      {100.0, 100.0},
      {199.99, 100.0},
      {250.0, 200.0},
      {0.00099, 0.0005},
      {4.9999e9, 2e9},
      {0.0, 0.0},
      {-3.0, 0.0},
      {std::numeric_limits<double>::infinity(), 0.0},
      {std::nan(""), 0.0},
  };
  for (const auto& [limit, value] : rounded) EXPECT_DOUBLE_EQ(CanvasOverlays::RoundDown(limit), value) << limit;
  const std::vector<std::pair<int64_t, std::string>> durations = {
      {1, "1 us"}, {500, "500 us"}, {1000, "1 ms"}, {20'000, "20 ms"}, {2'000'000, "2 s"}, {1'000'000'000, "1000 s"}};
  for (const auto& [us, text] : durations) EXPECT_EQ(CanvasOverlays::DurationText(us), text);
  EXPECT_EQ(CanvasOverlays::AmplitudeText(50.0, "uV"), "50 uV");
  EXPECT_EQ(CanvasOverlays::AmplitudeText(0.5, "uV"), "0.5 uV");
  EXPECT_EQ(CanvasOverlays::AmplitudeText(2000.0, "counts"), "2000 counts");
}

TEST(CanvasOverlays, BarsAreRoundValuesAtMostTheirShareOfTheTrace) {
  // 10 s over 1000 columns: a fifth is 2 s, 200 columns, at the right edge less the inset.
  const auto time = CanvasOverlays::TimeBar(10'000'000, 1000, 1040, -300, 12, kSevenPerLetter);
  ASSERT_EQ(time.lines.size(), 3u);
  EXPECT_EQ(time.lines[0].x2, 1030);
  EXPECT_EQ(time.lines[0].x2 - time.lines[0].x1, 200);
  EXPECT_EQ(time.lines[0].y1, -300);
  ASSERT_EQ(time.texts.size(), 1u);
  EXPECT_EQ(time.texts[0].text, "2 s");
  EXPECT_EQ(time.texts[0].x, 930 - 10);  // centred over the bar
  // 7 s: a fifth is 1.4 s, so 1 s, 1000 / 7 columns.
  const auto odd = CanvasOverlays::TimeBar(7'000'000, 1000, 1040, 0, 12, kSevenPerLetter);
  EXPECT_EQ(odd.lines[0].x2 - odd.lines[0].x1, 143);
  EXPECT_EQ(odd.texts[0].text, "1 s");

  // 2 uV a pixel on a 100-pixel trace: 40 % is 80 uV, so 50 uV over 25 pixels, centred.
  const auto amplitude = CanvasOverlays::AmplitudeBar(2.0, "uV", 100, 800, -150, 12, kSevenPerLetter);
  ASSERT_EQ(amplitude.lines.size(), 3u);
  EXPECT_EQ(amplitude.lines[0].x1, 790);
  EXPECT_EQ(amplitude.lines[0].y2 - amplitude.lines[0].y1, 25);
  EXPECT_EQ(amplitude.lines[0].y1, -150 - 12);
  EXPECT_EQ(amplitude.texts[0].text, "50 uV");
  EXPECT_EQ(amplitude.texts[0].x + 7 * 5, 790 - 3 - 4);  // ends left of the bar
  // Each label stands on a black plate over its whole box (a quarter of the text height below the
  // baseline, the rest above), clear of its bar's end marks.
  for (const CanvasOverlays::Layout* bar : {&time, &amplitude}) {
    ASSERT_EQ(bar->plates.size(), 1u);
    const CanvasOverlays::Plate& plate = bar->plates[0];
    const CanvasOverlays::Text& text = bar->texts[0];
    EXPECT_EQ(plate.colour, 0x000000u);
    EXPECT_LT(plate.left, text.x);
    EXPECT_GT(plate.right, text.x + 7 * static_cast<int32_t>(text.text.size()));
    EXPECT_LT(plate.bottom, text.y - 3);
    EXPECT_GT(plate.top, text.y + 9);
  }
  EXPECT_LT(amplitude.plates[0].right, amplitude.lines[1].x1);
  EXPECT_TRUE(CanvasOverlays::AmplitudeBar(0.0, "uV", 100, 800, 0, 12, kSevenPerLetter).lines.empty());
  EXPECT_TRUE(CanvasOverlays::TimeBar(0, 1000, 800, 0, 12, kSevenPerLetter).lines.empty());
}

TEST(CanvasOverlays, CursorLinesStandAtTheirTimesColumnsWhileInView) {
  TimeCursors cursors;
  EXPECT_TRUE(CanvasOverlays::Cursors(cursors, 0, 1000, 100, 40, -200, 0, 12).lines.empty());
  cursors.Set(TimeCursors::Cursor::A, 5'250);
  cursors.Set(TimeCursors::Cursor::B, 20'000);  // past the view
  const auto layout = CanvasOverlays::Cursors(cursors, 5'000, 1'000, 100, 40, -200, 0, 12);
  ASSERT_EQ(layout.lines.size(), 1u);
  EXPECT_EQ(layout.lines[0].x1, 40 + 25);
  EXPECT_EQ(layout.lines[0].y1, -200);
  EXPECT_EQ(layout.lines[0].y2, 0);
  EXPECT_EQ(layout.lines[0].colour, CanvasOverlays::kColourCursorA);
  ASSERT_EQ(layout.texts.size(), 1u);
  EXPECT_EQ(layout.texts[0].text, "A");
  cursors.Clear();
  EXPECT_FALSE(cursors.Any());
}

// The layout draws every visible marker's line and nothing else: each marker in view whose plot is
// shown lies in a drawn column of its own scope or in one of every plot's whose rows hold it, and
// each drawn column is some marker's, once per scope; texts stay few and start where the last ended.
TEST(CanvasOverlays, MarkerColumnsCoverEveryVisibleMarkerAndNothingElse) {
  std::mt19937_64 random(5);
  const auto pick = [&](int64_t low, int64_t high) { return std::uniform_int_distribution<int64_t>(low, high)(random); };
  for (int32_t round = 0; round < 40; ++round) {
    const int32_t width = static_cast<int32_t>(pick(1, 900));
    const int64_t start = pick(-1'000'000, 1'000'000);
    const int64_t span = pick(1, 50'000'000);
    const int32_t x0 = static_cast<int32_t>(pick(0, 60));
    const int32_t yTop = static_cast<int32_t>(-pick(0, 500));
    const int32_t yLow = yTop - static_cast<int32_t>(pick(100, 900));
    std::vector<CanvasOverlays::PlotRows> plots;
    for (int32_t p = 0, top = yTop + 30; p < 5; ++p, top -= 90) plots.push_back({"P" + std::to_string(p), top - 80, top});
    MarkerSet markers;
    for (int64_t n = pick(0, round % 2 == 0 ? 60 : 5000); n > 0; --n) {
      const int64_t plot = pick(-3, 6);  // every plot, one of the shown ones, or one not on screen
      markers.Add({start + pick(-span / 4, span + span / 4), plot < 0 ? "" : "P" + std::to_string(plot),
                   pick(0, 3) == 0 ? "" : "note"});
    }
    const auto layout = CanvasOverlays::Markers(markers, start, span, width, x0, yLow, yTop, plots, 12, kSevenPerLetter);
    EXPECT_TRUE(layout.lines.empty());
    const auto drawn = [&](int32_t x, int32_t low, int32_t top) {
      for (const CanvasOverlays::Columns& columns : layout.columns) {
        if (columns.yLow <= low && columns.yTop >= top &&
            std::find(columns.xs.begin(), columns.xs.end(), x) != columns.xs.end()) {
          return true;
        }
      }
      return false;
    };
    std::set<std::pair<int32_t, int32_t>> scopeColumns;  // (x, top of its rows) of every marker in view
    for (const MarkerSet::Marker& marker : markers.All()) {
      int32_t pixel = 0;
      if (marker.timestamp < start || marker.timestamp - start >= span ||
          TimeColumns::PixelForTime(marker.timestamp, start, width, span, pixel) != 0 || pixel >= width) {
        continue;
      }
      int32_t low = yLow, top = yTop;
      if (!marker.plot.empty()) {
        const auto row = std::find_if(plots.begin(), plots.end(), [&](const auto& r) { return r.name == marker.plot; });
        if (row == plots.end()) continue;
        low = row->yLow;
        top = row->yTop;
      }
      EXPECT_TRUE(drawn(x0 + pixel, low, top)) << "round " << round << " column " << pixel;
      scopeColumns.insert({x0 + pixel, top});
    }
    for (const CanvasOverlays::Columns& columns : layout.columns) {
      EXPECT_EQ(columns.colour, CanvasOverlays::kColourMarker);
      std::set<int32_t> once(columns.xs.begin(), columns.xs.end());
      EXPECT_EQ(once.size(), columns.xs.size()) << "a column drawn twice in one scope";
      for (const int32_t x : columns.xs) EXPECT_EQ(scopeColumns.count({x, columns.yTop}), 1u) << "no marker at " << x;
    }
    EXPECT_LE(layout.texts.size(), 32u);
    EXPECT_EQ(layout.plates.size(), layout.texts.size());
  }
}

TEST(TimeCursors, ReadoutGivesTheTimesOnTheClockTheirDifferenceAndThePlotsSampleDifference) {
  TimeCursors cursors;
  const RecordingClock clock(10'000'000);  // the cursors' times read from the first record
  EXPECT_EQ(cursors.ReadoutText(clock, std::nullopt), "");
  cursors.Set(TimeCursors::Cursor::B, 11'500'000);
  EXPECT_EQ(cursors.ReadoutText(clock, std::nullopt), "B 1.500000 s");
  cursors.Set(TimeCursors::Cursor::A, 11'250'000);
  EXPECT_EQ(cursors.ReadoutText(clock, std::nullopt), "A 1.250000 s  B 1.500000 s  dt 0.250000 s  1/dt 4 Hz");
  const TimeCursors::PlotDifference plot{"TT1a", 120, 36.6, ""};
  EXPECT_EQ(cursors.ReadoutText(clock, plot),
            "A 1.250000 s  B 1.500000 s  dt 0.250000 s  1/dt 4 Hz  TT1a: B-A 120 counts = 36.6 uV");
  EXPECT_EQ(cursors.ReadoutText(clock, TimeCursors::PlotDifference{"TT1b", std::nullopt, std::nullopt, ""}),
            "A 1.250000 s  B 1.500000 s  dt 0.250000 s  1/dt 4 Hz  TT1b: B-A in a gap");
  cursors.Set(TimeCursors::Cursor::A, 11'500'000);  // no frequency for no interval
  EXPECT_EQ(cursors.ReadoutText(clock, std::nullopt), "A 1.500000 s  B 1.500000 s  dt 0.000000 s");
  cursors.Set(TimeCursors::Cursor::A, 9'500'000);  // before the first record
  EXPECT_EQ(cursors.ReadoutText(clock, std::nullopt), "A -0.500000 s  B 1.500000 s  dt 2.000000 s  1/dt 0.5 Hz");
}

}  // namespace
}  // namespace skelvane
