#pragma once
// Sums and differences of microsecond times that saturate at the ends of the 64-bit range instead of
// overflowing: a corrupt record may carry any timestamp. Used by the source table, the display and the CLI.

#include <cstdint>
#include <limits>

namespace skelvane {

/// a + b, held at the largest or smallest 64-bit value when it would overflow.
inline int64_t SaturatingAdd(int64_t a, int64_t b) {
  int64_t sum = 0;
  if (!__builtin_add_overflow(a, b, &sum)) return sum;
  return b > 0 ? std::numeric_limits<int64_t>::max() : std::numeric_limits<int64_t>::min();
}

/// a - b, held at the largest or smallest 64-bit value when it would overflow.
inline int64_t SaturatingSubtract(int64_t a, int64_t b) {
  int64_t difference = 0;
  if (!__builtin_sub_overflow(a, b, &difference)) return difference;
  return b < 0 ? std::numeric_limits<int64_t>::max() : std::numeric_limits<int64_t>::min();
}

}  // namespace skelvane
