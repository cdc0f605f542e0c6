#include "columns/SummaryColumns.h"

#include <algorithm>
#include <span>
#include <thread>
#include <vector>

#include "columns/RecordWalk.h"
#include "columns/SummaryBarWalk.h"
#include "platform/StatusCodes.h"
#include "summary/SourceSummary.h"

namespace skelvane {

namespace {

// The walk of Build, its open samples settled through `values` (a reader or a piece finder).
template <typename Values>
int32_t Fold(const SourceSummary& summary, const Values& values, const ColumnSpan& span, PixelCache& cache,
             int64_t splitRecords) {
  SummaryBarWalk upper(summary, span);
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
    if (const int32_t rc = upper.Bars().ResolveOpen(values, span.scale); rc != kStatusOk) return rc;
    upper.Bars().AppendTo(cache);
    return kStatusOk;
  }
  SummaryBarWalk lower(summary, span);
  int32_t upperStatus = kStatusOk;
  std::thread helper([&] {
    upper.WalkFrom(begin, split);
    upperStatus = upper.Bars().ResolveOpen(values, span.scale);
  });
  lower.WalkFrom(split, -1);
  const int32_t lowerStatus = lower.Bars().ResolveOpen(values, span.scale);
  helper.join();
  if (upperStatus != kStatusOk) return upperStatus;
  if (lowerStatus != kStatusOk) return lowerStatus;
  upper.Bars().AppendTo(cache);
  lower.Bars().AppendTo(cache);
  return kStatusOk;
}

}  // namespace

int32_t SummaryColumns::Build(const SourceSummary& summary, const RecordReader& reader, const ColumnSpan& span,
                              PixelCache& cache, int64_t splitRecords) {
  return Fold(summary, reader, span, cache, splitRecords);
}

int32_t SummaryColumns::Build(const SourceSummary& summary, const FilteredPieceExtremes& pieces,
                              const ColumnSpan& span, PixelCache& cache, int64_t splitRecords) {
  return Fold(summary, pieces, span, cache, splitRecords);
}

}  // namespace skelvane
