#include "display/ZoomHistory.h"

namespace skelvane {

std::optional<ZoomHistory::View> ZoomHistory::Back(Direction direction, const View& current) {
  if (steps_.empty()) return std::nullopt;
  if (steps_.back().after != current) {
    steps_.clear();
    return std::nullopt;
  }
  if (steps_.back().direction == direction) return std::nullopt;
  const View before = steps_.back().before;
  steps_.pop_back();
  return before;
}

void ZoomHistory::Step(Direction direction, const View& before, const View& after) {
  if (steps_.size() == kMostSteps) steps_.erase(steps_.begin());
  steps_.push_back({direction, before, after});
}

}  // namespace skelvane
