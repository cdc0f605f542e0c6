#include "extract/ExtractionParameters.h"

#include <cmath>
#include <limits>

namespace skelvane {

ExtractionParameters::~ExtractionParameters() = default;

int32_t ExtractionParameters::TruncatedThreshold() const {
  // Converting an out-of-range double to an integer is undefined; a typed 1e12 must not become noise.
  if (std::isnan(Threshold)) return 0;
  const double t = std::trunc(Threshold);
  if (t >= static_cast<double>(std::numeric_limits<int32_t>::max())) return std::numeric_limits<int32_t>::max();
  if (t <= static_cast<double>(std::numeric_limits<int32_t>::min())) return std::numeric_limits<int32_t>::min();
  return static_cast<int32_t>(t);
}

}  // namespace skelvane
