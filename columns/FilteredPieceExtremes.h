#pragma once
// The exact extremes of pieces of records as a filtered view shows them: the records the pieces lie
// in are filtered as FilteredRecords filters any run of them (the support around them read too), so
// the bar ends a filtered summary only bounds are settled with the filtered samples. Asked by
// BarSettler, for CscPlot's zoomed-out bars of a filtered plot.

#include <atomic>
#include <cstdint>
#include <mutex>
#include <optional>
#include <span>
#include <vector>

#include "columns/PieceExtremes.h"
#include "filter/FilteredRecords.h"
#include "filter/SpacedHighPassResume.h"
#include "platform/FileMapping.h"
#include "platform/ScratchPool.h"

namespace skelvane {

class RecordReader;
class SourceSummary;

class FilteredPieceExtremes final : public PieceExtremes {
 public:
  /// Records needed at most this many apart are read in one go (with their support around them).
  static constexpr int64_t kJoinRecords = 3;
  /// A run filtered whole is filtered this many records at a time at most (a quarter of a million
  /// samples, with every stage's output a few megabytes), so the memory a call keeps stays the same
  /// whatever the span (each part costs one support more).
  static constexpr int64_t kRunRecords = 512;

  /// Filters the recording `reader` has open (it must outlive this object) through `design`, its gaps
  /// judged by `sampleInterval` (microseconds per sample).
  FilteredPieceExtremes(const RecordReader& reader, const FilterDesign& design, double sampleInterval);

  /// The filtered summary of the same recording and design, or null: the pieces near a high-pass
  /// state it keeps are filtered from that state on (it must outlive the calls that follow).
  void UseStates(const SourceSummary* summary) { summary_.store(summary, std::memory_order_release); }

  /// The extremes are of the filtered samples. Any thread: a call made while another runs uses
  /// buffers of its own.
  int32_t Find(std::span<const Piece> pieces, std::span<Extremes> extremes) override;

 private:
  // The pieces filtered from the state kept for `record` (the nearest before or after them):
  // order[first..last], their samples [from, to) of the recording.
  struct Resumed {
    int64_t record;
    std::size_t first;
    std::size_t last;
    int64_t from;
    int64_t to;
  };
  // The memory of one call: the records read with their support, and a run filtered whole.
  struct Buffers {
    FilteredRecords::Loaded loaded;
    std::vector<int16_t> run;
    std::vector<FilterDesign::OutputRange> wanted;  // the pieces' samples in the run
    std::vector<std::size_t> order;                 // the pieces by record
    std::vector<std::size_t> rest;                  // those left to the support around them
    std::vector<Resumed> resumed;
    std::vector<SpacedHighPass::Running> states;           // the kept states of one read's blocks
    std::vector<SpacedHighPassResume::Range> reads;        // the samples copied out of the mapping
    std::vector<SpacedHighPassResume::Range> pieceRanges;  // a block's pieces' samples
    std::vector<int16_t> samples;                          // a read's records' samples where copied
    std::vector<int16_t> filtered;                         // a block's filtered samples
    SpacedHighPassResume::Buffers resume;
  };
  int32_t Find(std::span<const Piece> pieces, std::span<Extremes> extremes, Buffers& buffers);
  // The drawing thread, the frame's helpers and the thread that works ahead settle bars at once.
  static constexpr std::size_t kKeptBuffers = 4;
  static ScratchPool<Buffers>& KeptBuffers();
  // Filters what it can of the pieces `order` lists from the summary's kept states; the others go to
  // buffers.rest.
  int32_t FindResumed(const SourceSummary& summary, std::span<const Piece> pieces, std::span<Extremes> extremes,
                      Buffers& buffers);
  // Filters the blocks whose stretches lie in records [lo, hi); `done` stays false (and nothing is
  // written) when those records do not lie in one segment or a state is not kept.
  int32_t FilterRead(const SourceSummary& summary, std::span<const Piece> pieces, std::span<Extremes> extremes,
                     std::span<const Resumed> blocks, int64_t lo, int64_t hi, Buffers& buffers, bool& done);

  const RecordReader& reader_;
  double sampleInterval_;
  FilteredRecords records_;
  std::optional<SpacedHighPassResume> resume_;  // when the design's high-pass keeps states
  std::atomic<const SourceSummary*> summary_{nullptr};
  // The file mapped once the states are used: a bar end reads five short stretches, and a call to read
  // each, at every frame, costs more than all the filtering.
  std::once_flag mapOnce_;
  FileMapping mapping_;
  bool mapped_ = false;
};

}  // namespace skelvane
