#include "summary/SampleExtremes.h"

#include <algorithm>
#include <cstring>
#include <limits>

namespace skelvane {
namespace {

// Samples sit two bytes apart from an even offset, so a 16-bit load is fine; may_alias lets them be
// read straight from the record bytes.
using StoredSample = int16_t __attribute__((may_alias, aligned(1)));

// Plain loops the compiler turns into packed minimum and maximum instructions; the AVX2 copy is
// chosen at load time on machines that have it.
__attribute__((target_clones("avx2", "default"))) void Extremes(const StoredSample* samples, int32_t count,
                                                                int16_t& low, int16_t& high) {
  int16_t lowest = std::numeric_limits<int16_t>::max();
  int16_t highest = std::numeric_limits<int16_t>::min();
  for (int32_t i = 0; i < count; ++i) {
    lowest = std::min<int16_t>(lowest, samples[i]);
    highest = std::max<int16_t>(highest, samples[i]);
  }
  low = lowest;
  high = highest;
}

}  // namespace

void SampleExtremes::Of(const uint8_t* bytes, int32_t count, int16_t& low, int16_t& high) {
  Extremes(reinterpret_cast<const StoredSample*>(bytes), count, low, high);
}

}  // namespace skelvane
