#pragma once
// Round ticks for a time axis labelled in seconds or as a clock: a step a reader counts in (1, 2, 5 x
// 10^k s; on a clock also 15 and 30 s, 15 and 30 min, whole hours) and the times of the ticks on it.
// The canvas lays out its Seconds and Clock axes with it; the Microseconds axis keeps its fixed ticks.

#include <cstdint>
#include <vector>

namespace skelvane {

class TimeAxisTicks {
 public:
  /// Decimal: 1, 2, 5 x 10^k us. Clock: the same below a second, then 1, 2, 5, 10, 15, 30 s,
  /// 1, 2, 5, 10, 15, 30 min, 1, 2, 3, 6, 12, 24 h, then 1, 2, 5 x 10^k days.
  enum class Kind { Decimal, Clock };

  /// The round step whose ticks lie nearest (by ratio) to `spacing` pixels apart on `width` columns
  /// showing `span` microseconds; the smallest step for a view too narrow to measure.
  static int64_t Step(Kind kind, int64_t span, int32_t width, int32_t spacing);
  /// The next larger round step of `kind` after `step` (`step` itself at the largest).
  static int64_t Next(Kind kind, int64_t step);
  /// The times from `start` up to, not including, `start + span` that are whole multiples of `step`
  /// counted from `origin`, in order.
  static std::vector<int64_t> Times(int64_t start, int64_t span, int64_t origin, int64_t step);
};

}  // namespace skelvane
