#pragma once
// The pixel columns a CSC plot last computed and the span and width they were computed for, so an
// unchanged redraw costs no file access. Owned by CscPlot.

#include <cstdint>
#include <vector>

namespace skelvane {

struct PixelCache {
  std::vector<int32_t> xs;    // column of each point
  std::vector<int16_t> mins;  // the sample (every-sample path) or the column's minimum
  std::vector<int16_t> maxs;  // the column's maximum; empty in the every-sample path
  int64_t start = 0;          // the key: span start, span end and width the arrays were built for,
  int64_t end = 0;            // and which path built them
  int32_t width = 0;
  bool minMax = false;

  /// True when the arrays were built by the same path for exactly this span and width.
  bool Matches(int64_t spanStart, int64_t spanEnd, int32_t columns, bool columnPairs) const {
    return width > 0 && start == spanStart && end == spanEnd && width == columns && minMax == columnPairs;
  }
  /// Stores the key after a successful build.
  void SetKey(int64_t spanStart, int64_t spanEnd, int32_t columns, bool columnPairs) {
    start = spanStart;
    end = spanEnd;
    width = columns;
    minMax = columnPairs;
  }
  /// Empties the arrays and forgets the key, so nothing stale is ever drawn from them.
  void Clear() {
    xs.clear();
    mins.clear();
    maxs.clear();
    SetKey(0, 0, 0, false);
  }
};

}  // namespace skelvane
