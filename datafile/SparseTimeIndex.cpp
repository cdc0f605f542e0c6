#include "datafile/SparseTimeIndex.h"

#include <algorithm>

namespace skelvane {

int64_t SparseTimeIndex::EntryCount(int64_t records) {
  if (records <= 0) return 0;
  return std::max<int64_t>(2, std::min(records / kRecordsPerEntry, kMostEntries - 1) + 1);
}

int64_t SparseTimeIndex::EntryRecord(int64_t entry, int64_t records) {
  const int64_t entries = EntryCount(records);
  if (entry >= entries - 1) return records - 1;
  return records / (entries - 1) * entry;
}

std::vector<int64_t> SparseTimeIndex::EntryMaxima(std::span<const int64_t> timestamps) {
  const auto records = static_cast<int64_t>(timestamps.size());
  std::vector<int64_t> maxima(static_cast<std::size_t>(EntryCount(records)));
  for (std::size_t e = 0; e < maxima.size(); ++e) {
    const int64_t stamp = timestamps[static_cast<std::size_t>(EntryRecord(static_cast<int64_t>(e), records))];
    maxima[e] = e == 0 ? stamp : std::max(maxima[e - 1], stamp);
  }
  return maxima;
}

int64_t SparseTimeIndex::Descents(std::span<const int64_t> timestamps) {
  int64_t descents = 0;
  for (std::size_t r = 1; r < timestamps.size(); ++r) descents += timestamps[r - 1] > timestamps[r] ? 1 : 0;
  return descents;
}

int64_t SparseTimeIndex::Find(int64_t time) const {
  const auto records = static_cast<int64_t>(timestamps_.size());
  if (records == 0 || time <= timestamps_.front()) return -1;
  if (time >= timestamps_.back()) return records - 1;
  if (entryMaxima_.empty()) {
    return std::upper_bound(timestamps_.begin(), timestamps_.end(), time) - timestamps_.begin() - 1;
  }
  // The first entry in 1..L-2 stamped after `time` is where the running maximum first passes it
  // (entry 0 is not after it); the last entry when none is.
  const auto entries = static_cast<int64_t>(entryMaxima_.size());
  const int64_t upper = std::min<int64_t>(
      std::upper_bound(entryMaxima_.begin() + 1, entryMaxima_.begin() + (entries - 1), time) - entryMaxima_.begin(),
      entries - 1);
  const int64_t last = EntryRecord(upper, records);
  int64_t j = EntryRecord(upper - 1, records);
  while (j <= last && timestamps_[static_cast<std::size_t>(j)] <= time) ++j;
  return j - 1;
}

}  // namespace skelvane
