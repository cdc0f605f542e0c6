#include "extract/ChannelFilter.h"

#include <algorithm>
#include <utility>

#include "datafile/CscRecord.h"
#include "datafile/RecordContiguity.h"
#include "filter/SegmentFilter.h"
#include "platform/StatusCodes.h"

namespace skelvane {

ChannelFilter::ChannelFilter(FilterDesign design, double sampleInterval)
    : design_(std::move(design)), sampleInterval_(sampleInterval) {}

std::optional<std::vector<ChannelFilter>> ChannelFilter::ForChannels(const FilterChoice& chosen,
                                                                     const std::vector<ChannelSource>& channels,
                                                                     std::string& refusal) {
  std::vector<ChannelFilter> filters;
  if (chosen.IsNone()) return filters;
  for (const ChannelSource& channel : channels) {
    std::string why;
    std::optional<FilterDesign> design = FilterDesign::Shared(chosen, channel.samplingFrequency, why);
    if (!design) {
      refusal = why + ": " + channel.path;
      return std::nullopt;
    }
    filters.emplace_back(std::move(*design), channel.sampleInterval);
  }
  return filters;
}

int64_t ChannelFilter::ContextRecords() const {
  return (design_.HalfSupport() + kSamplesPerRecord - 1) / kSamplesPerRecord;
}

bool ChannelFilter::Filter(const Records& records, int64_t first, int64_t end, int16_t* out, FilterWorkspace& work,
                           std::span<const FilterDesign::OutputRange> only) const {
  if (first < 0 || end > records.count || first >= end) return false;
  bool shortSegment = false;
  std::vector<FilterDesign::OutputRange> segmentOnly;
  // A new segment wherever a record does not follow the one before it.
  int64_t segmentStart = 0;
  for (int64_t r = 1; r <= records.count; ++r) {
    const bool boundary = r == records.count ||
                          !RecordContiguity::Contiguous(records.times[r - 1], records.times[r], sampleInterval_);
    if (!boundary) continue;
    const int64_t wantFirst = std::max(first, segmentStart);
    const int64_t wantEnd = std::min(end, r);
    // The ranges asked for in this segment's part of `out`, counted from that part.
    const int64_t outFrom = (wantFirst - first) * kSamplesPerRecord;
    SegmentFilter::RangesWithin(only, outFrom, (wantEnd - first) * kSamplesPerRecord, segmentOnly);
    if (wantFirst < wantEnd && (only.empty() || !segmentOnly.empty())) {
      SegmentFilter::Stretch stretch;
      stretch.samples = records.samples + segmentStart * kSamplesPerRecord;
      stretch.count = (r - segmentStart) * kSamplesPerRecord;
      // A segment edge at the edge of what was read is the file's edge, or was read past.
      stretch.startsSegment = segmentStart > 0 || records.startsFile;
      stretch.endsSegment = r < records.count || records.endsFile;
      if (SegmentFilter::Filter(design_, stretch, (wantFirst - segmentStart) * kSamplesPerRecord,
                                (wantEnd - segmentStart) * kSamplesPerRecord,
                                out + outFrom, work, shortSegment, segmentOnly) != kStatusOk) {
        return false;
      }
    }
    if (r >= end) break;
    segmentStart = r;
  }
  return true;
}

}  // namespace skelvane
