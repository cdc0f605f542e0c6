#include "columns/SummaryColumns.h"

#include <algorithm>
#include <span>
#include <thread>
#include <vector>

#include "columns/BarSettler.h"
#include "columns/FilePieceExtremes.h"
#include "columns/RecordWalk.h"
#include "columns/SummaryBarWalk.h"
#include "platform/StatusCodes.h"
#include "summary/SourceSummary.h"

namespace skelvane {

int32_t SummaryColumns::Build(const SourceSummary& summary, const RecordReader& reader, const ColumnSpan& span,
                              PixelCache& cache, int64_t splitRecords) {
  if (const int32_t rc = Walk(summary, span, cache, splitRecords); rc != kStatusOk) return rc;
  FilePieceExtremes source(reader);
  BarSettler settler;
  return settler.Settle(cache, nullptr, source, span.scale);
}

int32_t SummaryColumns::Walk(const SourceSummary& summary, const ColumnSpan& span, PixelCache& cache,
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
  const bool halve = summary.Descents() == 0 && begin - reached > splitRecords && split > reached && split < begin &&
                     timestamps[static_cast<std::size_t>(split)] > timestamps.front() &&
                     timestamps[static_cast<std::size_t>(split)] - 1 > timestamps.front();
  if (!halve) {
    upper.WalkFrom(begin, -1);
    upper.Bars().AppendTo(cache);
    BarSettler().Compact(cache);
    return kStatusOk;
  }
  SummaryBarWalk lower(summary, span);
  std::thread helper([&] { upper.WalkFrom(begin, split); });
  lower.WalkFrom(split, -1);
  helper.join();
  upper.Bars().AppendTo(cache);
  lower.Bars().AppendTo(cache);
  BarSettler().Compact(cache);
  return kStatusOk;
}

}  // namespace skelvane
