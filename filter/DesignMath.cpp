#include "filter/DesignMath.h"

#include <cmath>
#include <vector>

#include "platform/VectorIntrinsics.h"

namespace skelvane {
namespace {

// Terms of the sine's Taylor series: at a quarter turn the next one is below 1e-20.
constexpr int32_t kSineTerms = 14;
// The Bessel series stops once a term no longer changes the sum (or after this many terms).
constexpr int32_t kMostBesselTerms = 500;
constexpr double kQuarterTurn = 0.25;
constexpr double kHalfTurn = 0.5;
constexpr double kHalf = 0.5;

#ifdef SKELVANE_FILTER_X86
// SineOfTurns on four lanes: the same additions, floors, comparisons, products and quotients, each
// correctly rounded as the scalar one is (this library is compiled without contracted multiply-adds,
// and the target adds no FMA), so every lane gives the scalar bits.
SKELVANE_AVX2 void SinesAvx2(const double* turns, double* out, int64_t count) {
  const __m256d quarter = _mm256_set1_pd(kQuarterTurn);
  const __m256d half = _mm256_set1_pd(kHalfTurn);
  const __m256d one = _mm256_set1_pd(1.0);
  const __m256d turn = _mm256_set1_pd(2.0 * DesignMath::kPi);
  for (int64_t i = 0; i + 4 <= count; i += 4) {
    const __m256d value = _mm256_loadu_pd(turns + i);
    __m256d t = _mm256_sub_pd(value, _mm256_floor_pd(_mm256_add_pd(value, half)));
    t = _mm256_blendv_pd(t, _mm256_sub_pd(half, t), _mm256_cmp_pd(t, quarter, _CMP_GT_OQ));
    t = _mm256_blendv_pd(t, _mm256_sub_pd(_mm256_sub_pd(_mm256_setzero_pd(), half), t),
                         _mm256_cmp_pd(t, _mm256_sub_pd(_mm256_setzero_pd(), quarter), _CMP_LT_OQ));
    const __m256d x = _mm256_mul_pd(turn, t);
    const __m256d x2 = _mm256_mul_pd(x, x);
    __m256d sum = one;
    for (int32_t k = kSineTerms; k >= 1; --k) {
      const double a = 2.0 * k;
      sum = _mm256_sub_pd(one, _mm256_mul_pd(_mm256_div_pd(x2, _mm256_set1_pd(a * (a + 1.0))), sum));
    }
    _mm256_storeu_pd(out + i, _mm256_mul_pd(x, sum));
  }
}
#endif

}  // namespace

void DesignMath::SinesOfTurns(const double* turns, double* out, int64_t count) {
  int64_t done = 0;
#ifdef SKELVANE_FILTER_X86
  if (ProcessorHasAvx2()) {
    SinesAvx2(turns, out, count);
    done = count / 4 * 4;
  }
#endif
  for (int64_t i = done; i < count; ++i) out[i] = SineOfTurns(turns[i]);
}

void DesignMath::CosinesOfTurns(const double* turns, double* out, int64_t count) {
  for (int64_t i = 0; i < count; ++i) out[i] = turns[i] + kQuarterTurn;
  SinesOfTurns(out, out, count);
}

void DesignMath::Sincs(const double* x, double* out, int64_t count) {
  std::vector<double> sines(static_cast<std::size_t>(count));
  for (int64_t i = 0; i < count; ++i) sines[static_cast<std::size_t>(i)] = x[i] * kHalfTurn;
  SinesOfTurns(sines.data(), sines.data(), count);
  for (int64_t i = 0; i < count; ++i) out[i] = x[i] == 0.0 ? 1.0 : sines[static_cast<std::size_t>(i)] / (kPi * x[i]);
}

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
