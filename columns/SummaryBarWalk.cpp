#include "columns/SummaryBarWalk.h"

#include <algorithm>
#include <limits>
#include <span>

#include "columns/SampleScaling.h"
#include "datafile/CscRecord.h"
#include "platform/Saturating.h"
#include "summary/SourceSummary.h"

namespace skelvane {
namespace {

constexpr int32_t kLastSample = kSamplesPerRecord - 1;
// Room is made for the bars of at most this many columns beforehand.
constexpr int32_t kMostReservedColumns = 1 << 14;
// How many split records ahead their summary memory is asked for while one is folded.
constexpr std::size_t kSplitPrefetchAhead = 8;

// The lowest i in [low, high] for which `holds` is true (monotone, true at high), galloping from `guess`.
template <typename Holds>
int64_t LowestQualifying(int64_t low, int64_t high, int64_t guess, Holds holds) {
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

}  // namespace

SummaryBarWalk::SummaryBarWalk(const SourceSummary& summary, const ColumnSpan& span)
    : summary_(summary),
      timestamps_(summary.Timestamps()),
      span_(span),
      timePerPixel_(span.TimePerPixel()),
      splitter_(span) {
  // About a bar per column, and at most a split record or two per column.
  const auto columns = static_cast<std::size_t>(std::clamp(span.width, 0, kMostReservedColumns)) + 2;
  bars_.Reserve(columns);
  split_.reserve(2 * columns);
  pieces_.reserve(4 * columns);
}

RecordWalk SummaryBarWalk::Walker() const { return RecordWalk(summary_.TimeIndex()); }

int16_t SummaryBarWalk::Scaled(int16_t sample) const { return ScaleSample(sample, span_.scale); }

void SummaryBarWalk::WalkFrom(int64_t index, int64_t floor) {
  floor_ = floor;
  const RecordWalk walk = Walker();
  while (index != RecordWalk::kEnd && index > floor &&
         RecordWalk::Reaches(walk.At(index), span_.start, span_.recordDuration)) {
    int64_t lowest = FoldColumnRun(index);
    if (lowest < 0) {
      SplitRecord(index);
      lowest = index;
    }
    index = walk.Next(lowest, false, span_.start);
  }
  FoldSplitRecords();
}

// Folds, in one step, every record from `index` down that the walk visits in turn with all its
// samples in the column of `index`'s last sample: timestamps strictly increasing (each record is
// visited), never record 0 nor one whose step back would stop at record 0's timestamp, and the
// first record's first sample not before the column's first time. The step bits say where the
// timestamps stop rising, and the coarsest nodes that fit give the extremes. Returns the lowest
// record folded, or -1 when `index` itself does not qualify.
int64_t SummaryBarWalk::FoldColumnRun(int64_t index) {
  const int64_t timestamp = Timestamp(index);
  if (index == 0 || index <= floor_ + 1 || timestamp < span_.start) return -1;
  const int32_t x = splitter_.Column(splitter_.TimeOf(timestamp, kLastSample));
  if (x == std::numeric_limits<int32_t>::max() || splitter_.Column(timestamp) != x) return -1;
  int64_t columnStart = 0;
  if (!splitter_.FirstTimeOfColumn(x, columnStart)) return -1;
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
  int64_t from = summary_.LowestSteppingUp(first, index);
  // Where timestamps go back, the records found above may not rise all the way: from `from` on
  // they do (each is the walk's next), so the column's first one is found among them.
  if (Timestamp(from) < columnStart) {
    from = std::partition_point(timestamps_.begin() + from, timestamps_.begin() + index + 1,
                                [&](int64_t t) { return t < columnStart; }) -
           timestamps_.begin();
  }
  int16_t low16 = 0;
  int16_t high16 = 0;
  summary_.RangeExtremes(from, index, low16, high16);
  bars_.Widen(bars_.BarFor(x), Scaled(low16), Scaled(high16));
  return from;
}

// Where record `index`, stamped later than `earlier`, would find the record stamped `earlier` if
// records followed each other every record duration.
int64_t SummaryBarWalk::EstimateRecord(int64_t index, int64_t earlier) const {
  if (span_.recordDuration <= 0) return index;
  const double back = static_cast<double>(SaturatingSubtract(Timestamp(index), earlier)) / span_.recordDuration;
  return back < static_cast<double>(index) ? index - static_cast<int64_t>(back) : 0;
}

// Asks for the memory the next column will read while this one is being finished: the records
// around where it will begin, their blocks and the nodes over them.
void SummaryBarWalk::PrefetchBefore(int64_t low) const {
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

// A record the walk takes column by column: its samples from 511 down to the first one before
// start, split into the columns they fall in, each with its bar, are kept to be folded once the
// runs of whole records have widened the bars.
void SummaryBarWalk::SplitRecord(int64_t index) {
  const int64_t timestamp = Timestamp(index);
  const int32_t firstTaken = splitter_.FirstTaken(timestamp);
  split_.push_back({index, static_cast<int32_t>(pieces_.size()), 0});
  for (int32_t i = kLastSample; i >= firstTaken;) {
    const int32_t x = splitter_.Column(splitter_.TimeOf(timestamp, i));
    const int32_t j = splitter_.RunStart(timestamp, firstTaken, i, x);
    pieces_.push_back({bars_.BarFor(x), static_cast<int16_t>(j), static_cast<int16_t>(i)});
    i = j - 1;
  }
  split_.back().pieces = static_cast<int32_t>(pieces_.size()) - split_.back().firstPiece;
}

// The split records, each only where it could still widen a bar: a record whose extremes all its
// bars already hold is skipped without reading its blocks (the bars only widen, so the order does
// not matter). Whole blocks inside a column are folded; the rest stay open with the bounds of their
// sub-blocks.
void SummaryBarWalk::FoldSplitRecords() {
  for (std::size_t i = 0; i < split_.size(); ++i) {
    const Split& record = split_[i];
    // Split records lie a column apart: every one a cache miss unless asked for ahead.
    if (i + kSplitPrefetchAhead < split_.size()) {
      const int64_t ahead = split_[i + kSplitPrefetchAhead].index;
      summary_.PrefetchRecordExtremes(ahead);
      summary_.PrefetchRecord(ahead);
      summary_.PrefetchSubBlocks(ahead);
    }
    const std::span<const Piece> pieces(pieces_.data() + record.firstPiece, static_cast<std::size_t>(record.pieces));
    const int16_t recordLow = Scaled(summary_.RecordMin(record.index));
    const int16_t recordHigh = Scaled(summary_.RecordMax(record.index));
    if (std::all_of(pieces.begin(), pieces.end(),
                    [&](const Piece& p) { return bars_.Holds(p.bar, recordLow, recordHigh); })) {
      continue;
    }
    for (const Piece& piece : pieces) FoldPiece(record.index, piece);
  }
  split_.clear();
  pieces_.clear();
}

void SummaryBarWalk::FoldPiece(int64_t index, const Piece& piece) {
  constexpr int32_t kBlock = SourceSummary::kBlockSamples;
  for (int32_t b = piece.last / kBlock; b >= 0 && b * kBlock + kBlock - 1 >= piece.first; --b) {
    const int32_t blockFirst = b * kBlock;
    const int32_t from = std::max<int32_t>(blockFirst, piece.first);
    const int32_t to = std::min<int32_t>(blockFirst + kBlock - 1, piece.last);
    if (from == blockFirst && to == blockFirst + kBlock - 1) {
      bars_.Widen(piece.bar, Scaled(summary_.BlockMin(index, b)), Scaled(summary_.BlockMax(index, b)));
    } else {
      FoldPartialBlock(index, b, from, to, piece.bar);
    }
  }
}

// Samples from..to of block `block`, which a column edge cuts: its sub-blocks known exactly go into
// the bar, the rest stays open with the bounds the sub-blocks give.
void SummaryBarWalk::FoldPartialBlock(int64_t index, int32_t block, int32_t from, int32_t to, int32_t bar) {
  constexpr int32_t kSub = SourceSummary::kSubBlockSamples;
  const int32_t blockFirst = block * SourceSummary::kBlockSamples;
  int32_t minLow = PixelCache::kNothingKnown;
  int32_t minHigh = PixelCache::kNothingKnown;
  int32_t maxLow = -PixelCache::kNothingKnown;
  int32_t maxHigh = -PixelCache::kNothingKnown;
  int32_t openFirst = to + 1;
  int32_t openLast = from - 1;
  SourceSummary::SubBlockRange ranges[SourceSummary::kSubBlocksPerBlock];
  summary_.SubBlocks(index, block, ranges);
  for (int32_t k = (from - blockFirst) / kSub; k <= (to - blockFirst) / kSub; ++k) {
    const int32_t subFirst = blockFirst + k * kSub;
    const SourceSummary::SubBlockRange& range = ranges[k];
    const bool whole = from <= subFirst && subFirst + kSub - 1 <= to;
    if (whole && range.minLow == range.minHigh && range.maxLow == range.maxHigh) {
      bars_.Widen(bar, Scaled(range.minLow), Scaled(range.maxHigh));
      continue;
    }
    minLow = std::min<int32_t>(minLow, range.minLow);
    maxHigh = std::max<int32_t>(maxHigh, range.maxHigh);
    // A part of a sub-block holds some sample within the sub-block's range, no more.
    minHigh = std::min<int32_t>(minHigh, whole ? range.minHigh : range.maxHigh);
    maxLow = std::max<int32_t>(maxLow, whole ? range.maxLow : range.minLow);
    openFirst = std::min(openFirst, std::max(from, subFirst));
    openLast = std::max(openLast, std::min(to, subFirst + kSub - 1));
  }
  if (openFirst > openLast) return;
  bars_.AddOpen(bar, PixelCache::OpenPiece{index, static_cast<int16_t>(openFirst), static_cast<int16_t>(openLast),
                                           Scaled(static_cast<int16_t>(minLow)), Scaled(static_cast<int16_t>(minHigh)),
                                           Scaled(static_cast<int16_t>(maxLow)), Scaled(static_cast<int16_t>(maxHigh))});
}

}  // namespace skelvane
