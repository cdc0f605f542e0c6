#include "columns/BarAccumulator.h"

#include <algorithm>
#include <limits>

#include "columns/FilteredPieceExtremes.h"
#include "columns/SampleScaling.h"
#include "datafile/CscRecord.h"
#include "datafile/RecordReader.h"
#include "platform/StatusCodes.h"
#include "summary/SampleExtremes.h"

namespace skelvane {
namespace {

constexpr int32_t kNoValue = std::numeric_limits<int32_t>::max();
// Needed records at most this many apart are read in one go: reading a few records too many costs
// less than another read call.
constexpr int64_t kReadGap = 3;

}  // namespace

void BarAccumulator::Reserve(std::size_t bars) {
  xs_.reserve(bars);
  lows_.reserve(bars);
  highs_.reserve(bars);
  open_.reserve(2 * bars);
}

void BarAccumulator::NewBar(int32_t x) {
  xs_.push_back(x);
  lows_.push_back(kNoValue);
  highs_.push_back(-kNoValue);
  lastColumn_ = x;
}

void BarAccumulator::Widen(int32_t bar, int32_t low, int32_t high) {
  const auto b = static_cast<std::size_t>(bar);
  lows_[b] = std::min(lows_[b], low);
  highs_[b] = std::max(highs_[b], high);
}

void BarAccumulator::AddOpen(int32_t bar, int64_t record, int32_t first, int32_t last, int16_t low, int16_t high) {
  open_.push_back({bar, record, static_cast<int16_t>(first), static_cast<int16_t>(last), low, high});
}

bool BarAccumulator::CouldWiden(const OpenSamples& open) const {
  const auto bar = static_cast<std::size_t>(open.bar);
  return open.low < lows_[bar] || open.high > highs_[bar];
}

// Reads every record an open piece could need, as a few ranges: the bars only widen from here on,
// so a piece that cannot widen its bar now never will.
int32_t BarAccumulator::ReadNeeded(const RecordReader& reader) {
  std::vector<int64_t> needed;
  for (const OpenSamples& open : open_) {
    if (CouldWiden(open)) needed.push_back(open.record);
  }
  std::sort(needed.begin(), needed.end());
  needed.erase(std::unique(needed.begin(), needed.end()), needed.end());
  ranges_.clear();
  std::size_t bytes = 0;
  for (std::size_t i = 0; i < needed.size();) {
    std::size_t j = i;
    while (j + 1 < needed.size() && needed[j + 1] - needed[j] <= kReadGap) ++j;
    const int64_t count = needed[j] - needed[i] + 1;
    ranges_.push_back({needed[i], count, bytes});
    bytes += static_cast<std::size_t>(count * reader.RecordSize());
    i = j + 1;
  }
  if (bufferSize_ < bytes) {
    buffer_ = std::make_unique_for_overwrite<uint8_t[]>(bytes);
    bufferSize_ = bytes;
  }
  for (const ReadRange& range : ranges_) {
    int64_t whole = 0;
    const int32_t rc = reader.ReadInto(range.first, range.count, buffer_.get() + range.offset, whole);
    if (rc != kStatusOk) return rc;
  }
  return kStatusOk;
}

int32_t BarAccumulator::ResolveOpen(const RecordReader& reader, double scale) {
  if (const int32_t rc = ReadNeeded(reader); rc != kStatusOk) return rc;
  for (const OpenSamples& open : open_) {
    if (!CouldWiden(open)) continue;
    const auto range = std::upper_bound(ranges_.begin(), ranges_.end(), open.record,
                                        [](int64_t record, const ReadRange& r) { return record < r.first; }) -
                       1;
    const uint8_t* bytes =
        buffer_.get() + range->offset + static_cast<std::size_t>((open.record - range->first) * reader.RecordSize());
    int16_t low = 0;
    int16_t high = 0;
    SampleExtremes::Of(bytes + kCscSamplesOffset + 2 * open.first, open.last - open.first + 1, low, high);
    Widen(open.bar, ScaleSample(low, scale), ScaleSample(high, scale));
  }
  return kStatusOk;
}

int32_t BarAccumulator::ResolveOpen(const FilteredPieceExtremes& pieces, double scale) {
  std::vector<FilteredPieceExtremes::Piece> needed;
  std::vector<int32_t> bars;
  for (const OpenSamples& open : open_) {
    if (!CouldWiden(open)) continue;
    needed.push_back({open.record, open.first, open.last});
    bars.push_back(open.bar);
  }
  std::vector<FilteredPieceExtremes::Extremes> found(needed.size());
  if (const int32_t rc = pieces.Find(needed, found); rc != kStatusOk) return rc;
  for (std::size_t i = 0; i < needed.size(); ++i) {
    Widen(bars[i], ScaleSample(found[i].low, scale), ScaleSample(found[i].high, scale));
  }
  return kStatusOk;
}

void BarAccumulator::AppendTo(PixelCache& cache) const {
  for (std::size_t bar = 0; bar < xs_.size(); ++bar) {
    cache.AddBar(xs_[bar], static_cast<int16_t>(lows_[bar]), static_cast<int16_t>(highs_[bar]));
  }
}

}  // namespace skelvane
