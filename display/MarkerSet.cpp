#include "display/MarkerSet.h"

#include <algorithm>

namespace skelvane {
namespace {

bool EarlierThan(const MarkerSet::Marker& marker, int64_t time) { return marker.timestamp < time; }
bool LaterThan(int64_t time, const MarkerSet::Marker& marker) { return time < marker.timestamp; }

}  // namespace

std::size_t MarkerSet::Add(Marker marker) {
  const auto at = std::upper_bound(markers_.begin(), markers_.end(), marker.timestamp, LaterThan);
  const auto index = static_cast<std::size_t>(at - markers_.begin());
  markers_.insert(at, std::move(marker));
  ++revision_;
  return index;
}

bool MarkerSet::Remove(std::size_t index) {
  if (index >= markers_.size()) return false;
  markers_.erase(markers_.begin() + static_cast<std::ptrdiff_t>(index));
  ++revision_;
  return true;
}

bool MarkerSet::SetText(std::size_t index, std::string text) {
  if (index >= markers_.size()) return false;
  markers_[index].text = std::move(text);
  ++revision_;
  return true;
}

void MarkerSet::Clear() {
  markers_.clear();
  ++revision_;
}

void MarkerSet::Assign(std::vector<Marker> markers) {
  std::stable_sort(markers.begin(), markers.end(),
                   [](const Marker& a, const Marker& b) { return a.timestamp < b.timestamp; });
  markers_ = std::move(markers);
  ++revision_;
}

std::pair<std::size_t, std::size_t> MarkerSet::Within(int64_t start, int64_t end) const {
  const auto first = std::lower_bound(markers_.begin(), markers_.end(), start, EarlierThan);
  const auto last = std::lower_bound(first, markers_.end(), end, EarlierThan);
  return {static_cast<std::size_t>(first - markers_.begin()), static_cast<std::size_t>(last - markers_.begin())};
}

std::optional<std::size_t> MarkerSet::After(int64_t time) const {
  const auto next = std::upper_bound(markers_.begin(), markers_.end(), time, LaterThan);
  if (next == markers_.end()) return std::nullopt;
  return static_cast<std::size_t>(next - markers_.begin());
}

std::optional<std::size_t> MarkerSet::Before(int64_t time) const {
  const auto first = std::lower_bound(markers_.begin(), markers_.end(), time, EarlierThan);
  if (first == markers_.begin()) return std::nullopt;
  return static_cast<std::size_t>(first - markers_.begin()) - 1;
}

}  // namespace skelvane
