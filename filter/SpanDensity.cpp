#include "filter/SpanDensity.h"

#include <algorithm>
#include <cmath>
#include <memory>
#include <optional>

#include "datafile/CscRecord.h"
#include "datafile/RecordContiguity.h"
#include "datafile/RecordReader.h"
#include "filter/FilterDesign.h"
#include "filter/FilteredRecords.h"
#include "filter/PowerDensity.h"
#include "platform/StatusCodes.h"

namespace skelvane {
namespace {

constexpr double kMicrosecondsPerSecond = 1e6;

// The first record in [lo, hi) for which `after` holds (it holds for every record past it), or hi; an
// unreadable timestamp gives nullopt.
template <typename After>
std::optional<int64_t> Bisect(const RecordReader& reader, int64_t lo, int64_t hi, After after) {
  while (lo < hi) {
    const int64_t mid = lo + (hi - lo) / 2;
    int64_t stamp = 0;
    if (reader.ReadTimestamp(mid, stamp) != kStatusOk) return std::nullopt;
    if (after(stamp)) {
      hi = mid;
    } else {
      lo = mid + 1;
    }
  }
  return lo;
}

}  // namespace

// Reads records [first, end) and appends the samples of each within [start, stop) to the gathered
// ones, starting a new stretch wherever a record does not follow the one before it.
int32_t SpanDensity::GatherPiece(const RecordReader& reader, const FilteredRecords* filter, double interval,
                                  int64_t first, int64_t end, int64_t start, int64_t stop) {
  Gathered& gathered = gathered_;
  std::vector<uint8_t>& bytes = bytes_;
  std::vector<int16_t>& filtered = filteredPiece_;
  const int64_t count = end - first;
  bytes.resize(static_cast<std::size_t>(count * reader.RecordSize()));
  int64_t whole = 0;
  if (const int32_t rc = reader.ReadInto(first, count, bytes.data(), whole); rc != kStatusOk) return rc;
  if (whole < count) return kStatusSourceChanged;
  if (filter != nullptr) {
    filtered.resize(static_cast<std::size_t>(count * kSamplesPerRecord));
    if (const int32_t rc = filter->Read(first, end, filtered.data(), buffers_); rc != kStatusOk) return rc;
  }
  bool open = false;  // the last stretch may go on with the next record's samples
  int64_t previousStamp = 0;
  int16_t samples[kSamplesPerRecord];
  for (int64_t r = 0; r < count; ++r) {
    const CscRecord record(bytes.data() + r * reader.RecordSize());
    const int64_t stamp = record.Timestamp();
    const bool follows = r > 0 && RecordContiguity::Contiguous(previousStamp, stamp, interval);
    if (r > 0 && !follows) gathered.gaps = true;
    previousStamp = stamp;
    // The samples of this record inside the span.
    const auto index = [&](int64_t time) {
      const double position = std::ceil(static_cast<double>(time - stamp) / interval);
      return static_cast<int64_t>(std::clamp(position, 0.0, static_cast<double>(kSamplesPerRecord)));
    };
    const int64_t from = index(start);
    const int64_t to = index(stop);
    if (from >= to) {
      open = false;
      continue;
    }
    record.CopySamples(samples);
    if (!open || !follows || from > 0) gathered.stretches.push_back({static_cast<int64_t>(gathered.raw.size()), 0});
    gathered.raw.insert(gathered.raw.end(), samples + from, samples + to);
    if (filter != nullptr) {
      const auto* shown = filtered.data() + r * kSamplesPerRecord;
      gathered.filtered.insert(gathered.filtered.end(), shown + from, shown + to);
    }
    gathered.stretches.back().count += to - from;
    open = to == kSamplesPerRecord;
  }
  return kStatusOk;
}

PowerDensity& SpanDensity::Emptied(std::unique_ptr<PowerDensity>& kept, int64_t length, double rate) {
  if (!kept || kept->SegmentLength() != length || kept->RateHz() != rate) {
    kept = std::make_unique<PowerDensity>(length, rate);
  }
  kept->Clear();
  return *kept;
}

std::pair<int64_t, int64_t> SpanDensity::RecordsIn(const RecordReader& reader, double sampleInterval, int64_t start,
                                                    int64_t end) {
  const int64_t total = reader.NumRecords();
  const double recordSpan = kSamplesPerRecord * sampleInterval;
  const auto first = Bisect(reader, 0, total, [&](int64_t stamp) {
    return static_cast<double>(stamp) + recordSpan > static_cast<double>(start);
  });
  if (!first) return {0, 0};
  const auto last = Bisect(reader, *first, total, [&](int64_t stamp) { return stamp >= end; });
  if (!last) return {0, 0};
  return {*first, *last};
}

SpanDensity::Result SpanDensity::Compute(const RecordReader& reader, double sampleInterval, int64_t start,
                                           int64_t end, const FilterChoice& filter, const std::function<bool()>& stop) {
  Result result;
  if (!(sampleInterval > 0.0) || start >= end) return result;
  result.samplingHz = kMicrosecondsPerSecond / sampleInterval;
  std::unique_ptr<FilteredRecords> filtered;
  if (!filter.IsNone()) {
    if (!designed_ || designed_->chosen != filter || designed_->rate != result.samplingHz) {
      designed_ = Designed{};
      designed_->chosen = filter;
      designed_->rate = result.samplingHz;
      designed_->design = FilterDesign::For(filter, result.samplingHz, designed_->refusal);
    }
    result.filterRefusal = designed_->refusal;
    if (designed_->design) filtered = std::make_unique<FilteredRecords>(reader, *designed_->design, sampleInterval);
  }

  const auto [first, last] = RecordsIn(reader, sampleInterval, start, end);
  if (first >= last) return result;
  // The pieces read: the whole span, or kPieces runs spread evenly from its start to its end.
  std::vector<std::pair<int64_t, int64_t>> pieces;
  if (last - first <= kMostRecords) {
    pieces.emplace_back(first, last);
  } else {
    result.spread = true;
    const int64_t length = kMostRecords / kPieces;
    for (int64_t i = 0; i < kPieces; ++i) {
      const int64_t from = first + (last - first - length) * i / (kPieces - 1);
      pieces.emplace_back(from, from + length);
    }
  }

  Gathered& gathered = gathered_;
  gathered.raw.clear();
  gathered.filtered.clear();
  gathered.stretches.clear();
  gathered.gaps = false;
  for (const auto& [from, to] : pieces) {
    if (stop && stop()) {
      result.status = Result::Status::kStopped;
      return result;
    }
    const int32_t rc = GatherPiece(reader, filtered.get(), sampleInterval, from, to, start, end);
    if (rc != kStatusOk) {
      result.status = Result::Status::kFailed;
      result.readError = rc;
      return result;
    }
  }
  result.gaps = gathered.gaps;

  std::vector<int64_t> lengths;
  for (const Stretch& stretch : gathered.stretches) lengths.push_back(stretch.count);
  result.longestStretch = lengths.empty() ? 0 : *std::max_element(lengths.begin(), lengths.end());
  const std::optional<int64_t> segment = PowerDensity::SegmentLengthFor(lengths);
  if (!segment) {
    result.status = Result::Status::kTooLittleData;
    return result;
  }
  PowerDensity& raw = Emptied(raw_, *segment, result.samplingHz);
  PowerDensity* through = filtered ? &Emptied(through_, *segment, result.samplingHz) : nullptr;
  for (const Stretch& stretch : gathered.stretches) {
    if (stop && stop()) {
      result.status = Result::Status::kStopped;
      return result;
    }
    raw.AddStretch(gathered.raw.data() + stretch.offset, stretch.count);
    if (through != nullptr) through->AddStretch(gathered.filtered.data() + stretch.offset, stretch.count);
  }
  result.status = Result::Status::kOk;
  result.segmentLength = *segment;
  result.segments = raw.Segments();
  result.binHz = raw.BinHz();
  result.raw = PowerDensity::Decibels(raw.Density());
  if (through != nullptr) result.filtered = PowerDensity::Decibels(through->Density());
  return result;
}

}  // namespace skelvane
