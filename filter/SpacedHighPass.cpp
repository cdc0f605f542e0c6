#include "filter/SpacedHighPass.h"

#include <algorithm>
#include <array>
#include <cmath>

#include "filter/DesignMath.h"
#include "filter/FilterWorkspace.h"
#include "platform/Saturating.h"
#include "platform/VectorIntrinsics.h"

namespace skelvane {
namespace {

// With D = spacing x length, the sum T of B^3 x over the window ending at sample n (times length^3)
// is the triple running sum, taken every `spacing` samples, of the third difference
// x[n] - 3 x[n - D] + 3 x[n - 2D] - x[n - 3D] (samples before the input's start counted as 0, which
// no output's window reaches). The first running sum is a second difference of window sums and fits
// 32 bits; the second and third are exact integers below 2^53 in double. The output is the centre
// sample less T / length^3 rounded to the nearest integer (ties to even, as every path converts).
constexpr int32_t kLanes = 8;

using Sums = SpacedHighPass::Running;

// Where a call writes: sample n's output goes to out[n - outStart] once n reaches firstOutput.
struct Outputs {
  int64_t firstOutput;
  int64_t outStart;
  int16_t* out;
};

int32_t ThirdDifference(const int16_t* in, int64_t n, int64_t delay) {
  const auto at = [&](int64_t k) { return k >= 0 ? int32_t{in[k]} : 0; };
  return at(n) - 3 * at(n - delay) + 3 * at(n - 2 * delay) - at(n - 3 * delay);
}

// Samples [from, to) of the input through the running sums, one at a time.
void ScalarSteps(const int16_t* in, int64_t from, int64_t to, int64_t delay, int64_t half, int32_t spacing,
                 double reciprocal, Sums& sums, const Outputs& outputs) {
  auto phase = static_cast<std::size_t>(from % spacing);
  for (int64_t n = from; n < to; ++n, phase = phase + 1 == static_cast<std::size_t>(spacing) ? 0 : phase + 1) {
    // Wraps as the vector path's 32-bit lanes do; the true value fits.
    sums.first[phase] = static_cast<int32_t>(static_cast<uint32_t>(sums.first[phase]) +
                                             static_cast<uint32_t>(ThirdDifference(in, n, delay)));
    sums.second[phase] += sums.first[phase];
    sums.third[phase] += sums.second[phase];
    if (n >= outputs.firstOutput) {
      outputs.out[n - outputs.outStart] = ClampTo<int16_t>(in[n - half] - std::lrint(sums.third[phase] * reciprocal));
    }
  }
}

// Samples [from, to) taken back out of the running sums, last first: each step of ScalarSteps undone.
void ScalarRetreat(const int16_t* in, int64_t from, int64_t to, int64_t delay, int32_t spacing, Sums& sums) {
  for (int64_t n = to - 1; n >= from; --n) {
    const auto phase = static_cast<std::size_t>(n % spacing);
    sums.third[phase] -= sums.second[phase];
    sums.second[phase] -= sums.first[phase];
    sums.first[phase] = static_cast<int32_t>(static_cast<uint32_t>(sums.first[phase]) -
                                             static_cast<uint32_t>(ThirdDifference(in, n, delay)));
  }
}

#ifdef SKELVANE_FILTER_X86

// The running sums of eight neighbouring phases.
struct Lanes {
  __m256i first;
  __m256d second[2];
  __m256d third[2];
};

// With kWhole the window lies inside the input and the step makes outputs: no test is needed (the
// step is then a fifth shorter).
template <bool kWhole>
SKELVANE_AVX2 inline __m256i Widened(const int16_t* in, int64_t k) {
  if (!kWhole && k < 0) return _mm256_setzero_si256();
  return _mm256_cvtepi16_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(in + k)));
}

// The third differences of eight neighbouring samples from n on.
template <bool kWhole>
SKELVANE_AVX2 inline __m256i ThirdDifferences(const int16_t* in, int64_t n, int64_t delay) {
  const __m256i inner = _mm256_sub_epi32(Widened<kWhole>(in, n - 2 * delay), Widened<kWhole>(in, n - delay));
  const __m256i outer = _mm256_sub_epi32(Widened<kWhole>(in, n), Widened<kWhole>(in, n - 3 * delay));
  return _mm256_add_epi32(outer, _mm256_add_epi32(inner, _mm256_add_epi32(inner, inner)));
}

