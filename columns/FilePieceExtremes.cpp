#include "columns/FilePieceExtremes.h"

#include <algorithm>
#include <numeric>

#include "datafile/CscRecord.h"
#include "datafile/RecordReader.h"
#include "platform/StatusCodes.h"
#include "summary/SampleExtremes.h"

namespace skelvane {

int32_t FilePieceExtremes::Find(std::span<const Piece> pieces, std::span<Extremes> extremes) {
  const int64_t recordBytes = reader_.RecordSize();
  const auto begin = [&](const Piece& p) { return p.record * recordBytes + kCscSamplesOffset + 2 * int64_t{p.first}; };
  const auto end = [&](const Piece& p) { return p.record * recordBytes + kCscSamplesOffset + 2 * int64_t{p.last} + 2; };
  order_.resize(pieces.size());
  std::iota(order_.begin(), order_.end(), std::size_t{0});
  std::sort(order_.begin(), order_.end(), [&](std::size_t a, std::size_t b) { return begin(pieces[a]) < begin(pieces[b]); });
  ranges_.clear();
  std::size_t bytes = 0;
  for (std::size_t i = 0; i < order_.size();) {
    Range range{begin(pieces[order_[i]]), end(pieces[order_[i]]), bytes};
    std::size_t j = i + 1;
    for (; j < order_.size() && begin(pieces[order_[j]]) - range.end <= kJoinBytes; ++j) {
      range.end = std::max(range.end, end(pieces[order_[j]]));
    }
    ranges_.push_back(range);
    bytes += static_cast<std::size_t>(range.end - range.begin);
    i = j;
  }
  if (bufferSize_ < bytes) {
    buffer_ = std::make_unique_for_overwrite<uint8_t[]>(bytes);
    bufferSize_ = bytes;
  }
  reads_ += static_cast<int64_t>(ranges_.size());
  byteRanges_.clear();
  for (const Range& range : ranges_) {
    byteRanges_.push_back(
        {range.begin / recordBytes, range.begin % recordBytes, range.end - range.begin, buffer_.get() + range.offset});
  }
  if (const int32_t rc = reader_.ReadRanges(byteRanges_); rc != kStatusOk) return rc;
  for (std::size_t p = 0; p < pieces.size() && p < extremes.size(); ++p) {
    const int64_t at = begin(pieces[p]);
    const auto range = std::upper_bound(ranges_.begin(), ranges_.end(), at,
                                        [](int64_t byte, const Range& r) { return byte < r.begin; }) -
                       1;
    SampleExtremes::Of(buffer_.get() + range->offset + static_cast<std::size_t>(at - range->begin),
                       pieces[p].last - pieces[p].first + 1, extremes[p].low, extremes[p].high);
  }
  return kStatusOk;
}

}  // namespace skelvane
