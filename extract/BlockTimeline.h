#pragma once
// The sample times of one three-record block, computed only where the detector asks for them (a
// window's few dozen samples) instead of for all 1536 samples of every block. Used by ExtractionRun.

#include <array>
#include <cstdint>

namespace skelvane {

class BlockTimeline {
 public:
  /// Records in a block: previous, current, next.
  static constexpr int32_t kRecordsPerBlock = 3;

  /// Sets the block: each record's timestamp (or absent: its samples read as time 0) and the sample interval.
  void Set(const std::array<int64_t, kRecordsPerBlock>& recordTimes, const std::array<bool, kRecordsPerBlock>& present,
           double sampleInterval);
  /// Time of block sample `index` (0 .. 1535): the record's timestamp plus the sample's offset, added in
  /// double precision and rounded down to a whole microsecond; held at the ends of the 64-bit range.
  int64_t At(int64_t index) const;
  /// Samples in the block.
  int64_t Length() const;
  /// A time in double precision rounded down to a whole microsecond, held at the ends of the signed
  /// 64-bit range (a plain conversion of a value out of range is undefined); NaN gives 0. Rounding down
  /// rather than toward zero makes a time before zero land as its shift after zero does.
  static int64_t Floor(double time);

 private:
  std::array<double, kRecordsPerBlock> base_{};
  std::array<bool, kRecordsPerBlock> present_{};
  double interval_ = 0.0;
};

}  // namespace skelvane