template <bool kWhole>
SKELVANE_AVX2 inline void Step(const int16_t* in, int64_t n, int64_t delay, int64_t half, __m256d reciprocal,
                               Lanes& lanes, const Outputs& outputs) {
  lanes.first = _mm256_add_epi32(lanes.first, ThirdDifferences<kWhole>(in, n, delay));
  lanes.second[0] = _mm256_add_pd(lanes.second[0], _mm256_cvtepi32_pd(_mm256_castsi256_si128(lanes.first)));
  lanes.second[1] = _mm256_add_pd(lanes.second[1], _mm256_cvtepi32_pd(_mm256_extracti128_si256(lanes.first, 1)));
  lanes.third[0] = _mm256_add_pd(lanes.third[0], lanes.second[0]);
  lanes.third[1] = _mm256_add_pd(lanes.third[1], lanes.second[1]);
  // The first output stands on a multiple of the spacing, as every step starts.
  if (!kWhole && n < outputs.firstOutput) return;
  const __m256i slow = _mm256_setr_m128i(_mm256_cvtpd_epi32(_mm256_mul_pd(lanes.third[0], reciprocal)),
                                         _mm256_cvtpd_epi32(_mm256_mul_pd(lanes.third[1], reciprocal)));
  const __m256i result = _mm256_sub_epi32(Widened<kWhole>(in, n - half), slow);
  const __m128i packed = _mm_packs_epi32(_mm256_castsi256_si128(result), _mm256_extracti128_si256(result, 1));
  _mm_storeu_si128(reinterpret_cast<__m128i*>(outputs.out + n - outputs.outStart), packed);
}

SKELVANE_AVX2 void LoadLanes(const Sums& sums, int32_t group, Lanes& lanes) {
  const std::size_t at = static_cast<std::size_t>(group) * kLanes;
  lanes.first = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(sums.first.data() + at));
  for (std::size_t h = 0; h < 2; ++h) {
    lanes.second[h] = _mm256_loadu_pd(sums.second.data() + at + 4 * h);
    lanes.third[h] = _mm256_loadu_pd(sums.third.data() + at + 4 * h);
  }
}

SKELVANE_AVX2 void StoreLanes(const Lanes& lanes, int32_t group, Sums& sums) {
  const std::size_t at = static_cast<std::size_t>(group) * kLanes;
  _mm256_storeu_si256(reinterpret_cast<__m256i*>(sums.first.data() + at), lanes.first);
  for (std::size_t h = 0; h < 2; ++h) {
    _mm256_storeu_pd(sums.second.data() + at + 4 * h, lanes.second[h]);
    _mm256_storeu_pd(sums.third.data() + at + 4 * h, lanes.third[h]);
  }
}

// Samples from `from` (phase 0) on, eight phases a step while a whole step remains: the first
// sample not taken.
SKELVANE_AVX2 int64_t VectorSteps(const int16_t* in, int64_t from, int64_t total, int64_t delay, int64_t half,
                                  int32_t spacing, double reciprocal, Sums& sums, const Outputs& out) {
  const __m256d scale = _mm256_set1_pd(reciprocal);
  Lanes low{};
  Lanes high{};
  LoadLanes(sums, 0, low);
  int64_t n = from;
  // The steps from `whole` on read no sample before the input and each makes outputs.
  const int64_t stride = spacing == kLanes ? kLanes : 2 * kLanes;
  const int64_t whole = from + (std::max<int64_t>(0, std::max(3 * delay, out.firstOutput) - from) + stride - 1) / stride * stride;
  if (spacing == kLanes) {
    for (; n + kLanes <= total && n < whole; n += kLanes) Step<false>(in, n, delay, half, scale, low, out);
    for (; n + kLanes <= total; n += kLanes) Step<true>(in, n, delay, half, scale, low, out);
  } else {
    LoadLanes(sums, 1, high);
    for (; n + 2 * kLanes <= total && n < whole; n += 2 * kLanes) {
      Step<false>(in, n, delay, half, scale, low, out);
      Step<false>(in, n + kLanes, delay, half, scale, high, out);
    }
    for (; n + 2 * kLanes <= total; n += 2 * kLanes) {
      Step<true>(in, n, delay, half, scale, low, out);
      Step<true>(in, n + kLanes, delay, half, scale, high, out);
    }
    if (n + kLanes <= total) {
      Step<false>(in, n, delay, half, scale, low, out);
      n += kLanes;
    }
    StoreLanes(high, 1, sums);
  }
  StoreLanes(low, 0, sums);
  return n;
}

