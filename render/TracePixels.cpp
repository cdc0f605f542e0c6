#include "render/TracePixels.h"

#include <algorithm>
#include <utility>

namespace skelvane {

std::optional<TracePixels::Transform> TracePixels::Scrolled(const Transform& drawn, float centreY, int32_t bottom,
                                                            int32_t top, int32_t toBottom, int32_t toTop) {
  if (top - bottom != toTop - toBottom || top == bottom) return std::nullopt;
  // glOrtho over bottom..top in floats, then glTranslatef's row: the y offset the projection ends
  // with; the scale after it leaves the offset alone.
  const auto offset = [centreY](int32_t from, int32_t to) {
    const float b = static_cast<float>(from);
    const float t = static_cast<float>(to);
    const float scale = 2.0f / (t - b);
    const float translation = -(t + b) / (t - b);
    const float moved = scale * centreY;
    return moved + translation;
  };
  constexpr std::size_t kOffsetY = 13;
  if (drawn.matrix[kOffsetY] != offset(bottom, top)) return std::nullopt;
  Transform scrolled = drawn;
  scrolled.matrix[kOffsetY] = offset(toBottom, toTop);
  return scrolled;
}

void TracePixels::Compute(Set& set, std::span<const int32_t> xs, std::span<const int32_t> counts,
                          std::span<const int16_t> ys) {
  const std::array<int32_t, 4>& v = set.transform.viewport;
  set.valid = coverage_.SetTransform(set.transform.matrix, v[0], v[1], v[2], v[3]);
  if (set.valid) {
    coverage_.Compute(xs, counts, ys, set.spans, set.undecided);
  } else {
    set.spans.clear();
    set.undecided.clear();
  }
}

void TracePixels::Keep(Set&& set) {
  if (kept_.size() >= kMostKept) kept_.erase(kept_.begin());
  kept_.push_back(std::move(set));
}

void TracePixels::Replace(TracePixels&& strip) {
  ready_ = false;
  kept_ = std::move(strip.kept_);
  if (strip.ready_) Keep(std::move(strip.current_));
  strip.Invalidate();
}

void TracePixels::PrepareFor(const Transform& transform, std::span<const int32_t> xs,
                             std::span<const int32_t> counts, std::span<const int16_t> ys) {
  if (!Dense(ys.size(), std::min(xs.size(), counts.size()))) return;
  if (ready_ && current_.transform == transform) return;
  if (std::any_of(kept_.begin(), kept_.end(), [&](const Set& set) { return set.transform == transform; })) return;
  Set set;
  set.transform = transform;
  Compute(set, xs, counts, ys);
  Keep(std::move(set));
}

void TracePixels::Note(const Transform& transform) {
  if (known_ && transform == current_.transform) return;
  if (ready_) Keep(std::move(current_));
  current_ = Set{};
  current_.transform = transform;
  known_ = true;
  ready_ = false;
}

bool TracePixels::Use(const Transform& transform, std::span<const int32_t> xs, std::span<const int32_t> counts,
                      std::span<const int16_t> ys) {
  const bool same = known_ && transform == current_.transform;
  if (!(same && ready_)) {
    const auto found =
        std::find_if(kept_.begin(), kept_.end(), [&](const Set& set) { return set.transform == transform; });
    if (found != kept_.end()) {
      // The set comes forward and the current one, if ready, takes its place among the kept.
      Set taken = std::move(*found);
      kept_.erase(found);
      if (ready_) Keep(std::move(current_));
      current_ = std::move(taken);
      known_ = true;
      ready_ = true;
      return current_.valid;
    }
    Note(transform);
  }
  if (!ready_) {
    Compute(current_, xs, counts, ys);
    ready_ = true;
    ++workedOutInUse_;
  }
  return current_.valid;
}

}  // namespace skelvane
