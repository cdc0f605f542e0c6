#pragma once
// The few functions the filter design needs, built from +, -, *, / and sqrt alone and evaluated in a
// fixed order (the library's own file is compiled without contracted multiply-adds), so that filter
// coefficients come out the same bits on every machine and compiler. Used by FilterDesign and by the
// stages' responses.

#include <cstdint>

namespace skelvane {

class DesignMath {
 public:
  static constexpr double kPi = 3.14159265358979323846;

  /// sin(2 pi t): the sine of `turns` whole turns.
  static double SineOfTurns(double turns);
  /// cos(2 pi t).
  static double CosineOfTurns(double turns);
  /// out[i] = SineOfTurns(turns[i]) for i in [0, count), the same bits, four at a time where the
  /// processor has AVX2 (each lane takes the very operations of the one-at-a-time code). `out` may
  /// be `turns`.
  static void SinesOfTurns(const double* turns, double* out, int64_t count);
  /// out[i] = CosineOfTurns(turns[i]) and out[i] = Sinc(x[i]) likewise (`out` may be the input).
  static void CosinesOfTurns(const double* turns, double* out, int64_t count);
  static void Sincs(const double* x, double* out, int64_t count);
  /// sin(pi x) / (pi x), 1 at 0.
  static double Sinc(double x);
  /// The modified Bessel function of the first kind, order 0 (the Kaiser window's).
  static double BesselI0(double x);
  /// `value` rounded to the nearest integer, halves upwards (floor(value + 0.5)).
  static int64_t Round(double value);
  /// 20 log10(gain) for a gain above 0; for display and tests only (not part of any design).
  static double Decibels(double gain);
};

}  // namespace skelvane
