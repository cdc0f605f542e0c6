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

class ChannelFilter;
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
  /// With `buffers`, channel k reads into buffers[k] (made when missing) and gives them back at the end.
  GroupRecordWalk(IDataSourceManager& sources, const std::vector<int32_t>& sourceIds, double sampleInterval,
                  std::vector<RecordStream::Buffers>* buffers = nullptr);

  /// Starts the walk with channel k at record `records[k]` instead of at the first record (a preview
  /// resumes the walk shortly before the span it shows). Called before the first Next.
  void StartAt(const std::vector<int64_t>& records);
  /// Hands out the samples of `filters` (one per channel, outliving the walk) instead of the raw ones;
  /// an empty list keeps them raw. Called before the first Next.
  void SetFilters(const std::vector<ChannelFilter>& filters);
  /// Leaves the filtered samples that provably stay strictly between -level and level as 0 (see
  /// RecordStream::SetQuietLevel), for a detector that only asks whether samples reach the level; it
  /// calls MakeExact for the samples it keeps. Called after SetFilters.
  void SetQuietLevel(int32_t level);
  /// Makes samples [from, to) of the block the filtered values on every channel, where SetQuietLevel
  /// left them 0; false when they cannot be filtered.
  bool MakeExact(int64_t from, int64_t to);
  /// Ends the walk, from then on, as soon as no channel's current record is stamped before `time`: no
  /// later block can begin before it.
  void StopAt(int64_t time);
  /// Reads at most `records` records of each channel at a time (see RecordStream::SetReadAhead).
  void SetReadAhead(int64_t records);
  /// Says nothing about time going back (a preview shows what the run would write; the run speaks).
  void SetQuiet(bool quiet) { quiet_ = quiet; }

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
  bool stops_ = false;  // StopAt was given a time
  int64_t stopTime_ = 0;
  bool quiet_ = false;
};

}  // namespace skelvane
