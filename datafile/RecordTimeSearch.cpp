#include "datafile/RecordTimeSearch.h"

#include "datafile/DataFileReader.h"
#include "platform/StatusCodes.h"

namespace skelvane {

RecordTimeSearch::RecordTimeSearch(DataFileReader& reader)
    : reader_(reader), numRecords_(static_cast<int64_t>(reader.GetNumRecords())) {}

int32_t RecordTimeSearch::Open() {
  if (numRecords_ == 0) return kStatusNoData;
  std::lock_guard<std::mutex> guard(lock_);
  // Searches never probe the first or the last record: the bounds they start from.
  if (const int32_t rc = reader_.ReadTimestamp(0, first_); rc != kStatusOk) return rc;
  return reader_.ReadTimestamp(numRecords_ - 1, last_);
}

int32_t RecordTimeSearch::Probe(int64_t index, int64_t& timestamp) {
  if (!cache_) cache_ = std::make_unique<CachedStamp[]>(kCacheSize);
  CachedStamp& entry = cache_[static_cast<std::size_t>(index) % kCacheSize];
  if (entry.index == index) {
    timestamp = entry.timestamp;
    return kStatusOk;
  }
  const int32_t rc = reader_.ReadTimestamp(index, timestamp);
  if (rc == kStatusOk) entry = CachedStamp{index, timestamp};
  return rc;
}

int32_t RecordTimeSearch::Find(int64_t time, int64_t& index) {
  if (numRecords_ == 0 || time <= first_) {
    index = -1;
    return kStatusOk;
  }
  if (time >= last_) {
    index = numRecords_ - 1;
    return kStatusOk;
  }
  std::lock_guard<std::mutex> guard(lock_);
  // Invariant: stamp(low) <= time < stamp(high). Any search that keeps it and ends with adjacent
  // bounds finds the one answer a non-decreasing file has; on other files it still ends on a record
  // stamped at or before `time`, and it always ends because the bounds move towards each other.
  int64_t low = 0;
  int64_t high = numRecords_ - 1;
  const auto narrow = [&](int64_t probe) -> int32_t {
    int64_t stamp = 0;
    const int32_t rc = Probe(probe, stamp);
    if (rc != kStatusOk) return rc;
    if (stamp <= time) {
      low = probe;
    } else {
      high = probe;
    }
    return kStatusOk;
  };
  // A plot walking through time asks for the neighbours of its last answer: try those first.
  for (const int64_t near : {lastAnswer_, lastAnswer_ + 1, lastAnswer_ - 1}) {
    if (near <= low || near >= high) continue;
    if (const int32_t rc = narrow(near); rc != kStatusOk) return rc;
  }
  while (high - low > 1) {
    if (const int32_t rc = narrow(low + (high - low) / 2); rc != kStatusOk) return rc;
  }
  lastAnswer_ = low;
  index = low;
  return kStatusOk;
}

}  // namespace skelvane
