#include "extract/BlockTimeline.h"

#include <cmath>
#include <limits>

#include "datafile/CscRecord.h"

namespace skelvane {
namespace {

// 2^63: the first time a signed 64-bit timestamp cannot hold; -2^63 is the last it can.
constexpr double kTimeRangeEnd = 0x1p63;
constexpr double kTimeRangeStart = -0x1p63;

}  // namespace

void BlockTimeline::Set(const std::array<int64_t, kRecordsPerBlock>& recordTimes,
                        const std::array<bool, kRecordsPerBlock>& present, double sampleInterval) {
  for (int32_t r = 0; r < kRecordsPerBlock; ++r) base_[r] = static_cast<double>(recordTimes[r]);
  present_ = present;
  interval_ = sampleInterval;
}

int64_t BlockTimeline::At(int64_t index) const {
  const auto record = static_cast<std::size_t>(index / kSamplesPerRecord);
  if (record >= present_.size() || !present_[record]) return 0;
  const auto j = static_cast<int32_t>(index % kSamplesPerRecord);
  return Floor(base_[record] + j * interval_);
}

int64_t BlockTimeline::Length() const { return int64_t{kRecordsPerBlock} * kSamplesPerRecord; }

int64_t BlockTimeline::Floor(double time) {
  if (std::isnan(time)) return 0;
  if (time >= kTimeRangeEnd) return std::numeric_limits<int64_t>::max();
  if (time <= kTimeRangeStart) return std::numeric_limits<int64_t>::min();
  return static_cast<int64_t>(std::floor(time));
}

}  // namespace skelvane
