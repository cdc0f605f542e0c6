#include "columns/FilteredPieceExtremes.h"

#include <algorithm>
#include <numeric>
#include <vector>

#include "datafile/CscRecord.h"
#include "platform/StatusCodes.h"
#include "summary/SampleExtremes.h"

namespace skelvane {

int32_t FilteredPieceExtremes::Find(std::span<const Piece> pieces, std::span<Extremes> extremes) const {
  std::vector<std::size_t> order(pieces.size());
  std::iota(order.begin(), order.end(), std::size_t{0});
  std::sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) { return pieces[a].record < pieces[b].record; });
  // Records close enough that filtering the ones between costs less than filtering the support around
  // each run twice are filtered in one run.
  const int64_t join = 2 * records_.ContextRecords() + 1;
  FilteredRecords::Buffers buffers;
  std::vector<int16_t> samples;
  for (std::size_t i = 0; i < order.size();) {
    std::size_t j = i;
    while (j + 1 < order.size() && pieces[order[j + 1]].record - pieces[order[j]].record <= join) ++j;
    const int64_t first = pieces[order[i]].record;
    const int64_t end = pieces[order[j]].record + 1;
    samples.resize(static_cast<std::size_t>((end - first) * kSamplesPerRecord));
    if (const int32_t rc = records_.Read(first, end, samples.data(), buffers); rc != kStatusOk) return rc;
    for (std::size_t k = i; k <= j; ++k) {
      const Piece& piece = pieces[order[k]];
      const int16_t* from = samples.data() + (piece.record - first) * kSamplesPerRecord + piece.first;
      Extremes& found = extremes[order[k]];
      SampleExtremes::Of(reinterpret_cast<const uint8_t*>(from), piece.last - piece.first + 1, found.low, found.high);
    }
    i = j + 1;
  }
  return kStatusOk;
}

}  // namespace skelvane
