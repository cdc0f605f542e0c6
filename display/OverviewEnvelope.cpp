#include "display/OverviewEnvelope.h"

#include <algorithm>
#include <limits>

#include "display/CscPlot.h"
#include "platform/Saturating.h"
#include "summary/SourceSummary.h"

namespace skelvane {
namespace {

// The middle value (the upper one of an even count); reorders `values`.
int16_t Median(std::vector<int16_t>& values) {
  const auto middle = values.begin() + static_cast<std::ptrdiff_t>(values.size() / 2);
  std::nth_element(values.begin(), middle, values.end());
  return *middle;
}

}  // namespace

OverviewEnvelope OverviewEnvelope::Build(const SourceSummary& summary, int64_t start, int64_t end, int32_t width,
                                         int64_t recordDuration) {
  OverviewEnvelope envelope;
  if (width <= 0) return envelope;
  // Empty columns hold min > max.
  envelope.mins_.assign(static_cast<std::size_t>(width), std::numeric_limits<int16_t>::max());
  envelope.maxs_.assign(static_cast<std::size_t>(width), std::numeric_limits<int16_t>::min());
  envelope.typicalMins_.assign(static_cast<std::size_t>(width), 0);
  envelope.typicalMaxs_.assign(static_cast<std::size_t>(width), 0);
  std::vector<int16_t> lows;
  std::vector<int16_t> highs;
  const auto& timestamps = summary.Timestamps();
  const auto begin = timestamps.begin();
  const auto stop = timestamps.end();
  const int64_t span = std::max<int64_t>(SaturatingSubtract(end, start), 1);
  for (int32_t column = 0; column < width; ++column) {
    const int64_t from = SaturatingAdd(start, MulDiv(span, column, width));
    const int64_t to = SaturatingAdd(start, MulDiv(span, column + 1, width));
    // The record the column starts in, if it still runs there, and the last one begun before its end.
    int64_t first = std::upper_bound(begin, stop, from) - begin - 1;
    if (first < 0 || SaturatingAdd(timestamps[static_cast<std::size_t>(first)], recordDuration) <= from) ++first;
    const int64_t last = std::lower_bound(begin, stop, std::max(to, from + 1)) - begin - 1;
    if (first > last) continue;
    summary.RangeExtremes(first, last, envelope.mins_[Index(column)], envelope.maxs_[Index(column)]);
    // Whole records' blocks, the records spread evenly over the column: a record's blocks lie
    // together in memory.
    constexpr int64_t kMostRecords = kMostBlocksPerColumn / SourceSummary::kBlocksPerRecord;
    const int64_t stride = std::max<int64_t>(1, (last - first + kMostRecords) / kMostRecords);
    lows.clear();
    highs.clear();
    for (int64_t record = first; record <= last; record += stride) {
      for (int32_t block = 0; block < SourceSummary::kBlocksPerRecord; ++block) {
        lows.push_back(summary.BlockMin(record, block));
        highs.push_back(summary.BlockMax(record, block));
      }
    }
    envelope.typicalMins_[Index(column)] = Median(lows);
    envelope.typicalMaxs_[Index(column)] = Median(highs);
  }
  return envelope;
}

std::optional<OverviewEnvelope> OverviewEnvelope::FromPlot(const CscPlot& plot, int64_t start, int64_t end,
                                                           int32_t width) {
  const SourceSummary* summary = plot.Summary() != nullptr ? plot.Summary()->Summary() : nullptr;
  if (summary == nullptr || summary->NumRecords() == 0) return std::nullopt;
  std::optional<OverviewEnvelope> envelope = Build(*summary, start, end, width, plot.GetRecordDuration());
  // Read from a kept summary cut short meanwhile: nothing to show until the plot has it built again.
  if (summary->Damaged()) return std::nullopt;
  return envelope;
}

}  // namespace skelvane
