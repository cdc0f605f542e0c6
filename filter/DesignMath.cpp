#include "filter/DesignMath.h"

#include <cmath>

namespace skelvane {
namespace {

// Terms of the sine's Taylor series: at a quarter turn the next one is below 1e-20.
constexpr int32_t kSineTerms = 14;
// The Bessel series stops once a term no longer changes the sum (or after this many terms).
constexpr int32_t kMostBesselTerms = 500;
constexpr double kQuarterTurn = 0.25;
constexpr double kHalfTurn = 0.5;
constexpr double kHalf = 0.5;

}  // namespace

double DesignMath::SineOfTurns(double turns) {
  // Reduced to [-1/2, 1/2] turn (exact: an integer near the value is taken away), then to [-1/4, 1/4]
  // by the sine's symmetry about a quarter turn.
  double t = turns - std::floor(turns + kHalfTurn);
  if (t > kQuarterTurn) t = kHalfTurn - t;
  if (t < -kQuarterTurn) t = -kHalfTurn - t;
  const double x = 2.0 * kPi * t;
  const double x2 = x * x;
  // x (1 - x^2/(2*3) (1 - x^2/(4*5) (1 - ...))), innermost term first.
  double sum = 1.0;
  for (int32_t k = kSineTerms; k >= 1; --k) {
    const double a = 2.0 * k;
    sum = 1.0 - x2 / (a * (a + 1.0)) * sum;
  }
  return x * sum;
}

double DesignMath::CosineOfTurns(double turns) { return SineOfTurns(turns + kQuarterTurn); }

double DesignMath::Sinc(double x) {
  if (x == 0.0) return 1.0;
  return SineOfTurns(x * kHalfTurn) / (kPi * x);
}

double DesignMath::BesselI0(double x) {
  const double quarterSquare = x * x / 4.0;
  double term = 1.0;
  double sum = 1.0;
  for (int32_t k = 1; k <= kMostBesselTerms; ++k) {
    term = term * quarterSquare / (static_cast<double>(k) * k);
    const double next = sum + term;
    if (next == sum) break;
    sum = next;
  }
  return sum;
}

int64_t DesignMath::Round(double value) { return static_cast<int64_t>(std::floor(value + kHalf)); }

double DesignMath::Decibels(double gain) { return 20.0 * std::log10(gain); }

}  // namespace skelvane
