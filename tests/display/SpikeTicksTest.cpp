// Where the spike ticks go over a trace, and which of them get black edges: only those that have to
// sit over their trace (it reaches the top of the plot, or its line is thick) or cross a threshold line.
#include "display/SpikeTicks.h"

#include <gtest/gtest.h>

#include <vector>

#include "display/PlotFrame.h"
#include "columns/PixelCache.h"

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

}  // namespace
}  // namespace skelvane
