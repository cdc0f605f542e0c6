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
                              int64_t* times) const {
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
    if (wantFirst < wantEnd) {
      SegmentFilter::Stretch stretch;
      stretch.samples = buffers.samples.data() + segmentStart * kSamplesPerRecord;
      stretch.count = (r - segmentStart) * kSamplesPerRecord;
      // A segment edge at the edge of what was read is the file's edge, or was read past.
      stretch.startsSegment = segmentStart > 0 || lo == 0;
      stretch.endsSegment = r < count || hi == total;
      const int32_t rc = SegmentFilter::Filter(
          design_, stretch, (wantFirst - segmentStart) * kSamplesPerRecord, (wantEnd - segmentStart) * kSamplesPerRecord,
          out + (wantFirst - (first - lo)) * kSamplesPerRecord, buffers.work, found.shortSegment);
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
  buffers.raw.resize(static_cast<std::size_t>(count * recordSize));
  int64_t whole = 0;
  if (const int32_t rc = reader_.ReadInto(lo, count, buffers.raw.data(), whole); rc != kStatusOk) return rc;
  if (whole < count) return kStatusSourceChanged;
  buffers.samples.resize(static_cast<std::size_t>(count * kSamplesPerRecord));
  buffers.times.resize(static_cast<std::size_t>(count));
  for (int64_t r = 0; r < count; ++r) {
    const CscRecord record(buffers.raw.data() + r * recordSize);
    buffers.times[static_cast<std::size_t>(r)] = record.Timestamp();
    record.CopySamples(buffers.samples.data() + r * kSamplesPerRecord);
  }
  return kStatusOk;
}

int32_t FilteredRecords::ReadSamples(int64_t record, int32_t from, int32_t to, int16_t* out,
                                     Buffers& buffers) const {
  const int64_t total = reader_.NumRecords();
  if (record < 0 || record >= total || from < 0 || to > kSamplesPerRecord || from >= to) return kStatusNoData;
  // Only the records the samples' support reaches: where it stays inside the record, whether a gap
  // lies beside it makes no difference.
  const int64_t half = design_.HalfSupport();
  const int64_t before = (std::max<int64_t>(0, half - from) + kSamplesPerRecord - 1) / kSamplesPerRecord;
  const int64_t after = (std::max<int64_t>(0, to + half - kSamplesPerRecord) + kSamplesPerRecord - 1) / kSamplesPerRecord;
  const int64_t lo = std::max<int64_t>(0, record - before);
  const int64_t hi = std::min(total, record + 1 + after);
  if (const int32_t rc = ReadRaw(lo, hi, buffers); rc != kStatusOk) return rc;
  // The segment the record lies in, as far as the records read reach.
  const auto follows = [&](int64_t r) {  // record r (counted from lo) follows the one before it
    return RecordContiguity::Contiguous(buffers.times[static_cast<std::size_t>(r - 1)],
                                        buffers.times[static_cast<std::size_t>(r)], sampleInterval_);
  };
  int64_t segmentStart = record - lo;
  while (segmentStart > 0 && follows(segmentStart)) --segmentStart;
  int64_t segmentEnd = record - lo + 1;
  while (segmentEnd < hi - lo && follows(segmentEnd)) ++segmentEnd;
  SegmentFilter::Stretch stretch;
  stretch.samples = buffers.samples.data() + segmentStart * kSamplesPerRecord;
  stretch.count = (segmentEnd - segmentStart) * kSamplesPerRecord;
  stretch.startsSegment = segmentStart > 0 || lo == 0;
  stretch.endsSegment = segmentEnd < hi - lo || hi == total;
  const int64_t at = (record - lo - segmentStart) * kSamplesPerRecord;
  bool shortSegment = false;
  return SegmentFilter::Filter(design_, stretch, at + from, at + to, out, buffers.work, shortSegment);
}

}  // namespace skelvane
