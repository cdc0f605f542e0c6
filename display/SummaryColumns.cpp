#include "display/SummaryColumns.h"

#include <algorithm>
#include <array>
#include <limits>
#include <vector>

#include "datafile/CscRecord.h"
#include "display/PlotCanvas.h"
#include "display/RecordReader.h"
#include "display/RecordWalk.h"
#include "display/SampleScaling.h"
#include "display/SaturatingTime.h"
#include "display/SourceSummary.h"
#include "platform/StatusCodes.h"

namespace skelvane {
namespace {

constexpr int32_t kNoValue = std::numeric_limits<int32_t>::max();
constexpr int32_t kLastSample = kSamplesPerRecord - 1;

// Samples first..last of one record whose values are not known here: they belong to bar `bar`, and
// lie within [low, high], the extremes of their block.
struct OpenSamples {
  int32_t bar;
  int64_t record;
  int16_t first;
  int16_t last;
  int16_t low;
  int16_t high;
};

class Folder {
 public:
  Folder(const SourceSummary& summary, const ColumnSpan& span)
      : summary_(summary),
        timestamps_(summary.Timestamps()),
        span_(span),
        offsets_(span.SampleOffsets()),
        timePerPixel_(span.TimePerPixel()) {}

  int32_t Walk() {
    const RecordWalk walk(timestamps_.data(), 0, summary_.NumRecords() - 1,
                          timestamps_.empty() ? 0 : timestamps_.front());
    int64_t index = walk.Begin(span_.end);
    if (index == RecordWalk::kNoRecord) return kStatusFailed;
    while (index != RecordWalk::kEnd && RecordWalk::Reaches(walk.At(index), span_.start, span_.recordDuration)) {
      int64_t lowest = FoldNode(index);
      if (lowest < 0) {
        FoldRecord(index);
        lowest = index;
      }
      index = walk.Next(lowest, false, span_.start);
    }
    return kStatusOk;
  }

  // Reads the samples whose blocks could move a bar's ends, then hands out the bars.
  int32_t Finish(const RecordReader& reader, PixelCache& cache) {
    std::vector<uint8_t> buffer;
    int64_t buffered = -1;
    for (const OpenSamples& open : open_) {
      const auto bar = static_cast<std::size_t>(open.bar);
      if (lows_[bar] <= open.low && open.high <= highs_[bar]) continue;  // cannot widen the bar
      if (open.record != buffered) {
        if (const int32_t rc = reader.Read(open.record, 1, buffer); rc != kStatusOk) return rc;
        buffered = open.record;
      }
      const CscRecord record(buffer.data());
      for (int32_t i = open.first; i <= open.last; ++i) Widen(open.bar, Scaled(record.Sample(i)), Scaled(record.Sample(i)));
    }
    cache.xs.insert(cache.xs.end(), xs_.begin(), xs_.end());
    for (std::size_t bar = 0; bar < xs_.size(); ++bar) {
      cache.mins.push_back(static_cast<int16_t>(lows_[bar]));
      cache.maxs.push_back(static_cast<int16_t>(highs_[bar]));
    }
    return kStatusOk;
  }

 private:
  int16_t Scaled(int16_t sample) const { return ScaleSample(sample, span_.scale); }
  int64_t Timestamp(int64_t record) const { return timestamps_[static_cast<std::size_t>(record)]; }
  int64_t TimeOf(int64_t timestamp, int32_t i) const {
    return SaturatingAdd(timestamp, offsets_[static_cast<std::size_t>(i)]);
  }
  int32_t Column(int64_t time) const {
    return PlotCanvas::ColumnForOffset(SaturatingSubtract(time, span_.start), timePerPixel_);
  }

  // The bar for column x: the last one when the walk is still in it, else a new one.
  int32_t BarFor(int32_t x) {
    if (x != lastColumn_ || xs_.empty()) {
      xs_.push_back(x);
      lows_.push_back(kNoValue);
      highs_.push_back(-kNoValue);
      lastColumn_ = x;
    }
    return static_cast<int32_t>(xs_.size()) - 1;
  }
  void Widen(int32_t bar, int32_t low, int32_t high) {
    const auto b = static_cast<std::size_t>(bar);
    lows_[b] = std::min(lows_[b], low);
    highs_[b] = std::max(highs_[b], high);
  }

