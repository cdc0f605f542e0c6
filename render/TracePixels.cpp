#include "render/TracePixels.h"

#include <algorithm>

namespace skelvane {

void TracePixels::Compute(std::span<const int32_t> xs, std::span<const int32_t> counts,
                          std::span<const int16_t> ys) {
  const std::array<int32_t, 4>& v = transform_.viewport;
  valid_ = coverage_.SetTransform(transform_.matrix, v[0], v[1], v[2], v[3]);
  if (valid_) coverage_.Compute(xs, counts, ys, spans_, undecided_);
  ready_ = true;
}

void TracePixels::Prepare(std::span<const int32_t> xs, std::span<const int32_t> counts,
                          std::span<const int16_t> ys) {
  if (known_ && Dense(ys.size(), std::min(xs.size(), counts.size()))) Compute(xs, counts, ys);
}

bool TracePixels::Use(const Transform& transform, std::span<const int32_t> xs, std::span<const int32_t> counts,
                      std::span<const int16_t> ys) {
  if (!known_ || !(transform == transform_)) {
    transform_ = transform;
    known_ = true;
    ready_ = false;
  }
  if (!ready_) Compute(xs, counts, ys);
  return valid_;
}

}  // namespace skelvane
