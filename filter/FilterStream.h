#pragma once
// A whole recording filtered in one pass, front to back: the caller hands over its records in file
// order as it reads them and takes the filtered records out, in the same order, a little later (once
// the support after them has arrived, or at a gap, or at the end). The values are those FilteredRecords
// gives for any run of the same records. For the extraction and the summary builders, which walk
// each file once.

#include <cstdint>
#include <functional>
#include <vector>

#include "datafile/CscRecord.h"
#include "filter/BoxcarStage.h"
#include "filter/FilterDesign.h"
#include "filter/FilterWorkspace.h"
#include "filter/SpacedHighPass.h"

namespace skelvane {

class FilterStream {
 public:
  /// A stream through `design` for records whose samples are `sampleInterval` microseconds apart.
  FilterStream(const FilterDesign& design, double sampleInterval);
  FilterStream(const FilterStream&) = delete;
  FilterStream& operator=(const FilterStream&) = delete;

  /// Takes the recording's next record: its timestamp and its 512 samples.
  void Push(int64_t timestamp, const int16_t* samples);
  /// The same for a record as the file stores it.
  void Push(const CscRecord& record);
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
  /// Where a spaced high-pass's running sums stand when its pass reaches record `record`, phases by
  /// sample position modulo the spacing (as SpacedHighPassResume::ResumeAt says).
  using StateSink = std::function<void(int64_t record, const SpacedHighPass::Running& sums)>;
  /// Gives `sink` those sums at every record that is a multiple of `every` (counted from the first
  /// record pushed) in a segment the parts run over whole; before the first Push.
  void KeepStates(int64_t every, StateSink sink);

  /// True once some record came from a segment shorter than the filter's support.
  bool SawShortSegment() const { return sawShort_; }

 private:
  // One part of the design as the stream runs it, over the segment's samples extended at both ends:
  // its input from `begin` on not yet used up (a FIR or boxcar part keeps its support; a spaced
  // high-pass its running sums and the samples its window still reaches back to).
  struct Stage {
    FilterDesign::Part part;
    std::vector<int16_t> input;  // never shrunk: only its first `size` samples are the input
    int64_t begin = 0;
    int64_t size = 0;
    int64_t firstOutput = 0;  // a spaced high-pass: where in `input` its outputs start
    int64_t dropped = 0;      // samples dropped from the front of `input` since the segment began
    SpacedHighPass::Running running;
    BoxcarStage::Workspace boxcars;
  };

  // The segment goes on or ends at a record stamped `timestamp`; room for its samples is made.
  int16_t* Take(int64_t timestamp);
  // The record's samples are in: a batch is filtered once there is one.
  void Taken();
  void EndSegment();
  // The parts start on the segment's samples so far, its start mirrored before them.
  void Start();
  // Room for `count` samples of the extended segment at the end of the first part's input (or of the
  // ready samples, with no parts); Entered says they are in.
  int16_t* Entry(int64_t count);
  void Entered(int64_t count);
  // Runs every part over what its input holds; at a segment's end every output is made.
  void RunParts(bool segmentEnds);
  void Run(std::size_t stage, bool segmentEnds);
  // Samples behind its input's end a part keeps: the first keeps the segment's last half support,
  // for its mirrored end.
  int64_t Kept(std::size_t stage) const;
  // Room for `count` outputs of `stage` behind what the next part (or the ready records) holds.
  int16_t* Outputs(std::size_t stage, int64_t count);
  void Produced(std::size_t stage, int64_t count);
  // Runs a spaced high-pass stage over its input [from, to), handing the kept states on the way.
  void RunHighPass(Stage& stage, std::size_t s, int64_t from, int64_t to, int16_t* out);
  // Filters a whole segment shorter than half the support at once, as a view of it does.
  void FilterShortSegment();

  FilterDesign design_;
  double sampleInterval_;
  int64_t half_;
  int64_t batch_;  // samples filtered at a time while a segment goes on
  std::vector<Stage> stages_;
  FilterWorkspace work_;
  bool hasLast_ = false;
  int64_t lastTimestamp_ = 0;
  // The current segment: its samples until the parts start on it, how many there are, whether the
  // parts run and how many samples their first one took since they last ran.
  std::vector<int16_t> raw_;
  int64_t length_ = 0;
  bool started_ = false;
  int64_t unrun_ = 0;
  int64_t filtered_ = 0;               // samples of the segment filtered
  std::vector<int64_t> pendingTimes_;  // timestamps of the segment's records not yet whole
  int64_t pendingHead_ = 0;
  // Filtered records not yet taken out (from readyHead_ and sample readyBegin_ on), then the filtered
  // samples of the segment's next record so far, up to readyEnd_.
  std::vector<int64_t> readyTimes_;
  std::vector<int16_t> ready_;
  int64_t readyHead_ = 0;
  int64_t readyBegin_ = 0;
  int64_t readyEnd_ = 0;
  bool sawShort_ = false;
  // Records pushed so far, the first of the current segment, and the states asked for.
  int64_t recordsPushed_ = 0;
  int64_t segmentFirst_ = 0;
  int64_t stateEvery_ = 0;
  StateSink stateSink_;
};

}  // namespace skelvane
