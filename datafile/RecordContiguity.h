#pragma once
// Whether two consecutive records of one recording follow each other without a gap in time. The
// filter restarts its segments where they do not; the extraction's walk separates blocks by the same
// rule.

#include <cstdint>

#include "datafile/CscRecord.h"

namespace skelvane {

class RecordContiguity {
 public:
  /// Records further apart than this many sample intervals are separated by a recording gap.
  static constexpr double kLongestStepIntervals = 2.0 * kSamplesPerRecord;

  /// True when the record stamped `later` follows the one stamped `earlier` without a gap, with
  /// samples `sampleInterval` microseconds apart. The step is taken as an unsigned difference: exact
  /// across zero, and a later timestamp below the earlier one wraps to a huge step, so time going
  /// back counts as a gap.
  static bool Contiguous(int64_t earlier, int64_t later, double sampleInterval) {
    const uint64_t step = static_cast<uint64_t>(later) - static_cast<uint64_t>(earlier);
    return !(static_cast<double>(step) > kLongestStepIntervals * sampleInterval);
  }
};

}  // namespace skelvane
