#pragma once
// The exact extremes of pieces of records as a filtered view shows them: the records the pieces lie
// in are filtered as FilteredRecords filters any run of them (the support around them read too), so
// the bar ends a filtered summary only bounds are settled with the filtered samples. Asked by
// BarSettler, for CscPlot's zoomed-out bars of a filtered plot.

#include <cstdint>
#include <mutex>
#include <span>
#include <vector>

#include "columns/PieceExtremes.h"
#include "filter/FilteredRecords.h"

namespace skelvane {

class RecordReader;

class FilteredPieceExtremes final : public PieceExtremes {
 public:
  /// Records needed at most this many apart are read in one go (with their support around them).
  static constexpr int64_t kJoinRecords = 3;
  /// A run filtered whole is filtered this many records at a time at most, so the memory a call keeps
  /// stays near a megabyte whatever the span (each part costs one support more).
  static constexpr int64_t kRunRecords = 512;

  /// Filters the recording `reader` has open (it must outlive this object) through `design`, its gaps
  /// judged by `sampleInterval` (microseconds per sample).
  FilteredPieceExtremes(const RecordReader& reader, const FilterDesign& design, double sampleInterval)
      : records_(reader, design, sampleInterval) {}

  /// The extremes are of the filtered samples. Any thread: a call made while another runs uses
  /// buffers of its own.
  int32_t Find(std::span<const Piece> pieces, std::span<Extremes> extremes) override;

 private:
  // The memory of one call: the records read with their support, and a run filtered whole.
  struct Buffers {
    FilteredRecords::Loaded loaded;
    std::vector<int16_t> run;
    std::vector<FilterDesign::OutputRange> wanted;  // the pieces' samples in the run
  };
  int32_t Find(std::span<const Piece> pieces, std::span<Extremes> extremes, Buffers& buffers);

  FilteredRecords records_;
  // Kept from one frame to the next: a frame's reads reach megabytes, which fresh memory would have
  // the kernel clear and map again every time.
  std::mutex keptMutex_;
  Buffers kept_;
};

}  // namespace skelvane
