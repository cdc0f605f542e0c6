#pragma once
// Fills a CSC plot's pixel cache from records already in memory, as the sample-by-sample walk would:
// each record's samples are split into their columns by the walk's own arithmetic (a few divisions
// per column), the trace keeps the points column by column and the bars take each column's
// extremes with vector instructions. Used by CscPlot for the spans it reads from the file.

#include <cstdint>

#include "columns/ColumnSpan.h"
#include "columns/PixelCache.h"

namespace skelvane {

class RecordWalk;

class RecordColumns {
 public:
  /// Walks `walk`'s records by index, as LiteralColumns::FromRecords does, appending to `cache` the
  /// trace (minMax false) or the bars (true): `records` holds the records first..last back to back,
  /// `recordSize` bytes each. 0, or -1 when the span ends before the source's first record.
  static int32_t Build(const RecordWalk& walk, int64_t first, const uint8_t* records, int32_t recordSize,
                       const ColumnSpan& span, bool minMax, PixelCache& cache);
};

}  // namespace skelvane