// Samples [from, to) (both on phase 0, the window inside the input) taken back out, eight phases a
// step, last step first.
SKELVANE_AVX2 void VectorRetreat(const int16_t* in, int64_t from, int64_t to, int64_t delay, int32_t spacing, Sums& sums) {
  for (int32_t group = 0; group < spacing / kLanes; ++group) {
    Lanes lanes{};
    LoadLanes(sums, group, lanes);
    for (int64_t n = to - spacing + group * kLanes; n >= from; n -= spacing) {
      for (std::size_t h = 0; h < 2; ++h) lanes.third[h] = _mm256_sub_pd(lanes.third[h], lanes.second[h]);
      lanes.second[0] = _mm256_sub_pd(lanes.second[0], _mm256_cvtepi32_pd(_mm256_castsi256_si128(lanes.first)));
      lanes.second[1] = _mm256_sub_pd(lanes.second[1], _mm256_cvtepi32_pd(_mm256_extracti128_si256(lanes.first, 1)));
      lanes.first = _mm256_sub_epi32(lanes.first, ThirdDifferences<true>(in, n, delay));
    }
    StoreLanes(lanes, group, sums);
  }
}

// Sixteen neighbouring phases on 512-bit vectors, for a spacing of 16: one step is the two 8-lane
// steps above on the same samples, with the same conversions and roundings.
struct WideLanes {
  __m512i first;
  __m512d second[2];
  __m512d third[2];
};

template <bool kWhole>
SKELVANE_AVX512 inline __m512i WideWidened(const int16_t* in, int64_t k) {
  if (!kWhole && k < 0) return _mm512_setzero_si512();
  return _mm512_cvtepi16_epi32(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(in + k)));
}

// The third differences of sixteen neighbouring samples from n on.
template <bool kWhole>
SKELVANE_AVX512 inline __m512i WideThirdDifferences(const int16_t* in, int64_t n, int64_t delay) {
  const __m512i inner = _mm512_sub_epi32(WideWidened<kWhole>(in, n - 2 * delay), WideWidened<kWhole>(in, n - delay));
  const __m512i outer = _mm512_sub_epi32(WideWidened<kWhole>(in, n), WideWidened<kWhole>(in, n - 3 * delay));
  return _mm512_add_epi32(outer, _mm512_add_epi32(inner, _mm512_add_epi32(inner, inner)));
}

// The sums of all sixteen phases into the wide lanes, and back.
SKELVANE_AVX512 inline void LoadWide(const Sums& sums, WideLanes& lanes) {
  lanes.first = _mm512_loadu_si512(sums.first.data());
  for (std::size_t h = 0; h < 2; ++h) {
    lanes.second[h] = _mm512_loadu_pd(sums.second.data() + kLanes * h);
    lanes.third[h] = _mm512_loadu_pd(sums.third.data() + kLanes * h);
  }
}

SKELVANE_AVX512 inline void StoreWide(const WideLanes& lanes, Sums& sums) {
  _mm512_storeu_si512(sums.first.data(), lanes.first);
  for (std::size_t h = 0; h < 2; ++h) {
    _mm512_storeu_pd(sums.second.data() + kLanes * h, lanes.second[h]);
    _mm512_storeu_pd(sums.third.data() + kLanes * h, lanes.third[h]);
  }
}

