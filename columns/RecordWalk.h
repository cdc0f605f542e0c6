#pragma once
// Steps through a source's records in the order the plot's backward walk by time lookups visits
// them, but by record index over timestamps already in memory. Used by LiteralColumns, RecordColumns
// and SummaryColumns.

#include <cstdint>
#include <limits>
#include <optional>

#include "datafile/SparseTimeIndex.h"
#include "platform/Saturating.h"

namespace skelvane {

class RecordWalk {
 public:
  /// No record is visited next: the walk is over.
  static constexpr int64_t kEnd = -1;
  /// The span ends at or before the source's first record: nothing can be drawn.
  static constexpr int64_t kNoRecord = -2;

  /// `timestamps` holds the records first..last (indexed from `first`), taken never to decrease;
  /// `firstTimestamp` is record 0's.
  RecordWalk(const int64_t* timestamps, int64_t first, int64_t last, int64_t firstTimestamp)
      : timestamps_(timestamps), first_(first), last_(last), firstTimestamp_(firstTimestamp) {}
  /// Every record of a source, looked up through `index` (whose timestamps must outlive the walk) as
  /// the data source manager's time index finds them, whatever their timestamps do.
  explicit RecordWalk(const SparseTimeIndex& index)
      : RecordWalk(index.Timestamps().data(), 0, static_cast<int64_t>(index.Timestamps().size()) - 1,
                   index.Timestamps().empty() ? 0 : index.Timestamps().front()) {
    if (!index.NonDecreasing()) index_ = index;
  }

  /// Timestamp of record `index` (first..last).
  int64_t At(int64_t index) const { return timestamps_[index - first_]; }

  /// The last record stamped at or before `end`, where the walk begins; kNoRecord when `end` is not
  /// after record 0 (the lookup then finds nothing), kEnd when there are no records.
  int64_t Begin(int64_t end) const {
    if (last_ < first_) return kEnd;
    if (end <= firstTimestamp_) return kNoRecord;
    if (index_) return index_->Find(end);
    const int64_t begin = LastAtOrBefore(end);
    return begin >= first_ ? begin : kEnd;
  }

  /// Whether a record stamped `timestamp` is visited at all: one ending before start ends the walk.
  static bool Reaches(int64_t timestamp, int64_t start, int32_t recordDuration) {
    return SaturatingAdd(timestamp, recordDuration) >= start;
  }

  /// The record visited after `index`: what the time lookup finds a microsecond before its
  /// timestamp (the last one stamped before it, where timestamps never decrease, so of equal
  /// timestamps only the last is visited), or kEnd. The lookup changes nothing once the cursor is not
  /// after record 0's timestamp, which ends the walk; `stopBeforeStart` also ends it when the cursor
  /// lies before `start`. Every record visited is stamped before the one visited before it, so the
  /// walk ends whatever the timestamps do.
  int64_t Next(int64_t index, bool stopBeforeStart, int64_t start) const {
    const int64_t timestamp = At(index);
    if (timestamp == std::numeric_limits<int64_t>::min()) return kEnd;
    const int64_t cursor = timestamp - 1;
    if (stopBeforeStart && cursor < start) return kEnd;
    if (cursor <= firstTimestamp_) return kEnd;
    if (index_) return index_->Find(cursor);
    int64_t next = index - 1;
    while (next >= first_ && At(next) > cursor) --next;
    return next >= first_ ? next : kEnd;
  }

  /// The last index in first..last stamped at or before `time` (timestamps taken as non-decreasing);
  /// first - 1 when there is none.
  int64_t LastAtOrBefore(int64_t time) const {
    int64_t low = first_;
    int64_t high = last_ + 1;  // the answer + 1 lies in [low, high]
    while (low < high) {
      const int64_t middle = low + (high - low) / 2;
      if (At(middle) <= time) {
        low = middle + 1;
      } else {
        high = middle;
      }
    }
    return low - 1;
  }

 private:
  const int64_t* timestamps_;
  int64_t first_;
  int64_t last_;
  int64_t firstTimestamp_;
  std::optional<SparseTimeIndex> index_;  // where timestamps go back: the lookups' own answers
};

}  // namespace skelvane
