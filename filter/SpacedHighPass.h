#pragma once
// A high-pass x - B^3 x whose moving average B takes every `spacing`-th sample (`length` of them,
// odd): the low edge of a band whose high edge is an interpolated FIR of the same spacing, which
// removes what this stage lets through near the multiples of the rate over the spacing. Its sums are
// exact integers, kept on each of the `spacing` interleaved sequences as running sums of the input's
// third difference, and its one division is made in double on exact operands, so any start reaches
// the same values and every path gives the same bytes. FilterDesign holds one for the LFP Band.

#include <array>
#include <cstdint>

#include "filter/FirStage.h"

namespace skelvane {

struct FilterWorkspace;

class SpacedHighPass {
 public:
  /// Samples between the values one moving average takes, at most.
  static constexpr int32_t kMostSpacing = 16;
  /// Longest moving average: every running sum then stays below 2^53, where doubles hold integers
  /// exactly.
  static constexpr int64_t kLongestLength = 4095;

  /// x - B^3 x with B the mean of `length` values (odd, at most kLongestLength) `spacing` samples
  /// apart (even, at most kMostSpacing).
  SpacedHighPass(int64_t length, int32_t spacing);

  int64_t Length() const { return length_; }
  int32_t Spacing() const { return spacing_; }
  /// Samples on each side of an output that it depends on.
  int64_t HalfSupport() const { return 3 * spacing_ * (length_ - 1) / 2; }
  /// Amplitude response at `cyclesPerSample` (0 to 0.5).
  double Gain(double cyclesPerSample) const;

  /// out[i] = the filtered sample centred on in[i + HalfSupport()], for i in [0, count): the input
  /// holds count + 2 x HalfSupport() samples. Results beyond 16 bits saturate.
  void Apply(const int16_t* in, int64_t count, int16_t* out) const;
  /// Apply on a chosen path (FirStage::Supports(path) must hold); SSE2 runs the scalar code.
  void ApplyWith(FirStage::Path path, const int16_t* in, int64_t count, int16_t* out) const;
  /// out[c] = the filtered sample centred on in[c], for c in [0, period), of the input that repeats
  /// in[0, period) for ever both ways: the values Apply gives over the repeated input, at a cost of a
  /// few passes over one period whatever the length of the moving average.
  void ApplyPeriodic(const int16_t* in, int64_t period, int16_t* out, FilterWorkspace& work) const;

  /// The running sums of a pass that goes on from one call of Continue to the next, one per phase
  /// (a sample's position modulo the spacing): a pass over a whole segment pays the window's reach
  /// once instead of once per call.
  struct Running {
    std::array<int32_t, kMostSpacing> first{};
    std::array<double, kMostSpacing> second{};
    std::array<double, kMostSpacing> third{};
  };
  /// Takes samples [from, to) of `in` into `running`, which holds the sums of every sample before
  /// `from` (a pass starts at from = 0 with empty sums: samples before in[0] count as 0; later calls
  /// may give the same input moved by a multiple of the spacing, as long as in[n - 3 x Spacing() x
  /// Length()] stays there for every n >= from). Sample n's output, centred on in[n - HalfSupport()],
  /// goes to out[n - max(from, firstOutput)] for every n >= firstOutput (2 x HalfSupport() at the
  /// pass's start). Continue over pieces gives what Apply gives over the whole.
  void Continue(FirStage::Path path, const int16_t* in, int64_t from, int64_t to, int64_t firstOutput,
                Running& running, int16_t* out) const;
  /// Continue undone: `running` holds the sums of every sample before `to` and is made to hold those
  /// of every sample before `from` (from <= to; the input as Continue reads it, back to
  /// in[from - 3 x Spacing() x Length()]). The sums are exact integers, so going back from a later
  /// state reaches the very sums a pass forward reaches.
  void Retreat(FirStage::Path path, const int16_t* in, int64_t from, int64_t to, Running& running) const;

 private:
  int64_t length_;
  int32_t spacing_;
  double reciprocal_;  // 1 / length^3
};

}  // namespace skelvane