template <bool kWhole>
SKELVANE_AVX512 inline void WideStep(const int16_t* in, int64_t n, int64_t delay, int64_t half, __m512d reciprocal,
                                     WideLanes& lanes, const Outputs& outputs) {
  lanes.first = _mm512_add_epi32(lanes.first, WideThirdDifferences<kWhole>(in, n, delay));
  lanes.second[0] = _mm512_add_pd(lanes.second[0], _mm512_cvtepi32_pd(_mm512_castsi512_si256(lanes.first)));
  lanes.second[1] = _mm512_add_pd(lanes.second[1], _mm512_cvtepi32_pd(_mm512_extracti64x4_epi64(lanes.first, 1)));
  lanes.third[0] = _mm512_add_pd(lanes.third[0], lanes.second[0]);
  lanes.third[1] = _mm512_add_pd(lanes.third[1], lanes.second[1]);
  if (!kWhole && n < outputs.firstOutput) return;
  const __m512i slow = _mm512_inserti64x4(_mm512_castsi256_si512(_mm512_cvtpd_epi32(_mm512_mul_pd(lanes.third[0], reciprocal))),
                                          _mm512_cvtpd_epi32(_mm512_mul_pd(lanes.third[1], reciprocal)), 1);
  const __m512i result = _mm512_sub_epi32(WideWidened<kWhole>(in, n - half), slow);
  _mm256_storeu_si256(reinterpret_cast<__m256i*>(outputs.out + n - outputs.outStart), _mm512_cvtsepi32_epi16(result));
}

// VectorSteps for a spacing of 16 on the wide lanes.
SKELVANE_AVX512 int64_t WideVectorSteps(const int16_t* in, int64_t from, int64_t total, int64_t delay, int64_t half,
                                        double reciprocal, Sums& sums, const Outputs& out) {
  constexpr int64_t kWide = 2 * kLanes;
  const __m512d scale = _mm512_set1_pd(reciprocal);
  WideLanes lanes{};
  LoadWide(sums, lanes);
  int64_t n = from;
  const int64_t whole = from + (std::max<int64_t>(0, std::max(3 * delay, out.firstOutput) - from) + kWide - 1) / kWide * kWide;
  for (; n + kWide <= total && n < whole; n += kWide) WideStep<false>(in, n, delay, half, scale, lanes, out);
  for (; n + kWide <= total; n += kWide) WideStep<true>(in, n, delay, half, scale, lanes, out);
  StoreWide(lanes, sums);
  return n;
}

// VectorRetreat for a spacing of 16 on the wide lanes.
SKELVANE_AVX512 void WideVectorRetreat(const int16_t* in, int64_t from, int64_t to, int64_t delay, Sums& sums) {
  constexpr int64_t kWide = 2 * kLanes;
  WideLanes lanes{};
  LoadWide(sums, lanes);
  for (int64_t n = to - kWide; n >= from; n -= kWide) {
    for (std::size_t h = 0; h < 2; ++h) lanes.third[h] = _mm512_sub_pd(lanes.third[h], lanes.second[h]);
    lanes.second[0] = _mm512_sub_pd(lanes.second[0], _mm512_cvtepi32_pd(_mm512_castsi512_si256(lanes.first)));
    lanes.second[1] = _mm512_sub_pd(lanes.second[1], _mm512_cvtepi32_pd(_mm512_extracti64x4_epi64(lanes.first, 1)));
    lanes.first = _mm512_sub_epi32(lanes.first, WideThirdDifferences<true>(in, n, delay));
  }
  StoreWide(lanes, sums);
}

#endif

}  // namespace

SpacedHighPass::SpacedHighPass(int64_t length, int32_t spacing)
    : length_(length), spacing_(spacing), reciprocal_(1.0 / (static_cast<double>(length) * length * length)) {}

double SpacedHighPass::Gain(double cyclesPerSample) const {
  // One moving average: the Dirichlet kernel of its length at the frequency times the spacing.
  const double half = cyclesPerSample * spacing_ / 2.0;
  const double denominator = static_cast<double>(length_) * DesignMath::SineOfTurns(half);
  const double mean = denominator == 0.0 ? 1.0 : DesignMath::SineOfTurns(half * static_cast<double>(length_)) / denominator;
  return 1.0 - mean * mean * mean;
}

