#pragma once
// The time lookup of the source table's Part, step by step: a sparse index built at open, then a
// scan of one index interval. The fake source table answers with it, and tests hold the manager's
// search and the column walks to its answers.

#include <algorithm>
#include <cstdint>
#include <utility>
#include <vector>

namespace skelvane::test {

class SparseIndexLookup {
 public:
  /// Builds the index over records stamped `stamps` (at least one): an entry every n / 100 records,
  /// at most 10001 entries, always the first and the last record.
  explicit SparseIndexLookup(std::vector<int64_t> stamps) : stamps_(std::move(stamps)) {}

  /// The record the lookup hands back for `time`, or -1 when it leaves the record untouched.
  int64_t Find(int64_t time) const {
    return Find(static_cast<int64_t>(stamps_.size()), [this](int64_t i) { return stamps_[static_cast<std::size_t>(i)]; },
                time);
  }

  /// The same over `count` records (at least one) whose timestamps `stampOf(i)` gives.
  template <typename StampOf>
  static int64_t Find(int64_t count, const StampOf& stampOf, int64_t time) {
    const auto n = static_cast<uint32_t>(count);
    const uint32_t intervals = std::max(std::min(n / 100u, 10000u) + 1u, 2u) - 1u;
    const uint32_t step = n / intervals;
    const auto entry = [&](uint32_t i) -> int64_t { return i < intervals ? int64_t{step} * i : count - 1; };
    if (time <= stampOf(entry(0))) return -1;
    if (time >= stampOf(entry(intervals))) return entry(intervals);
    uint32_t upper = intervals;
    for (uint32_t i = 1; i < intervals; ++i) {
      if (stampOf(entry(i)) > time) {
        upper = i;
        break;
      }
    }
    int64_t j = entry(upper - 1);
    while (j <= entry(upper)) {
      if (stampOf(j) > time) break;
      ++j;
    }
    return j - 1;
  }

 private:
  std::vector<int64_t> stamps_;
};

}  // namespace skelvane::test
