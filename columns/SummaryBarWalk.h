#pragma once
// One thread's part of the summary walk: visits a source summary's records for one span as the
// sample-by-sample walk does, folding whole runs of records from the summary's nodes into a
// BarAccumulator, then the records split between columns block by block (and, where a column edge
// cuts a block, sub-block by sub-block) where they could still widen a bar. Used by SummaryColumns.

#include <cstdint>
#include <span>
#include <vector>

#include "columns/BarAccumulator.h"
#include "columns/ColumnSpan.h"
#include "columns/ColumnSplitter.h"
#include "columns/RecordWalk.h"

namespace skelvane {

class SourceSummary;

class SummaryBarWalk {
 public:
  SummaryBarWalk(const SourceSummary& summary, const ColumnSpan& span);

  /// The walk over the summary's records.
  RecordWalk Walker() const;
  /// Walks from record `index` (which the walk visits) down, leaving the records at or below
  /// `floor` to another walk; -1 for none.
  void WalkFrom(int64_t index, int64_t floor);
  /// The bars found so far.
  BarAccumulator& Bars() { return bars_; }

 private:
  int64_t Timestamp(int64_t record) const { return timestamps_[static_cast<std::size_t>(record)]; }
  int16_t Scaled(int16_t sample) const;
  int64_t FoldColumnRun(int64_t index);
  int64_t EstimateRecord(int64_t index, int64_t earlier) const;
  void PrefetchBefore(int64_t low) const;
  // Samples first..last of a split record, all in the column of bar `bar`.
  struct Piece {
    int32_t bar;
    int16_t first;
    int16_t last;
  };
  // A split record's pieces: pieces_[firstPiece .. firstPiece + pieces).
  struct Split {
    int64_t index;
    int32_t firstPiece;
    int32_t pieces;
  };
  void SplitRecord(int64_t index);
  void FoldSplitRecords();
  void FoldPiece(int64_t index, const Piece& piece);
  void FoldPartialBlock(int64_t index, int32_t block, int32_t from, int32_t to, int32_t bar);

  const SourceSummary& summary_;
  const std::span<const int64_t> timestamps_;
  const ColumnSpan& span_;
  const double timePerPixel_;
  ColumnSplitter splitter_;
  BarAccumulator bars_;
  std::vector<Split> split_;
  std::vector<Piece> pieces_;
  int64_t floor_ = -1;  // records at or below it are another walk's
};

}  // namespace skelvane
