#pragma once
// Fills a CSC plot's pixel cache sample by sample: every sample (the trace path) or one min-max bar
// per column (the bar path), walking the records back from the end of the span, one time lookup and
// one column division per sample. Used by CscPlot for sources it cannot read directly, and as the
// reference the faster builders are tested against.

#include <cstdint>

#include "columns/ColumnSpan.h"
#include "columns/PixelCache.h"

namespace skelvane {

class IDataSourceManager;
class RecordWalk;

class LiteralColumns {
 public:
  /// Walks with one time lookup per record through the data source manager, appending to `cache`.
  /// 0, or -1 when the first lookup finds no record (the span ends before the source's first record).
  static int32_t ThroughManager(IDataSourceManager& manager, int32_t source, const ColumnSpan& span, bool minMax,
                                PixelCache& cache);
  /// The same walk by record index over records already read: `records` holds `walk`'s records
  /// first..last back to back, `recordSize` bytes each. Same result as ThroughManager.
  static int32_t FromRecords(const RecordWalk& walk, int64_t first, const uint8_t* records, int32_t recordSize,
                             const ColumnSpan& span, bool minMax, PixelCache& cache);
};

}  // namespace skelvane
