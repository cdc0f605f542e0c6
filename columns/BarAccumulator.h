#pragma once
// A zoomed-out trace's bars as a column walk finds them: one minimum and maximum per pixel column,
// in walk order, widened piece by piece. Samples known only by bounds from the summary stay open, to
// be read (or not) when the bars are settled for the rows they are drawn in (BarSettler). Used by
// SummaryBarWalk.

#include <cstdint>
#include <vector>

#include "columns/PixelCache.h"

namespace skelvane {

class BarAccumulator {
 public:
  /// Makes room for about `bars` bars and twice as many open pieces.
  void Reserve(std::size_t bars);
  /// The bar of column x: the last one while the walk is still in that column, else a new one.
  int32_t BarFor(int32_t x) {
    if (x != lastColumn_ || xs_.empty()) NewBar(x);
    return static_cast<int32_t>(xs_.size()) - 1;
  }
  /// Widens bar `bar` to take in low..high.
  void Widen(int32_t bar, int32_t low, int32_t high);
  /// True when bar `bar` already takes in low..high.
  bool Holds(int32_t bar, int32_t low, int32_t high) const {
    const auto b = static_cast<std::size_t>(bar);
    return lows_[b] <= low && high <= highs_[b];
  }
  /// Samples of one record belong to bar `bar`, known only by the bounds in `piece` (scaled).
  void AddOpen(int32_t bar, const PixelCache::OpenPiece& piece) { open_.push_back({bar, piece}); }
  /// Appends the bars to `cache`, the open ones with their pieces; a first bar in the column of the
  /// cache's last one joins it. BarSettler::Compact then tidies the open ones.
  void AppendTo(PixelCache& cache);

 private:
  struct Open {
    int32_t bar;
    PixelCache::OpenPiece piece;
  };
  void NewBar(int32_t x);

  std::vector<int32_t> xs_;
  std::vector<int32_t> lows_;  // the extremes known exactly so far of each bar
  std::vector<int32_t> highs_;
  int32_t lastColumn_ = -1;
  std::vector<Open> open_;
};

}  // namespace skelvane
