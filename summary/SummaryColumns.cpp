#include "summary/SummaryColumns.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>
#include <span>
#include <thread>
#include <vector>

#include "datafile/CscRecord.h"
#include "datafile/RecordReader.h"
#include "summary/RecordWalk.h"
#include "summary/SampleScaling.h"
#include "platform/Saturating.h"
#include "summary/SourceSummary.h"
#include "platform/StatusCodes.h"
#include "summary/TimeColumns.h"

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

  // Walks from record `index` (which the walk visits) down, leaving the records at or below `floor`
  // to another folder; -1 for none.
  void WalkFrom(int64_t index, int64_t floor) {
    floor_ = floor;
    const RecordWalk walk = Walker();
    while (index != RecordWalk::kEnd && index > floor &&
           RecordWalk::Reaches(walk.At(index), span_.start, span_.recordDuration)) {
      int64_t lowest = FoldColumnRun(index);
      if (lowest < 0) {
        FoldRecord(index);
        lowest = index;
      }
      index = walk.Next(lowest, false, span_.start);
    }
  }

  RecordWalk Walker() const {
    return RecordWalk(timestamps_.data(), 0, summary_.NumRecords() - 1, timestamps_.empty() ? 0 : timestamps_.front());
  }

  // Reads the samples whose blocks could move a bar's ends.
  int32_t Finish(const RecordReader& reader) {
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
      for (int32_t i = open.first; i <= open.last; ++i)
        Widen(open.bar, Scaled(record.Sample(i)), Scaled(record.Sample(i)));
    }
    return kStatusOk;
  }

  // Appends the bars to `cache`, joining the first to the last one there when the walk was still in
  // its column where this folder's part began.
  void AppendTo(PixelCache& cache) const {
    for (std::size_t bar = 0; bar < xs_.size(); ++bar) {
      const auto low = static_cast<int16_t>(lows_[bar]);
      const auto high = static_cast<int16_t>(highs_[bar]);
      if (bar == 0 && !cache.xs.empty() && cache.xs.back() == xs_[bar]) {
        cache.mins.back() = std::min(cache.mins.back(), low);
        cache.maxs.back() = std::max(cache.maxs.back(), high);
        continue;
      }
      cache.xs.push_back(xs_[bar]);
      cache.mins.push_back(low);
      cache.maxs.push_back(high);
    }
  }

 private:
  int16_t Scaled(int16_t sample) const { return ScaleSample(sample, span_.scale); }
  int64_t Timestamp(int64_t record) const { return timestamps_[static_cast<std::size_t>(record)]; }
  int64_t TimeOf(int64_t timestamp, int32_t i) const {
    return SaturatingAdd(timestamp, offsets_[static_cast<std::size_t>(i)]);
  }
  int32_t Column(int64_t time) const {
    return TimeColumns::ColumnForOffset(SaturatingSubtract(time, span_.start), timePerPixel_);
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
  bool FirstTimeOfColumn(int32_t x, int64_t& time) {
    // A column's first time is asked for by its run and by the records on both of its edges.
    for (const KnownColumn& known : knownColumns_) {
      if (known.x == x) {
        time = known.time;
        return known.found;
      }
    }
    KnownColumn& known = knownColumns_[nextKnown_];
    nextKnown_ = (nextKnown_ + 1) % knownColumns_.size();
    known.x = x;
    known.found = SearchFirstTimeOfColumn(x, known.time);
    time = known.time;
    return known.found;
  }
  bool SearchFirstTimeOfColumn(int32_t x, int64_t& time) const {
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
    if (index == 0 || index <= floor_ + 1 || timestamp < span_.start) return -1;
    const int32_t x = Column(TimeOf(timestamp, kLastSample));
    if (x == std::numeric_limits<int32_t>::max() || Column(timestamp) != x) return -1;
    int64_t columnStart = 0;
    if (!FirstTimeOfColumn(x, columnStart)) return -1;
    // The lowest record in 1..index stamped at or after the column's first time, searched from where
    // evenly spaced records would put it.
    const auto qualifies = [&](int64_t i) { return Timestamp(i) >= columnStart; };
    const int64_t low =
        LowestQualifying(std::max<int64_t>(1, floor_ + 1), index, EstimateRecord(index, columnStart), qualifies);
    PrefetchBefore(low);
    // Records stamped within one microsecond of record 0 end the walk at record 0's timestamp.
    const int64_t firstTimestamp = Timestamp(0);
    int64_t first = low;
    while (first < index && !(Timestamp(first + 1) > firstTimestamp && Timestamp(first + 1) - 1 > firstTimestamp)) {
      ++first;
    }
    int32_t lowest = 0;
    int32_t highest = 0;
    first = FoldIncreasingRun(first, index, lowest, highest);
    Widen(BarFor(x), lowest, highest);
    return first;
  }

  // Where record `index`, stamped `time` later than `earlier`, would find the record stamped
  // `earlier` if records followed each other every record duration.
  int64_t EstimateRecord(int64_t index, int64_t earlier) const {
    if (span_.recordDuration <= 0) return index;
    const double back = static_cast<double>(SaturatingSubtract(Timestamp(index), earlier)) / span_.recordDuration;
    return back < static_cast<double>(index) ? index - static_cast<int64_t>(back) : 0;
  }

  // The lowest i in [low, high] for which `holds` is true (monotone, true at high), galloping from `guess`.
  template <typename Holds>
  static int64_t LowestQualifying(int64_t low, int64_t high, int64_t guess, Holds holds) {
    guess = std::clamp(guess, low, high);
    int64_t yes = high;    // holds here
    int64_t no = low - 1;  // known not to hold (or before the range)
    if (holds(guess)) {
      yes = guess;
      for (int64_t step = 1; yes > low;) {
        const int64_t probe = std::max(low, yes - step);
        if (!holds(probe)) {
          no = probe;
          break;
        }
        yes = probe;
        step *= 2;
      }
    } else {
      no = guess;
      for (int64_t step = 1;;) {
        const int64_t probe = std::min(high, no + step);
        if (probe == high || holds(probe)) {
          yes = probe;
          break;
        }
        no = probe;
        step *= 2;
      }
    }
    while (yes - no > 1) {
      const int64_t middle = no + (yes - no) / 2;
      if (holds(middle)) {
        yes = middle;
      } else {
        no = middle;
      }
    }
    return yes;
  }

  // Asks for the memory the next column will read while this one is being finished: the records
  // around where it will begin, their blocks and the nodes over them.
  void PrefetchBefore(int64_t low) const {
    const int64_t perColumn = span_.recordDuration > 0 ? static_cast<int64_t>(timePerPixel_ / span_.recordDuration) : 0;
    const int64_t next = low - 1 - perColumn;
    if (next < SourceSummary::kFanOut || perColumn < SourceSummary::kFanOut) return;
    for (int64_t r = next - SourceSummary::kFanOut; r <= next + SourceSummary::kFanOut; r += 4) {
      __builtin_prefetch(&timestamps_[static_cast<std::size_t>(r)]);
      summary_.PrefetchRecordExtremes(r);
      summary_.PrefetchRecord(r);
    }
    for (int32_t level = 1; level <= 2; ++level) summary_.PrefetchNode(level, SourceSummary::NodeOf(level, next));
  }

  // Folds the records from `last` down to `first`, or down to where their timestamps stop strictly
  // increasing: the step bits say where, so no timestamp is read, and the coarsest nodes that fit
  // give the extremes. Returns the lowest record folded.
  int64_t FoldIncreasingRun(int64_t first, int64_t last, int32_t& lowest, int32_t& highest) const {
    const int64_t from = summary_.LowestSteppingUp(first, last);
    int16_t low = 0;
    int16_t high = 0;
    summary_.RangeExtremes(from, last, low, high);
    lowest = Scaled(low);
    highest = Scaled(high);
    return from;
  }

  // One record, as the walk takes it: samples from 511 down to the first one before start, column
  // by column. Whole blocks inside a column are folded; the rest stay open with their block's extremes.
  void FoldRecord(int64_t index) {
    const int64_t timestamp = Timestamp(index);
    if (TimeOf(timestamp, kLastSample) < span_.start) return;
    // The first sample taken: the lowest index whose time is not before start.
    const int32_t firstTaken =
        LowestSample(0, kLastSample, [&](int32_t i) { return TimeOf(timestamp, i) >= span_.start; });
    for (int32_t i = kLastSample; i >= firstTaken;) {
      const int32_t x = Column(TimeOf(timestamp, i));
      // The column's samples: those not before its first time (one division instead of one per probe).
      int64_t columnStart = 0;
      const int32_t j =
          FirstTimeOfColumn(x, columnStart)
              ? LowestSampleNear(firstTaken, i, SampleGuess(timestamp, columnStart),
                                 [&](int32_t k) { return TimeOf(timestamp, k) >= columnStart; })
              : LowestSample(firstTaken, i, [&](int32_t k) { return Column(TimeOf(timestamp, k)) >= x; });
      const int32_t bar = BarFor(x);
      for (int32_t b = i / SourceSummary::kBlockSamples;
           b >= 0 && b * SourceSummary::kBlockSamples + SourceSummary::kBlockSamples - 1 >= j; --b) {
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

  // Where the sample stamped at `time` would lie in a record stamped `timestamp`, samples following
  // each other every sample period; any value when they do not.
  int32_t SampleGuess(int64_t timestamp, int64_t time) const {
    if (!(span_.samplePeriod > 0.0)) return 0;
    const double at = std::ceil(static_cast<double>(SaturatingSubtract(time, timestamp)) / span_.samplePeriod);
    return static_cast<int32_t>(std::clamp(at, 0.0, static_cast<double>(kLastSample)));
  }

  // LowestSample, looking a few samples around `guess` first.
  template <typename Holds>
  static int32_t LowestSampleNear(int32_t low, int32_t high, int32_t guess, Holds holds) {
    constexpr int32_t kSteps = 3;
    guess = std::clamp(guess, low, high);
    if (holds(guess)) {
      for (int32_t step = 0; step < kSteps; ++step, --guess) {
        if (guess == low || !holds(guess - 1)) return guess;
      }
      return LowestSample(low, guess, holds);
    }
    for (int32_t step = 0; step < kSteps; ++step) {
      if (holds(++guess)) return guess;  // holds at high, so guess stays within it
    }
    return LowestSample(guess, high, holds);
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
  const std::span<const int64_t> timestamps_;
  const ColumnSpan& span_;
  const std::array<int64_t, kSamplesPerRecord> offsets_;
  const double timePerPixel_;
  struct KnownColumn {
    int32_t x = std::numeric_limits<int32_t>::min();
    bool found = false;
    int64_t time = 0;
  };
  std::array<KnownColumn, 2> knownColumns_{};  // the last columns whose first time was searched
  std::size_t nextKnown_ = 0;
  int32_t lastColumn_ = -1;
  int64_t floor_ = -1;  // records at or below it are another folder's
  std::vector<int32_t> xs_;
  std::vector<int32_t> lows_;  // the extremes known so far of each bar
  std::vector<int32_t> highs_;
  std::vector<OpenSamples> open_;
};

}  // namespace

int32_t SummaryColumns::Build(const SourceSummary& summary, const RecordReader& reader, const ColumnSpan& span,
                              PixelCache& cache, int64_t splitRecords) {
  Folder upper(summary, span);
  const RecordWalk walk = upper.Walker();
  const int64_t begin = walk.Begin(span.end);
  if (begin == RecordWalk::kNoRecord) return kStatusFailed;
  if (begin == RecordWalk::kEnd) return kStatusOk;
  // A long walk is split at a record it visits for certain: the last of its timestamp, stamped more
  // than a microsecond after record 0 and not ending before start. Everything above it is visited
  // first and folded by another thread; the two halves' bars join where the walk crosses over.
  const std::span<const int64_t> timestamps = summary.Timestamps();
  const int64_t reached =
      std::partition_point(timestamps.begin(), timestamps.begin() + begin + 1,
                           [&](int64_t t) { return !RecordWalk::Reaches(t, span.start, span.recordDuration); }) -
      timestamps.begin();
  int64_t split = reached + (begin - reached) / 2;
  while (split > reached && !summary.StepsUp(split)) --split;
  const bool halve = begin - reached > splitRecords && split > reached && split < begin &&
                     timestamps[static_cast<std::size_t>(split)] > timestamps.front() &&
                     timestamps[static_cast<std::size_t>(split)] - 1 > timestamps.front();
  if (!halve) {
    upper.WalkFrom(begin, -1);
    if (const int32_t rc = upper.Finish(reader); rc != kStatusOk) return rc;
    upper.AppendTo(cache);
    return kStatusOk;
  }
  Folder lower(summary, span);
  int32_t upperStatus = kStatusOk;
  std::thread helper([&] {
    upper.WalkFrom(begin, split);
    upperStatus = upper.Finish(reader);
  });
  lower.WalkFrom(split, -1);
  const int32_t lowerStatus = lower.Finish(reader);
  helper.join();
  if (upperStatus != kStatusOk) return upperStatus;
  if (lowerStatus != kStatusOk) return lowerStatus;
  upper.AppendTo(cache);
  lower.AppendTo(cache);
  return kStatusOk;
}

}  // namespace skelvane
