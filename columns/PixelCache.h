#pragma once
// The pixel columns a CSC plot last computed and the span and width they were computed for, so an
// unchanged redraw costs no file access. Owned by CscPlot; filled by the column builders.

#include <algorithm>
#include <cstdint>
#include <vector>

namespace skelvane {

struct PixelCache {
  // A bar whose extremes the summary only bounds: bar `bar` holds at least knownLow..knownHigh (the
  // samples folded or read) and its open pieces pieces[firstPiece .. firstPiece + pieceCount).
  struct OpenBar {
    int32_t bar;
    int32_t knownLow;  // kNothingKnown..-kNothingKnown when no sample of the bar is known exactly
    int32_t knownHigh;
    int32_t firstPiece;
    int32_t pieceCount;
  };
  // Samples first..last of one record, known only by bounds (scaled): their minimum lies in
  // minLow..minHigh and their maximum in maxLow..maxHigh.
  struct OpenPiece {
    int64_t record;
    int16_t first;
    int16_t last;
    int16_t minLow;
    int16_t minHigh;
    int16_t maxLow;
    int16_t maxHigh;
  };
  static constexpr int32_t kNothingKnown = 1 << 20;

  // The trace (every sample): the points in walk order, consecutive points of one column as a run:
  // run k holds counts[k] points in column xs[k], and mins holds every point's value. The bars: one
  // per column, xs[k] holding mins[k]..maxs[k], and counts empty; a bar listed in `open` holds
  // values that light the pixels of its exact extremes for the rows it was last settled for
  // (BarSettler), not the extremes themselves.
  std::vector<int32_t> xs;
  std::vector<int32_t> counts;
  std::vector<int16_t> mins;
  std::vector<int16_t> maxs;
  std::vector<OpenBar> open;
  std::vector<OpenPiece> openPieces;
  int64_t start = 0;  // the key: span start, span end and width the arrays were built for,
  int64_t end = 0;    // and which path built them
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
    counts.clear();
    mins.clear();
    maxs.clear();
    open.clear();
    openPieces.clear();
    SetKey(0, 0, 0, false);
  }
  /// True when every bar holds its exact extremes (and for the trace).
  bool Exact() const { return open.empty(); }

  /// Counts `count` trace points in column x, whose values the caller appends to mins; a run in the
  /// last run's column joins it.
  void AddRun(int32_t x, int32_t count) {
    if (!xs.empty() && xs.back() == x) {
      counts.back() += count;
    } else {
      xs.push_back(x);
      counts.push_back(count);
    }
  }
  /// Appends one trace point.
  void AddPoint(int32_t x, int16_t value) {
    AddRun(x, 1);
    mins.push_back(value);
  }
  /// Appends the bar of column x, or widens the last bar when the walk is still in its column.
  void AddBar(int32_t x, int16_t low, int16_t high) {
    if (!xs.empty() && xs.back() == x) {
      mins.back() = std::min(mins.back(), low);
      maxs.back() = std::max(maxs.back(), high);
      return;
    }
    xs.push_back(x);
    mins.push_back(low);
    maxs.push_back(high);
  }
  /// The column of every trace point, in walk order.
  std::vector<int32_t> PointColumns() const {
    std::vector<int32_t> columns;
    columns.reserve(mins.size());
    for (std::size_t run = 0; run < counts.size(); ++run) columns.insert(columns.end(), counts[run], xs[run]);
    return columns;
  }
};

}  // namespace skelvane
