#pragma once
// The exact extremes of pieces of records as a filtered view shows them: the records the pieces lie
// in are filtered as FilteredRecords filters any run of them (the support around them read too), so
// the bar ends a filtered summary only bounds are settled with the filtered samples. Asked by
// BarSettler, for CscPlot's zoomed-out bars of a filtered plot.

#include <cstdint>
#include <span>

#include "columns/PieceExtremes.h"
#include "filter/FilteredRecords.h"

namespace skelvane {

class RecordReader;

class FilteredPieceExtremes final : public PieceExtremes {
 public:
  /// Records needed at most this many apart are read in one go (with their support around them).
  static constexpr int64_t kJoinRecords = 3;

  /// Filters the recording `reader` has open (it must outlive this object) through `design`, its gaps
  /// judged by `sampleInterval` (microseconds per sample).
  FilteredPieceExtremes(const RecordReader& reader, const FilterDesign& design, double sampleInterval)
      : records_(reader, design, sampleInterval) {}

  /// The extremes are of the filtered samples. Any thread: the buffers are the call's own.
  int32_t Find(std::span<const Piece> pieces, std::span<Extremes> extremes) override;

 private:
  FilteredRecords records_;
};

}  // namespace skelvane
