#pragma once
// The timestamps of one source's records, read from the front as far as they are needed and kept, so
// that the detection preview can check their order and find records by time without reading them
// again. Where the recording's summary is kept on disk (SummaryCache), its timestamps are taken from
// there instead: the first look at the end of a long recording then reads none of it. Not
// thread-safe: one thread reads and asks.

#include <cstdint>
#include <vector>

#include "extract/RecordStream.h"

namespace skelvane {

class IDataSourceManager;

class RecordTimes {
 public:
  /// The times of source `sourceId` of `sources`, none read yet.
  RecordTimes(IDataSourceManager& sources, int32_t sourceId);

  /// Whether the timestamps came from a kept summary (once ReadPast was asked).
  bool FromKeptSummary() const { return fromKeptSummary_; }

  /// Records the source holds.
  int64_t Count() const { return stream_.Count(); }
  /// Records whose timestamps have been read, from the first on.
  int64_t Known() const { return static_cast<int64_t>(times_.size()); }
  /// Timestamp of a record already read.
  int64_t At(int64_t record) const { return times_[static_cast<std::size_t>(record)]; }
  /// Reads on until a record stamped at or after `time` and the one after it are known, or every
  /// record is; false when a record could not be read.
  bool ReadPast(int64_t time);
  /// The first record read stamped at or after `time`, Known() when none is: a binary search, so
  /// only meaningful while the records read are in order.
  int64_t FirstAtOrAfter(int64_t time) const;

 private:
  void TakeKeptTimes();

  IDataSourceManager& sources_;
  int32_t sourceId_;
  RecordStream stream_;
  std::vector<int64_t> times_;
  int64_t latest_;  // the latest timestamp read so far
  bool lookedForKept_ = false;
  bool fromKeptSummary_ = false;
};

}  // namespace skelvane
