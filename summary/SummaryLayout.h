#pragma once
// Where each array of a source summary lies in its image: the same bytes in memory and in a kept
// summary file, so a file is mapped and read in place. Used by SourceSummary and SummaryFile.

#include <array>
#include <cstdint>

namespace skelvane {

class SummaryLayout {
 public:
  /// The arrays, in image order.
  enum Section : int32_t {
    kFacts,
    kTimestamps,
    kBlocks,
    kSubBlocks,
    kRecords,
    kSteps,
    kEntries,
    kLevel1,
    kLevel2,
    kLevel3,
    kLevel4,
    kCheckpoints,
    kSections
  };
  /// Every array starts on a cache line.
  static constexpr int64_t kAlignment = 64;
  /// Bytes of one block's or node's extremes (min, max as int16).
  static constexpr int64_t kExtremesBytes = 4;
  /// Records whose step bits are kept in whole words up to the next multiple of this (a top node).
  static constexpr int64_t kStepPadding = 4096;
  /// Bytes of the facts about the whole recording (how many times its timestamps go back).
  static constexpr int64_t kFactsBytes = 64;
  /// Blocks per record, sub-blocks per block (one byte each for their minimum and maximum), children
  /// per node and node levels of the summary.
  static constexpr int64_t kBlocksPerRecord = 4;
  static constexpr int64_t kSubBlocksPerBlock = 4;
  static constexpr int64_t kSubBlockBytes = 2;
  static constexpr int32_t kFanOutShift = 3;
  static constexpr int32_t kLevels = 4;

  /// Records from one kept state of a filter's running sums to the next (filtered summaries only).
  static constexpr int64_t kCheckpointRecords = 4;

  /// The layout of a summary of `records` records (0 or more), with `checkpointBytes` bytes of kept
  /// filter state every kCheckpointRecords records (0: none, as for the samples as recorded).
  explicit SummaryLayout(int64_t records, int64_t checkpointBytes = 0);

  int64_t Records() const { return records_; }
  /// Byte offset of a section from the image's start.
  int64_t Offset(Section section) const { return offsets_[section]; }
  /// Bytes a section holds.
  int64_t Bytes(Section section) const { return bytes_[section]; }
  /// The section of the nodes of `level` (1..kLevels).
  static constexpr Section LevelSection(int32_t level) { return static_cast<Section>(kLevel1 + level - 1); }
  /// Nodes of `level` (1..kLevels).
  int64_t Nodes(int32_t level) const;
  /// Step words (64 bits each), padded to whole top-level nodes.
  int64_t StepWords() const;
  /// Entries of the sparse time index over the records (the running maximum of their timestamps).
  int64_t Entries() const;
  /// Kept filter states: one per kCheckpointRecords records, or none.
  int64_t Checkpoints() const;
  int64_t CheckpointBytes() const { return checkpointBytes_; }
  /// Bytes of the whole image.
  int64_t TotalBytes() const { return total_; }
  /// The most records whose image stays below 2^62 bytes (a bound for sizes read from a file).
  static constexpr int64_t kMaxRecords = int64_t{1} << 56;

 private:
  int64_t records_;
  int64_t checkpointBytes_;
  std::array<int64_t, kSections> offsets_{};
  std::array<int64_t, kSections> bytes_{};
  int64_t total_ = 0;
};

}  // namespace skelvane
