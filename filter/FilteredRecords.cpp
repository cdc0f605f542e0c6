#include "filter/FilteredRecords.h"

#include <algorithm>

#include "datafile/CscRecord.h"
#include "datafile/RecordContiguity.h"
#include "datafile/RecordReader.h"
#include "filter/SegmentFilter.h"
#include "platform/StatusCodes.h"

namespace skelvane {

FilteredRecords::FilteredRecords(const RecordReader& reader, const FilterDesign& design, double sampleInterval)
    : reader_(reader), design_(design), sampleInterval_(sampleInterval) {}

int64_t FilteredRecords::ContextRecords() const {
  return (design_.HalfSupport() + kSamplesPerRecord - 1) / kSamplesPerRecord;
}

int32_t FilteredRecords::Read(int64_t first, int64_t end, int16_t* out, Buffers& buffers, Outcome* outcome,
                              int64_t* times, std::span<const FilterDesign::OutputRange> only) const {
  const int64_t total = reader_.NumRecords();
  if (first < 0 || end > total || first >= end) return kStatusNoData;
  const int64_t lo = std::max<int64_t>(0, first - ContextRecords());
  const int64_t hi = std::min(total, end + ContextRecords());
  const int64_t count = hi - lo;
  if (const int32_t rc = ReadRaw(lo, hi, buffers); rc != kStatusOk) return rc;
  if (times != nullptr) std::copy_n(buffers.times.begin() + (first - lo), end - first, times);

  Outcome found;
  // Segments of the records read: a new one wherever a record does not follow the one before it.
  int64_t segmentStart = 0;
  for (int64_t r = 1; r <= count; ++r) {
    const bool boundary =
        r == count || !RecordContiguity::Contiguous(buffers.times[static_cast<std::size_t>(r - 1)],
                                                    buffers.times[static_cast<std::size_t>(r)], sampleInterval_);
    if (!boundary) continue;
    // The records of [segmentStart, r) asked for, if any.
    const int64_t wantFirst = std::max(first - lo, segmentStart);
    const int64_t wantEnd = std::min(end - lo, r);
    // The ranges asked for that fall in this segment's part of `out`, counted from that part.
    const int64_t outFrom = (wantFirst - (first - lo)) * kSamplesPerRecord;
    const int64_t outTo = (wantEnd - (first - lo)) * kSamplesPerRecord;
    std::vector<FilterDesign::OutputRange>& segmentOnly = buffers.segmentOnly;
    SegmentFilter::RangesWithin(only, outFrom, outTo, segmentOnly);
    if (wantFirst < wantEnd && (only.empty() || !segmentOnly.empty())) {
      SegmentFilter::Stretch stretch;
      stretch.samples = buffers.samples.data() + segmentStart * kSamplesPerRecord;
      stretch.count = (r - segmentStart) * kSamplesPerRecord;
      // A segment edge at the edge of what was read is the file's edge, or was read past.
      stretch.startsSegment = segmentStart > 0 || lo == 0;
      stretch.endsSegment = r < count || hi == total;
      const int32_t rc = SegmentFilter::Filter(
          design_, stretch, (wantFirst - segmentStart) * kSamplesPerRecord, (wantEnd - segmentStart) * kSamplesPerRecord,
          out + outFrom, buffers.work, found.shortSegment, segmentOnly);
      if (rc != kStatusOk) return rc;
    }
    segmentStart = r;
  }
  if (outcome != nullptr) *outcome = found;
  return kStatusOk;
}

int32_t FilteredRecords::ReadRaw(int64_t lo, int64_t hi, Buffers& buffers) const {
  const int64_t count = hi - lo;
  const int32_t recordSize = reader_.RecordSize();
  // The buffers only grow (FilterWorkspace::Room): past the records read they hold older ones.
  uint8_t* raw = FilterWorkspace::Room(buffers.raw, count * recordSize);
  int64_t whole = 0;
  if (const int32_t rc = reader_.ReadInto(lo, count, raw, whole); rc != kStatusOk) return rc;
  if (whole < count) return kStatusSourceChanged;
  int16_t* samples = FilterWorkspace::Room(buffers.samples, count * kSamplesPerRecord);
  int64_t* times = FilterWorkspace::Room(buffers.times, count);
  for (int64_t r = 0; r < count; ++r) {
    const CscRecord record(raw + r * recordSize);
    times[r] = record.Timestamp();
    record.CopySamples(samples + r * kSamplesPerRecord);
  }
  return kStatusOk;
}

int32_t FilteredRecords::Load(int64_t first, int64_t end, Loaded& loaded) const {
  const int64_t total = reader_.NumRecords();
  if (first < 0 || end > total || first >= end) return kStatusNoData;
  const int64_t lo = std::max<int64_t>(0, first - ContextRecords());
  const int64_t hi = std::min(total, end + ContextRecords());
  if (const int32_t rc = ReadRaw(lo, hi, loaded.buffers); rc != kStatusOk) return rc;
  loaded.first = lo;
  // Each record's segment among those read, both ways in one pass each.
  const auto count = static_cast<std::size_t>(hi - lo);
  const std::vector<int64_t>& times = loaded.buffers.times;
  const auto follows = [&](std::size_t r) { return RecordContiguity::Contiguous(times[r - 1], times[r], sampleInterval_); };
  loaded.segmentStarts.resize(count);
  loaded.segmentEnds.resize(count);
  for (std::size_t r = 0; r < count; ++r) {
    loaded.segmentStarts[r] = r > 0 && follows(r) ? loaded.segmentStarts[r - 1] : static_cast<int64_t>(r);
  }
  for (std::size_t r = count; r-- > 0;) {
    loaded.segmentEnds[r] = r + 1 < count && follows(r + 1) ? loaded.segmentEnds[r + 1] : static_cast<int64_t>(r + 1);
  }
  return kStatusOk;
}

int32_t FilteredRecords::FilterSamples(Loaded& loaded, int64_t record, int32_t from, int32_t to, int16_t* out) const {
  const auto count = static_cast<int64_t>(loaded.segmentStarts.size());
  const int64_t at = record - loaded.first;
  if (at < 0 || at >= count || from < 0 || to > kSamplesPerRecord || from >= to) return kStatusNoData;
  const int64_t segmentStart = loaded.segmentStarts[static_cast<std::size_t>(at)];
  const int64_t segmentEnd = loaded.segmentEnds[static_cast<std::size_t>(at)];
  SegmentFilter::Stretch stretch;
  stretch.samples = loaded.buffers.samples.data() + segmentStart * kSamplesPerRecord;
  stretch.count = (segmentEnd - segmentStart) * kSamplesPerRecord;
  // A segment edge at the edge of what was read is the file's edge, or was read past.
  stretch.startsSegment = segmentStart > 0 || loaded.first == 0;
  stretch.endsSegment = segmentEnd < count || loaded.first + count == reader_.NumRecords();
  const int64_t position = (at - segmentStart) * kSamplesPerRecord;
  bool shortSegment = false;
  return SegmentFilter::Filter(design_, stretch, position + from, position + to, out, loaded.buffers.work,
                               shortSegment);
}

}  // namespace skelvane
