#pragma once
// The min/max summary of one CSC source at several resolutions: every record's timestamp, the
// extremes of every 32-sample sub-block (a byte each, relative to its block), of every 128-sample
// block and of every record, nodes over 8, 64, 512 and 4096 records, and the steps and sparse time
// index of the walk back through the records (about 5.8 % of the file). A view over its image, in
// anonymous memory or mapped from a kept summary file (SummaryLayout says where each array lies).
// Built by SummaryBuilder in one streaming pass or loaded from the summary cache; read by the column
// walks for every later redraw at any zoom.

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <span>

#include "datafile/CscRecord.h"
#include "datafile/SparseTimeIndex.h"
#include "filter/SpacedHighPass.h"
#include "summary/SummaryLayout.h"
#include "summary/SummaryStorage.h"

namespace skelvane {

class FilterDesign;
struct RecordLayout;

class SourceSummary {
 public:
  /// Samples per block: a block's extremes stand for its samples while they all share a column.
  static constexpr int32_t kBlockSamples = 128;
  static constexpr int32_t kBlocksPerRecord = kSamplesPerRecord / kBlockSamples;
  /// Sub-blocks per block: where a column edge cuts a block, the sub-blocks bound the extremes of
  /// each side of the cut to a few samples.
  static constexpr int32_t kSubBlocksPerBlock = static_cast<int32_t>(SummaryLayout::kSubBlocksPerBlock);
  static constexpr int32_t kSubBlockSamples = kBlockSamples / kSubBlocksPerBlock;
  /// A sub-block keeps its extremes as steps of its block's range / kSubBlockSteps from the block's
  /// own extremes: exact for a block whose range is at most that many counts, else bounds.
  static constexpr int32_t kSubBlockSteps = 255;
  /// Children per node: a level-1 node covers 8 records, each level above 8 times more.
  static constexpr int32_t kFanOutShift = SummaryLayout::kFanOutShift;
  static constexpr int32_t kFanOut = 1 << kFanOutShift;
  static constexpr int32_t kLevels = SummaryLayout::kLevels;
  /// Bytes read per call while building.
  static constexpr int64_t kReadBytes = 1 << 20;
  static_assert(kBlocksPerRecord == SummaryLayout::kBlocksPerRecord, "the image keeps four blocks per record");

  /// What a sub-block's extremes are known to be: its minimum lies in minLow..minHigh and its maximum
  /// in maxLow..maxHigh.
  struct SubBlockRange {
    int16_t minLow;
    int16_t minHigh;
    int16_t maxLow;
    int16_t maxHigh;
  };

  /// An empty summary (no records).
  SourceSummary();
  ~SourceSummary();
  SourceSummary(SourceSummary&& other) noexcept;
  SourceSummary& operator=(SourceSummary&& other) noexcept;
  SourceSummary(const SourceSummary&) = delete;
  SourceSummary& operator=(const SourceSummary&) = delete;