  // Folds the largest node whose last record is `index` when the walk provably visits all its
  // records in turn, takes every sample and puts them all in one column: strictly increasing
  // timestamps (each record is visited), not record 0 and none whose predecessor step would stop at
  // record 0's timestamp, the first sample not before start, and the first and last sample in the
  // same column (columns only grow with time). Returns the node's first record, or -1.
  int64_t FoldNode(int64_t index) {
    const int64_t records = summary_.NumRecords();
    const int64_t firstTimestamp = Timestamp(0);
    for (int32_t level = SourceSummary::kLevels; level >= 1; --level) {
      const int64_t size = SourceSummary::NodeRecords(level);
      const int64_t node = index / size;
      const int64_t first = node * size;
      const int64_t last = std::min(first + size, records) - 1;
      if (last != index || first == 0 || !summary_.NodeIncreasing(level, node)) continue;
      const int64_t earliest = Timestamp(first);
      if (earliest < span_.start) continue;
      if (first < last && !(Timestamp(first + 1) - 1 > firstTimestamp)) continue;
      const int32_t x = Column(earliest);
      if (Column(TimeOf(Timestamp(last), kLastSample)) != x) continue;
      Widen(BarFor(x), Scaled(summary_.NodeMin(level, node)), Scaled(summary_.NodeMax(level, node)));
      return first;
    }
    return -1;
  }

  // One record, as the walk takes it: samples from 511 down to the first one before start.
  void FoldRecord(int64_t index) {
    const int64_t timestamp = Timestamp(index);
    if (TimeOf(timestamp, kLastSample) < span_.start) return;
    int32_t firstTaken = 0;
    if (timestamp < span_.start) {
      int32_t low = 0;  // the first sample not before start lies in (low, kLastSample]
      int32_t high = kLastSample;
      while (high - low > 1) {
        const int32_t middle = (low + high) / 2;
        if (TimeOf(timestamp, middle) < span_.start) {
          low = middle;
        } else {
          high = middle;
        }
      }
      firstTaken = high;
    }
    const int32_t top = Column(TimeOf(timestamp, kLastSample));
    if (firstTaken == 0 && Column(timestamp) == top) {
      int16_t low = summary_.BlockMin(index, 0);
      int16_t high = summary_.BlockMax(index, 0);
      for (int32_t b = 1; b < SourceSummary::kBlocksPerRecord; ++b) {
        low = std::min(low, summary_.BlockMin(index, b));
        high = std::max(high, summary_.BlockMax(index, b));
      }
      Widen(BarFor(top), Scaled(low), Scaled(high));
      return;
    }
    for (int32_t b = SourceSummary::kBlocksPerRecord - 1; b >= 0; --b) {
      const int32_t blockLast = b * SourceSummary::kBlockSamples + SourceSummary::kBlockSamples - 1;
      if (blockLast < firstTaken) break;
      const int32_t blockFirst = std::max(b * SourceSummary::kBlockSamples, firstTaken);
      const int16_t low = Scaled(summary_.BlockMin(index, b));
      const int16_t high = Scaled(summary_.BlockMax(index, b));
      const int32_t x = Column(TimeOf(timestamp, blockLast));
      if (blockFirst == b * SourceSummary::kBlockSamples && Column(TimeOf(timestamp, blockFirst)) == x) {
        Widen(BarFor(x), low, high);
        continue;
      }
      // Part of the block, or a block across a column edge: its samples go column by column, their
      // values to be read only if the block's extremes could widen a bar.
      for (int32_t i = blockLast; i >= blockFirst;) {
        const int32_t column = Column(TimeOf(timestamp, i));
        int32_t j = i - 1;
        while (j >= blockFirst && Column(TimeOf(timestamp, j)) == column) --j;
        open_.push_back({BarFor(column), index, static_cast<int16_t>(j + 1), static_cast<int16_t>(i), low, high});
        i = j;
      }
    }
  }

  const SourceSummary& summary_;
  const std::vector<int64_t>& timestamps_;
  const ColumnSpan& span_;
  const std::array<int64_t, kSamplesPerRecord> offsets_;
  const double timePerPixel_;
  int32_t lastColumn_ = -1;
  std::vector<int32_t> xs_;
  std::vector<int32_t> lows_;   // the extremes known so far of each bar
  std::vector<int32_t> highs_;
  std::vector<OpenSamples> open_;
};

}  // namespace

int32_t SummaryColumns::Build(const SourceSummary& summary, const RecordReader& reader, const ColumnSpan& span,
                              PixelCache& cache) {
  Folder folder(summary, span);
  if (const int32_t rc = folder.Walk(); rc != kStatusOk) return rc;
  return folder.Finish(reader, cache);
}

}  // namespace skelvane