void SpacedHighPass::Apply(const int16_t* in, int64_t count, int16_t* out) const {
  ApplyWith(FirStage::BestPath(), in, count, out);
}

void SpacedHighPass::ApplyWith(FirStage::Path path, const int16_t* in, int64_t count, int16_t* out) const {
  Running running;
  Continue(path, in, 0, count + 2 * HalfSupport(), 2 * HalfSupport(), running, out);
}

void SpacedHighPass::Continue(FirStage::Path path, const int16_t* in, int64_t from, int64_t to, int64_t firstOutput,
                              Running& running, int16_t* out) const {
  const int64_t half = HalfSupport();
  const int64_t delay = spacing_ * length_;
  const Outputs outputs{firstOutput, std::max(from, firstOutput), out};
  int64_t done = from;
#ifdef SKELVANE_FILTER_X86
  if ((path == FirStage::Path::kAvx2 || path == FirStage::Path::kAvx512) && (spacing_ == kLanes || spacing_ == 2 * kLanes)) {
    // The vector steps take the phases in order from phase 0.
    const int64_t aligned = std::min(to, (from + spacing_ - 1) / spacing_ * spacing_);
    ScalarSteps(in, from, aligned, delay, half, spacing_, reciprocal_, running, outputs);
    if (path == FirStage::Path::kAvx512 && spacing_ == 2 * kLanes) {
      done = WideVectorSteps(in, aligned, to, delay, half, reciprocal_, running, outputs);
    } else {
      done = VectorSteps(in, aligned, to, delay, half, spacing_, reciprocal_, running, outputs);
    }
  }
#else
  (void)path;
#endif
  ScalarSteps(in, done, to, delay, half, spacing_, reciprocal_, running, outputs);
}

void SpacedHighPass::Retreat(FirStage::Path path, const int16_t* in, int64_t from, int64_t to, Running& running) const {
  const int64_t delay = spacing_ * length_;
  int64_t done = to;  // the samples from here on are taken back out
#ifdef SKELVANE_FILTER_X86
  // The vector steps take whole spacings from phase 0, with every sample they read inside the input.
  const int64_t first = std::max((from + spacing_ - 1) / spacing_ * spacing_, 3 * delay);
  const int64_t last = to / spacing_ * spacing_;
  if ((path == FirStage::Path::kAvx2 || path == FirStage::Path::kAvx512) && (spacing_ == kLanes || spacing_ == 2 * kLanes) &&
      first < last) {
    ScalarRetreat(in, last, to, delay, spacing_, running);
    if (path == FirStage::Path::kAvx512 && spacing_ == 2 * kLanes) {
      WideVectorRetreat(in, first, last, delay, running);
    } else {
      VectorRetreat(in, first, last, delay, spacing_, running);
    }
    done = first;
  }
#else
  (void)path;
#endif
  ScalarRetreat(in, from, done, delay, spacing_, running);
}

void SpacedHighPass::ApplyPeriodic(const int16_t* in, int64_t period, int16_t* out, FilterWorkspace& work) const {
  // T, the sum of B^3 x times length^3, as three centred moving sums: the exact integer the running
  // sums of Apply reach (below 2^53, so the same double), divided and rounded as they are.
  int64_t* samples = FilterWorkspace::Room(work.wide[0], period);
  int64_t* once = FilterWorkspace::Room(work.wide[1], period);
  int64_t* twice = FilterWorkspace::Room(work.wide[2], period);
  CircularSums& circular = work.circular;
  circular.Prepare(period, spacing_);
  for (int64_t k = 0; k < period; ++k) samples[k] = in[circular.Position(k)];
  circular.Centred(samples, length_, once);
  circular.Centred(once, length_, twice);
  circular.Centred(twice, length_, once);
  for (int64_t k = 0; k < period; ++k) {
    const int64_t c = circular.Position(k);
    out[c] = ClampTo<int16_t>(in[c] - std::lrint(static_cast<double>(once[k]) * reciprocal_));
  }
}

}  // namespace skelvane
