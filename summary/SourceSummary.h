#pragma once
// The min/max summary of one CSC source at several resolutions: every record's timestamp, the
// extremes of every 128-sample block and of every record, and nodes over 8, 64, 512 and 4096
// records (about 2.8 % of the file). Built once by
// SummaryBuilder in one streaming pass; read by SummaryColumns for every later redraw at any zoom.

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "datafile/CscRecord.h"

namespace skelvane {

struct RecordLayout;

class SourceSummary {
 public:
  /// Samples per block: a block's extremes stand for its samples while they all share a column.
  static constexpr int32_t kBlockSamples = 128;
  static constexpr int32_t kBlocksPerRecord = kSamplesPerRecord / kBlockSamples;
  /// Children per node: a level-1 node covers 8 records, each level above 8 times more.
  static constexpr int32_t kFanOutShift = 3;
  static constexpr int32_t kFanOut = 1 << kFanOutShift;
  static constexpr int32_t kLevels = 4;
  /// Bytes read per call while building.
  static constexpr int64_t kReadBytes = 1 << 20;

  /// Records summarised.
  int64_t NumRecords() const { return static_cast<int64_t>(timestamps_.size()); }
  /// Every record's timestamp, in file order.
  const std::vector<int64_t>& Timestamps() const { return timestamps_; }
  /// Smallest and largest stored sample of block `block` (0..kBlocksPerRecord - 1) of record `record`.
  int16_t BlockMin(int64_t record, int32_t block) const { return blocks_[Slot(record, block)]; }
  int16_t BlockMax(int64_t record, int32_t block) const { return blocks_[Slot(record, block) + 1]; }
  /// Smallest and largest stored sample of record `record`.
  int16_t RecordMin(int64_t record) const { return records_[2 * static_cast<std::size_t>(record)]; }
  int16_t RecordMax(int64_t record) const { return records_[2 * static_cast<std::size_t>(record) + 1]; }
  /// Records covered by a node of `level` (1..kLevels).
  static constexpr int64_t NodeRecords(int32_t level) { return int64_t{1} << (kFanOutShift * level); }
  /// The node of `level` that holds record `record`.
  static constexpr int64_t NodeOf(int32_t level, int64_t record) { return record >> (kFanOutShift * level); }
  /// Smallest and largest sample of node `node` of `level`.
  int16_t NodeMin(int32_t level, int64_t node) const { return levels_[level - 1].extremes[2 * node]; }
  int16_t NodeMax(int32_t level, int64_t node) const { return levels_[level - 1].extremes[2 * node + 1]; }
  /// Whether record `record`'s timestamp is below the next record's (true for the last record).
  bool StepsUp(int64_t record) const {
    return ((steps_[static_cast<std::size_t>(record >> 6)] >> (record & 63)) & 1) != 0;
  }
  /// The lowest record r in first..last (first <= last) such that each of records r..last - 1 is
  /// stamped below the record after it.
  int64_t LowestSteppingUp(int64_t first, int64_t last) const;
  /// Smallest and largest sample of records first..last (first <= last), from the coarsest nodes that fit.
  void RangeExtremes(int64_t first, int64_t last, int16_t& low, int16_t& high) const;
  /// Hints that a record's blocks will be read soon.
  void PrefetchRecord(int64_t record) const { __builtin_prefetch(&blocks_[Slot(record, 0)]); }
  /// Hints that the extremes of the records around `record` will be read soon.
  void PrefetchRecordExtremes(int64_t record) const {
    __builtin_prefetch(&records_[2 * static_cast<std::size_t>(record)]);
  }
  /// Hints that a node will be read soon.
  void PrefetchNode(int32_t level, int64_t node) const {
    const Level& l = levels_[static_cast<std::size_t>(level - 1)];
    if (node < 0 || static_cast<std::size_t>(2 * node) >= l.extremes.size()) return;
    __builtin_prefetch(&l.extremes[static_cast<std::size_t>(2 * node)]);
    __builtin_prefetch(&steps_[static_cast<std::size_t>((node << (kFanOutShift * level)) >> 6)]);
  }
  /// Bytes of memory the summary holds.
  std::size_t BytesHeld() const;

  /// Reads the records of `layout` from its file in large blocks (its own descriptor, not the
  /// mapping) and fills `summary`. 0; kStatusCancelled once `cancel` is set; kStatusSourceChanged
  /// when the file holds fewer records than the layout says; or the errno of a failed open or read.
  /// `recordsDone` counts the records read so far.
  static int32_t Build(const RecordLayout& layout, const std::atomic<bool>& cancel, std::atomic<int64_t>& recordsDone,
                       SourceSummary& summary);

 private:
  struct Level {
    std::vector<int16_t> extremes;  // min, max per node
  };

  static std::size_t Slot(int64_t record, int32_t block) {
    return static_cast<std::size_t>(record) * (2 * kBlocksPerRecord) + 2 * static_cast<std::size_t>(block);
  }
  void SummariseRecord(int64_t record, const uint8_t* bytes);
  void BuildLevels();

  std::vector<int64_t> timestamps_;
  std::vector<int16_t> blocks_;   // min, max per block, kBlocksPerRecord blocks per record
  std::vector<int16_t> records_;  // min, max per record
  std::vector<uint64_t> steps_;  // bit r: record r's timestamp is below record r + 1's; set past the end
  std::vector<Level> levels_;
};

}  // namespace skelvane
