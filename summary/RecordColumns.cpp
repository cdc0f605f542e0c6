#include "summary/RecordColumns.h"

#include <algorithm>
#include <vector>

#include "datafile/CscRecord.h"
#include "platform/StatusCodes.h"
#include "summary/ColumnSplitter.h"
#include "summary/RecordWalk.h"
#include "summary/SampleExtremes.h"
#include "summary/SampleScaling.h"

namespace skelvane {
namespace {

// A record's samples as the cache keeps them: from the run's last sample down, scaled.
void AppendTrace(const int16_t* samples, const ColumnSplitter::Run& run, double scale, PixelCache& cache) {
  const int32_t count = run.last - run.first + 1;
  cache.AddRun(run.x, count);
  const std::size_t at = cache.mins.size();
  cache.mins.resize(at + static_cast<std::size_t>(count));
  int16_t* out = cache.mins.data() + at;
  if (scale == 1.0) {
    for (int32_t i = run.last; i >= run.first; --i) *out++ = samples[i];
  } else {
    for (int32_t i = run.last; i >= run.first; --i) *out++ = ScaleSample(samples[i], scale);
  }
}

// The column's extremes: a positive scale keeps the order of the samples, so the extremes of the
// scaled samples are the scaled extremes; any other scale is applied sample by sample.
void AppendBar(const CscRecord& record, const ColumnSplitter::Run& run, double scale, PixelCache& cache) {
  int16_t low = 0;
  int16_t high = 0;
  if (scale > 0.0) {
    SampleExtremes::Of(record.Bytes() + kCscSamplesOffset + 2 * run.first, run.last - run.first + 1, low, high);
    low = ScaleSample(low, scale);
    high = ScaleSample(high, scale);
  } else {
    low = high = ScaleSample(record.Sample(run.last), scale);
    for (int32_t i = run.first; i < run.last; ++i) {
      low = std::min(low, ScaleSample(record.Sample(i), scale));
      high = std::max(high, ScaleSample(record.Sample(i), scale));
    }
  }
  cache.AddBar(run.x, low, high);
}

}  // namespace

int32_t RecordColumns::Build(const RecordWalk& walk, int64_t first, const uint8_t* records, int32_t recordSize,
                             const ColumnSpan& span, bool minMax, PixelCache& cache) {
  int64_t index = walk.Begin(span.end);
  if (index == RecordWalk::kNoRecord) return kStatusFailed;
  ColumnSplitter splitter(span);
  std::vector<ColumnSplitter::Run> runs;
  int16_t samples[kSamplesPerRecord];
  while (index != RecordWalk::kEnd && RecordWalk::Reaches(walk.At(index), span.start, span.recordDuration)) {
    const CscRecord record(records + (index - first) * recordSize);
    const int64_t timestamp = record.Timestamp();
    const int32_t taken = splitter.FirstTaken(timestamp);
    if (taken < kSamplesPerRecord) {
      runs.clear();
      splitter.Split(timestamp, taken, kSamplesPerRecord - 1, runs);
      if (minMax) {
        for (const ColumnSplitter::Run& run : runs) AppendBar(record, run, span.scale, cache);
      } else {
        record.CopySamples(samples);
        for (const ColumnSplitter::Run& run : runs) AppendTrace(samples, run, span.scale, cache);
      }
    }
    index = walk.Next(index, !minMax, span.start);
  }
  return kStatusOk;
}

}  // namespace skelvane
