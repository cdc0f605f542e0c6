#pragma once
// The time lookup the source table used before it searched record timestamps directly: a sparse
// index built at open, then a scan of one index interval. Tests hold the search to its answers.

#include <algorithm>
#include <cstdint>
#include <vector>

namespace skelvane::test {

class SparseIndexLookup {
 public:
  /// Builds the index over records stamped `stamps` (at least one): an entry every n / 100 records,
  /// at most 10001 entries, always the first and the last record.
  explicit SparseIndexLookup(std::vector<int64_t> stamps) : stamps_(std::move(stamps)) {
    const auto n = static_cast<uint32_t>(stamps_.size());
    const uint32_t intervals = std::max(std::min(n / 100u, 10000u) + 1u, 2u) - 1u;
    const uint32_t step = n / intervals;
    for (uint32_t i = 0; i <= intervals; ++i) {
      records_.push_back(i < intervals ? step * i : n - 1);
      indexStamps_.push_back(stamps_[records_.back()]);
    }
  }

  /// The record the lookup hands back for `time`, or -1 when it leaves the record untouched.
  int64_t Find(int64_t time) const {
    const std::size_t last = indexStamps_.size() - 1;
    if (time <= indexStamps_[0]) return -1;
    if (time >= indexStamps_[last]) return records_[last];
    std::size_t upper = last;
    for (std::size_t i = 1; i < last; ++i) {
      if (indexStamps_[i] > time) {
        upper = i;
        break;
      }
    }
    int64_t j = records_[upper - 1];
    while (j <= static_cast<int64_t>(records_[upper])) {
      if (stamps_[static_cast<std::size_t>(j)] > time) break;
      ++j;
    }
    return j - 1;
  }

 private:
  std::vector<int64_t> stamps_;
  std::vector<uint32_t> records_;
  std::vector<int64_t> indexStamps_;
};

}  // namespace skelvane::test
