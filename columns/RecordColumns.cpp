#include "columns/RecordColumns.h"

#include <emmintrin.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "columns/ColumnSplitter.h"
#include "columns/RecordWalk.h"
#include "columns/SampleScaling.h"
#include "datafile/CscRecord.h"
#include "platform/StatusCodes.h"
#include "summary/SampleExtremes.h"

namespace skelvane {
namespace {

// Samples last..first of a record (as it stores them, from `samples` on), in that order, to `out`:
// eight at a time reversed in a register.
void CopyReversed(const uint8_t* samples, int32_t first, int32_t last, int16_t* out) {
  constexpr int32_t kLanes = 8;
  constexpr int kReverseFour = _MM_SHUFFLE(0, 1, 2, 3);
  constexpr int kSwapHalves = _MM_SHUFFLE(1, 0, 3, 2);
  int32_t i = last;
  for (; i - kLanes + 1 >= first; i -= kLanes, out += kLanes) {
    __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(samples + 2 * (i - kLanes + 1)));
    v = _mm_shuffle_epi32(_mm_shufflehi_epi16(_mm_shufflelo_epi16(v, kReverseFour), kReverseFour), kSwapHalves);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out), v);
  }
  for (; i >= first; --i) std::memcpy(out++, samples + 2 * i, sizeof(int16_t));
}

// A record's samples as the cache keeps them: from the run's last sample down, scaled.
void AppendTrace(const CscRecord& record, const ColumnSplitter::Run& run, double scale, PixelCache& cache,
                 int16_t*& out) {
  cache.AddRun(run.x, run.last - run.first + 1);
  if (scale == 1.0) {
    CopyReversed(record.Bytes() + kCscSamplesOffset, run.first, run.last, out);
    out += run.last - run.first + 1;
  } else {
    for (int32_t i = run.last; i >= run.first; --i) *out++ = ScaleSample(record.Sample(i), scale);
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
        const std::size_t at = cache.mins.size();
        cache.mins.resize(at + static_cast<std::size_t>(kSamplesPerRecord - taken));
        int16_t* out = cache.mins.data() + at;
        for (const ColumnSplitter::Run& run : runs) AppendTrace(record, run, span.scale, cache, out);
      }
    }
    index = walk.Next(index, !minMax, span.start);
  }
  return kStatusOk;
}

}  // namespace skelvane