  /// Records summarised.
  int64_t NumRecords() const { return numRecords_; }
  /// Every record's timestamp, in file order.
  std::span<const int64_t> Timestamps() const { return {timestamps_, static_cast<std::size_t>(numRecords_)}; }
  /// Smallest and largest stored sample of block `block` (0..kBlocksPerRecord - 1) of record `record`.
  int16_t BlockMin(int64_t record, int32_t block) const { return blocks_[Slot(record, block)]; }
  int16_t BlockMax(int64_t record, int32_t block) const { return blocks_[Slot(record, block) + 1]; }
  /// The extremes of each sub-block of block `block` of record `record`, into `ranges`.
  void SubBlocks(int64_t record, int32_t block, SubBlockRange (&ranges)[kSubBlocksPerBlock]) const;
  /// Smallest and largest stored sample of record `record`.
  int16_t RecordMin(int64_t record) const { return records_[2 * static_cast<std::size_t>(record)]; }
  int16_t RecordMax(int64_t record) const { return records_[2 * static_cast<std::size_t>(record) + 1]; }
  /// Records covered by a node of `level` (1..kLevels).
  static constexpr int64_t NodeRecords(int32_t level) { return int64_t{1} << (kFanOutShift * level); }
  /// The node of `level` that holds record `record`.
  static constexpr int64_t NodeOf(int32_t level, int64_t record) { return record >> (kFanOutShift * level); }
  /// Smallest and largest sample of node `node` of `level`.
  int16_t NodeMin(int32_t level, int64_t node) const { return levels_[level - 1][2 * node]; }
  int16_t NodeMax(int32_t level, int64_t node) const { return levels_[level - 1][2 * node + 1]; }
  /// Whether the walk back through the records goes from record `record` + 1 to `record` itself (its
  /// time lookup, one microsecond before record + 1's timestamp, finds `record`): on timestamps that
  /// never decrease, whether `record` is stamped below the next record and more than a microsecond
  /// after record 0. True for the last record.
  bool StepsUp(int64_t record) const {
    return ((steps_[static_cast<std::size_t>(record >> 6)] >> (record & 63)) & 1) != 0;
  }
  /// The lowest record r in first..last (first <= last) such that the walk goes from each of records
  /// r + 1..last to the record before it.
  int64_t LowestSteppingUp(int64_t first, int64_t last) const;
  /// How many records are stamped later than the record after them (0 on an ordinary recording).
  int64_t Descents() const { return facts_ != nullptr ? static_cast<int64_t>(facts_[kDescentsFact]) : 0; }
  /// The time lookup of the walk over these records, as the data source manager's sparse index gives it.
  SparseTimeIndex TimeIndex() const;
  /// Smallest and largest sample of records first..last (first <= last), from the coarsest nodes that fit.
  void RangeExtremes(int64_t first, int64_t last, int16_t& low, int16_t& high) const;
  /// Records from one kept state of the filter's high-pass to the next, in a filtered summary whose
  /// design has a spaced high-pass: a bar end resumes the filter from the nearest state instead of
  /// filtering the whole support around it.
  static constexpr int64_t kCheckpointRecords = SummaryLayout::kCheckpointRecords;
  /// Bytes of each kept state of this summary (0 when it keeps none), as HighPassStateCodec lays it out.
  int64_t CheckpointBytes() const { return checkpointBytes_; }
  /// The running sums kept for record `record` (a multiple of kCheckpointRecords), phases by sample
  /// position modulo the spacing, as SpacedHighPassResume takes them; false when none is kept there.
  bool Checkpoint(int64_t record, SpacedHighPass::Running& sums) const;
  /// Whether a state is kept for record `record`, without reading it.
  bool HoldsCheckpoint(int64_t record) const;
  /// Hints that a record's blocks will be read soon.
  void PrefetchRecord(int64_t record) const { __builtin_prefetch(&blocks_[Slot(record, 0)]); }
  /// Hints that the extremes of the records around `record` will be read soon.
  void PrefetchRecordExtremes(int64_t record) const {
    __builtin_prefetch(&records_[2 * static_cast<std::size_t>(record)]);
  }
  /// Hints that a node will be read soon.
  void PrefetchNode(int32_t level, int64_t node) const {
    if (node < 0 || node >= nodes_[static_cast<std::size_t>(level - 1)]) return;
    __builtin_prefetch(&levels_[level - 1][2 * node]);
    __builtin_prefetch(&steps_[static_cast<std::size_t>((node << (kFanOutShift * level)) >> 6)]);
  }
  /// Hints that a record's sub-blocks will be read soon.
  void PrefetchSubBlocks(int64_t record) const { __builtin_prefetch(&subBlocks_[SubSlot(record, 0, 0)]); }
  /// Bytes of the summary's image.
  std::size_t BytesHeld() const { return static_cast<std::size_t>(storage_.Size()); }
  /// The image, laid out as SummaryLayout says (what a kept summary file holds after its header).
  const SummaryStorage& Storage() const { return storage_; }
  /// True once a read of a kept file's mapping met a part cut off since it was mapped: whatever was
  /// read from the summary may be zeros, and the summary is to be built again.
  bool Damaged() const { return storage_.Damaged(); }

