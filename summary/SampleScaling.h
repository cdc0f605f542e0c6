#pragma once
// Turns stored A/D counts into the 16-bit values a CSC plot caches, saturating instead of wrapping.
// Shared by the CSC plot and the column builders that fill its pixel cache.

#include <cmath>
#include <cstdint>
#include <limits>

namespace skelvane {

/// `value` converted to T, held at T's ends when it lies beyond them (NaN gives the lowest value).
template <typename T>
T SaturateTo(double value) {
  if (!(value > std::numeric_limits<T>::min())) return std::numeric_limits<T>::min();
  if (!(value < std::numeric_limits<T>::max())) return std::numeric_limits<T>::max();
  return static_cast<T>(value);
}

/// The cached value of a sample: trunc(sample x scale) as 16 bits; the sample itself at scale 1.
inline int16_t ScaleSample(int16_t sample, double scale) {
  if (scale == 1.0) return sample;
  return SaturateTo<int16_t>(std::trunc(sample * scale));
}

}  // namespace skelvane
