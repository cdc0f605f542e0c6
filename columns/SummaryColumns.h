#pragma once
// Fills a CSC plot's min-max bars from its source summary: whole nodes, records, 128-sample blocks
// and 32-sample sub-blocks are folded while they provably land in one column, giving the bars of the
// sample-by-sample walk at a cost that follows the number of columns; where a column edge cuts a
// sub-block, the bar is left open with the sub-block's bounds, to be settled by reading (BarSettler).
// Used by CscPlot for long spans.

#include <cstdint>

#include "columns/ColumnSpan.h"
#include "columns/PixelCache.h"

namespace skelvane {

class RecordReader;
class SourceSummary;

class SummaryColumns {
 public:
  /// Appends the bars of `span` to `cache`, those a column edge cuts open (nothing is read). 0, or -1
  /// when the span ends before the first record. Needs a positive scale (the extremes of scaled
  /// samples are then the scaled extremes). A walk over more than `splitRecords` records is folded in
  /// two halves on two threads.
  static int32_t Walk(const SourceSummary& summary, const ColumnSpan& span, PixelCache& cache,
                      int64_t splitRecords = kSplitRecords);
  /// Walk, then every open bar settled exactly with the samples read through `reader`: the bars of
  /// the sample-by-sample walk. 0, -1 as Walk, or the reader's code (kStatusSourceChanged for a file
  /// that got shorter, an errno).
  static int32_t Build(const SourceSummary& summary, const RecordReader& reader, const ColumnSpan& span,
                       PixelCache& cache, int64_t splitRecords = kSplitRecords);
  /// Records a walk must span before it is split over two threads.
  static constexpr int64_t kSplitRecords = 16'384;
};

}  // namespace skelvane
