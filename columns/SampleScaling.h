#pragma once
// Turns stored A/D counts into the 16-bit values a CSC plot caches, saturating instead of wrapping.
// Shared by the CSC plot and the column builders that fill its pixel cache.

#include <cmath>
#include <cstdint>

#include "platform/Saturating.h"

namespace skelvane {

/// The cached value of a sample: trunc(sample x scale) as 16 bits; the sample itself at scale 1.
inline int16_t ScaleSample(int16_t sample, double scale) {
  if (scale == 1.0) return sample;
  return SaturateTo<int16_t>(std::trunc(sample * scale));
}

}  // namespace skelvane
