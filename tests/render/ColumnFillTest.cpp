// Columns written into a frame, with boxes left out, against writing them pixel by pixel: random
// sets in order (a later set over an earlier one), of columns sharing their rows or of runs of their
// own (unsorted, a column holding several, or one a column side by side as a dense trace's), boxes overlapping each other and the frame's edges,
// columns past the frame, on one thread and (the last rounds, large frames) on two; and the banded
// boxes cover every pixel of the boxes they come from.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <vector>

#include "render/ColumnFill.h"

namespace skelvane {
namespace {

TEST(ColumnFillTest, WritesWhatPixelByPixelWritesAndBandsCoverTheirBoxes) {
  std::mt19937 random(5);
  auto uniform = [&](int32_t low, int32_t high) { return std::uniform_int_distribution<int32_t>(low, high)(random); };
  int32_t twoThreads = 0;
  for (int32_t round = 0; round < 230; ++round) {
    const bool large = round >= 200;
    const int32_t width = large ? uniform(300, 500) : uniform(1, 90), height = large ? uniform(700, 1100) : uniform(1, 70);
    std::vector<uint32_t> frame(static_cast<std::size_t>(width) * height, 0u), expected = frame;
    ColumnFill fill;
    for (int32_t s = uniform(large ? 3 : 1, 4); s > 0; --s) {
      std::vector<int32_t> columns;
      for (int32_t x = uniform(-5, 5); x < width + 5; x += uniform(1, large ? 2 : 6)) columns.push_back(x);
      const int32_t firstRow = uniform(-10, height), endRow = uniform(firstRow, height + 10);
      const auto pixel = static_cast<uint32_t>(round * 16 + s);
      std::vector<WindowBox> boxes;
      for (int32_t b = uniform(0, 5); b > 0; --b) {
        const int32_t left = uniform(-10, width), bottom = uniform(-10, height);
        boxes.push_back({left, bottom, left + uniform(0, 40), bottom + uniform(0, 40)});
      }
      std::vector<ColumnRun> runs;
      for (const int32_t x : columns) {
        for (int32_t r = uniform(1, 2); r > 0; --r) {
          const int32_t first = uniform(-10, height);
          runs.push_back({x, first, uniform(first - 2, height + 10)});
        }
      }
      // A dense trace: one run a column, side by side, with few boxes or none.
      if (uniform(0, 2) == 0) {
        runs.clear();
        for (int32_t x = uniform(-20, 5); x < uniform(0, width + 20); ++x) {
          const int32_t first = uniform(-10, height);
          runs.push_back({x, first, uniform(first, std::min(first + (large ? height : 40), height + 10))});
        }
        boxes.resize(std::min<std::size_t>(boxes.size(), static_cast<std::size_t>(uniform(0, 2))));
      }
      std::shuffle(runs.begin(), runs.end(), random);
      const bool ownRows = uniform(0, 1) == 1;
      if (!ownRows) {
        runs.clear();
        for (const int32_t x : columns) runs.push_back({x, firstRow, endRow});
      }
      const std::size_t set = ownRows ? fill.Add(runs, pixel) : fill.Add(columns, firstRow, endRow, pixel);
      for (const WindowBox& box : boxes) fill.Except(set, box);
      for (const ColumnRun& run : runs) {
        const int32_t x = run.column;
        for (int32_t row = std::max(run.firstRow, 0); row < std::min(run.endRow, height); ++row) {
          const bool left = std::any_of(boxes.begin(), boxes.end(), [&](const WindowBox& box) {
            return box.left <= x && x < box.right && box.bottom <= row && row < box.top;
          });
          if (x >= 0 && x < width && !left) expected[static_cast<std::size_t>(row) * width + x] = pixel;
        }
      }
      const WindowBox within{uniform(-20, width), uniform(-20, height), uniform(0, width + 20), uniform(0, height + 20)};
      const std::vector<WindowBox> bands = ColumnFill::Banded(boxes, within);
      for (const WindowBox& box : boxes) {
        for (int32_t x = box.left; x < box.right; ++x) {
          for (int32_t row = box.bottom; row < box.top; ++row) {
            if (x < within.left || x >= within.right || row < within.bottom || row >= within.top) continue;
            ASSERT_TRUE(std::any_of(bands.begin(), bands.end(), [&](const WindowBox& band) {
              return band.left <= x && x < band.right && band.bottom <= row && row < band.top &&
                     band.bottom % ColumnFill::kBandRows == 0 && band.top - band.bottom == ColumnFill::kBandRows;
            })) << "round " << round << " pixel " << x << "," << row;
          }
        }
      }
    }
    twoThreads += fill.Area() >= ColumnFill::kAreaForTwoThreads ? 1 : 0;
    fill.Apply(frame.data(), width, height);
    ASSERT_EQ(frame, expected) << "round " << round;
  }
  EXPECT_GT(twoThreads, 5);
}

}  // namespace
}  // namespace skelvane
