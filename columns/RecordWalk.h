#pragma once
// Steps through a source's records in the order the plot's backward walk by time lookups visits
// them, but by record index over timestamps already in memory. Used by LiteralColumns and SummaryColumns.

#include <cstdint>
#include <limits>

#include "platform/Saturating.h"

namespace skelvane {

class RecordWalk {
 public:
  /// No record is visited next: the walk is over.
  static constexpr int64_t kEnd = -1;
  /// The span ends at or before the source's first record: nothing can be drawn.
  static constexpr int64_t kNoRecord = -2;

  /// `timestamps` holds the records first..last (indexed from `first`); `firstTimestamp` is record 0's.
  RecordWalk(const int64_t* timestamps, int64_t first, int64_t last, int64_t firstTimestamp)
      : timestamps_(timestamps), first_(first), last_(last), firstTimestamp_(firstTimestamp) {}

  /// Timestamp of record `index` (first..last).
  int64_t At(int64_t index) const { return timestamps_[index - first_]; }

  /// The last record stamped at or before `end`, where the walk begins; kNoRecord when `end` is not
  /// after record 0 (the lookup then finds nothing), kEnd when there are no records.
  int64_t Begin(int64_t end) const {
    if (last_ < first_) return kEnd;
    if (end <= firstTimestamp_) return kNoRecord;
    const int64_t begin = LastAtOrBefore(end);
    return begin >= first_ ? begin : kEnd;
  }

  /// Whether a record stamped `timestamp` is visited at all: one ending before start ends the walk.
  static bool Reaches(int64_t timestamp, int64_t start, int32_t recordDuration) {
    return SaturatingAdd(timestamp, recordDuration) >= start;
  }

  /// The record visited after `index`: the last one stamped before it (so of equal timestamps only
  /// the last is visited), or kEnd. The time lookup changes nothing once the cursor is not after
  /// record 0's timestamp, which ends the walk; `stopBeforeStart` also ends it when the cursor lies
  /// before `start`. Indexes only go down, so a file whose timestamps go back cannot make it loop.
  int64_t Next(int64_t index, bool stopBeforeStart, int64_t start) const {
    const int64_t timestamp = At(index);
    if (timestamp == std::numeric_limits<int64_t>::min()) return kEnd;
    const int64_t cursor = timestamp - 1;
    if (stopBeforeStart && cursor < start) return kEnd;
    if (cursor <= firstTimestamp_) return kEnd;
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
};

}  // namespace skelvane
