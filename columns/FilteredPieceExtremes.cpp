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
  FilteredRecords::Buffers buffers;
  int16_t samples[kSamplesPerRecord];
  // The pieces of one record (a column edge's two sides, most often) are filtered in one stretch, and
  // only their samples.
  for (std::size_t i = 0; i < order.size();) {
    const int64_t record = pieces[order[i]].record;
    std::size_t j = i;
    int32_t from = pieces[order[i]].first;
    int32_t to = pieces[order[i]].last + 1;
    while (j + 1 < order.size() && pieces[order[j + 1]].record == record) {
      ++j;
      from = std::min<int32_t>(from, pieces[order[j]].first);
      to = std::max<int32_t>(to, pieces[order[j]].last + 1);
    }
    if (const int32_t rc = records_.ReadSamples(record, from, to, samples, buffers); rc != kStatusOk) return rc;
    for (std::size_t k = i; k <= j; ++k) {
      const Piece& piece = pieces[order[k]];
      Extremes& found = extremes[order[k]];
      SampleExtremes::Of(reinterpret_cast<const uint8_t*>(samples + (piece.first - from)), piece.last - piece.first + 1,
                         found.low, found.high);
    }
    i = j + 1;
  }
  return kStatusOk;
}

}  // namespace skelvane
