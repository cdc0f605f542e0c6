#pragma once
// The process's CPU time over all its threads (the software rasteriser's included) and the median of
// a bench's repeated figures: what the display benches compare frames by on a shared machine.

#include <time.h>

#include <algorithm>
#include <cstddef>
#include <vector>

namespace skelvane::bench {

inline double ProcessSeconds() {
  timespec now{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) + 1e-9 * static_cast<double>(now.tv_nsec);
}

/// The middle value (the upper one of an even count); 0 for none.
inline double Median(std::vector<double> values) {
  if (values.empty()) return 0.0;
  std::nth_element(values.begin(), values.begin() + static_cast<std::ptrdiff_t>(values.size() / 2), values.end());
  return values[values.size() / 2];
}

}  // namespace skelvane::bench
