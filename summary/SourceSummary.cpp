#include "summary/SourceSummary.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <limits>
#include <optional>
#include <utility>
#include <vector>

#include "summary/SampleExtremes.h"

#include "datafile/IDataSourceManager.h"
#include "datafile/RecordReader.h"
#include "filter/FilterStream.h"
#include "filter/SpacedHighPassResume.h"
#include "platform/StatusCodes.h"
#include "summary/HighPassStateCodec.h"

namespace skelvane {
namespace {

// The arrays of an image being filled.
struct WritableArrays {
  WritableArrays(uint8_t* image, const SummaryLayout& shape)
      : facts(reinterpret_cast<uint64_t*>(image + shape.Offset(SummaryLayout::kFacts))),
        timestamps(reinterpret_cast<int64_t*>(image + shape.Offset(SummaryLayout::kTimestamps))),
        blocks(reinterpret_cast<int16_t*>(image + shape.Offset(SummaryLayout::kBlocks))),
        subBlocks(image + shape.Offset(SummaryLayout::kSubBlocks)),
        records(reinterpret_cast<int16_t*>(image + shape.Offset(SummaryLayout::kRecords))),
        steps(reinterpret_cast<uint64_t*>(image + shape.Offset(SummaryLayout::kSteps))),
        entries(reinterpret_cast<int64_t*>(image + shape.Offset(SummaryLayout::kEntries))) {
    for (int32_t level = 1; level <= SummaryLayout::kLevels; ++level) {
      levels[level - 1] = reinterpret_cast<int16_t*>(image + shape.Offset(SummaryLayout::LevelSection(level)));
    }
  }
  uint64_t* facts;
  int64_t* timestamps;
  int16_t* blocks;
  uint8_t* subBlocks;
  int16_t* records;
  uint64_t* steps;
  int64_t* entries;
  int16_t* levels[SummaryLayout::kLevels];
};

// The steps of a block's range a sub-block's extremes are kept in: one count while the range
// allows, else as many counts as it takes to reach across the range in kSubBlockSteps steps.
int32_t SubBlockStep(int16_t blockMin, int16_t blockMax) {
  const int32_t range = int32_t{blockMax} - int32_t{blockMin};
  return std::max(1, (range + SourceSummary::kSubBlockSteps - 1) / SourceSummary::kSubBlockSteps);
}

// Record `record` stamped `timestamp`, its 512 samples stored little-endian from `samples` on.
void SummariseSamples(WritableArrays& out, int64_t record, int64_t timestamp, const uint8_t* samples) {
  constexpr int32_t kBlocks = SourceSummary::kBlocksPerRecord;
  constexpr int32_t kSubs = SourceSummary::kSubBlocksPerBlock;
  constexpr int32_t kSubSamples = SourceSummary::kSubBlockSamples;
  out.timestamps[record] = timestamp;
  int16_t* blocks = out.blocks + record * 2 * kBlocks;
  uint8_t* subBlocks = out.subBlocks + record * 2 * kBlocks * kSubs;
  static_assert(kSubSamples == SampleExtremes::kRunSamples, "a sub-block is one run of SampleExtremes");
  int16_t recordLow = 0;
  int16_t recordHigh = 0;
  int16_t allLows[kBlocks * kSubs];
  int16_t allHighs[kBlocks * kSubs];
  SampleExtremes::OfRuns(samples, kBlocks * kSubs, allLows, allHighs);
  for (int32_t b = 0; b < kBlocks; ++b) {
    const int16_t* subLows = allLows + b * kSubs;
    const int16_t* subHighs = allHighs + b * kSubs;
    const int16_t low = *std::min_element(subLows, subLows + kSubs);
    const int16_t high = *std::max_element(subHighs, subHighs + kSubs);
    blocks[2 * b] = low;
    blocks[2 * b + 1] = high;
    const int32_t step = SubBlockStep(low, high);
    // A block within kSubBlockSteps counts (most of them) keeps its sub-blocks' extremes without a division.
    if (step == 1) {
      for (int32_t k = 0; k < kSubs; ++k) {
        subBlocks[2 * (b * kSubs + k)] = static_cast<uint8_t>(subLows[k] - low);
        subBlocks[2 * (b * kSubs + k) + 1] = static_cast<uint8_t>(high - subHighs[k]);
      }
    } else {
      // n / step as n x ceil(2^32 / step) / 2^32, exact for n below 2^16 and step below 2^16 / 255 + 2
      // (the error stays under 1 / step); a division each would cost a tenth of the build on wide signals.
      const uint64_t reciprocal = std::numeric_limits<uint32_t>::max() / static_cast<uint32_t>(step) + uint64_t{1};
      const auto divided = [reciprocal](int32_t n) { return static_cast<uint8_t>((static_cast<uint64_t>(n) * reciprocal) >> 32); };
      for (int32_t k = 0; k < kSubs; ++k) {
        subBlocks[2 * (b * kSubs + k)] = divided(subLows[k] - low);
        subBlocks[2 * (b * kSubs + k) + 1] = divided(high - subHighs[k]);
      }
    }
    recordLow = b == 0 ? low : std::min(recordLow, low);
    recordHigh = b == 0 ? high : std::max(recordHigh, high);
  }
  out.records[2 * record] = recordLow;
  out.records[2 * record + 1] = recordHigh;
}

void SummariseRecord(WritableArrays& out, int64_t record, const uint8_t* bytes) {
  int64_t timestamp = 0;
  std::memcpy(&timestamp, bytes + kCscTimestampOffset, sizeof(int64_t));
  SummariseSamples(out, record, timestamp, bytes + kCscSamplesOffset);
}

// What every build checks of the layout before it reads a byte.
bool Summarisable(const RecordLayout& layout) {
  return layout.recordSize >= kCscRecordSize && layout.numRecords >= 0 && layout.dataOffset >= 0 &&
         layout.numRecords <= SummaryLayout::kMaxRecords;
}

// The step bits, the time index and the facts, from the timestamps: bit r is set where the walk's
// lookup one microsecond before record r + 1's timestamp finds record r.
void BuildWalk(WritableArrays& out, const SummaryLayout& shape) {
  const int64_t records = shape.Records();
  const std::span<const int64_t> timestamps(out.timestamps, static_cast<std::size_t>(records));
  const int64_t descents = SparseTimeIndex::Descents(timestamps);
  std::fill_n(out.facts, SummaryLayout::kFactsBytes / static_cast<int64_t>(sizeof(uint64_t)), uint64_t{0});
  out.facts[0] = static_cast<uint64_t>(descents);
  const std::vector<int64_t> maxima = SparseTimeIndex::EntryMaxima(timestamps);
  std::copy(maxima.begin(), maxima.end(), out.entries);
  const SparseTimeIndex index(timestamps, descents > 0 ? std::span<const int64_t>(maxima) : std::span<const int64_t>());
  // One bit per record, padded with set bits to whole top-level nodes so every node's bits exist.
  std::fill_n(out.steps, shape.StepWords(), ~uint64_t{0});
  for (int64_t r = 0; r + 1 < records; ++r) {
    const int64_t next = out.timestamps[r + 1];
    bool steps = false;
    if (next != std::numeric_limits<int64_t>::min()) {
      // Where the stamps never decrease the lookup is the bisection, whose answer is r exactly then.
      steps = descents == 0 ? out.timestamps[r] < next && next - 1 > out.timestamps[0] : index.Find(next - 1) == r;
    }
    if (!steps) out.steps[r >> 6] &= ~(uint64_t{1} << (r & 63));
  }
}

// The nodes, from the records' extremes.
void BuildLevels(WritableArrays& out, const SummaryLayout& shape) {
  const int64_t records = shape.Records();
  for (int32_t level = 1; level <= SummaryLayout::kLevels; ++level) {
    // A node's children: records at level 1, the nodes of the level below above it.
    const int16_t* children = level == 1 ? out.records : out.levels[level - 2];
    const int64_t childCount = level == 1 ? records : shape.Nodes(level - 1);
    int16_t* nodes = out.levels[level - 1];
    for (int64_t node = 0; node < shape.Nodes(level); ++node) {
      const int64_t first = node * SourceSummary::kFanOut;
      const int64_t last = std::min<int64_t>(first + SourceSummary::kFanOut, childCount) - 1;
      int16_t low = children[2 * first];
      int16_t high = children[2 * first + 1];
      for (int64_t c = first + 1; c <= last; ++c) {
        low = std::min(low, children[2 * c]);
        high = std::max(high, children[2 * c + 1]);
      }
      nodes[2 * node] = low;
      nodes[2 * node + 1] = high;
    }
  }
}

// The bytes between the sections (the memory may be a summary's released earlier: a kept file is the
// same whatever memory built it).
void ZeroPadding(uint8_t* image, const SummaryLayout& shape) {
  if (image == nullptr) return;  // an empty summary
  for (int32_t s = 0; s < SummaryLayout::kSections; ++s) {
    const auto section = static_cast<SummaryLayout::Section>(s);
    const int64_t end = shape.Offset(section) + shape.Bytes(section);
    const int64_t next = s + 1 < SummaryLayout::kSections ? shape.Offset(static_cast<SummaryLayout::Section>(s + 1))
                                                         : shape.TotalBytes();
    std::memset(image + end, 0, static_cast<std::size_t>(next - end));
  }
}

}  // namespace

SourceSummary::SourceSummary() = default;
SourceSummary::~SourceSummary() = default;

SourceSummary::SourceSummary(SourceSummary&& other) noexcept { *this = std::move(other); }

SourceSummary& SourceSummary::operator=(SourceSummary&& other) noexcept {
  if (this == &other) return *this;
  // The arrays point into the storage, whose bytes stay where they are when it moves.
  storage_ = std::move(other.storage_);
  numRecords_ = std::exchange(other.numRecords_, 0);
  facts_ = std::exchange(other.facts_, nullptr);
  timestamps_ = std::exchange(other.timestamps_, nullptr);
  blocks_ = std::exchange(other.blocks_, nullptr);
  subBlocks_ = std::exchange(other.subBlocks_, nullptr);
  records_ = std::exchange(other.records_, nullptr);
  steps_ = std::exchange(other.steps_, nullptr);
  entries_ = std::exchange(other.entries_, nullptr);
  numEntries_ = std::exchange(other.numEntries_, 0);
  for (int32_t i = 0; i < kLevels; ++i) {
    levels_[i] = std::exchange(other.levels_[i], nullptr);
    nodes_[i] = std::exchange(other.nodes_[i], 0);
  }
  checkpointBytes_ = std::exchange(other.checkpointBytes_, 0);
  checkpoints_ = std::exchange(other.checkpoints_, nullptr);
  return *this;
}

bool SourceSummary::Attach(SummaryStorage storage, int64_t records, int64_t checkpointBytes) {
  if (records < 0 || records > SummaryLayout::kMaxRecords) return false;
  if (checkpointBytes != 0 && !HighPassStateCodec::Readable(checkpointBytes)) return false;
  const SummaryLayout shape(records, checkpointBytes);
  if (storage.Size() != shape.TotalBytes()) return false;
  storage_ = std::move(storage);
  const uint8_t* image = storage_.Data();
  numRecords_ = records;
  facts_ = reinterpret_cast<const uint64_t*>(image + shape.Offset(SummaryLayout::kFacts));
  timestamps_ = reinterpret_cast<const int64_t*>(image + shape.Offset(SummaryLayout::kTimestamps));
  blocks_ = reinterpret_cast<const int16_t*>(image + shape.Offset(SummaryLayout::kBlocks));
  subBlocks_ = image + shape.Offset(SummaryLayout::kSubBlocks);
  records_ = reinterpret_cast<const int16_t*>(image + shape.Offset(SummaryLayout::kRecords));
  steps_ = reinterpret_cast<const uint64_t*>(image + shape.Offset(SummaryLayout::kSteps));
  entries_ = reinterpret_cast<const int64_t*>(image + shape.Offset(SummaryLayout::kEntries));
  numEntries_ = shape.Entries();
  for (int32_t level = 1; level <= kLevels; ++level) {
    levels_[level - 1] = reinterpret_cast<const int16_t*>(image + shape.Offset(SummaryLayout::LevelSection(level)));
    nodes_[level - 1] = shape.Nodes(level);
  }
  checkpointBytes_ = checkpointBytes;
  checkpoints_ = checkpointBytes > 0 ? image + shape.Offset(SummaryLayout::kCheckpoints) : nullptr;
  return true;
}

bool SourceSummary::Checkpoint(int64_t record, SpacedHighPass::Running& sums) const {
  if (checkpoints_ == nullptr || record < 0 || record >= numRecords_ || record % kCheckpointRecords != 0) return false;
  return HighPassStateCodec::Decode(checkpoints_ + record / kCheckpointRecords * checkpointBytes_, checkpointBytes_, sums);
}

bool SourceSummary::HoldsCheckpoint(int64_t record) const {
  if (checkpoints_ == nullptr || record < 0 || record >= numRecords_ || record % kCheckpointRecords != 0) return false;
  return HighPassStateCodec::Held(checkpoints_ + record / kCheckpointRecords * checkpointBytes_, checkpointBytes_);
}

void SourceSummary::SubBlocks(int64_t record, int32_t block, SubBlockRange (&ranges)[kSubBlocksPerBlock]) const {
  const int32_t blockMin = BlockMin(record, block);
  const int32_t blockMax = BlockMax(record, block);
  const int32_t step = SubBlockStep(static_cast<int16_t>(blockMin), static_cast<int16_t>(blockMax));
  const uint8_t* steps = subBlocks_ + SubSlot(record, block, 0);
  for (int32_t k = 0; k < kSubBlocksPerBlock; ++k) {
    // A garbled kept file may hold steps past the block's range: the bounds stay within it.
    const int32_t minLow = std::min(blockMin + int32_t{steps[2 * k]} * step, blockMax);
    const int32_t maxHigh = std::max(blockMax - int32_t{steps[2 * k + 1]} * step, blockMin);
    ranges[k] = SubBlockRange{static_cast<int16_t>(minLow), static_cast<int16_t>(std::min(minLow + step - 1, blockMax)),
                              static_cast<int16_t>(std::max(maxHigh - step + 1, blockMin)), static_cast<int16_t>(maxHigh)};
  }
}

SparseTimeIndex SourceSummary::TimeIndex() const {
  const std::span<const int64_t> maxima =
      Descents() > 0 ? std::span<const int64_t>(entries_, static_cast<std::size_t>(numEntries_)) : std::span<const int64_t>();
  return SparseTimeIndex(Timestamps(), maxima);
}

int64_t SourceSummary::LowestSteppingUp(int64_t first, int64_t last) const {
  constexpr int64_t kWordBits = 64;
  // The highest record below `last` whose step is not up, a word of step bits at a time from the top.
  for (int64_t end = last; end > first;) {  // bits [first, end) are left
    const int64_t word = (end - 1) / kWordBits;
    const int64_t from = std::max(first, word * kWordBits);
    const int64_t count = end - from;
    const uint64_t mask = (count == kWordBits ? ~uint64_t{0} : (uint64_t{1} << count) - 1)
                          << (from - word * kWordBits);
    const uint64_t down = ~steps_[static_cast<std::size_t>(word)] & mask;
    if (down != 0) return word * kWordBits + (kWordBits - 1 - std::countl_zero(down)) + 1;
    end = from;
  }
  return first;
}

void SourceSummary::RangeExtremes(int64_t first, int64_t last, int16_t& low, int16_t& high) const {
  constexpr int64_t kMask = kFanOut - 1;
  // Records [from, to) at level 0, nodes above: the unaligned ends are folded at each level and the
  // aligned middle goes up one.
  int64_t from = first;
  int64_t to = last + 1;
  int16_t lo = RecordMin(last);
  int16_t hi = RecordMax(last);
  const auto fold = [&](const int16_t* extremes, int64_t begin, int64_t end) {
    for (int64_t i = begin; i < end; ++i) {
      lo = std::min(lo, extremes[2 * i]);
      hi = std::max(hi, extremes[2 * i + 1]);
    }
  };
  int64_t alignedFrom = (from + kMask) & ~kMask;
  int64_t alignedTo = to & ~kMask;
  if (alignedFrom >= alignedTo) {
    fold(records_, from, to);
  } else {
    fold(records_, alignedTo, to);  // the end near the walk's last column first: it is in the cache
    fold(records_, from, alignedFrom);
    from = alignedFrom >> kFanOutShift;
    to = alignedTo >> kFanOutShift;
    for (int32_t level = 1;; ++level) {
      const int16_t* extremes = levels_[level - 1];
      alignedFrom = (from + kMask) & ~kMask;
      alignedTo = to & ~kMask;
      if (level == kLevels || alignedFrom >= alignedTo) {
        fold(extremes, from, to);
        break;
      }
      fold(extremes, alignedTo, to);
      fold(extremes, from, alignedFrom);
      from = alignedFrom >> kFanOutShift;
      to = alignedTo >> kFanOutShift;
    }
  }
  low = lo;
  high = hi;
}

int32_t SourceSummary::Build(const RecordLayout& layout, const std::atomic<bool>& cancel,
                             std::atomic<int64_t>& recordsDone, SourceSummary& summary) {
  return Fill(nullptr, layout, cancel, recordsDone, summary);
}

int32_t SourceSummary::Extend(const SourceSummary& earlier, const RecordLayout& layout,
                              const std::atomic<bool>& cancel, std::atomic<int64_t>& recordsDone,
                              SourceSummary& summary) {
  return Fill(&earlier, layout, cancel, recordsDone, summary);
}

int32_t SourceSummary::Fill(const SourceSummary* earlier, const RecordLayout& layout, const std::atomic<bool>& cancel,
                            std::atomic<int64_t>& recordsDone, SourceSummary& summary) {
  if (!Summarisable(layout)) return kStatusFailed;
  const int64_t kept = earlier != nullptr ? earlier->NumRecords() : 0;
  if (kept > layout.numRecords) return kStatusFailed;
  RecordReader reader;
  if (const int32_t rc = reader.Open(layout, true); rc != 0) return rc;

  const SummaryLayout shape(layout.numRecords);
  SummaryStorage storage;
  if (const int32_t rc = storage.Allocate(shape.TotalBytes(), false); rc != 0) return rc;
  WritableArrays out(storage.Writable(), shape);
  if (kept > 0) {
    std::memcpy(out.timestamps, earlier->timestamps_, static_cast<std::size_t>(kept) * sizeof(int64_t));
    std::memcpy(out.blocks, earlier->blocks_, Slot(kept, 0) * sizeof(int16_t));
    std::memcpy(out.subBlocks, earlier->subBlocks_, SubSlot(kept, 0, 0));
    std::memcpy(out.records, earlier->records_, static_cast<std::size_t>(2 * kept) * sizeof(int16_t));
  }
  recordsDone.store(kept, std::memory_order_relaxed);
  const int64_t perRead = std::max<int64_t>(1, kReadBytes / layout.recordSize);
  std::vector<uint8_t> buffer;
  for (int64_t first = kept; first < layout.numRecords; first += perRead) {
    if (cancel.load(std::memory_order_relaxed)) return kStatusCancelled;
    const int64_t count = std::min(perRead, layout.numRecords - first);
    if (const int32_t rc = reader.Read(first, count, buffer); rc != kStatusOk) return rc;
    for (int64_t r = 0; r < count; ++r) SummariseRecord(out, first + r, buffer.data() + r * layout.recordSize);
    recordsDone.store(first + count, std::memory_order_relaxed);
  }
  Finish(std::move(storage), shape, summary);
  return kStatusOk;
}

void SourceSummary::Finish(SummaryStorage storage, const SummaryLayout& shape, SourceSummary& summary) {
  WritableArrays out(storage.Writable(), shape);
  BuildWalk(out, shape);
  BuildLevels(out, shape);
  ZeroPadding(storage.Writable(), shape);
  storage.Seal();
  summary.Attach(std::move(storage), shape.Records(), shape.CheckpointBytes());
}

int32_t SourceSummary::BuildFiltered(const RecordLayout& layout, const FilterDesign& design, double sampleInterval,
                                     const std::atomic<bool>& cancel, std::atomic<int64_t>& recordsDone,
                                     SourceSummary& summary) {
  if (!Summarisable(layout)) return kStatusFailed;
  RecordReader reader;
  if (const int32_t rc = reader.Open(layout, true); rc != 0) return rc;
  // A band with a spaced high-pass keeps its running sums every kCheckpointRecords records.
  std::optional<HighPassStateCodec> codec;
  if (const SpacedHighPass* highPass = SpacedHighPassResume::HighPassOf(design)) codec.emplace(*highPass);
  const int64_t slotBytes = codec ? codec->SlotBytes() : 0;
  const SummaryLayout shape(layout.numRecords, slotBytes);
  SummaryStorage storage;
  if (const int32_t rc = storage.Allocate(shape.TotalBytes(), false); rc != 0) return rc;
  WritableArrays out(storage.Writable(), shape);
  recordsDone.store(0, std::memory_order_relaxed);

  // The records go through the filter in file order and come out a little later, in the same order.
  FilterStream stream(design, sampleInterval);
  if (codec) {
    uint8_t* states = storage.Writable() + shape.Offset(SummaryLayout::kCheckpoints);
    // A state the pass never reaches (a short segment's) stays unheld.
    std::memset(states, 0, static_cast<std::size_t>(shape.Bytes(SummaryLayout::kCheckpoints)));
    stream.KeepStates(kCheckpointRecords, [states, slotBytes, &codec](int64_t record, const SpacedHighPass::Running& sums) {
      codec->Encode(sums, states + record / kCheckpointRecords * slotBytes);
    });
  }
  int64_t summarised = 0;
  const auto take = [&] {
    for (; stream.Ready() > 0; stream.Pop(), ++summarised) {
      SummariseSamples(out, summarised, stream.FrontTimestamp(),
                       reinterpret_cast<const uint8_t*>(stream.FrontSamples()));
    }
  };
  const int64_t perRead = std::max<int64_t>(1, kReadBytes / layout.recordSize);
  std::vector<uint8_t> buffer;
  for (int64_t first = 0; first < layout.numRecords; first += perRead) {
    if (cancel.load(std::memory_order_relaxed)) return kStatusCancelled;
    const int64_t count = std::min(perRead, layout.numRecords - first);
    if (const int32_t rc = reader.Read(first, count, buffer); rc != kStatusOk) return rc;
    for (int64_t r = 0; r < count; ++r) stream.Push(CscRecord(buffer.data() + r * layout.recordSize));
    take();
    recordsDone.store(first + count, std::memory_order_relaxed);
  }
  stream.Finish();
  take();
  if (summarised != layout.numRecords) return kStatusFailed;
  Finish(std::move(storage), shape, summary);
  return kStatusOk;
}

}  // namespace skelvane
