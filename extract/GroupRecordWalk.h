#pragma once
// Walks the records of one channel group in lock-step and hands out one three-record block at a
// time (previous, current, next record of every channel), with missing or separated neighbours made
// silent. The extraction run scans each block for spikes.

#include <atomic>
#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "extract/BlockTimeline.h"
#include "datafile/CscRecord.h"
#include "extract/RecordStream.h"

namespace skelvane {

class IDataSourceManager;

class GroupRecordWalk {
 public:
  /// Samples in a block: three records.
  static constexpr int32_t kBlockLength = BlockTimeline::kRecordsPerBlock * kSamplesPerRecord;

  /// What Next found.
  enum class Step {
    Block,      // a block is ready
    End,        // the group is over: a channel ran out of records, or one could not be read
    Cancelled,  // `cancel` was set
  };

  /// A walk over the sources of `sourceIds`, in channel order, `sampleInterval` microseconds apart.
  GroupRecordWalk(IDataSourceManager& sources, const std::vector<int32_t>& sourceIds, double sampleInterval);

  /// Moves to the next block. Channels out of step are brought into step first (the ones behind
  /// catch up a record at a time); a block whose time went back is reported once per file.
  Step Next(const std::atomic<bool>& cancel);

  /// The block's sample times.
  const BlockTimeline& Timeline() const { return timeline_; }
  /// The block's samples, one sequence of kBlockLength per channel.
  const std::vector<std::span<const int16_t>>& Channels() const { return channelViews_; }
  /// Whether the block's previous and next records are real neighbours (else they read as silence).
  bool HasPrevious() const { return hasPrevious_; }
  bool HasNext() const { return hasNext_; }
  /// True when this block begins before the one before it: the recording starts over.
  bool TimeWentBack() const { return wentBack_; }
  /// Blocks handed out so far.
  int64_t BlocksDone() const { return processed_; }
  /// Records the group's longest source holds.
  int64_t Total() const { return total_; }
  /// True when channel `channel` walked two records or more and none was stamped later than the one
  /// before it: its recording has no time to cut spikes in.
  bool TimeStandsStill(std::size_t channel) const { return walked_[channel] >= 2 && !rose_[channel]; }
  /// The streams, one per channel, to ask afterwards whether a file shrank while it was read.
  const std::vector<std::unique_ptr<RecordStream>>& Streams() const { return streams_; }

 private:
  bool ReadRecordTimes();
  void NoteCurrentTime(std::size_t channel, int64_t record);
  void CatchUp();
  bool NoteTimeGoingBack();
  void AssembleChannels();

  IDataSourceManager& sources_;
  std::vector<int32_t> sourceIds_;
  double dt_;
  std::vector<std::unique_ptr<RecordStream>> streams_;
  int64_t total_ = 0;
  int64_t processed_ = 0;
  bool advancePending_ = false;
  std::vector<int64_t> recordIndex_;
  std::vector<int64_t> previousTimes_, currentTimes_, nextTimes_;
  // Blocks whose three records lie side by side in a stream are scanned where they lie; the others
  // (a neighbour missing or replaced by silence) are put together here.
  std::vector<std::vector<int16_t>> assembled_;
  std::vector<std::span<const int16_t>> channelViews_;
  std::vector<char> reportedGoingBack_;
  std::vector<int64_t> walked_;    // per channel: records read as the current record
  std::vector<char> rose_;         // per channel: a record stamped later than the one before was seen
  std::vector<int64_t> lastSeen_;  // per channel: the timestamp of the last of those records
  BlockTimeline timeline_;
  bool hasPrevious_ = false;
  bool hasNext_ = false;
  bool wentBack_ = false;
  bool haveLastBlock_ = false;
  int64_t lastBlockTime_ = 0;
};

}  // namespace skelvane
