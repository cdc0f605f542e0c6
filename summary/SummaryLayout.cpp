#include "summary/SummaryLayout.h"

#include "datafile/SparseTimeIndex.h"

namespace skelvane {
namespace {

int64_t RoundUp(int64_t value, int64_t unit) { return (value + unit - 1) / unit * unit; }

}  // namespace

SummaryLayout::SummaryLayout(int64_t records, int64_t checkpointBytes)
    : records_(records < 0 ? 0 : records), checkpointBytes_(checkpointBytes < 0 ? 0 : checkpointBytes) {
  bytes_[kFacts] = kFactsBytes;
  bytes_[kTimestamps] = records_ * static_cast<int64_t>(sizeof(int64_t));
  bytes_[kBlocks] = records_ * kBlocksPerRecord * kExtremesBytes;
  bytes_[kSubBlocks] = records_ * kBlocksPerRecord * kSubBlocksPerBlock * kSubBlockBytes;
  bytes_[kRecords] = records_ * kExtremesBytes;
  bytes_[kSteps] = StepWords() * static_cast<int64_t>(sizeof(uint64_t));
  bytes_[kEntries] = Entries() * static_cast<int64_t>(sizeof(int64_t));
  for (int32_t level = 1; level <= kLevels; ++level) bytes_[LevelSection(level)] = Nodes(level) * kExtremesBytes;
  bytes_[kCheckpoints] = Checkpoints() * checkpointBytes_;
  int64_t at = 0;
  for (int32_t s = 0; s < kSections; ++s) {
    offsets_[s] = at;
    at = RoundUp(at + bytes_[s], kAlignment);
  }
  total_ = at;
}

int64_t SummaryLayout::Nodes(int32_t level) const {
  const int64_t span = int64_t{1} << (kFanOutShift * level);
  return (records_ + span - 1) / span;
}

int64_t SummaryLayout::Checkpoints() const {
  return checkpointBytes_ > 0 ? (records_ + kCheckpointRecords - 1) / kCheckpointRecords : 0;
}

int64_t SummaryLayout::StepWords() const { return RoundUp(records_, kStepPadding) / 64; }

int64_t SummaryLayout::Entries() const { return SparseTimeIndex::EntryCount(records_); }

}  // namespace skelvane
