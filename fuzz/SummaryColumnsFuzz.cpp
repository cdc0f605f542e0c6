// Differential target for the zoomed-out path: builds the summary of a long recording described by a
// few input bytes (runs of records, each with its own timing and samples) and checks on views drawn
// from the input that the summary column walk gives exactly the bars of the literal walk (for
// recordings whose time never goes back; the others are walked for crashes and hangs only).
#include <algorithm>
#include <cmath>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <limits>
#include <string>
#include <span>
#include <vector>

#include "datafile/CscRecord.h"
#include "datafile/FileHeader.h"
#include "datafile/IDataSourceManager.h"
#include "datafile/RecordReader.h"
#include "fuzz/FuzzChoices.h"
#include "fuzz/FuzzScratch.h"
#include "platform/Saturating.h"
#include "columns/ColumnSpan.h"
#include "columns/LiteralColumns.h"
#include "columns/PixelCache.h"
#include "columns/RecordColumns.h"
#include "columns/RecordWalk.h"
#include "summary/SourceSummary.h"
#include "columns/SummaryColumns.h"

namespace {

using skelvane::fuzz::FuzzChoices;

constexpr int64_t kHeaderBytes = 16'384;
constexpr int32_t kRecordMicros = 16'000;
// Enough records for every node level (4096 records) and a split walk, few enough to stay quick.
constexpr int64_t kMaxRecords = 6'000;
constexpr int kBytesPerRun = 4;
constexpr int kViews = 8;
constexpr int32_t kMaxWidth = 3000;

// One run of records: how many, how the timestamps step from record to record, what the samples do.
struct Run {
  int64_t records = 1;
  uint8_t step = 0;
  uint8_t amount = 0;
  uint8_t samples = 0;
};

// A run's byte pattern: a short run (1..16 records) or a long one (up to several thousand).
Run RunFrom(const uint8_t* bytes) {
  constexpr uint8_t kLongRuns = 192;
  constexpr int64_t kLongRunRecords = 80;
  Run run;
  run.records = bytes[0] < kLongRuns ? bytes[0] % 16 + 1 : (bytes[0] - kLongRuns + 1) * kLongRunRecords;
  run.step = bytes[1];
  run.amount = bytes[2];
  run.samples = bytes[3];
  return run;
}

// The step from one record's timestamp to the next: regular with jitter, equal, nearly on top, part of
// a record, a pause, or back in time.
int64_t StepOf(const Run& run, FuzzChoices& choose) {
  switch (run.step % 8) {
    case 0:
    case 1:
    case 2: return kRecordMicros + choose.Between(-2, 2);
    case 3: return 0;
    case 4: return choose.Between(1, 3);
    case 5: return choose.Between(kRecordMicros / 3, kRecordMicros);
    case 6: return int64_t{kRecordMicros} * (1 + run.amount);
    default: return -int64_t{run.amount} * kRecordMicros / 8;
  }
}

int16_t SampleOf(const Run& run, int64_t sampleIndex, FuzzChoices& choose) {
  constexpr int64_t kRampPeriod = 3000;
  int64_t v = 0;
  switch (run.samples % 5) {
    case 0: v = choose.Between(-60, 60); break;
    case 1: v = sampleIndex % kRampPeriod - kRampPeriod / 2; break;  // extremes at column edges
    case 2: v = static_cast<int8_t>(run.amount); break;              // flat
    case 3: v = choose.Between(-60, 60) + (choose.Between(0, 200) == 0 ? choose.Between(-32768, 32767) : 0); break;
    default: v = choose.Between(-32768, 32767); break;
  }
  return static_cast<int16_t>(std::clamp<int64_t>(v, -32768, 32767));
}

// The recording's bytes: a header with the marker, then the records of every run in turn.
std::string MakeRecording(const uint8_t* data, std::size_t size, FuzzChoices& choose, int64_t& count, bool& goesBack) {
  std::string bytes(kHeaderBytes, '\0');
  std::memcpy(bytes.data(), skelvane::kHeaderMarker.data(), skelvane::kHeaderMarker.size());
  // Starts far out but not within a few days of the type's ends: there the two walks are known to
  // disagree (records stamped near 2^63 draw no bars in the literal walk), which the run would find
  // again and again instead of anything new.
  const int64_t starts[] = {0, choose.Between(1, 50'000'000), choose.Between(-50'000'000, -1),
                            int64_t{1} << 52, -(int64_t{1} << 52)};
  int64_t timestamp = starts[choose.Between(0, 4)];
  int64_t sampleIndex = 0;
  count = 0;
  goesBack = false;
  uint8_t record[skelvane::kCscRecordSize] = {};
  for (std::size_t at = 0; at + kBytesPerRun <= size && count < kMaxRecords; at += kBytesPerRun) {
    const Run run = RunFrom(data + at);
    for (int64_t r = 0; r < run.records && count < kMaxRecords; ++r, ++count) {
      std::memcpy(record + skelvane::kCscTimestampOffset, &timestamp, sizeof timestamp);
      for (int32_t i = 0; i < skelvane::kSamplesPerRecord; ++i, ++sampleIndex) {
        const int16_t sample = SampleOf(run, sampleIndex, choose);
        std::memcpy(record + skelvane::kCscSamplesOffset + 2 * i, &sample, sizeof sample);
      }
      bytes.append(reinterpret_cast<const char*>(record), sizeof record);
      const int64_t step = StepOf(run, choose);
      goesBack = goesBack || step < 0;
      timestamp = skelvane::SaturatingAdd(timestamp, step);
    }
  }
  return bytes;
}

// A view anywhere from before the first record to after the last, of any width, from a fraction of a
// record to more than the whole recording.
skelvane::ColumnSpan ViewOf(std::span<const int64_t> timestamps, FuzzChoices& choose) {
  const auto [low, high] = std::minmax_element(timestamps.begin(), timestamps.end());
  skelvane::ColumnSpan span;
  const int64_t whole = std::max<int64_t>(1, skelvane::SaturatingSubtract(*high, *low));
  // Lengths spread evenly over their orders of magnitude, from a few samples to more than the whole.
  const double longest = std::log(static_cast<double>(skelvane::SaturatingAdd(whole, whole / 2)) + 2.0);
  const double logLength = longest * static_cast<double>(choose.Between(0, 1'000'000)) / 1'000'000.0;
  const auto length = std::max<int64_t>(1, static_cast<int64_t>(std::exp(logLength)));
  span.start = choose.Between(skelvane::SaturatingSubtract(*low, 5 * kRecordMicros + length / 2),
                              skelvane::SaturatingAdd(*high, kRecordMicros));
  span.end = skelvane::SaturatingAdd(span.start, length);
  span.width = static_cast<int32_t>(choose.Between(1, kMaxWidth));
  span.recordDuration = kRecordMicros;
  span.samplePeriod = choose.Between(0, 1) == 0 ? 31.25 : 20.0 + static_cast<double>(choose.Between(0, 20000)) / 1000.0;
  span.scale = choose.Between(0, 4) == 0 ? static_cast<double>(choose.Between(50, 3000)) / 1000.0 : 1.0;
  return span;
}

bool Same(const skelvane::PixelCache& a, const skelvane::PixelCache& b) {
  return a.xs == b.xs && a.counts == b.counts && a.mins == b.mins && a.maxs == b.maxs;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace skelvane;
  FuzzChoices choose(data, size);
  int64_t count = 0;
  bool goesBack = false;
  const std::string bytes = MakeRecording(data, size, choose, count, goesBack);
  if (count == 0) return 0;
  RecordLayout layout;
  layout.path = fuzz::FuzzScratch::WriteFile("summary.kcs", reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
  layout.dataOffset = kHeaderBytes;
  layout.recordSize = kCscRecordSize;
  layout.numRecords = count;

  SourceSummary summary;
  std::atomic<bool> cancel{false};
  std::atomic<int64_t> done{0};
  if (SourceSummary::Build(layout, cancel, done, summary) != 0 || summary.NumRecords() != count) __builtin_trap();
  RecordReader reader;
  std::vector<uint8_t> records;
  if (reader.Open(layout) != 0 || reader.Read(0, count, records) != 0) __builtin_trap();
  const std::span<const int64_t> timestamps = summary.Timestamps();
  const RecordWalk walk(timestamps.data(), 0, count - 1, timestamps.front());

  for (int v = 0; v < kViews; ++v) {
    const ColumnSpan span = ViewOf(timestamps, choose);
    PixelCache literal;
    const int32_t literalStatus =
        LiteralColumns::FromRecords(walk, 0, records.data(), kCscRecordSize, span, true, literal);
    PixelCache folded;
    const int64_t split = choose.Between(0, 1) == 0 ? SummaryColumns::kSplitRecords : choose.Between(0, 64);
    const int32_t foldedStatus = SummaryColumns::Build(summary, reader, span, folded, split);
    // Where time goes back the walks only promise to stay inside the data and to end; elsewhere
    // they promise the same bars.
    if (!goesBack && (foldedStatus != literalStatus || !Same(literal, folded))) __builtin_trap();
    // The records split into columns from memory: the same bars, and the same trace, wherever the
    // walk is the sample-by-sample one's.
    for (const bool minMax : {true, false}) {
      PixelCache walked;
      PixelCache split;
      const int32_t walkedStatus = minMax ? literalStatus
                                          : LiteralColumns::FromRecords(walk, 0, records.data(), kCscRecordSize, span,
                                                                        false, walked);
      const int32_t splitStatus = RecordColumns::Build(walk, 0, records.data(), kCscRecordSize, span, minMax, split);
      if (splitStatus != walkedStatus || !Same(minMax ? literal : walked, split)) __builtin_trap();
    }
  }
  return 0;
}
