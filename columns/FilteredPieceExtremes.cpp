#include "columns/FilteredPieceExtremes.h"

#include <algorithm>
#include <numeric>
#include <vector>

#include "datafile/CscRecord.h"
#include "platform/StatusCodes.h"
#include "summary/SampleExtremes.h"

namespace skelvane {

int32_t FilteredPieceExtremes::Find(std::span<const Piece> pieces, std::span<Extremes> extremes) {
  std::unique_lock lock(keptMutex_, std::try_to_lock);
  if (lock.owns_lock()) return Find(pieces, extremes, kept_);
  Buffers own;
  return Find(pieces, extremes, own);
}

int32_t FilteredPieceExtremes::Find(std::span<const Piece> pieces, std::span<Extremes> extremes, Buffers& buffers) {
  std::vector<std::size_t> order(pieces.size());
  std::iota(order.begin(), order.end(), std::size_t{0});
  std::sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) { return pieces[a].record < pieces[b].record; });
  FilteredRecords::Loaded& loaded = buffers.loaded;
  int16_t samples[kSamplesPerRecord];
  std::vector<int16_t>& run = buffers.run;
  // Records close together are read in one go with the support around them (a read call costs more
  // than a few records more), and of each record only the pieces' samples are filtered: a column
  // edge's two sides, most often, in one stretch.
  const int64_t join = std::max<int64_t>(kJoinRecords, 2 * records_.ContextRecords());
  for (std::size_t i = 0; i < order.size();) {
    std::size_t last = i;
    while (last + 1 < order.size() && pieces[order[last + 1]].record - pieces[order[last]].record <= join) ++last;
    const int64_t first = pieces[order[i]].record;
    const int64_t end = pieces[order[last]].record + 1;
    // Filtering a piece costs about the support, filtering a run of records the run: a long support
    // (the LFP Band's) over pieces close together filters the whole run instead.
    std::size_t stretches = 1;
    for (std::size_t j = i + 1; j <= last; ++j) stretches += pieces[order[j]].record != pieces[order[j - 1]].record;
    const int64_t support = records_.Design().Support();
    if ((end - first) * kSamplesPerRecord + support < static_cast<int64_t>(stretches) * support) {
      for (std::size_t p = i; p <= last;) {
        const int64_t partFirst = pieces[order[p]].record;
        const int64_t partEnd = std::min(end, partFirst + kRunRecords);
        int16_t* filtered = FilterWorkspace::Room(run, (partEnd - partFirst) * kSamplesPerRecord);
        // Only the pieces' samples come out of the filter's last part: a run's records in between
        // pass through the parts before it alone.
        std::vector<FilterDesign::OutputRange>& wanted = buffers.wanted;
        wanted.clear();
        for (std::size_t q = p; q <= last && pieces[order[q]].record < partEnd; ++q) {
          const Piece& piece = pieces[order[q]];
          const int64_t at = (piece.record - partFirst) * kSamplesPerRecord;
          wanted.push_back({at + piece.first, at + piece.last + 1});
        }
        std::sort(wanted.begin(), wanted.end(), [](const auto& a, const auto& b) { return a.from < b.from; });
        std::size_t kept = 0;
        for (const FilterDesign::OutputRange& range : wanted) {
          if (kept > 0 && range.from <= wanted[kept - 1].to) {
            wanted[kept - 1].to = std::max(wanted[kept - 1].to, range.to);
          } else {
            wanted[kept++] = range;
          }
        }
        wanted.resize(kept);
        if (const int32_t rc = records_.Read(partFirst, partEnd, filtered, loaded.buffers, nullptr, nullptr, wanted);
            rc != kStatusOk) {
          return rc;
        }
        for (; p <= last && pieces[order[p]].record < partEnd; ++p) {
          const Piece& piece = pieces[order[p]];
          Extremes& found = extremes[order[p]];
          SampleExtremes::Of(reinterpret_cast<const uint8_t*>(filtered + (piece.record - partFirst) * kSamplesPerRecord +
                                                              piece.first),
                             piece.last - piece.first + 1, found.low, found.high);
        }
      }
      i = last + 1;
      continue;
    }
    if (const int32_t rc = records_.Load(first, end, loaded); rc != kStatusOk) return rc;
    for (std::size_t j = i; j <= last;) {
      const int64_t record = pieces[order[j]].record;
      std::size_t k = j;
      int32_t from = pieces[order[j]].first;
      int32_t to = pieces[order[j]].last + 1;
      while (k + 1 <= last && pieces[order[k + 1]].record == record) {
        ++k;
        from = std::min<int32_t>(from, pieces[order[k]].first);
        to = std::max<int32_t>(to, pieces[order[k]].last + 1);
      }
      if (const int32_t rc = records_.FilterSamples(loaded, record, from, to, samples); rc != kStatusOk) return rc;
      for (std::size_t p = j; p <= k; ++p) {
        const Piece& piece = pieces[order[p]];
        Extremes& found = extremes[order[p]];
        SampleExtremes::Of(reinterpret_cast<const uint8_t*>(samples + (piece.first - from)),
                           piece.last - piece.first + 1, found.low, found.high);
      }
      j = k + 1;
    }
    i = last + 1;
  }
  return kStatusOk;
}

}  // namespace skelvane
