#include "columns/FilteredPieceExtremes.h"

#include <algorithm>
#include <cstring>
#include <numeric>
#include <vector>

#include "datafile/CscRecord.h"
#include "datafile/RecordContiguity.h"
#include "datafile/RecordReader.h"
#include "platform/StatusCodes.h"
#include "summary/SampleExtremes.h"
#include "summary/SourceSummary.h"

namespace skelvane {

namespace {

// Kept states whose reads lie at most this many records apart are filtered from one buffer.
constexpr int64_t kJoinStateRecords = 4;
// Stretches of samples at most this many apart are copied as one.
constexpr int64_t kJoinReadSamples = 64;

}  // namespace

FilteredPieceExtremes::FilteredPieceExtremes(const RecordReader& reader, const FilterDesign& design,
                                             double sampleInterval)
    : reader_(reader), sampleInterval_(sampleInterval), records_(reader, design, sampleInterval) {
  if (SpacedHighPassResume::Fits(records_.Design())) resume_.emplace(records_.Design());
}

// A frame's reads reach megabytes, which fresh memory would have the kernel clear and map again
// every time: the buffers are kept from one call to the next, shared by the plots (as many as settle
// bars at once) rather than kept by each.
ScratchPool<FilteredPieceExtremes::Buffers>& FilteredPieceExtremes::KeptBuffers() {
  static ScratchPool<Buffers> pool(kKeptBuffers);
  return pool;
}

int32_t FilteredPieceExtremes::Find(std::span<const Piece> pieces, std::span<Extremes> extremes) {
  const ScratchPool<Buffers>::Lease buffers = KeptBuffers().Take();
  return Find(pieces, extremes, *buffers);
}

int32_t FilteredPieceExtremes::FindResumed(const SourceSummary& summary, std::span<const Piece> pieces,
                                           std::span<Extremes> extremes, Buffers& buffers) {
  const std::vector<std::size_t>& order = buffers.order;
  std::vector<Resumed>& resumed = buffers.resumed;
  resumed.clear();
  constexpr int64_t kEvery = SourceSummary::kCheckpointRecords;
  const std::span<const int64_t> times = summary.Timestamps();
  const int64_t records = std::min(summary.NumRecords(), reader_.NumRecords());
  // The end of the records a resumption reads, rounded up.
  const auto endRecord = [&](int64_t state, int64_t to) {
    return (resume_->RawTo(state, to) + kSamplesPerRecord - 1) / kSamplesPerRecord;
  };
  // A piece is filtered from the nearer of the kept states around it: back from the next one when
  // that is nearer, kept, and what it reads beyond what the one before would read lies in one segment.
  const auto stateFor = [&](const Piece& piece) {
    const int64_t before = piece.record / kEvery * kEvery;
    const int64_t after = before + kEvery;
    const int64_t from = piece.record * kSamplesPerRecord + piece.first;
    const int64_t to = piece.record * kSamplesPerRecord + piece.last + 1;
    if (from - before * kSamplesPerRecord <= after * kSamplesPerRecord - from || !summary.HoldsCheckpoint(after)) {
      return before;
    }
    const int64_t reach = endRecord(after, to);
    if (reach > records) return before;
    for (int64_t r = std::max<int64_t>(1, endRecord(before, to)); r < reach; ++r) {
      if (!RecordContiguity::Contiguous(times[static_cast<std::size_t>(r - 1)], times[static_cast<std::size_t>(r)], sampleInterval_)) {
        return before;
      }
    }
    return after;
  };
  for (std::size_t i = 0; i < order.size();) {
    const int64_t record = stateFor(pieces[order[i]]);
    Resumed block{record, i, i, INT64_MAX, INT64_MIN};
    for (; i < order.size() && (i == block.first || stateFor(pieces[order[i]]) == record); ++i) {
      const Piece& piece = pieces[order[i]];
      block.last = i;
      block.from = std::min<int64_t>(block.from, piece.record * kSamplesPerRecord + piece.first);
      block.to = std::max<int64_t>(block.to, piece.record * kSamplesPerRecord + piece.last + 1);
    }
    resumed.push_back(block);
  }
  // Rounded down: a read that would start before the recording is refused as such.
  const auto firstRecord = [&](const Resumed& b) {
    const int64_t from = resume_->RawFrom(b.record, b.from);
    return from >= 0 ? from / kSamplesPerRecord : -1;
  };
  for (std::size_t b = 0; b < resumed.size();) {
    std::size_t e = b + 1;
    int64_t lo = firstRecord(resumed[b]);
    int64_t hi = endRecord(resumed[b].record, resumed[b].to);
    while (e < resumed.size() && firstRecord(resumed[e]) <= hi + kJoinStateRecords) {
      lo = std::min(lo, firstRecord(resumed[e]));
      hi = std::max(hi, endRecord(resumed[e].record, resumed[e].to));
      ++e;
    }
    const std::span<const Resumed> blocks(resumed.data() + b, e - b);
    bool done = false;
    if (const int32_t rc = FilterRead(summary, pieces, extremes, blocks, lo, hi, buffers, done); rc != kStatusOk) {
      return rc;
    }
    if (!done) {
      for (const Resumed& block : blocks) {
        for (std::size_t i = block.first; i <= block.last; ++i) buffers.rest.push_back(order[i]);
      }
    }
    b = e;
  }
  return kStatusOk;
}

int32_t FilteredPieceExtremes::FilterRead(const SourceSummary& summary, std::span<const Piece> pieces,
                                          std::span<Extremes> extremes, std::span<const Resumed> blocks, int64_t lo,
                                          int64_t hi, Buffers& buffers, bool& done) {
  done = false;
  // Near a gap or an end of the recording the samples are mirrored: the support around them does that.
  if (lo < 0 || hi > reader_.NumRecords() || summary.NumRecords() != reader_.NumRecords()) return kStatusOk;
  std::vector<SpacedHighPass::Running>& states = buffers.states;
  states.resize(blocks.size());
  for (std::size_t b = 0; b < blocks.size(); ++b) {
    if (!summary.Checkpoint(blocks[b].record, states[b])) return kStatusOk;
  }
  // The timestamps the summary holds tell whether the reads lie in one segment; the records read
  // must still hold them.
  const std::span<const int64_t> times = summary.Timestamps();
  for (int64_t r = lo + 1; r < hi; ++r) {
    if (!RecordContiguity::Contiguous(times[static_cast<std::size_t>(r - 1)], times[static_cast<std::size_t>(r)], sampleInterval_)) {
      return kStatusOk;
    }
  }
  // Of records [lo, hi) only the samples under the stretches the blocks read, joined where they lie
  // close.
  std::vector<SpacedHighPassResume::Range>& reads = buffers.reads;
  reads.clear();
  for (const Resumed& block : blocks) {
    for (const SpacedHighPassResume::Range& stretch : resume_->RawStretches(block.record, block.from, block.to)) {
      reads.push_back(stretch);
    }
  }
  std::sort(reads.begin(), reads.end(), [](const auto& x, const auto& y) { return x.from < y.from; });
  std::size_t joined = 0;
  for (const SpacedHighPassResume::Range& read : reads) {
    if (joined > 0 && read.from <= reads[joined - 1].to + kJoinReadSamples) {
      reads[joined - 1].to = std::max(reads[joined - 1].to, read.to);
    } else {
      reads[joined++] = read;
    }
  }
  reads.resize(joined);
  const int32_t recordSize = reader_.RecordSize();
  int16_t* samples = FilterWorkspace::Room(buffers.samples, (hi - lo) * kSamplesPerRecord);
  // Without a mapping (a file system that has none) the support around them does it.
  std::call_once(mapOnce_, [this] { mapped_ = reader_.Map(mapping_) == 0; });
  if (!mapped_) return kStatusOk;
  const uint8_t* file = mapping_.Data() + reader_.DataOffset();
  if (reader_.DataOffset() + hi * recordSize > static_cast<int64_t>(mapping_.Size())) return kStatusSourceChanged;
  for (const SpacedHighPassResume::Range& read : reads) {
    for (int64_t r = read.from / kSamplesPerRecord; r * kSamplesPerRecord < read.to; ++r) {
      const CscRecord record(file + r * recordSize);
      if (record.Timestamp() != times[static_cast<std::size_t>(r)]) return kStatusOk;
      const int64_t first = std::max(read.from, r * kSamplesPerRecord);
      const int64_t end = std::min(read.to, (r + 1) * kSamplesPerRecord);
      std::memcpy(samples + (first - lo * kSamplesPerRecord),
                  record.Bytes() + kCscSamplesOffset + (first - r * kSamplesPerRecord) * sizeof(int16_t),
                  static_cast<std::size_t>(end - first) * sizeof(int16_t));
    }
  }
  // A file cut short since it was mapped read as zeros: it changed.
  if (mapping_.WasDamaged()) return kStatusSourceChanged;
  for (std::size_t b = 0; b < blocks.size(); ++b) {
    const Resumed& block = blocks[b];
    int16_t* filtered = FilterWorkspace::Room(buffers.filtered, block.to - block.from);
    // Of the block only its pieces' samples come out of the last FIR.
    std::vector<SpacedHighPassResume::Range>& wanted = buffers.pieceRanges;
    wanted.clear();
    for (std::size_t i = block.first; i <= block.last; ++i) {
      const Piece& piece = pieces[buffers.order[i]];
      wanted.push_back({piece.record * kSamplesPerRecord + piece.first, piece.record * kSamplesPerRecord + piece.last + 1});
    }
    resume_->Filter(block.record, states[b], block.from, block.to, samples, lo * kSamplesPerRecord, wanted, filtered,
                    buffers.resume);
    for (std::size_t i = block.first; i <= block.last; ++i) {
      const Piece& piece = pieces[buffers.order[i]];
      Extremes& found = extremes[buffers.order[i]];
      const int64_t at = piece.record * kSamplesPerRecord + piece.first - block.from;
      SampleExtremes::Of(reinterpret_cast<const uint8_t*>(filtered + at), piece.last - piece.first + 1, found.low,
                         found.high);
    }
  }
  done = true;
  return kStatusOk;
}

int32_t FilteredPieceExtremes::Find(std::span<const Piece> pieces, std::span<Extremes> extremes, Buffers& buffers) {
  std::vector<std::size_t>& sorted = buffers.order;
  sorted.resize(pieces.size());
  std::iota(sorted.begin(), sorted.end(), std::size_t{0});
  std::sort(sorted.begin(), sorted.end(), [&](std::size_t a, std::size_t b) { return pieces[a].record < pieces[b].record; });
  buffers.rest.clear();
  const SourceSummary* summary = summary_.load(std::memory_order_acquire);
  if (resume_ && summary != nullptr && summary->CheckpointBytes() > 0) {
    if (const int32_t rc = FindResumed(*summary, pieces, extremes, buffers); rc != kStatusOk) return rc;
  } else {
    buffers.rest = sorted;
  }
  const std::vector<std::size_t>& order = buffers.rest;
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
