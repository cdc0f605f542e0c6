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
      int64_t lowest = FoldColumnRun(index);
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

  // The first time at or after start whose column is at least x (columns only grow with time);
  // false where the estimate is too coarse to settle in a few steps (offsets beyond double precision).
  bool FirstTimeOfColumn(int32_t x, int64_t& time) const {
    constexpr int32_t kSteps = 8;
    time = SaturatingAdd(span_.start, static_cast<int64_t>(x * timePerPixel_));
    for (int32_t step = 0; time > span_.start && Column(time - 1) >= x; ++step) {
      if (step == kSteps) return false;
      --time;
    }
    for (int32_t step = 0; Column(time) < x; ++step) {
      if (step == kSteps || time == std::numeric_limits<int64_t>::max()) return false;
      ++time;
    }
    return true;
  }

  // Folds, in one step, every record from `index` down that the walk visits in turn with all its
  // samples in the column of `index`'s last sample: timestamps strictly increasing (each record is
  // visited), never record 0 nor one whose step back would stop at record 0's timestamp, and the
  // first record's first sample not before the column's first time. Returns the lowest record
  // folded, or -1 when `index` itself does not qualify.
  int64_t FoldColumnRun(int64_t index) {
    const int64_t timestamp = Timestamp(index);
    if (index == 0 || timestamp < span_.start) return -1;
    const int32_t x = Column(TimeOf(timestamp, kLastSample));
    if (x == std::numeric_limits<int32_t>::max() || Column(timestamp) != x) return -1;
    int64_t columnStart = 0;
    if (!FirstTimeOfColumn(x, columnStart)) return -1;
    // The lowest record in 1..index stamped at or after the column's first time: gallop down, then halve.
    int64_t low = index;  // known to qualify
    int64_t step = 1;
    int64_t below = index;
    for (;;) {
      below = std::max<int64_t>(1, low - step);
      if (Timestamp(below) < columnStart || below == 1) break;
      low = below;
      step *= 2;
    }
    if (Timestamp(below) >= columnStart) {
      low = below;
    } else {
      while (low - below > 1) {
        const int64_t middle = below + (low - below) / 2;
        if (Timestamp(middle) >= columnStart) {
          low = middle;
        } else {
          below = middle;
        }
      }
    }
    // Records stamped within one microsecond of record 0 end the walk at record 0's timestamp.
    const int64_t firstTimestamp = Timestamp(0);
    while (low < index && !(Timestamp(low + 1) > firstTimestamp && Timestamp(low + 1) - 1 > firstTimestamp)) ++low;
    int32_t lowest = 0;
    int32_t highest = 0;
    if (!RangeExtremes(low, index, lowest, highest)) return -1;
    Widen(BarFor(x), lowest, highest);
    return low;
  }

  // The scaled extremes of records first..last from the largest aligned nodes that fit, and whether
  // their timestamps strictly increase throughout.
  bool RangeExtremes(int64_t first, int64_t last, int32_t& lowest, int32_t& highest) const {
    const int64_t records = summary_.NumRecords();
    int16_t low = summary_.BlockMin(first, 0);
    int16_t high = summary_.BlockMax(first, 0);
    for (int64_t i = first; i <= last;) {
      if (i > first && Timestamp(i - 1) >= Timestamp(i)) return false;
      int32_t level = SourceSummary::kLevels;
      for (; level >= 1; --level) {
        const int64_t size = SourceSummary::NodeRecords(level);
        if (i % size == 0 && std::min(i + size, records) - 1 <= last) break;
      }
      if (level >= 1) {
        const int64_t node = i / SourceSummary::NodeRecords(level);
        if (!summary_.NodeIncreasing(level, node)) return false;
        low = std::min(low, summary_.NodeMin(level, node));
        high = std::max(high, summary_.NodeMax(level, node));
        i = std::min(i + SourceSummary::NodeRecords(level), records);
      } else {
        for (int32_t b = 0; b < SourceSummary::kBlocksPerRecord; ++b) {
          low = std::min(low, summary_.BlockMin(i, b));
          high = std::max(high, summary_.BlockMax(i, b));
        }
        ++i;
      }
    }
    lowest = Scaled(low);
    highest = Scaled(high);
    return true;
  }

  // One record, as the walk takes it: samples from 511 down to the first one before start, column
  // by column. Whole blocks inside a column are folded; the rest stay open with their block's extremes.
  void FoldRecord(int64_t index) {
    const int64_t timestamp = Timestamp(index);
    if (TimeOf(timestamp, kLastSample) < span_.start) return;
    // The first sample taken: the lowest index whose time is not before start.
    const int32_t firstTaken = LowestSample(0, kLastSample, [&](int32_t i) { return TimeOf(timestamp, i) >= span_.start; });
    for (int32_t i = kLastSample; i >= firstTaken;) {
      const int32_t x = Column(TimeOf(timestamp, i));
      const int32_t j = LowestSample(firstTaken, i, [&](int32_t k) { return Column(TimeOf(timestamp, k)) >= x; });
      const int32_t bar = BarFor(x);
      for (int32_t b = i / SourceSummary::kBlockSamples; b >= 0 && b * SourceSummary::kBlockSamples + SourceSummary::kBlockSamples - 1 >= j; --b) {
        const int32_t blockFirst = b * SourceSummary::kBlockSamples;
        const int32_t blockLast = blockFirst + SourceSummary::kBlockSamples - 1;
        const int32_t low = Scaled(summary_.BlockMin(index, b));
        const int32_t high = Scaled(summary_.BlockMax(index, b));
        const int32_t from = std::max(blockFirst, j);
        const int32_t to = std::min(blockLast, i);
        if (from == blockFirst && to == blockLast) {
          Widen(bar, low, high);
        } else {
          open_.push_back({bar, index, static_cast<int16_t>(from), static_cast<int16_t>(to), static_cast<int16_t>(low),
                           static_cast<int16_t>(high)});
        }
      }
      i = j - 1;
    }
  }

  // The lowest i in [low, high] for which `holds` is true, `holds` being monotone and true at high.
  template <typename Holds>
  static int32_t LowestSample(int32_t low, int32_t high, Holds holds) {
    if (holds(low)) return low;
    while (high - low > 1) {  // holds(high) and not holds(low)
      const int32_t middle = (low + high) / 2;
      if (holds(middle)) {
        high = middle;
      } else {
        low = middle;
      }
    }
    return high;
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
