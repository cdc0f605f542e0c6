#include "summary/SourceSummary.h"

#include <unistd.h>

#include <algorithm>
#include <bit>
#include <cerrno>
#include <cstring>

#include "datafile/IDataSourceManager.h"
#include "platform/File.h"
#include "platform/StatusCodes.h"

namespace skelvane {

std::size_t SourceSummary::BytesHeld() const {
  std::size_t bytes = timestamps_.capacity() * sizeof(int64_t) + blocks_.capacity() * sizeof(int16_t) +
                      records_.capacity() * sizeof(int16_t) +
                      steps_.capacity() * sizeof(uint64_t) + levels_.capacity() * sizeof(Level);
  for (const Level& level : levels_) bytes += level.extremes.capacity() * sizeof(int16_t);
  return bytes;
}

void SourceSummary::SummariseRecord(int64_t record, const uint8_t* bytes) {
  std::memcpy(&timestamps_[static_cast<std::size_t>(record)], bytes + kCscTimestampOffset, sizeof(int64_t));
  int16_t samples[kSamplesPerRecord];
  std::memcpy(samples, bytes + kCscSamplesOffset, sizeof samples);
  int16_t* out = &blocks_[Slot(record, 0)];
  int16_t recordLow = samples[0];
  int16_t recordHigh = samples[0];
  for (int32_t b = 0; b < kBlocksPerRecord; ++b) {
    const int16_t* block = samples + b * kBlockSamples;
    int16_t low = block[0];
    int16_t high = block[0];
    for (int32_t i = 1; i < kBlockSamples; ++i) {
      low = std::min(low, block[i]);
      high = std::max(high, block[i]);
    }
    out[2 * b] = low;
    out[2 * b + 1] = high;
    recordLow = std::min(recordLow, low);
    recordHigh = std::max(recordHigh, high);
  }
  records_[2 * static_cast<std::size_t>(record)] = recordLow;
  records_[2 * static_cast<std::size_t>(record) + 1] = recordHigh;
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
  const auto foldRecords = [&](int64_t begin, int64_t end) {
    for (int64_t i = begin; i < end; ++i) {
      lo = std::min(lo, records_[2 * static_cast<std::size_t>(i)]);
      hi = std::max(hi, records_[2 * static_cast<std::size_t>(i) + 1]);
    }
  };
  const auto foldNodes = [&](const std::vector<int16_t>& extremes, int64_t begin, int64_t end) {
    for (int64_t i = begin; i < end; ++i) {
      lo = std::min(lo, extremes[2 * static_cast<std::size_t>(i)]);
      hi = std::max(hi, extremes[2 * static_cast<std::size_t>(i) + 1]);
    }
  };
  int64_t alignedFrom = (from + kMask) & ~kMask;
  int64_t alignedTo = to & ~kMask;
  if (alignedFrom >= alignedTo) {
    foldRecords(from, to);
  } else {
    foldRecords(alignedTo, to);  // the end near the walk's last column first: it is in the cache
    foldRecords(from, alignedFrom);
    from = alignedFrom >> kFanOutShift;
    to = alignedTo >> kFanOutShift;
    for (int32_t level = 1;; ++level) {
      const std::vector<int16_t>& extremes = levels_[static_cast<std::size_t>(level - 1)].extremes;
      alignedFrom = (from + kMask) & ~kMask;
      alignedTo = to & ~kMask;
      if (level == kLevels || alignedFrom >= alignedTo) {
        foldNodes(extremes, from, to);
        break;
      }
      foldNodes(extremes, alignedTo, to);
      foldNodes(extremes, from, alignedFrom);
      from = alignedFrom >> kFanOutShift;
      to = alignedTo >> kFanOutShift;
    }
  }
  low = lo;
  high = hi;
}

void SourceSummary::BuildLevels() {
  const int64_t records = NumRecords();
  // One bit per record, padded with set bits to whole top-level nodes so every node's bits exist.
  const int64_t topRecords = NodeRecords(kLevels);
  const int64_t padded = (records + topRecords - 1) / topRecords * topRecords;
  steps_.assign(static_cast<std::size_t>(padded / 64), ~uint64_t{0});
  for (int64_t r = 0; r + 1 < records; ++r) {
    if (timestamps_[static_cast<std::size_t>(r)] >= timestamps_[static_cast<std::size_t>(r + 1)]) {
      steps_[static_cast<std::size_t>(r >> 6)] &= ~(uint64_t{1} << (r & 63));
    }
  }
  levels_.assign(kLevels, Level{});
  for (int32_t level = 1; level <= kLevels; ++level) {
    const int64_t span = NodeRecords(level);
    const int64_t nodes = (records + span - 1) / span;
    Level& out = levels_[static_cast<std::size_t>(level - 1)];
    out.extremes.resize(static_cast<std::size_t>(2 * nodes));
    for (int64_t node = 0; node < nodes; ++node) {
      const int64_t first = node * span;
      const int64_t last = std::min(first + span, records) - 1;
      int16_t low = 0;
      int16_t high = 0;
      if (level == 1) {
        low = RecordMin(first);
        high = RecordMax(first);
        for (int64_t r = first + 1; r <= last; ++r) {
          low = std::min(low, RecordMin(r));
          high = std::max(high, RecordMax(r));
        }
      } else {
        const int64_t childSpan = span / kFanOut;
        const int64_t firstChild = first / childSpan;
        const int64_t lastChild = last / childSpan;
        low = NodeMin(level - 1, firstChild);
        high = NodeMax(level - 1, firstChild);
        for (int64_t c = firstChild + 1; c <= lastChild; ++c) {
          low = std::min(low, NodeMin(level - 1, c));
          high = std::max(high, NodeMax(level - 1, c));
        }
      }
      out.extremes[static_cast<std::size_t>(2 * node)] = low;
      out.extremes[static_cast<std::size_t>(2 * node + 1)] = high;
    }
  }
}

int32_t SourceSummary::Build(const RecordLayout& layout, const std::atomic<bool>& cancel,
                             std::atomic<int64_t>& recordsDone, SourceSummary& summary) {
  if (layout.recordSize < kCscRecordSize || layout.numRecords < 0 || layout.dataOffset < 0) return kStatusFailed;
  File file;
  if (const int32_t rc = file.Open(layout.path, File::Mode::Read, true); rc != 0) return rc;

  const int64_t records = layout.numRecords;
  summary.timestamps_.assign(static_cast<std::size_t>(records), 0);
  summary.blocks_.assign(static_cast<std::size_t>(records) * 2 * kBlocksPerRecord, 0);
  summary.records_.assign(static_cast<std::size_t>(records) * 2, 0);
  const int64_t perRead = std::max<int64_t>(1, kReadBytes / layout.recordSize);
  std::vector<uint8_t> buffer(static_cast<std::size_t>(perRead * layout.recordSize));
  for (int64_t first = 0; first < records; first += perRead) {
    if (cancel.load(std::memory_order_relaxed)) return kStatusCancelled;
    const int64_t count = std::min(perRead, records - first);
    const int64_t want = count * layout.recordSize;
    const int64_t got =
        File::ReadFullyAt(file.Descriptor(), buffer.data(), want, layout.dataOffset + first * layout.recordSize);
    if (got < 0) return static_cast<int32_t>(-got);
    if (got < want) return kStatusSourceChanged;
    for (int64_t r = 0; r < count; ++r) summary.SummariseRecord(first + r, buffer.data() + r * layout.recordSize);
    recordsDone.store(first + count, std::memory_order_relaxed);
  }
  summary.BuildLevels();
  return kStatusOk;
}

}  // namespace skelvane
