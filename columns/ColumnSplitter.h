#pragma once
// Splits a record's samples into the pixel columns they fall in, by exactly the arithmetic of the
// sample-by-sample walk (each sample stamped at its record's timestamp plus its truncated offset,
// TimeColumns::ColumnForOffset for its column), at a few divisions per column instead of one per
// sample. Used by RecordColumns and SummaryBarWalk; one per thread (it remembers column edges).

#include <array>
#include <cstdint>
#include <limits>
#include <vector>

#include "columns/ColumnSpan.h"
#include "columns/TimeColumns.h"
#include "datafile/CscRecord.h"
#include "platform/Saturating.h"

namespace skelvane {

class ColumnSplitter {
 public:
  /// Samples first..last (inclusive) of one record, all in column x.
  struct Run {
    int32_t x;
    int32_t first;
    int32_t last;
  };

  explicit ColumnSplitter(const ColumnSpan& span);

  /// Time of sample i of a record stamped `timestamp`.
  int64_t TimeOf(int64_t timestamp, int32_t i) const {
    return SaturatingAdd(timestamp, offsets_[static_cast<std::size_t>(i)]);
  }
  /// Column of the time `time` of the span.
  int32_t Column(int64_t time) const {
    return TimeColumns::ColumnForOffset(SaturatingSubtract(time, span_.start), timePerPixel_);
  }
  /// The lowest sample of a record stamped `timestamp` not stamped before the span's start (the walk
  /// takes the samples from there up); kSamplesPerRecord when every one is.
  int32_t FirstTaken(int64_t timestamp) const;
  /// Appends the runs of samples first..last of a record stamped `timestamp`, from `last` down.
  void Split(int64_t timestamp, int32_t first, int32_t last, std::vector<Run>& runs);
  /// The lowest sample in first..last of a record stamped `timestamp` whose column is at least x,
  /// the column of sample `last`.
  int32_t RunStart(int64_t timestamp, int32_t first, int32_t last, int32_t x);
  /// The first time at or after the span's start whose column is at least x (columns only grow
  /// with time); false where it cannot be settled in a few steps (times beyond double precision).
  bool FirstTimeOfColumn(int32_t x, int64_t& time);

 private:
  bool SearchFirstTimeOfColumn(int32_t x, int64_t& time) const;
  int32_t SampleGuess(int64_t timestamp, int64_t time) const;

  const ColumnSpan span_;
  const std::array<int64_t, kSamplesPerRecord> offsets_;
  const double timePerPixel_;
  const bool fewPerColumn_;  // under two samples per column: one division per sample is cheapest
  struct KnownColumn {
    int32_t x = std::numeric_limits<int32_t>::min();
    bool found = false;
    int64_t time = 0;
  };
  std::array<KnownColumn, 2> knownColumns_{};  // the last columns whose first time was searched
  std::size_t nextKnown_ = 0;
};

}  // namespace skelvane
