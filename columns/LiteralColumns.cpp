#include "columns/LiteralColumns.h"

#include <algorithm>
#include <limits>
#include <optional>

#include "columns/RecordWalk.h"
#include "columns/SampleScaling.h"
#include "columns/TimeColumns.h"
#include "datafile/CscRecord.h"
#include "datafile/IDataSourceManager.h"
#include "platform/Saturating.h"
#include "platform/StatusCodes.h"

namespace skelvane {
namespace {

// Appends one record's samples from index 511 down to the first one before start, each in its column.
class RecordFolder {
 public:
  RecordFolder(const ColumnSpan& span, bool minMax, PixelCache& cache)
      : span_(span), minMax_(minMax), cache_(cache), timePerPixel_(span.TimePerPixel()) {}

  void Visit(const CscRecord& record) {
    if (minMax_) {
      VisitMinMax(record);
    } else {
      VisitSamples(record);
    }
  }

 private:
  int64_t TimeOf(int64_t timestamp, int32_t i) const {
    return SaturatingAdd(timestamp, static_cast<int64_t>(i * span_.samplePeriod));
  }

  void VisitSamples(const CscRecord& record) {
    const int64_t timestamp = record.Timestamp();
    const int64_t width = span_.end - span_.start;
    for (int32_t i = kSamplesPerRecord - 1; i >= 0; --i) {
      const int64_t time = TimeOf(timestamp, i);
      if (time < span_.start) break;
      int32_t x = 0;
      if (TimeColumns::PixelForTime(time, span_.start, span_.width, width, x) != 0) continue;
      cache_.AddPoint(x, ScaleSample(record.Sample(i), span_.scale));
    }
  }

  void VisitMinMax(const CscRecord& record) {
    const int64_t timestamp = record.Timestamp();
    int32_t i = kSamplesPerRecord - 1;
    while (i >= 0) {
      const int64_t time = TimeOf(timestamp, i);
      if (time < span_.start) break;
      // The column test is the pixel conversion itself, per sample: the truncated first time of a
      // column can lie in the column before it, which would move an edge sample into the wrong bar.
      // (Width and span are positive here, so the conversion cannot fail.)
      const int32_t x = TimeColumns::ColumnForOffset(SaturatingSubtract(time, span_.start), timePerPixel_);
      int16_t low = ScaleSample(record.Sample(i), span_.scale);
      int16_t high = low;
      int32_t j = i - 1;
      for (; j >= 0; --j) {
        const int64_t earlier = TimeOf(timestamp, j);
        if (earlier < span_.start) break;
        if (TimeColumns::ColumnForOffset(SaturatingSubtract(earlier, span_.start), timePerPixel_) != x) break;
        const int16_t v = ScaleSample(record.Sample(j), span_.scale);
        low = std::min(low, v);
        high = std::max(high, v);
      }
      cache_.AddBar(x, low, high);
      i = j;
    }
  }

  const ColumnSpan& span_;
  bool minMax_;
  PixelCache& cache_;
  double timePerPixel_;
};

}  // namespace

int32_t LiteralColumns::ThroughManager(IDataSourceManager& manager, int32_t source, const ColumnSpan& span, bool minMax,
                                       PixelCache& cache) {
  RecordFolder folder(span, minMax, cache);
  const bool stopBeforeStart = !minMax;
  int64_t cursor = span.end;
  // A repeated timestamp means the lookup handed back the record before; the first record seen
  // has none to repeat, even when it is stamped 0.
  std::optional<int64_t> previousTimestamp;
  const uint8_t* bytes = nullptr;  // set once: the lookup leaves it alone at the source's first record
  for (;;) {
    if (manager.FindRecordForTime(cursor, source, bytes) != 0) return kStatusOk;
    if (bytes == nullptr) return kStatusFailed;
    const CscRecord record(bytes);
    const int64_t timestamp = record.Timestamp();
    if (timestamp == previousTimestamp) return kStatusOk;
    previousTimestamp = timestamp;
    if (!RecordWalk::Reaches(timestamp, span.start, span.recordDuration)) return kStatusOk;
    folder.Visit(record);
    if (timestamp == std::numeric_limits<int64_t>::min()) return kStatusOk;  // nothing can lie before it
    cursor = timestamp - 1;
    if (stopBeforeStart && cursor < span.start) return kStatusOk;
  }
}

int32_t LiteralColumns::FromRecords(const RecordWalk& walk, int64_t first, const uint8_t* records, int32_t recordSize,
                                    const ColumnSpan& span, bool minMax, PixelCache& cache) {
  int64_t index = walk.Begin(span.end);
  if (index == RecordWalk::kNoRecord) return kStatusFailed;
  RecordFolder folder(span, minMax, cache);
  while (index != RecordWalk::kEnd && RecordWalk::Reaches(walk.At(index), span.start, span.recordDuration)) {
    folder.Visit(CscRecord(records + (index - first) * recordSize));
    index = walk.Next(index, !minMax, span.start);
  }
  return kStatusOk;
}

}  // namespace skelvane
