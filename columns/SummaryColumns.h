#pragma once
// Fills a CSC plot's min-max bars from its source summary: whole nodes, records and 128-sample blocks
// are folded while they provably land in one column, giving exactly the bars of the sample-by-sample
// walk at a cost that follows the number of columns. Used by CscPlot for long spans.

#include <cstdint>

#include "columns/ColumnSpan.h"
#include "columns/PixelCache.h"

namespace skelvane {

class FilteredPieceExtremes;
class RecordReader;
class SourceSummary;

class SummaryColumns {
 public:
  /// Appends the bars of `span` to `cache`. Raw samples are read through `reader` only for blocks
  /// that straddle a column edge and could change a bar. 0; -1 when the span ends before the first
  /// record; or the reader's code (kStatusSourceChanged for a file that got shorter, an errno).
  /// Needs a positive scale (the extremes of scaled samples are then the scaled extremes). A walk over
  /// more than `splitRecords` records is folded in two halves on two threads.
  static int32_t Build(const SourceSummary& summary, const RecordReader& reader, const ColumnSpan& span,
                       PixelCache& cache, int64_t splitRecords = kSplitRecords);
  /// As Build, for a summary of filtered samples: the open samples' values are the filtered ones
  /// `pieces` finds.
  static int32_t Build(const SourceSummary& summary, const FilteredPieceExtremes& pieces, const ColumnSpan& span,
                       PixelCache& cache, int64_t splitRecords = kSplitRecords);
  /// Records a walk must span before it is split over two threads.
  static constexpr int64_t kSplitRecords = 16'384;
};

}  // namespace skelvane
