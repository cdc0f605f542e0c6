#pragma once
// A symmetric FIR filter in 16-bit fixed point: integer taps, an exact 32-bit sum (the taps are scaled
// so that no sum of full-scale samples can leave that range), one rounding shift and saturation to
// 16 bits, so every path gives the same bytes. Its taps may stand `spacing` samples apart (the sparse
// filter G(z^M) of an interpolated low-pass). The vector paths (SSE2, AVX2, AVX-512 chosen at run
// time) are proven equal to the scalar one by FirStageTest. FilterDesign holds these as a band's FIR parts.

#include <cstdint>
#include <vector>

namespace skelvane {

struct FilterWorkspace;

class FirStage {
 public:
  /// The ways the stage can run; all give the same bytes.
  enum class Path { kScalar, kSse2, kAvx2, kAvx512 };
  /// Samples past the input's end that a vector path reads (times a zero tap): the input must hold
  /// count + 2 x HalfSupport() + kReadPad samples.
  static constexpr int64_t kReadPad = 1;
  /// Largest sum of absolute tap values: a full-scale sample times it, plus the rounding term, stays
  /// inside the signed 32-bit range.
  static constexpr int64_t kMostTapMagnitude = 65535;
  /// Samples from kFoldLowest to kFoldHighest may be added in mirrored pairs, x[n - k] + x[n + k], and
  /// stay within 16 bits: a stretch of input inside that range takes the folded vector paths (one
  /// multiply per pair of taps), any other stretch the plain ones. Both give the same sums.
  static constexpr int32_t kFoldLowest = -16384;
  static constexpr int32_t kFoldHighest = 16383;

  /// Quantises the symmetric taps `taps` (an odd count, designed in double) to 16 bits with the finest
  /// scale the sum bound allows, the middle tap corrected so the taps sum to exactly `dcGain` (0 for a
  /// band or high-pass, 1 for a low-pass) times the scale. Neighbouring taps stand `spacing` samples
  /// apart.
  static FirStage Quantise(const std::vector<double>& taps, int32_t dcGain, int32_t spacing = 1);

  /// Samples between neighbouring taps (1 for an ordinary FIR).
  int32_t Spacing() const { return spacing_; }
  /// Samples on each side of an output that it depends on.
  int64_t HalfSupport() const { return spacing_ * static_cast<int64_t>(taps_.size() / 2); }
  /// The quantised taps and the shift they are scaled by.
  const std::vector<int16_t>& Taps() const { return taps_; }
  int32_t Shift() const { return shift_; }
  /// Amplitude response at `cyclesPerSample` (0 to 0.5) of the quantised taps.
  double Gain(double cyclesPerSample) const;

  /// out[i] = the filtered sample centred on in[i + HalfSupport()], for i in [0, count): the input
  /// holds count + 2 x HalfSupport() samples, then kReadPad readable ones.
  void Apply(const int16_t* in, int64_t count, int16_t* out) const;
  /// out[c] = the filtered sample centred on in[c], for c in [0, period), of the input that repeats
  /// in[0, period) for ever both ways: the values Apply gives over the repeated input. A period much
  /// shorter than the support folds the taps onto it (taps a period apart weigh the same sample).
  void ApplyPeriodic(const int16_t* in, int64_t period, int16_t* out, FilterWorkspace& work) const;
  /// Apply on a chosen path (Supports(path) must hold).
  void ApplyWith(Path path, const int16_t* in, int64_t count, int16_t* out) const;
  /// True when this machine can run `path`.
  static bool Supports(Path path);
  /// The best path this machine runs.
  static Path BestPath();

 private:
  void ApplyScalar(const int16_t* in, int64_t from, int64_t to, int16_t* out) const;
  void ApplySse2(const int16_t* in, int64_t count, int16_t* out) const;
  // The AVX2 kernels, with `wide` the AVX-512 ones first over whole blocks of theirs.
  void ApplyAvx(const int16_t* in, int64_t count, int16_t* out, bool wide) const;
  void PlainAvx(const int16_t* in, int64_t from, int64_t to, int16_t* out, bool wide) const;

  std::vector<int16_t> taps_;
  int32_t spacing_ = 1;
  int32_t shift_ = 0;
  // Taps as the multiply-add instructions take them, two 16-bit taps to a 32-bit word (the first in
  // the low half), a zero tap past the last: (t0, t1), (t2, t3), ... of all taps, for the plain paths;
  // and from the middle tap h0 = t[c] on, h1, h2, ... (each weighing a mirrored pair): (h0, h1), (h2, h3),
  // ... and (h1, h2), (h3, h4), ... for the folded paths.
  std::vector<int32_t> pairs_;
  std::vector<int32_t> foldedFromEven_;
  std::vector<int32_t> foldedFromOdd_;
};

}  // namespace skelvane
