#pragma once
// Filters a few samples of a recording through a design whose parts are a FIR, a spaced high-pass and
// a FIR, from the high-pass's running sums kept by the pass that built its filtered summary, instead
// of from the whole support around them: the high-pass then takes only the samples between the kept
// state and them (forward from a state before them, or back from one after them), and reads the
// stretches its window's ends and centre stand on. FilteredPieceExtremes
// uses it for the bar ends of a filtered summary; SourceSummary keeps the states (FilterStream).

#include <array>
#include <cstdint>
#include <span>
#include <vector>

#include "filter/FilterDesign.h"
#include "filter/SpacedHighPass.h"

namespace skelvane {

class SpacedHighPassResume {
 public:
  /// Whether `design`'s parts are exactly a FIR, a spaced high-pass and a FIR.
  static bool Fits(const FilterDesign& design);
  /// The spaced high-pass of `design` when Fits holds, else null.
  static const SpacedHighPass* HighPassOf(const FilterDesign& design);

  /// For `design` (Fits must hold; it must outlive this object).
  explicit SpacedHighPassResume(const FilterDesign& design);

  /// The recording position (samples from the first record's first, as if there were no gaps) of the
  /// first high-pass input a state kept for record `record` has not taken yet: the state is the sums
  /// over every input before it, phase p holding the positions equal to p modulo the spacing.
  int64_t ResumeAt(int64_t record) const;
  /// Raw samples [RawFrom, RawTo) that filtering positions [from, to) from the state of `record` reads,
  /// none of them mirrored: the caller checks they lie in one segment. The state may lie before
  /// `from` (the steps go on from it) or after it (they are first taken back to `from`).
  int64_t RawFrom(int64_t record, int64_t from) const;
  int64_t RawTo(int64_t record, int64_t to) const;
  /// Of those, the stretches of recording positions it reads (ascending by start, may overlap).
  struct Range {
    int64_t from;
    int64_t to;
  };
  static constexpr std::size_t kStretches = 5;
  std::array<Range, kStretches> RawStretches(int64_t record, int64_t from, int64_t to) const;

  /// The memory of a Filter, kept by the caller.
  struct Buffers {
    std::vector<int16_t> input;   // the high-pass's input where it is read
    std::vector<int16_t> output;  // the high-pass's output the last FIR weighs
  };
  /// Writes the filtered samples of the recording positions in `only` (ranges within [from, to)) to
  /// `out`, where out[0] stands for position `from`, from the state `sums` kept for `record`; `raw`
  /// holds the raw samples from position `rawStart` (at most RawFrom(record, from)) to at least
  /// RawTo(record, to), of which only RawStretches(record, from, to) are read.
  void Filter(int64_t record, const SpacedHighPass::Running& sums, int64_t from, int64_t to, const int16_t* raw,
              int64_t rawStart, std::span<const Range> only, int16_t* out, Buffers& buffers) const;

 private:
  // The steps of the high-pass (input positions) a resumption from the state of `record` takes for
  // positions [from, to): back from the state to `first` where the state lies after it, then on from
  // `begin` (the state or `first`) to `end`; `first` makes the first output the last FIR weighs.
  struct Steps {
    int64_t state;
    int64_t first;
    int64_t begin;
    int64_t end;
  };
  Steps StepsFor(int64_t record, int64_t from, int64_t to) const;
  // The high-pass's input stretches those steps read (its window's ends and centre).
  std::array<Range, kStretches> InputStretches(const Steps& steps) const;

  const FirStage& suppressor_;
  const SpacedHighPass& highPass_;
  const FirStage& fir_;
};

}  // namespace skelvane
