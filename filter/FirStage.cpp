#include "filter/FirStage.h"

#include <algorithm>
#include <cstdlib>
#include <limits>

#include "filter/DesignMath.h"
#include "platform/Saturating.h"

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#define SKELVANE_FILTER_X86 1
#endif

namespace skelvane {
namespace {

// The finest scale tried for the taps; sums of full-scale samples limit it long before.
constexpr int32_t kFinestShift = 24;
constexpr int64_t kFullScale = 32768;  // largest magnitude of a 16-bit sample
constexpr int64_t kLargestSum = std::numeric_limits<int32_t>::max();
constexpr int32_t kLanesPerPair = 8;

int32_t RoundingTerm(int32_t shift) { return shift > 0 ? int32_t{1} << (shift - 1) : 0; }

// The taps scaled by 2^shift and rounded, the middle one corrected so they sum to dcGain x 2^shift;
// empty when a tap or the sum bound does not fit at this scale.
std::vector<int16_t> ScaledTaps(const std::vector<double>& taps, int32_t dcGain, int32_t shift) {
  const double scale = static_cast<double>(int64_t{1} << shift);
  std::vector<int64_t> scaled(taps.size());
  int64_t sum = 0;
  for (std::size_t k = 0; k < taps.size(); ++k) {
    scaled[k] = DesignMath::Round(taps[k] * scale);
    sum += scaled[k];
  }
  scaled[taps.size() / 2] += int64_t{dcGain} * (int64_t{1} << shift) - sum;
  int64_t magnitude = 0;
  for (const int64_t q : scaled) {
    if (q > std::numeric_limits<int16_t>::max() || q < -std::numeric_limits<int16_t>::max()) return {};
    magnitude += std::llabs(q);
  }
  if (magnitude > FirStage::kMostTapMagnitude || magnitude * kFullScale + RoundingTerm(shift) > kLargestSum) return {};
  std::vector<int16_t> quantised(scaled.size());
  std::transform(scaled.begin(), scaled.end(), quantised.begin(), [](int64_t q) { return static_cast<int16_t>(q); });
  return quantised;
}

#ifdef SKELVANE_FILTER_X86

__attribute__((target("avx2"))) void FirAvx2(const int16_t* in, int64_t blocks, const int32_t* pairs,
                                             int64_t pairCount, int32_t shift, int16_t* out) {
  constexpr int64_t kOutputs = 16;
  const __m256i rounding = _mm256_set1_epi32(RoundingTerm(shift));
  const __m128i shiftCount = _mm_cvtsi32_si128(shift);
  for (int64_t b = 0; b < blocks; ++b) {
    const int16_t* x = in + b * kOutputs;
    // Even lanes hold outputs 0, 2, ..., 14 of the block, odd ones 1, 3, ..., 15: the samples of tap
    // pair p for the even outputs are the 16 samples from 2p on, for the odd ones from 2p + 1 on.
    __m256i even0 = rounding;
    __m256i even1 = _mm256_setzero_si256();
    __m256i odd0 = rounding;
    __m256i odd1 = _mm256_setzero_si256();
    int64_t p = 0;
    for (; p + 2 <= pairCount; p += 2) {
      const __m256i c0 = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(pairs + p * kLanesPerPair));
      const __m256i c1 = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(pairs + (p + 1) * kLanesPerPair));
      even0 = _mm256_add_epi32(even0, _mm256_madd_epi16(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(x + 2 * p)), c0));
      odd0 = _mm256_add_epi32(odd0, _mm256_madd_epi16(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(x + 2 * p + 1)), c0));
      even1 = _mm256_add_epi32(even1, _mm256_madd_epi16(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(x + 2 * p + 2)), c1));
      odd1 = _mm256_add_epi32(odd1, _mm256_madd_epi16(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(x + 2 * p + 3)), c1));
    }
    if (p < pairCount) {
      const __m256i c0 = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(pairs + p * kLanesPerPair));
      even0 = _mm256_add_epi32(even0, _mm256_madd_epi16(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(x + 2 * p)), c0));
      odd0 = _mm256_add_epi32(odd0, _mm256_madd_epi16(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(x + 2 * p + 1)), c0));
    }
    const __m256i even = _mm256_sra_epi32(_mm256_add_epi32(even0, even1), shiftCount);
    const __m256i odd = _mm256_sra_epi32(_mm256_add_epi32(odd0, odd1), shiftCount);
    // Saturated to 16 bits and interleaved back into sample order (per 128-bit half: outputs 0-7, 8-15).
    const __m256i interleaved = _mm256_unpacklo_epi16(_mm256_packs_epi32(even, even), _mm256_packs_epi32(odd, odd));
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + b * kOutputs), interleaved);
  }
}

