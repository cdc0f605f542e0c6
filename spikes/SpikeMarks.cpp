#include "spikes/SpikeMarks.h"

#include <algorithm>
#include <utility>

namespace skelvane {

void SpikeMarks::AddGroup(std::vector<std::string> paths, std::vector<int64_t> peaks) {
  groups_.push_back({std::move(paths), std::move(peaks)});
}

void SpikeMarks::SetComplete(int64_t from, int64_t to) {
  completeFrom_ = from;
  completeTo_ = to;
}

std::span<const int64_t> SpikeMarks::PeaksFor(const std::string& path) const {
  for (const Group& group : groups_) {
    if (std::find(group.paths.begin(), group.paths.end(), path) != group.paths.end()) return group.peaks;
  }
  return {};
}

int64_t SpikeMarks::CountBetween(int64_t from, int64_t to) const {
  int64_t count = 0;
  for (const Group& group : groups_) {
    const auto first = std::lower_bound(group.peaks.begin(), group.peaks.end(), from);
    count += std::lower_bound(first, group.peaks.end(), to) - first;
  }
  return count;
}

std::optional<int64_t> SpikeMarks::NextAfter(int64_t time) const {
  std::optional<int64_t> next;
  for (const Group& group : groups_) {
    const auto found = std::upper_bound(group.peaks.begin(), group.peaks.end(), time);
    if (found != group.peaks.end() && (!next || *found < *next)) next = *found;
  }
  return next;
}

std::optional<int64_t> SpikeMarks::PreviousBefore(int64_t time) const {
  std::optional<int64_t> previous;
  for (const Group& group : groups_) {
    const auto found = std::lower_bound(group.peaks.begin(), group.peaks.end(), time);
    if (found != group.peaks.begin() && (!previous || *(found - 1) > *previous)) previous = *(found - 1);
  }
  return previous;
}

bool SpikeMarks::CompleteBetween(int64_t from, int64_t to) const {
  return to <= from || (completeFrom_ <= from && to <= completeTo_);
}

}  // namespace skelvane
