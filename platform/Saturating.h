#pragma once
// Arithmetic and conversions that hold at the ends of the target type's range instead of overflowing
// or wrapping: a corrupt record, settings file or file size may carry any value. The one home of
// these helpers; the data files, the summaries, the display, the extraction and the CLI use them.

#include <algorithm>
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

/// `value` truncated towards zero into T, held at T's ends beyond them (NaN gives the lowest value).
/// For int64_t the ends are the type's own, where the double 2^63 already counts as past the top.
template <typename T>
T SaturateTo(double value) {
  if (!(value > std::numeric_limits<T>::min())) return std::numeric_limits<T>::min();
  if (!(value < std::numeric_limits<T>::max())) return std::numeric_limits<T>::max();
  return static_cast<T>(value);
}

/// `value` held within T's range.
template <typename T>
T ClampTo(int64_t value) {
  return static_cast<T>(std::clamp<int64_t>(value, std::numeric_limits<T>::min(), std::numeric_limits<T>::max()));
}

/// A time computed in double precision, truncated towards zero and held within +-9.2e18 us, a little
/// inside the 64-bit range, so that adding a few columns' worth of time to it cannot overflow.
inline int64_t TruncToInt64(double value) {
  constexpr double kLimit = 9.2e18;
  if (!(value > -kLimit)) return static_cast<int64_t>(-kLimit);
  if (!(value < kLimit)) return static_cast<int64_t>(kLimit);
  return static_cast<int64_t>(value);
}

/// a * b / c with the product in 128 bits, held within the 64-bit range; 0 when c is 0.
inline int64_t MulDiv(int64_t a, int64_t b, int64_t c) {
  if (c == 0) return 0;
  const __int128 result = static_cast<__int128>(a) * b / c;
  return static_cast<int64_t>(std::clamp<__int128>(result, std::numeric_limits<int64_t>::min(),
                                                   std::numeric_limits<int64_t>::max()));
}

}  // namespace skelvane
