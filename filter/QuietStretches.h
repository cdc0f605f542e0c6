#pragma once
// Where a band's output provably stays strictly between -level and level, told from the raw samples
// alone, so that a detector that only asks whether samples reach the level need not filter the rest.
// It knows the bands that are one FIR of neighbouring taps summing to zero (the Spike Band, and
// custom bands made the same way). Such an output is the taps' sum over its support less any constant
// c, so its sum is at most the taps' magnitudes times the largest |x - c| there, which is half the
// support's range rounded up; the FIR's rounding shift and saturation keep that bound in order.

#include <cstdint>
#include <optional>
#include <vector>

#include "filter/FilterDesign.h"

namespace skelvane {

class QuietStretches {
 public:
  /// Outputs are judged in chunks of this many.
  static constexpr int64_t kChunk = 32;

  /// nullopt when `design` is of another kind, or when no output can stay inside the level (a level
  /// of 0 or less).
  static std::optional<QuietStretches> For(const FilterDesign& design, int32_t level);

  /// Widest range (highest less lowest sample) of an output's support that keeps it inside the level.
  int32_t WidestQuietRange() const { return widestQuiet_; }

  /// Appends to `loud`, as ascending ranges that do not touch, the chunks of outputs [from, to) that
  /// may reach the level: chunks from `from` on, the last cut at `to`. Output p is centred on in[p] of
  /// `in` (`count` samples). Support before in[0] or past in[count - 1] is not known, and its outputs
  /// count as loud, unless `startsAtEdge` / `endsAtEdge` says the samples there are a segment's edge:
  /// a segment is extended by its own samples mirrored, which lie in the support already. Support
  /// across a gap between segments takes both segments' samples, which only widens the range.
  void Loud(const int16_t* in, int64_t count, bool startsAtEdge, bool endsAtEdge, int64_t from, int64_t to,
            std::vector<FilterDesign::OutputRange>& loud) const;

 private:
  QuietStretches(int64_t half, int32_t widestQuiet) : half_(half), widestQuiet_(widestQuiet) {}

  int64_t half_;
  int32_t widestQuiet_;
};

}  // namespace skelvane