void FirSse2(const int16_t* in, int64_t blocks, const int32_t* pairs, int64_t pairCount, int32_t shift, int16_t* out) {
  constexpr int64_t kOutputs = 8;
  const __m128i rounding = _mm_set1_epi32(RoundingTerm(shift));
  const __m128i shiftCount = _mm_cvtsi32_si128(shift);
  for (int64_t b = 0; b < blocks; ++b) {
    const int16_t* x = in + b * kOutputs;
    __m128i even0 = rounding;
    __m128i even1 = _mm_setzero_si128();
    __m128i odd0 = rounding;
    __m128i odd1 = _mm_setzero_si128();
    int64_t p = 0;
    for (; p + 2 <= pairCount; p += 2) {
      const __m128i c0 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(pairs + p * kLanesPerPair));
      const __m128i c1 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(pairs + (p + 1) * kLanesPerPair));
      even0 = _mm_add_epi32(even0, _mm_madd_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(x + 2 * p)), c0));
      odd0 = _mm_add_epi32(odd0, _mm_madd_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(x + 2 * p + 1)), c0));
      even1 = _mm_add_epi32(even1, _mm_madd_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(x + 2 * p + 2)), c1));
      odd1 = _mm_add_epi32(odd1, _mm_madd_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(x + 2 * p + 3)), c1));
    }
    if (p < pairCount) {
      const __m128i c0 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(pairs + p * kLanesPerPair));
      even0 = _mm_add_epi32(even0, _mm_madd_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(x + 2 * p)), c0));
      odd0 = _mm_add_epi32(odd0, _mm_madd_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(x + 2 * p + 1)), c0));
    }
    const __m128i even = _mm_sra_epi32(_mm_add_epi32(even0, even1), shiftCount);
    const __m128i odd = _mm_sra_epi32(_mm_add_epi32(odd0, odd1), shiftCount);
    const __m128i interleaved = _mm_unpacklo_epi16(_mm_packs_epi32(even, even), _mm_packs_epi32(odd, odd));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + b * kOutputs), interleaved);
  }
}

#endif

}  // namespace

FirStage FirStage::Quantise(const std::vector<double>& taps, int32_t dcGain) {
  FirStage stage;
  for (int32_t shift = kFinestShift; shift >= 0; --shift) {
    stage.taps_ = ScaledTaps(taps, dcGain, shift);
    if (!stage.taps_.empty()) {
      stage.shift_ = shift;
      break;
    }
  }
  // A pair of taps per 32-bit word, the low tap in the low half, as the multiply-add instructions take
  // neighbouring samples.
  const std::size_t pairCount = stage.taps_.size() / 2 + 1;
  stage.pairs_.resize(pairCount * kLanesPerPair);
  for (std::size_t p = 0; p < pairCount; ++p) {
    const int16_t low = stage.taps_[2 * p];
    const int16_t high = 2 * p + 1 < stage.taps_.size() ? stage.taps_[2 * p + 1] : int16_t{0};
    const auto word = static_cast<int32_t>(static_cast<uint32_t>(static_cast<uint16_t>(low)) |
                                           (static_cast<uint32_t>(static_cast<uint16_t>(high)) << 16));
    std::fill_n(stage.pairs_.begin() + static_cast<std::ptrdiff_t>(p * kLanesPerPair), kLanesPerPair, word);
  }
  return stage;
}

double FirStage::Gain(double cyclesPerSample) const {
  const int64_t h = HalfSupport();
  double sum = taps_[static_cast<std::size_t>(h)];
  for (int64_t k = 1; k <= h; ++k) {
    sum += 2.0 * taps_[static_cast<std::size_t>(h + k)] * DesignMath::CosineOfTurns(cyclesPerSample * static_cast<double>(k));
  }
  return sum / static_cast<double>(int64_t{1} << shift_);
}

bool FirStage::Supports(Path path) {
#ifdef SKELVANE_FILTER_X86
  static const bool avx2 = __builtin_cpu_supports("avx2");
  return path != Path::kAvx2 || avx2;
#else
  return path == Path::kScalar;
#endif
}

void FirStage::Apply(const int16_t* in, int64_t count, int16_t* out) const {
  static const Path best = Supports(Path::kAvx2) ? Path::kAvx2 : Supports(Path::kSse2) ? Path::kSse2 : Path::kScalar;
  ApplyWith(best, in, count, out);
}

void FirStage::ApplyWith(Path path, const int16_t* in, int64_t count, int16_t* out) const {
  switch (path) {
    case Path::kAvx2:
      ApplyAvx2(in, count, out);
      return;
    case Path::kSse2:
      ApplySse2(in, count, out);
      return;
    case Path::kScalar:
      break;
  }
  ApplyScalar(in, 0, count, out);
}

void FirStage::ApplyScalar(const int16_t* in, int64_t from, int64_t count, int16_t* out) const {
  const int64_t taps = static_cast<int64_t>(taps_.size());
  const int32_t rounding = RoundingTerm(shift_);
  for (int64_t i = from; i < count; ++i) {
    // Exact: the tap magnitudes bound every partial sum inside 32 bits.
    int32_t sum = rounding;
    for (int64_t k = 0; k < taps; ++k) sum += int32_t{taps_[static_cast<std::size_t>(k)]} * in[i + k];
    out[i] = ClampTo<int16_t>(sum >> shift_);
  }
}

void FirStage::ApplySse2(const int16_t* in, int64_t count, int16_t* out) const {
  int64_t done = 0;
#ifdef SKELVANE_FILTER_X86
  constexpr int64_t kOutputs = 8;
  const int64_t blocks = count / kOutputs;
  FirSse2(in, blocks, pairs_.data(), static_cast<int64_t>(pairs_.size()) / kLanesPerPair, shift_, out);
  done = blocks * kOutputs;
#endif
  ApplyScalar(in, done, count, out);
}

void FirStage::ApplyAvx2(const int16_t* in, int64_t count, int16_t* out) const {
  int64_t done = 0;
#ifdef SKELVANE_FILTER_X86
  constexpr int64_t kOutputs = 16;
  const int64_t blocks = count / kOutputs;
  FirAvx2(in, blocks, pairs_.data(), static_cast<int64_t>(pairs_.size()) / kLanesPerPair, shift_, out);
  done = blocks * kOutputs;
#endif
  ApplyScalar(in, done, count, out);
}

}  // namespace skelvane
