#include "extract/BlockTimeline.h"

#include <limits>

#include "datafile/CscRecord.h"

namespace skelvane {
namespace {

// 2^64: the first sample time a 64-bit unsigned timestamp cannot hold.
constexpr double kTimeRangeEnd = 0x1p64;

}  // namespace

void BlockTimeline::Set(const std::array<uint64_t, kRecordsPerBlock>& recordTimes,
                        const std::array<bool, kRecordsPerBlock>& present, double sampleInterval) {
  for (int32_t r = 0; r < kRecordsPerBlock; ++r) base_[r] = static_cast<double>(recordTimes[r]);
  present_ = present;
  interval_ = sampleInterval;
}

uint64_t BlockTimeline::At(int64_t index) const {
  const auto record = static_cast<std::size_t>(index / kSamplesPerRecord);
  if (record >= present_.size() || !present_[record]) return 0;
  const auto j = static_cast<int32_t>(index % kSamplesPerRecord);
  return Truncate(base_[record] + j * interval_);
}

int64_t BlockTimeline::Length() const { return int64_t{kRecordsPerBlock} * kSamplesPerRecord; }

uint64_t BlockTimeline::Truncate(double time) {
  if (!(time > 0.0)) return 0;
  if (time >= kTimeRangeEnd) return std::numeric_limits<uint64_t>::max();
  return static_cast<uint64_t>(time);
}

}  // namespace skelvane
