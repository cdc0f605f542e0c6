// Where the spike ticks go over a trace, and which of them get black edges: only those that have to
// sit over their trace (it reaches the top of the plot, or its line is thick) or cross a threshold
// line; and drawn, each in the pixel of its column, the last columns of every width included.
#include "display/SpikeTicks.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include "datafile/DataSourceManager.h"
#include "display/CscPlot.h"
#include "display/PlotCanvas.h"
#include "display/PlotCollection.h"
#include "display/PlotFrame.h"
#include "columns/PixelCache.h"
#include "render/GLRenderer.h"
#include "spikes/SpikeMarks.h"
#include "tests/support/TempDir.h"
#include "tools/CscFileWriter.h"

namespace skelvane {
namespace {

constexpr int32_t kWidth = 100;
constexpr int32_t kHeight = 60;          // middle row 30
constexpr double kPixelsPerCount = 0.1;  // 100 counts: 10 rows
constexpr int64_t kPerColumn = 10;       // microseconds

// Bars reaching 50 counts (row 35) everywhere but in column 40, which reaches `peak` counts.
PixelCache Bars(int16_t peak) {
  PixelCache cache;
  for (int32_t x = 0; x < kWidth; ++x) {
    cache.xs.push_back(x);
    cache.mins.push_back(-50);
    cache.maxs.push_back(x == 40 ? peak : 50);
  }
  return cache;
}

std::vector<SpikeTicks::Tick> Ticks(const PixelCache& cache, std::vector<int64_t> peaks, int32_t lineWidth = 1,
                                    std::vector<Plot::OverlayLine> overlay = {}) {
  PlotFrame frame;
  frame.start = 1000;
  frame.visibleSpan = kWidth * kPerColumn;
  frame.end = frame.start + frame.visibleSpan;
  const SpikeTicks::Trace trace{cache, kWidth, kHeight, kPixelsPerCount, lineWidth, overlay};
  return SpikeTicks::Layout(peaks, trace, frame);
}

TEST(SpikeTicksTest, ATickSitsTwoRowsAboveItsColumnsAndIsEdgedOnlyWhereItMeetsSomething) {
  const PixelCache cache = Bars(50);
  // Peaks before and after the span are left out; two peaks in one column make one tick.
  const std::vector<SpikeTicks::Tick> free = Ticks(cache, {990, 1000 + 20 * kPerColumn, 1000 + 20 * kPerColumn + 3, 2000});
  ASSERT_EQ(free.size(), 1u);
  EXPECT_EQ(free[0], (SpikeTicks::Tick{20, 37, 43, false}));

  // A trace reaching the top: the tick is drawn whole over it, edged; its neighbours see the peak too.
  const PixelCache tall = Bars(400);
  const std::vector<SpikeTicks::Tick> over = Ticks(tall, {1000 + 39 * kPerColumn, 1000 + 42 * kPerColumn});
  ASSERT_EQ(over.size(), 2u);
  EXPECT_EQ(over[0], (SpikeTicks::Tick{39, 53, 59, true}));
  EXPECT_EQ(over[1], (SpikeTicks::Tick{42, 37, 43, false}));

  // A thick trace line reaches into the two rows kept clear.
  EXPECT_TRUE(Ticks(cache, {1000 + 20 * kPerColumn}, 3).at(0).edged);

  // Threshold lines: at 100 counts (row 40) it crosses the tick; at 200 (row 50) and -100 it does not.
  const auto crossedBy = [&](Plot::OverlayLine line) { return Ticks(cache, {1000 + 20 * kPerColumn}, 1, {line}).at(0).edged; };
  EXPECT_TRUE(crossedBy({0, 100, kWidth, 100}));
  EXPECT_FALSE(crossedBy({0, 200, kWidth, 200}));
  EXPECT_FALSE(crossedBy({0, -100, kWidth, -100}));
  // A slanted line (slope mode) counts where it passes, not across the whole trace.
  EXPECT_TRUE(crossedBy({15, 0, 25, 200}));
  EXPECT_FALSE(crossedBy({60, 0, 70, 200}));
}

// Trace column c stands in canvas pixel 40 + c - 1, right of the data axis. Towards the right edge the
// rasteriser's snapping put a tick's line one pixel further left, off its spike's tip, at some widths
// (1040, 1400, 1800; not 1000).
TEST(SpikeTicksDrawn, EachTickStandsInItsColumnsPixelUpToTheLastColumnAtEveryWidth) {
  test::TempDir dir;
  constexpr int32_t kRecords = 700;
  constexpr int64_t kFirst = 1'000'000;
  std::vector<CscRecordData> records(kRecords);
  std::vector<int64_t> peaks;
  for (int32_t r = 0; r < kRecords; ++r) {
    records[r].timestamp = kFirst + int64_t{r} * 16'000;
    for (int32_t i = 0; i < kSamplesPerRecord; ++i) {
      // A spike shaped like a unit's (its peak and a few samples either side) every 20000 samples.
      const int64_t fromPeak = (int64_t{r} * kSamplesPerRecord + i) % 20'000 - 10'000;
      records[r].samples[i] = static_cast<int16_t>(1500.0 * std::exp(-0.3 * fromPeak * fromPeak));
      if (fromPeak == 0) peaks.push_back(records[r].timestamp + static_cast<int64_t>(i * 31.25));
    }
  }
  const std::string path = dir.File("CSC1.kcs");
  ASSERT_EQ(CscFileWriter::Write(path, CscFileWriter::MakeHeader({{"-ADMaxValue", "2047"}}), records), 0);
  DataSourceManager manager;
  ASSERT_EQ(manager.OpenSource(path), 0);
  ColorTable colours = PlotCanvas::MakePlotColours();
  PlotCollection plots(manager, colours);
  ASSERT_EQ(plots.CreatePlot("CSC1", 5, path), 0);
  IPlot* plot = nullptr;
  ASSERT_EQ(plots.GetPlot(0, plot), 0);
  plot->SetHeight(200);
  GLRenderer renderer;
  ViewState view;
  PlotCanvas canvas(view, &renderer, &plots, &manager);
  auto marks = std::make_shared<SpikeMarks>();
  marks->AddGroup({path}, peaks);
  canvas.SetSpikeMarks(marks);
  manager.GetTimeRange(view.DataStart, view.DataEnd);
  view.DataDuration = view.DataEnd - view.DataStart;
  for (const int32_t canvasWidth : {1000, 1040, 1400, 1800}) {
    view.CanvasWidth = canvasWidth;
    view.CanvasHeight = 250;
    view.ScrollBottom = -view.CanvasHeight;
    canvas.SetMinimumSpan(canvasWidth);
    const int32_t width = canvasWidth - canvas.GetDataAxisWidth();
    for (const int32_t column : {width / 3, width - 3, width - 2, width - 1}) {
      for (const int64_t span : {400'000, 4'000'000}) {  // every sample, and min/max bars
        view.VisibleSpan = span;
        view.VisibleStart = peaks[5] - static_cast<int64_t>((column + 0.5) * static_cast<double>(span) / width);
        renderer.RequestNewDIBSection();
        ASSERT_EQ(canvas.RedrawAll(), 0);
        ASSERT_EQ(renderer.ReadBack(), 0);
        // (other spikes' ticks stand far off: one spike every 625 ms)
        std::vector<int32_t> tickPixels;
        for (int32_t x = 40 + column - 4; x < std::min(canvasWidth, 40 + column + 4); ++x) {
          for (int32_t y = 20; y < 200; ++y) {
            if (renderer.Bitmap().ColorAt(x, y) != SpikeTicks::kColour) continue;
            tickPixels.push_back(x);
            break;
          }
        }
        EXPECT_EQ(tickPixels, std::vector<int32_t>{40 + column - 1})
            << "width " << canvasWidth << ", column " << column << ", span " << span;
      }
    }
  }
}

}  // namespace
}  // namespace skelvane
