#pragma once
// A zoomed-out trace's bars as a column walk finds them: one minimum and maximum per pixel column,
// in walk order, widened piece by piece. Samples known only by the extremes of their summary block
// stay open until the walk is over, and are read (nearby records in one read) only where they could
// still widen their bar. Used by SummaryBarWalk.

#include <cstdint>
#include <memory>
#include <vector>

#include "columns/PixelCache.h"

namespace skelvane {

class FilteredPieceExtremes;
class RecordReader;

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
  /// Samples first..last of record `record` belong to bar `bar`, their values only known to lie in
  /// low..high (already scaled).
  void AddOpen(int32_t bar, int64_t record, int32_t first, int32_t last, int16_t low, int16_t high);
  /// Reads the open samples that could widen their bars and widens them, scaling by `scale` (which
  /// must be positive); 0 or the reader's code.
  int32_t ResolveOpen(const RecordReader& reader, double scale);
  /// As ResolveOpen, the open samples' values being the filtered ones `pieces` finds.
  int32_t ResolveOpen(const FilteredPieceExtremes& pieces, double scale);
  /// Appends the bars to `cache`; a first bar in the column of the cache's last one joins it.
  void AppendTo(PixelCache& cache) const;

 private:
  // Samples first..last of one record whose values are not known yet.
  struct OpenSamples {
    int32_t bar;
    int64_t record;
    int16_t first;
    int16_t last;
    int16_t low;
    int16_t high;
  };
  // Records first..first + count - 1, read back to back from `offset` in the read buffer.
  struct ReadRange {
    int64_t first;
    int64_t count;
    std::size_t offset;
  };
  void NewBar(int32_t x);
  bool CouldWiden(const OpenSamples& open) const;
  int32_t ReadNeeded(const RecordReader& reader);

  std::vector<int32_t> xs_;
  std::vector<int32_t> lows_;  // the extremes known so far of each bar
  std::vector<int32_t> highs_;
  int32_t lastColumn_ = -1;
  std::vector<OpenSamples> open_;
  std::vector<ReadRange> ranges_;
  std::unique_ptr<uint8_t[]> buffer_;  // left uninitialised: every byte used is read into it first
  std::size_t bufferSize_ = 0;
};

}  // namespace skelvane