  /// Reads the records of `layout` from its file in large blocks (through a RecordReader of its own,
  /// not the mapping) and fills `summary`. 0; kStatusCancelled once `cancel` is set;
  /// kStatusSourceChanged when the file holds fewer records than the layout says; or the errno of a
  /// failed open, read or allocation. `recordsDone` counts the records read so far.
  static int32_t Build(const RecordLayout& layout, const std::atomic<bool>& cancel, std::atomic<int64_t>& recordsDone,
                       SourceSummary& summary);
  /// As Build, for a recording that only grew since `earlier` summarised its first records: those are
  /// taken from `earlier`, only the records after them are read.
  static int32_t Extend(const SourceSummary& earlier, const RecordLayout& layout, const std::atomic<bool>& cancel,
                        std::atomic<int64_t>& recordsDone, SourceSummary& summary);
  /// As Build, of the recording's samples filtered through `design` (whose gaps are judged by
  /// `sampleInterval`, microseconds per sample) in one pass: the values a filtered view of any run of
  /// its records shows.
  static int32_t BuildFiltered(const RecordLayout& layout, const FilterDesign& design, double sampleInterval,
                               const std::atomic<bool>& cancel, std::atomic<int64_t>& recordsDone,
                               SourceSummary& summary);
  /// Shows `storage`, an image of `records` records laid out as SummaryLayout says, as this summary;
  /// false (and nothing changed) when its size does not match.
  /// `checkpointBytes` is 0 or a size of HighPassStateCodec's slots.
  bool Attach(SummaryStorage storage, int64_t records, int64_t checkpointBytes = 0);

 private:
  static std::size_t Slot(int64_t record, int32_t block) {
    return static_cast<std::size_t>(record) * (2 * kBlocksPerRecord) + 2 * static_cast<std::size_t>(block);
  }
  // Fills the walk and the nodes of an image whose records are summarised, then shows it as `summary`.
  static void Finish(SummaryStorage storage, const SummaryLayout& shape, SourceSummary& summary);
  static std::size_t SubSlot(int64_t record, int32_t block, int32_t sub) {
    return (static_cast<std::size_t>(record) * kBlocksPerRecord + static_cast<std::size_t>(block)) *
               (2 * kSubBlocksPerBlock) +
           2 * static_cast<std::size_t>(sub);
  }
  // The facts' slots (64-bit words).
  static constexpr std::size_t kDescentsFact = 0;
  static int32_t Fill(const SourceSummary* earlier, const RecordLayout& layout, const std::atomic<bool>& cancel,
                      std::atomic<int64_t>& recordsDone, SourceSummary& summary);

  SummaryStorage storage_;
  int64_t numRecords_ = 0;
  const uint64_t* facts_ = nullptr;
  const int64_t* timestamps_ = nullptr;
  const int16_t* blocks_ = nullptr;   // min, max per block, kBlocksPerRecord blocks per record
  const uint8_t* subBlocks_ = nullptr;  // min, max per sub-block, in steps up from the block's min and down from its max
  const int16_t* records_ = nullptr;  // min, max per record
  const uint64_t* steps_ = nullptr;   // bit r: the walk goes from record r + 1 to r; set past the end
  const int64_t* entries_ = nullptr;  // running maximum of the sparse time index's entries' timestamps
  int64_t numEntries_ = 0;
  const int16_t* levels_[kLevels] = {};  // min, max per node
  int64_t nodes_[kLevels] = {};
  int64_t checkpointBytes_ = 0;
  const uint8_t* checkpoints_ = nullptr;
};

}  // namespace skelvane
