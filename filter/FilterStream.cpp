#include "filter/FilterStream.h"

#include <algorithm>

#include "datafile/CscRecord.h"
#include "datafile/RecordContiguity.h"
#include "filter/SegmentFilter.h"

namespace skelvane {
namespace {

// A segment that goes on is filtered a batch at a time: every call builds the support around it
// again, which a long batch makes negligible.
constexpr int64_t kFewestBatchRecords = 64;
constexpr int64_t kBatchesPerSupport = 4;

}  // namespace

FilterStream::FilterStream(const FilterDesign& design, double sampleInterval)
    : design_(design),
      sampleInterval_(sampleInterval),
      batch_(std::max(kFewestBatchRecords * kSamplesPerRecord, kBatchesPerSupport * design.Support())) {}

void FilterStream::Push(int64_t timestamp, const int16_t* samples) {
  if (hasLast_ && !RecordContiguity::Contiguous(lastTimestamp_, timestamp, sampleInterval_)) Filter(true);
  hasLast_ = true;
  lastTimestamp_ = timestamp;
  raw_.insert(raw_.end(), samples, samples + kSamplesPerRecord);
  length_ += kSamplesPerRecord;
  pendingTimes_.push_back(timestamp);
  // Whole records whose support has arrived, once they make a batch.
  const int64_t reachable = (length_ - design_.HalfSupport()) / kSamplesPerRecord * kSamplesPerRecord;
  if (reachable - filtered_ >= batch_) Filter(false);
}

void FilterStream::Finish() {
  Filter(true);
  hasLast_ = false;
}

const int16_t* FilterStream::FrontSamples() const {
  return readySamples_.data() + readyHead_ * kSamplesPerRecord;
}

void FilterStream::Pop() {
  ++readyHead_;
  // Taken-out records are dropped once they are the larger part of what is kept.
  if (readyHead_ * 2 >= static_cast<int64_t>(readyTimes_.size())) {
    readyTimes_.erase(readyTimes_.begin(), readyTimes_.begin() + readyHead_);
    readySamples_.erase(readySamples_.begin(), readySamples_.begin() + readyHead_ * kSamplesPerRecord);
    readyHead_ = 0;
  }
}

void FilterStream::Filter(bool segmentEnds) {
  const int64_t half = design_.HalfSupport();
  const int64_t upTo =
      segmentEnds ? length_ : std::max(filtered_, (length_ - half) / kSamplesPerRecord * kSamplesPerRecord);
  if (upTo > filtered_) {
    SegmentFilter::Stretch stretch;
    stretch.samples = raw_.data();
    stretch.count = length_ - rawStart_;
    stretch.startsSegment = rawStart_ == 0;
    stretch.endsSegment = segmentEnds;
    const std::size_t at = readySamples_.size();
    readySamples_.resize(at + static_cast<std::size_t>(upTo - filtered_));
    // Cannot be refused: the stretch holds the segment from its start, or from a half support before
    // the first sample filtered now, and a segment that goes on has the support after the last one.
    SegmentFilter::Filter(design_, stretch, filtered_ - rawStart_, upTo - rawStart_, readySamples_.data() + at, work_,
                          sawShort_);
    const int64_t records = (upTo - filtered_) / kSamplesPerRecord;
    readyTimes_.insert(readyTimes_.end(), pendingTimes_.begin(), pendingTimes_.begin() + records);
    pendingTimes_.erase(pendingTimes_.begin(), pendingTimes_.begin() + records);
    filtered_ = upTo;
  }
  if (segmentEnds) {
    raw_.clear();
    rawStart_ = 0;
    length_ = 0;
    filtered_ = 0;
    pendingTimes_.clear();
    return;
  }
  // Only the support before the next sample to filter is still needed.
  const int64_t keepFrom = std::max<int64_t>(0, filtered_ - half);
  if (keepFrom > rawStart_) {
    raw_.erase(raw_.begin(), raw_.begin() + (keepFrom - rawStart_));
    rawStart_ = keepFrom;
  }
}

}  // namespace skelvane
