#pragma once
// A symmetric FIR filter in 16-bit fixed point: integer taps, an exact 32-bit sum (the taps are scaled
// so that no sum of full-scale samples can leave that range), one rounding shift and saturation to
// 16 bits, so every path gives the same bytes. The vector paths (SSE2, AVX2 chosen at run time) are
// proven equal to the scalar one by FirStageTest. FilterDesign holds one as a band's FIR part.

#include <cstdint>
#include <vector>

namespace skelvane {

class FirStage {
 public:
  /// The ways the stage can run; all give the same bytes.
  enum class Path { kScalar, kSse2, kAvx2 };
  /// Samples past the input's end that a vector path reads (times a zero tap): the input must hold
  /// count + 2 x HalfSupport() + kReadPad samples.
  static constexpr int64_t kReadPad = 1;
  /// Largest sum of absolute tap values: a full-scale sample times it, plus the rounding term, stays
  /// inside the signed 32-bit range.
  static constexpr int64_t kMostTapMagnitude = 65535;

  /// Quantises the symmetric taps `taps` (an odd count, designed in double) to 16 bits with the finest
  /// scale the sum bound allows, the middle tap corrected so the taps sum to exactly `dcGain` (0 for a
  /// band or high-pass, 1 for a low-pass) times the scale.
  static FirStage Quantise(const std::vector<double>& taps, int32_t dcGain);

  /// Samples on each side of an output that it depends on.
  int64_t HalfSupport() const { return static_cast<int64_t>(taps_.size() / 2); }
  /// The quantised taps (2 x HalfSupport() + 1 of them) and the shift they are scaled by.
  const std::vector<int16_t>& Taps() const { return taps_; }
  int32_t Shift() const { return shift_; }
  /// Amplitude response at `cyclesPerSample` (0 to 0.5) of the quantised taps.
  double Gain(double cyclesPerSample) const;

  /// out[i] = the filtered sample centred on in[i + HalfSupport()], for i in [0, count): the input
  /// holds count + 2 x HalfSupport() samples, then kReadPad readable ones.
  void Apply(const int16_t* in, int64_t count, int16_t* out) const;
  /// Apply on a chosen path (Supports(path) must hold).
  void ApplyWith(Path path, const int16_t* in, int64_t count, int16_t* out) const;
  /// True when this machine can run `path`.
  static bool Supports(Path path);

 private:
  void ApplyScalar(const int16_t* in, int64_t from, int64_t count, int16_t* out) const;
  void ApplySse2(const int16_t* in, int64_t count, int16_t* out) const;
  void ApplyAvx2(const int16_t* in, int64_t count, int16_t* out) const;

  std::vector<int16_t> taps_;
  // Taps (2p, 2p + 1) as one 32-bit word (the multiply-add instructions' operand), eight copies each
  // to fill a 256-bit vector; the last pair padded with a zero tap.
  std::vector<int32_t> pairs_;
  int32_t shift_ = 0;
};

}  // namespace skelvane
