#pragma once
// What the data source manager's sparse time index answers for a time, worked out from every
// record's timestamp held in memory: an entry every N / (L - 1) records (L = N / 100 + 1, between 2
// and 10001) and the last record, the first entry stamped after the time, then a scan of one
// interval. On timestamps that never decrease that is the last record stamped at or before the
// time; elsewhere it is whatever that scan finds, which the plot's walk follows record for record.
// Used by the source summaries (built with it) and the column walks.

#include <cstdint>
#include <span>
#include <vector>

namespace skelvane {

class SparseTimeIndex {
 public:
  /// Records per index interval are N / (L - 1) with L = N / kRecordsPerEntry + 1 entries ...
  static constexpr int64_t kRecordsPerEntry = 100;
  /// ... of which there are at most this many.
  static constexpr int64_t kMostEntries = 10'001;

  /// Index entries of a file of `records` records (at least 2 for a non-empty one; 0 for none).
  static int64_t EntryCount(int64_t records);
  /// The record of entry `entry` (0..EntryCount - 1).
  static int64_t EntryRecord(int64_t entry, int64_t records);
  /// The running maximum over the entries' timestamps, entry 0 first: what Find needs to find the
  /// first entry stamped after a time when timestamps go back.
  static std::vector<int64_t> EntryMaxima(std::span<const int64_t> timestamps);
  /// How many records are stamped later than the record after them.
  static int64_t Descents(std::span<const int64_t> timestamps);

  /// The index of the records stamped `timestamps`. `entryMaxima` is EntryMaxima of them; it may be
  /// empty when no timestamp is later than the next one (the answer is then found by bisection).
  SparseTimeIndex(std::span<const int64_t> timestamps, std::span<const int64_t> entryMaxima)
      : timestamps_(timestamps), entryMaxima_(entryMaxima) {}

  /// The record the lookup gives for `time`: -1 when `time` is not after record 0's timestamp (or
  /// there are no records), the last record when `time` is not before the last record's timestamp.
  int64_t Find(int64_t time) const;
  /// True when the timestamps were declared never to decrease (no maxima given).
  bool NonDecreasing() const { return entryMaxima_.empty(); }
  /// Every record's timestamp.
  std::span<const int64_t> Timestamps() const { return timestamps_; }

 private:
  std::span<const int64_t> timestamps_;
  std::span<const int64_t> entryMaxima_;
};

}  // namespace skelvane
