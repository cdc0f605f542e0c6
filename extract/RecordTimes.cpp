#include "extract/RecordTimes.h"

#include <algorithm>
#include <limits>
#include <span>

#include "datafile/RecordReader.h"
#include "platform/StatusCodes.h"
#include "summary/SourceSummary.h"
#include "summary/SummaryCache.h"
#include "summary/SummaryKey.h"

namespace skelvane {

RecordTimes::RecordTimes(IDataSourceManager& sources, int32_t sourceId)
    : sources_(sources), sourceId_(sourceId), stream_(sources, sourceId), latest_(std::numeric_limits<int64_t>::min()) {}

void RecordTimes::TakeKeptTimes() {
  lookedForKept_ = true;
  SummaryCache& cache = SummaryCache::Instance();
  RecordLayout layout;
  if (!cache.Enabled() || sources_.GetRecordLayout(sourceId_, layout) != kStatusOk || layout.numRecords != Count()) return;
  RecordReader reader;
  SummaryKey key;
  if (reader.Open(layout) != 0 || SummaryKey::Of(layout, reader, key) != 0) return;
  // The summary of this very file (or of its first records, when it has grown since): checked by the
  // cache as it is for the traces, and only its timestamps are taken.
  SourceSummary kept;
  const SummaryCache::Found found = cache.Find(key, reader, kept);
  if (found != SummaryCache::Found::Kept && found != SummaryCache::Found::Grown) return;
  const std::span<const int64_t> times = kept.Timestamps();
  times_.assign(times.begin(), times.begin() + std::min<int64_t>(kept.NumRecords(), Count()));
  if (kept.Damaged()) {  // cut short while read: the records' own times are read instead
    times_.clear();
    return;
  }
  for (const int64_t t : times_) latest_ = std::max(latest_, t);
  fromKeptSummary_ = !times_.empty();
}

bool RecordTimes::ReadPast(int64_t time) {
  if (!lookedForKept_ && times_.empty()) TakeKeptTimes();
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
