#include "extract/RecordTimes.h"

#include <algorithm>
#include <limits>

namespace skelvane {

RecordTimes::RecordTimes(IDataSourceManager& sources, int32_t sourceId)
    : stream_(sources, sourceId), latest_(std::numeric_limits<int64_t>::min()) {}

bool RecordTimes::ReadPast(int64_t time) {
  while (Known() < Count()) {
    // The record after the first one at or past `time` is wanted too: a block needs its next record.
    if (latest_ >= time) {
      const auto past = std::find_if(times_.begin(), times_.end(), [time](int64_t t) { return t >= time; });
      if (past + 1 < times_.end()) return true;
    }
    const int64_t first = Known();
    const int64_t last = std::min(Count(), first + RecordStream::kBlockRecords) - 1;
    if (!stream_.Ensure(first, last)) return false;
    for (int64_t r = first; r <= last; ++r) {
      times_.push_back(stream_.Timestamp(r));
      latest_ = std::max(latest_, times_.back());
    }
  }
  return true;
}

int64_t RecordTimes::FirstAtOrAfter(int64_t time) const {
  return std::lower_bound(times_.begin(), times_.end(), time) - times_.begin();
}

}  // namespace skelvane
