#pragma once
// A whole recording filtered in one pass, front to back: the caller hands over its records in file
// order as it reads them and takes the filtered records out, in the same order, a little later (once
// the support after them has arrived, or at a gap, or at the end). The values are those FilteredRecords
// gives for any run of the same records. For the extraction and the summary builders, which walk
// each file once.

#include <cstdint>
#include <vector>

#include "filter/FilterDesign.h"
#include "filter/FilterWorkspace.h"

namespace skelvane {

class FilterStream {
 public:
  /// A stream through `design` for records whose samples are `sampleInterval` microseconds apart.
  FilterStream(const FilterDesign& design, double sampleInterval);

  /// Takes the recording's next record: its timestamp and its 512 samples.
  void Push(int64_t timestamp, const int16_t* samples);
  /// The recording ends: every record taken is made ready.
  void Finish();

  /// Records ready to be taken out.
  int64_t Ready() const { return static_cast<int64_t>(readyTimes_.size()) - readyHead_; }
  /// The oldest ready record's timestamp and its 512 filtered samples (valid until the stream is next
  /// changed); Ready() must be above 0.
  int64_t FrontTimestamp() const { return readyTimes_[static_cast<std::size_t>(readyHead_)]; }
  const int16_t* FrontSamples() const;
  /// Takes the oldest ready record out.
  void Pop();
  /// True once some record came from a segment shorter than the filter's support.
  bool SawShortSegment() const { return sawShort_; }

 private:
  void Filter(bool segmentEnds);

  FilterDesign design_;
  double sampleInterval_;
  FilterWorkspace work_;
  int64_t batch_;                     // samples filtered at a time while a segment goes on
  bool hasLast_ = false;
  int64_t lastTimestamp_ = 0;
  // The current segment: its samples from position rawStart_ on, and where filtering has reached.
  std::vector<int16_t> raw_;
  int64_t rawStart_ = 0;
  int64_t length_ = 0;                // samples taken into the segment
  int64_t filtered_ = 0;              // samples of the segment filtered
  std::vector<int64_t> pendingTimes_; // timestamps of the segment's records not yet filtered
  // Filtered records not yet taken out, from readyHead_ on.
  std::vector<int64_t> readyTimes_;
  std::vector<int16_t> readySamples_;
  int64_t readyHead_ = 0;
  bool sawShort_ = false;
};

}  // namespace skelvane
