#include "filter/FirStage.h"

#include <algorithm>
#include <cstdlib>
#include <limits>

#include "filter/DesignMath.h"
#include "filter/FilterWorkspace.h"
#include "platform/Saturating.h"
#include "platform/VectorIntrinsics.h"

namespace skelvane {
namespace {

// The finest scale tried for the taps; sums of full-scale samples limit it long before.
constexpr int32_t kFinestShift = 24;
constexpr int64_t kFullScale = 32768;  // largest magnitude of a 16-bit sample
constexpr int64_t kLargestSum = std::numeric_limits<int32_t>::max();
// Outputs whose input is checked at once for the folded paths: few enough that a burst of large
// samples sends little else down the plain paths, enough that the check costs nothing.
constexpr int64_t kFoldChunk = 4096;
// A periodic input whose support spans at most this many periods is repeated and filtered directly;
// a longer one has its taps folded onto one period.
constexpr int64_t kDirectPeriods = 3;

int32_t RoundingTerm(int32_t shift) { return shift > 0 ? int32_t{1} << (shift - 1) : 0; }

// Samples a stretch too short for a vector block may take, its support included, to be run as one
// block on a padded copy (PaddedBlock); longer supports go the scalar way.
constexpr int64_t kPaddedRoom = 2048;

// Outputs [0, count) of a stretch shorter than one block of `blockOutputs`, whose input holds count +
// `support` samples: the input is copied with zeros after it and `block` (input, output) makes a whole
// block there. Each output wanted reads only samples of the real input, so it is the same sum; the
// others read the zeros and are dropped. A single output costs less as a scalar sum, so for it, and
// when the copy would not fit, this returns false with nothing written.
template <typename Block>
bool PaddedBlock(const int16_t* in, int64_t count, int64_t support, int64_t blockOutputs, int16_t* out,
                 const Block& block) {
  if (count < 2 || count >= blockOutputs || blockOutputs + support > kPaddedRoom) return false;
  int16_t padded[kPaddedRoom];
  int16_t outputs[64];
  std::copy(in, in + count + support, padded);
  std::fill(padded + count + support, padded + blockOutputs + support, int16_t{0});
  block(padded, outputs);
  std::copy(outputs, outputs + count, out);
  return true;
}

// Two taps as one 32-bit word, the first in the low half (the multiply-add instructions' operand).
int32_t TapPair(int16_t low, int16_t high) {
  return static_cast<int32_t>(static_cast<uint32_t>(static_cast<uint16_t>(low)) |
                              (static_cast<uint32_t>(static_cast<uint16_t>(high)) << 16));
}

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

// Every kernel sums a block of outputs exactly in 32 bits; the plain ones weigh each sample by its
// tap, the folded ones first add the two samples that share a tap (x[n - k] + x[n + k], which the
// fold range keeps inside 16 bits) and so multiply half as often. All give the same bytes.

SKELVANE_AVX2 inline __m256i Load256(const int16_t* p) { return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p)); }
inline __m128i Load128(const int16_t* p) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p)); }

static_assert(FirStage::kFoldHighest - FirStage::kFoldLowest == 32767, "the fold range is the 15-bit range moved");

// True when all `count` samples lie within the fold range: then x - kFoldLowest, taken in 16 bits, never
// sets the top bit.
SKELVANE_AVX2 bool FoldableAvx2(const int16_t* x, int64_t count) {
  const __m256i offset = _mm256_set1_epi16(static_cast<int16_t>(-FirStage::kFoldLowest));
  __m256i bits = _mm256_setzero_si256();
  int64_t i = 0;
  for (; i + 16 <= count; i += 16) bits = _mm256_or_si256(bits, _mm256_add_epi16(Load256(x + i), offset));
  for (; i < count; ++i) {
    if (x[i] < FirStage::kFoldLowest || x[i] > FirStage::kFoldHighest) return false;
  }
  return _mm256_testz_si256(bits, _mm256_set1_epi16(static_cast<int16_t>(0x8000))) != 0;
}

bool FoldableSse2(const int16_t* x, int64_t count) {
  const __m128i offset = _mm_set1_epi16(static_cast<int16_t>(-FirStage::kFoldLowest));
  __m128i bits = _mm_setzero_si128();
  int64_t i = 0;
  for (; i + 8 <= count; i += 8) bits = _mm_or_si128(bits, _mm_add_epi16(Load128(x + i), offset));
  for (; i < count; ++i) {
    if (x[i] < FirStage::kFoldLowest || x[i] > FirStage::kFoldHighest) return false;
  }
  return (_mm_movemask_epi8(bits) & 0xAAAA) == 0;
}

// Plain, neighbouring taps: 16 outputs a block. Even lanes hold outputs 0, 2, ..., 14 of the block,
// odd ones 1, 3, ..., 15: the samples of tap pair p for the even outputs are the 16 samples from 2p
// on, for the odd ones from 2p + 1 on.
SKELVANE_AVX2 void PlainAvx2Blocks(const int16_t* in, int64_t blocks, const int32_t* pairs, int64_t pairCount,
                                   int32_t shift, int16_t* out) {
  constexpr int64_t kOutputs = 16;
  const __m256i rounding = _mm256_set1_epi32(RoundingTerm(shift));
  const __m128i shiftCount = _mm_cvtsi32_si128(shift);
  for (int64_t b = 0; b < blocks; ++b) {
    const int16_t* x = in + b * kOutputs;
    __m256i even0 = rounding;
    __m256i even1 = _mm256_setzero_si256();
    __m256i odd0 = rounding;
    __m256i odd1 = _mm256_setzero_si256();
    int64_t p = 0;
    for (; p + 2 <= pairCount; p += 2) {
      const __m256i c0 = _mm256_set1_epi32(pairs[p]);
      const __m256i c1 = _mm256_set1_epi32(pairs[p + 1]);
      even0 = _mm256_add_epi32(even0, _mm256_madd_epi16(Load256(x + 2 * p), c0));
      odd0 = _mm256_add_epi32(odd0, _mm256_madd_epi16(Load256(x + 2 * p + 1), c0));
      even1 = _mm256_add_epi32(even1, _mm256_madd_epi16(Load256(x + 2 * p + 2), c1));
      odd1 = _mm256_add_epi32(odd1, _mm256_madd_epi16(Load256(x + 2 * p + 3), c1));
    }
    if (p < pairCount) {
      const __m256i c0 = _mm256_set1_epi32(pairs[p]);
      even0 = _mm256_add_epi32(even0, _mm256_madd_epi16(Load256(x + 2 * p), c0));
      odd0 = _mm256_add_epi32(odd0, _mm256_madd_epi16(Load256(x + 2 * p + 1), c0));
    }
    const __m256i even = _mm256_sra_epi32(_mm256_add_epi32(even0, even1), shiftCount);
    const __m256i odd = _mm256_sra_epi32(_mm256_add_epi32(odd0, odd1), shiftCount);
    // Saturated to 16 bits and interleaved back into sample order (per 128-bit half: outputs 0-7, 8-15).
    const __m256i interleaved = _mm256_unpacklo_epi16(_mm256_packs_epi32(even, even), _mm256_packs_epi32(odd, odd));
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + b * kOutputs), interleaved);
  }
}

void PlainSse2Blocks(const int16_t* in, int64_t blocks, const int32_t* pairs, int64_t pairCount, int32_t shift,
                     int16_t* out) {
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
      const __m128i c0 = _mm_set1_epi32(pairs[p]);
      const __m128i c1 = _mm_set1_epi32(pairs[p + 1]);
      even0 = _mm_add_epi32(even0, _mm_madd_epi16(Load128(x + 2 * p), c0));
      odd0 = _mm_add_epi32(odd0, _mm_madd_epi16(Load128(x + 2 * p + 1), c0));
      even1 = _mm_add_epi32(even1, _mm_madd_epi16(Load128(x + 2 * p + 2), c1));
      odd1 = _mm_add_epi32(odd1, _mm_madd_epi16(Load128(x + 2 * p + 3), c1));
    }
    if (p < pairCount) {
      const __m128i c0 = _mm_set1_epi32(pairs[p]);
      even0 = _mm_add_epi32(even0, _mm_madd_epi16(Load128(x + 2 * p), c0));
      odd0 = _mm_add_epi32(odd0, _mm_madd_epi16(Load128(x + 2 * p + 1), c0));
    }
    const __m128i even = _mm_sra_epi32(_mm_add_epi32(even0, even1), shiftCount);
    const __m128i odd = _mm_sra_epi32(_mm_add_epi32(odd0, odd1), shiftCount);
    const __m128i interleaved = _mm_unpacklo_epi16(_mm_packs_epi32(even, even), _mm_packs_epi32(odd, odd));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + b * kOutputs), interleaved);
  }
}

// Folded, neighbouring taps: outputs [from, to) in pairs of 16-output blocks, the input read from
// from - 1 to to + 2 x half + 1 (times zero taps at both ends). With h_k the tap k from the middle,
// the even outputs weigh x[m + half] by h0 and the pairs (s_k, s_k+1) from k = 1 by (h_k, h_k+1),
// the odd ones (x[m + half], s_1) by (h0, h1) and the pairs from k = 2 by (h_k, h_k+1), where
// s_k = x[m + half + k] + x[m + half - k]: the samples of one odd-output pair are those of the
// even-output pair before it, so each load serves both.
SKELVANE_AVX2 void FoldedAvx2Blocks(const int16_t* in, int64_t from, int64_t to, int64_t half,
                                    const int32_t* fromEven, const int32_t* fromOdd, int32_t shift, int16_t* out) {
  constexpr int64_t kOutputs = 32;
  const int64_t pairs = (half + 1) / 2;
  // Swaps the two samples of every 32-bit word: the mirrored side is read backwards.
  const __m256i swap = _mm256_setr_epi8(2, 3, 0, 1, 6, 7, 4, 5, 10, 11, 8, 9, 14, 15, 12, 13, 2, 3, 0, 1, 6, 7, 4, 5, 10,
                                        11, 8, 9, 14, 15, 12, 13);
  const __m256i highHalves = _mm256_set1_epi32(static_cast<int32_t>(0xFFFF0000u));
  const __m256i middle = _mm256_set1_epi32(fromEven[0] & 0xFFFF);
  const __m256i first = _mm256_set1_epi32(fromEven[0]);
  const __m256i rounding = _mm256_set1_epi32(RoundingTerm(shift));
  const __m128i shiftCount = _mm_cvtsi32_si128(shift);
  for (int64_t n0 = from; n0 + kOutputs <= to; n0 += kOutputs) {
    const int16_t* x0 = in + n0 + half;
    const int16_t* x1 = x0 + kOutputs / 2;
    __m256i even0 = _mm256_add_epi32(rounding, _mm256_madd_epi16(Load256(x0), middle));
    __m256i even1 = _mm256_add_epi32(rounding, _mm256_madd_epi16(Load256(x1), middle));
    __m256i forward0 = Load256(x0 + 1);
    __m256i forward1 = Load256(x1 + 1);
    __m256i odd0 = _mm256_add_epi32(
        rounding, _mm256_madd_epi16(_mm256_add_epi16(forward0, _mm256_and_si256(_mm256_shuffle_epi8(Load256(x0), swap), highHalves)), first));
    __m256i odd1 = _mm256_add_epi32(
        rounding, _mm256_madd_epi16(_mm256_add_epi16(forward1, _mm256_and_si256(_mm256_shuffle_epi8(Load256(x1), swap), highHalves)), first));
    for (int64_t p = 0; p < pairs; ++p) {
      const int64_t k = 2 * p + 1;
      const __m256i evenTaps = _mm256_set1_epi32(fromOdd[p]);
      const __m256i oddTaps = _mm256_set1_epi32(fromEven[p + 1]);
      const __m256i back0 = _mm256_shuffle_epi8(Load256(x0 - k - 1), swap);
      const __m256i back1 = _mm256_shuffle_epi8(Load256(x1 - k - 1), swap);
      even0 = _mm256_add_epi32(even0, _mm256_madd_epi16(_mm256_add_epi16(forward0, back0), evenTaps));
      even1 = _mm256_add_epi32(even1, _mm256_madd_epi16(_mm256_add_epi16(forward1, back1), evenTaps));
      forward0 = Load256(x0 + k + 2);
      forward1 = Load256(x1 + k + 2);
      odd0 = _mm256_add_epi32(odd0, _mm256_madd_epi16(_mm256_add_epi16(forward0, back0), oddTaps));
      odd1 = _mm256_add_epi32(odd1, _mm256_madd_epi16(_mm256_add_epi16(forward1, back1), oddTaps));
    }
    const __m256i interleaved0 =
        _mm256_unpacklo_epi16(_mm256_packs_epi32(_mm256_sra_epi32(even0, shiftCount), _mm256_sra_epi32(even0, shiftCount)),
                              _mm256_packs_epi32(_mm256_sra_epi32(odd0, shiftCount), _mm256_sra_epi32(odd0, shiftCount)));
    const __m256i interleaved1 =
        _mm256_unpacklo_epi16(_mm256_packs_epi32(_mm256_sra_epi32(even1, shiftCount), _mm256_sra_epi32(even1, shiftCount)),
                              _mm256_packs_epi32(_mm256_sra_epi32(odd1, shiftCount), _mm256_sra_epi32(odd1, shiftCount)));
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + n0), interleaved0);
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + n0 + kOutputs / 2), interleaved1);
  }
}

// Taps `spacing` samples apart: 16 outputs a block, each lane its own output. A pair of taps weighs
// two vectors of samples interleaved into words: plain, the samples of taps 2q and 2q + 1 counted
// from the first tap; folded, s_2q and s_2q+1 counted from the middle one (s_0 = x[m + middle],
// s_j = x[m + middle + j M] + x[m + middle - j M]).
template <bool kFolded>
SKELVANE_AVX2 __m256i SpacedAvx2Samples(const int16_t* x, int64_t j, int64_t spacing) {
  if (!kFolded || j == 0) return Load256(x + j * spacing);
  return _mm256_add_epi16(Load256(x + j * spacing), Load256(x - j * spacing));
}

template <bool kFolded>
SKELVANE_AVX2 void SpacedAvx2Blocks(const int16_t* in, int64_t blocks, int64_t taps, int64_t spacing,
                                    const int32_t* pairs, int32_t shift, int16_t* out) {
  constexpr int64_t kOutputs = 16;
  const int64_t half = taps / 2;
  const int64_t last = kFolded ? half : taps - 1;  // the last sample vector weighed
  const __m256i rounding = _mm256_set1_epi32(RoundingTerm(shift));
  const __m128i shiftCount = _mm_cvtsi32_si128(shift);
  for (int64_t b = 0; b < blocks; ++b) {
    const int16_t* x = in + b * kOutputs + (kFolded ? half * spacing : 0);
    __m256i low = rounding;
    __m256i high = rounding;
    int64_t q = 0;
    for (; 2 * q + 1 <= last; ++q) {
      const __m256i a = SpacedAvx2Samples<kFolded>(x, 2 * q, spacing);
      const __m256i c = SpacedAvx2Samples<kFolded>(x, 2 * q + 1, spacing);
      const __m256i weights = _mm256_set1_epi32(pairs[q]);
      low = _mm256_add_epi32(low, _mm256_madd_epi16(_mm256_unpacklo_epi16(a, c), weights));
      high = _mm256_add_epi32(high, _mm256_madd_epi16(_mm256_unpackhi_epi16(a, c), weights));
    }
    if (2 * q == last) {
      const __m256i a = SpacedAvx2Samples<kFolded>(x, 2 * q, spacing);
      const __m256i weights = _mm256_set1_epi32(pairs[q]);
      low = _mm256_add_epi32(low, _mm256_madd_epi16(_mm256_unpacklo_epi16(a, _mm256_setzero_si256()), weights));
      high = _mm256_add_epi32(high, _mm256_madd_epi16(_mm256_unpackhi_epi16(a, _mm256_setzero_si256()), weights));
    }
    // Per 128-bit half the low words hold outputs 0-3, the high ones 4-7: packing restores the order.
    const __m256i packed = _mm256_packs_epi32(_mm256_sra_epi32(low, shiftCount), _mm256_sra_epi32(high, shiftCount));
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + b * kOutputs), packed);
  }
}

template <bool kFolded>
__m128i SpacedSse2Samples(const int16_t* x, int64_t j, int64_t spacing) {
  if (!kFolded || j == 0) return Load128(x + j * spacing);
  return _mm_add_epi16(Load128(x + j * spacing), Load128(x - j * spacing));
}

template <bool kFolded>
void SpacedSse2Blocks(const int16_t* in, int64_t blocks, int64_t taps, int64_t spacing, const int32_t* pairs,
                      int32_t shift, int16_t* out) {
  constexpr int64_t kOutputs = 8;
  const int64_t half = taps / 2;
  const int64_t last = kFolded ? half : taps - 1;
  const __m128i rounding = _mm_set1_epi32(RoundingTerm(shift));
  const __m128i shiftCount = _mm_cvtsi32_si128(shift);
  for (int64_t b = 0; b < blocks; ++b) {
    const int16_t* x = in + b * kOutputs + (kFolded ? half * spacing : 0);
    __m128i low = rounding;
    __m128i high = rounding;
    int64_t q = 0;
    for (; 2 * q + 1 <= last; ++q) {
      const __m128i a = SpacedSse2Samples<kFolded>(x, 2 * q, spacing);
      const __m128i c = SpacedSse2Samples<kFolded>(x, 2 * q + 1, spacing);
      const __m128i weights = _mm_set1_epi32(pairs[q]);
      low = _mm_add_epi32(low, _mm_madd_epi16(_mm_unpacklo_epi16(a, c), weights));
      high = _mm_add_epi32(high, _mm_madd_epi16(_mm_unpackhi_epi16(a, c), weights));
    }
    if (2 * q == last) {
      const __m128i a = SpacedSse2Samples<kFolded>(x, 2 * q, spacing);
      const __m128i weights = _mm_set1_epi32(pairs[q]);
      low = _mm_add_epi32(low, _mm_madd_epi16(_mm_unpacklo_epi16(a, _mm_setzero_si128()), weights));
      high = _mm_add_epi32(high, _mm_madd_epi16(_mm_unpackhi_epi16(a, _mm_setzero_si128()), weights));
    }
    const __m128i packed = _mm_packs_epi32(_mm_sra_epi32(low, shiftCount), _mm_sra_epi32(high, shiftCount));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + b * kOutputs), packed);
  }
}

// The same kernels on 512-bit vectors, twice the outputs a block; the words and their 128-bit quarters
// are laid out as in the 256-bit ones, so every step is the same step on more lanes.
SKELVANE_AVX512 inline __m512i Load512(const int16_t* p) { return _mm512_loadu_si512(p); }

SKELVANE_AVX512 bool FoldableAvx512(const int16_t* x, int64_t count) {
  const __m512i offset = _mm512_set1_epi16(static_cast<int16_t>(-FirStage::kFoldLowest));
  __m512i bits = _mm512_setzero_si512();
  int64_t i = 0;
  for (; i + 32 <= count; i += 32) bits = _mm512_or_si512(bits, _mm512_add_epi16(Load512(x + i), offset));
  for (; i < count; ++i) {
    if (x[i] < FirStage::kFoldLowest || x[i] > FirStage::kFoldHighest) return false;
  }
  return _mm512_test_epi16_mask(bits, _mm512_set1_epi16(static_cast<int16_t>(0x8000))) == 0;
}

SKELVANE_AVX512 void PlainAvx512Blocks(const int16_t* in, int64_t blocks, const int32_t* pairs, int64_t pairCount,
                                       int32_t shift, int16_t* out) {
  constexpr int64_t kOutputs = 32;
  const __m512i rounding = _mm512_set1_epi32(RoundingTerm(shift));
  const __m128i shiftCount = _mm_cvtsi32_si128(shift);
  for (int64_t b = 0; b < blocks; ++b) {
    const int16_t* x = in + b * kOutputs;
    __m512i even0 = rounding;
    __m512i even1 = _mm512_setzero_si512();
    __m512i odd0 = rounding;
    __m512i odd1 = _mm512_setzero_si512();
    int64_t p = 0;
    for (; p + 2 <= pairCount; p += 2) {
      const __m512i c0 = _mm512_set1_epi32(pairs[p]);
      const __m512i c1 = _mm512_set1_epi32(pairs[p + 1]);
      even0 = _mm512_add_epi32(even0, _mm512_madd_epi16(Load512(x + 2 * p), c0));
      odd0 = _mm512_add_epi32(odd0, _mm512_madd_epi16(Load512(x + 2 * p + 1), c0));
      even1 = _mm512_add_epi32(even1, _mm512_madd_epi16(Load512(x + 2 * p + 2), c1));
      odd1 = _mm512_add_epi32(odd1, _mm512_madd_epi16(Load512(x + 2 * p + 3), c1));
    }
    if (p < pairCount) {
      const __m512i c0 = _mm512_set1_epi32(pairs[p]);
      even0 = _mm512_add_epi32(even0, _mm512_madd_epi16(Load512(x + 2 * p), c0));
      odd0 = _mm512_add_epi32(odd0, _mm512_madd_epi16(Load512(x + 2 * p + 1), c0));
    }
    const __m512i even = _mm512_sra_epi32(_mm512_add_epi32(even0, even1), shiftCount);
    const __m512i odd = _mm512_sra_epi32(_mm512_add_epi32(odd0, odd1), shiftCount);
    const __m512i interleaved = _mm512_unpacklo_epi16(_mm512_packs_epi32(even, even), _mm512_packs_epi32(odd, odd));
    _mm512_storeu_si512(out + b * kOutputs, interleaved);
  }
}

SKELVANE_AVX512 void FoldedAvx512Blocks(const int16_t* in, int64_t from, int64_t to, int64_t half,
                                        const int32_t* fromEven, const int32_t* fromOdd, int32_t shift, int16_t* out) {
  constexpr int64_t kOutputs = 64;
  const int64_t pairs = (half + 1) / 2;
  const __m512i swap = _mm512_broadcast_i32x4(_mm_setr_epi8(2, 3, 0, 1, 6, 7, 4, 5, 10, 11, 8, 9, 14, 15, 12, 13));
  const __m512i highHalves = _mm512_set1_epi32(static_cast<int32_t>(0xFFFF0000u));
  const __m512i middle = _mm512_set1_epi32(fromEven[0] & 0xFFFF);
  const __m512i first = _mm512_set1_epi32(fromEven[0]);
  const __m512i rounding = _mm512_set1_epi32(RoundingTerm(shift));
  const __m128i shiftCount = _mm_cvtsi32_si128(shift);
  for (int64_t n0 = from; n0 + kOutputs <= to; n0 += kOutputs) {
    const int16_t* x0 = in + n0 + half;
    const int16_t* x1 = x0 + kOutputs / 2;
    __m512i even0 = _mm512_add_epi32(rounding, _mm512_madd_epi16(Load512(x0), middle));
    __m512i even1 = _mm512_add_epi32(rounding, _mm512_madd_epi16(Load512(x1), middle));
    __m512i forward0 = Load512(x0 + 1);
    __m512i forward1 = Load512(x1 + 1);
    __m512i odd0 = _mm512_add_epi32(
        rounding, _mm512_madd_epi16(_mm512_add_epi16(forward0, _mm512_and_si512(_mm512_shuffle_epi8(Load512(x0), swap), highHalves)), first));
    __m512i odd1 = _mm512_add_epi32(
        rounding, _mm512_madd_epi16(_mm512_add_epi16(forward1, _mm512_and_si512(_mm512_shuffle_epi8(Load512(x1), swap), highHalves)), first));
    for (int64_t p = 0; p < pairs; ++p) {
      const int64_t k = 2 * p + 1;
      const __m512i evenTaps = _mm512_set1_epi32(fromOdd[p]);
      const __m512i oddTaps = _mm512_set1_epi32(fromEven[p + 1]);
      const __m512i back0 = _mm512_shuffle_epi8(Load512(x0 - k - 1), swap);
      const __m512i back1 = _mm512_shuffle_epi8(Load512(x1 - k - 1), swap);
      even0 = _mm512_add_epi32(even0, _mm512_madd_epi16(_mm512_add_epi16(forward0, back0), evenTaps));
      even1 = _mm512_add_epi32(even1, _mm512_madd_epi16(_mm512_add_epi16(forward1, back1), evenTaps));
      forward0 = Load512(x0 + k + 2);
      forward1 = Load512(x1 + k + 2);
      odd0 = _mm512_add_epi32(odd0, _mm512_madd_epi16(_mm512_add_epi16(forward0, back0), oddTaps));
      odd1 = _mm512_add_epi32(odd1, _mm512_madd_epi16(_mm512_add_epi16(forward1, back1), oddTaps));
    }
    const __m512i interleaved0 =
        _mm512_unpacklo_epi16(_mm512_packs_epi32(_mm512_sra_epi32(even0, shiftCount), _mm512_sra_epi32(even0, shiftCount)),
                              _mm512_packs_epi32(_mm512_sra_epi32(odd0, shiftCount), _mm512_sra_epi32(odd0, shiftCount)));
    const __m512i interleaved1 =
        _mm512_unpacklo_epi16(_mm512_packs_epi32(_mm512_sra_epi32(even1, shiftCount), _mm512_sra_epi32(even1, shiftCount)),
                              _mm512_packs_epi32(_mm512_sra_epi32(odd1, shiftCount), _mm512_sra_epi32(odd1, shiftCount)));
    _mm512_storeu_si512(out + n0, interleaved0);
    _mm512_storeu_si512(out + n0 + kOutputs / 2, interleaved1);
  }
}

template <bool kFolded>
SKELVANE_AVX512 __m512i SpacedAvx512Samples(const int16_t* x, int64_t j, int64_t spacing) {
  if (!kFolded || j == 0) return Load512(x + j * spacing);
  return _mm512_add_epi16(Load512(x + j * spacing), Load512(x - j * spacing));
}

template <bool kFolded>
SKELVANE_AVX512 void SpacedAvx512Blocks(const int16_t* in, int64_t blocks, int64_t taps, int64_t spacing,
                                        const int32_t* pairs, int32_t shift, int16_t* out) {
  constexpr int64_t kOutputs = 32;
  const int64_t half = taps / 2;
  const int64_t last = kFolded ? half : taps - 1;
  const __m512i rounding = _mm512_set1_epi32(RoundingTerm(shift));
  const __m128i shiftCount = _mm_cvtsi32_si128(shift);
  for (int64_t b = 0; b < blocks; ++b) {
    const int16_t* x = in + b * kOutputs + (kFolded ? half * spacing : 0);
    __m512i low = rounding;
    __m512i high = rounding;
    int64_t q = 0;
    for (; 2 * q + 1 <= last; ++q) {
      const __m512i a = SpacedAvx512Samples<kFolded>(x, 2 * q, spacing);
      const __m512i c = SpacedAvx512Samples<kFolded>(x, 2 * q + 1, spacing);
      const __m512i weights = _mm512_set1_epi32(pairs[q]);
      low = _mm512_add_epi32(low, _mm512_madd_epi16(_mm512_unpacklo_epi16(a, c), weights));
      high = _mm512_add_epi32(high, _mm512_madd_epi16(_mm512_unpackhi_epi16(a, c), weights));
    }
    if (2 * q == last) {
      const __m512i a = SpacedAvx512Samples<kFolded>(x, 2 * q, spacing);
      const __m512i weights = _mm512_set1_epi32(pairs[q]);
      low = _mm512_add_epi32(low, _mm512_madd_epi16(_mm512_unpacklo_epi16(a, _mm512_setzero_si512()), weights));
      high = _mm512_add_epi32(high, _mm512_madd_epi16(_mm512_unpackhi_epi16(a, _mm512_setzero_si512()), weights));
    }
    const __m512i packed = _mm512_packs_epi32(_mm512_sra_epi32(low, shiftCount), _mm512_sra_epi32(high, shiftCount));
    _mm512_storeu_si512(out + b * kOutputs, packed);
  }
}

#endif

}  // namespace

FirStage FirStage::Quantise(const std::vector<double>& taps, int32_t dcGain, int32_t spacing) {
  FirStage stage;
  stage.spacing_ = spacing;
  for (int32_t shift = kFinestShift; shift >= 0; --shift) {
    stage.taps_ = ScaledTaps(taps, dcGain, shift);
    if (!stage.taps_.empty()) {
      stage.shift_ = shift;
      break;
    }
  }
  const std::vector<int16_t>& t = stage.taps_;
  const auto tap = [&](std::size_t k) { return k < t.size() ? t[k] : int16_t{0}; };
  const std::size_t half = t.size() / 2;
  for (std::size_t k = 0; k < t.size(); k += 2) stage.pairs_.push_back(TapPair(tap(k), tap(k + 1)));
  // From the middle on; a zero pair past the end keeps the folded loops free of tests.
  for (std::size_t k = 0; k <= half + 1; k += 2) stage.foldedFromEven_.push_back(TapPair(tap(half + k), tap(half + k + 1)));
  for (std::size_t k = 1; k <= half; k += 2) stage.foldedFromOdd_.push_back(TapPair(tap(half + k), tap(half + k + 1)));
  return stage;
}

double FirStage::Gain(double cyclesPerSample) const {
  const auto half = static_cast<int64_t>(taps_.size() / 2);
  double sum = taps_[static_cast<std::size_t>(half)];
  for (int64_t k = 1; k <= half; ++k) {
    sum += 2.0 * taps_[static_cast<std::size_t>(half + k)] *
           DesignMath::CosineOfTurns(cyclesPerSample * static_cast<double>(k * spacing_));
  }
  return sum / static_cast<double>(int64_t{1} << shift_);
}

bool FirStage::Supports(Path path) {
#ifdef SKELVANE_FILTER_X86
  return path == Path::kAvx512 ? ProcessorHasAvx512() : path != Path::kAvx2 || ProcessorHasAvx2();
#else
  return path == Path::kScalar;
#endif
}

FirStage::Path FirStage::BestPath() {
  static const Path best = Supports(Path::kAvx512) ? Path::kAvx512
                           : Supports(Path::kAvx2) ? Path::kAvx2
                           : Supports(Path::kSse2) ? Path::kSse2
                                                   : Path::kScalar;
  return best;
}

void FirStage::Apply(const int16_t* in, int64_t count, int16_t* out) const { ApplyWith(BestPath(), in, count, out); }

void FirStage::ApplyWith(Path path, const int16_t* in, int64_t count, int16_t* out) const {
  switch (path) {
    case Path::kAvx512:
      ApplyAvx(in, count, out, true);
      return;
    case Path::kAvx2:
      ApplyAvx(in, count, out, false);
      return;
    case Path::kSse2:
      ApplySse2(in, count, out);
      return;
    case Path::kScalar:
      break;
  }
  ApplyScalar(in, 0, count, out);
}

void FirStage::ApplyScalar(const int16_t* in, int64_t from, int64_t to, int16_t* out) const {
  const auto taps = static_cast<int64_t>(taps_.size());
  const int32_t rounding = RoundingTerm(shift_);
  const int16_t* t = taps_.data();
  for (int64_t i = from; i < to; ++i) {
    // Exact: the tap magnitudes bound every partial sum inside 32 bits. Neighbouring taps get a loop of
    // their own, which the compiler can vectorise.
    const int16_t* x = in + i;
    int32_t sum = rounding;
    if (spacing_ == 1) {
      for (int64_t k = 0; k < taps; ++k) sum += int32_t{t[k]} * x[k];
    } else {
      for (int64_t k = 0; k < taps; ++k) sum += int32_t{t[k]} * x[k * spacing_];
    }
    out[i] = ClampTo<int16_t>(sum >> shift_);
  }
}

void FirStage::ApplySse2(const int16_t* in, int64_t count, int16_t* out) const {
  int64_t done = 0;
#ifdef SKELVANE_FILTER_X86
  constexpr int64_t kOutputs = 8;
  const auto taps = static_cast<int64_t>(taps_.size());
  if (spacing_ == 1) {
    const int64_t blocks = count / kOutputs;
    PlainSse2Blocks(in, blocks, pairs_.data(), static_cast<int64_t>(pairs_.size()), shift_, out);
    done = blocks * kOutputs;
  } else {
    for (int64_t start = 0; start < count; start += kFoldChunk) {
      const int64_t end = std::min(count, start + kFoldChunk);
      const int64_t blocks = (end - start) / kOutputs;
      if (FoldableSse2(in + start, end - start + 2 * HalfSupport())) {
        SpacedSse2Blocks<true>(in + start, blocks, taps, spacing_, foldedFromEven_.data(), shift_, out + start);
      } else {
        SpacedSse2Blocks<false>(in + start, blocks, taps, spacing_, pairs_.data(), shift_, out + start);
      }
      ApplyScalar(in, start + blocks * kOutputs, end, out);
    }
    done = count;
  }
#endif
  ApplyScalar(in, done, count, out);
}

void FirStage::PlainAvx(const int16_t* in, int64_t from, int64_t to, int16_t* out, bool wide) const {
  int64_t done = from;
#ifdef SKELVANE_FILTER_X86
  const auto pairCount = static_cast<int64_t>(pairs_.size());
  if (wide) {
    const int64_t blocks = std::max<int64_t>(0, to - done) / 32;
    PlainAvx512Blocks(in + done, blocks, pairs_.data(), pairCount, shift_, out + done);
    done += blocks * 32;
  }
  const int64_t blocks = std::max<int64_t>(0, to - done) / 16;
  PlainAvx2Blocks(in + done, blocks, pairs_.data(), pairCount, shift_, out + done);
  done += blocks * 16;
  // A few outputs left (a short stretch, or the end of one): one block on a padded copy.
  if (PaddedBlock(in + done, to - done, 2 * HalfSupport() + kReadPad, 16, out + done,
                  [&](const int16_t* x, int16_t* o) { PlainAvx2Blocks(x, 1, pairs_.data(), pairCount, shift_, o); })) {
    done = to;
  }
#else
  (void)wide;
#endif
  ApplyScalar(in, done, to, out);
}

void FirStage::ApplyAvx(const int16_t* in, int64_t count, int16_t* out, bool wide) const {
#ifdef SKELVANE_FILTER_X86
  constexpr int64_t kFoldedOutputs = 32;
  const auto taps = static_cast<int64_t>(taps_.size());
  const int64_t half = HalfSupport();
  for (int64_t start = 0; start < count; start += kFoldChunk) {
    const int64_t end = std::min(count, start + kFoldChunk);
    const bool foldable = wide ? FoldableAvx512(in + start, end - start + 2 * half) : FoldableAvx2(in + start, end - start + 2 * half);
    if (spacing_ != 1) {
      const int32_t* weights = foldable ? foldedFromEven_.data() : pairs_.data();
      int64_t done = start;
      if (wide) {
        const int64_t blocks = (end - done) / 32;
        if (foldable) {
          SpacedAvx512Blocks<true>(in + done, blocks, taps, spacing_, weights, shift_, out + done);
        } else {
          SpacedAvx512Blocks<false>(in + done, blocks, taps, spacing_, weights, shift_, out + done);
        }
        done += blocks * 32;
      }
      const int64_t blocks = (end - done) / 16;
      const auto spacedBlocks = [&](const int16_t* x, int64_t blockCount, int16_t* o) {
        if (foldable) {
          SpacedAvx2Blocks<true>(x, blockCount, taps, spacing_, weights, shift_, o);
        } else {
          SpacedAvx2Blocks<false>(x, blockCount, taps, spacing_, weights, shift_, o);
        }
      };
      spacedBlocks(in + done, blocks, out + done);
      done += blocks * 16;
      if (!PaddedBlock(in + done, end - done, 2 * half + kReadPad, 16, out + done,
                       [&](const int16_t* x, int16_t* o) { spacedBlocks(x, 1, o); })) {
        ApplyScalar(in, done, end, out);
      }
      continue;
    }
    if (!foldable) {
      PlainAvx(in, start, end, out, wide);
      continue;
    }
    // The folded blocks read one sample before their first output's support and one past the padding
    // after the last's: the file's first block and its last samples go the plain way.
    const int64_t first = start == 0 ? std::min<int64_t>(end, 16) : start;
    PlainAvx(in, start, first, out, wide);
    const int64_t folded = std::max<int64_t>(0, std::min(end, count - 1) - first);
    int64_t foldedEnd = first;
    if (wide) {
      foldedEnd = first + folded / (2 * kFoldedOutputs) * (2 * kFoldedOutputs);
      FoldedAvx512Blocks(in, first, foldedEnd, half, foldedFromEven_.data(), foldedFromOdd_.data(), shift_, out);
    }
    const int64_t narrowEnd = foldedEnd + (first + folded - foldedEnd) / kFoldedOutputs * kFoldedOutputs;
    FoldedAvx2Blocks(in, foldedEnd, narrowEnd, half, foldedFromEven_.data(), foldedFromOdd_.data(), shift_, out);
    PlainAvx(in, narrowEnd, end, out, wide);
  }
#else
  (void)wide;
  ApplyScalar(in, 0, count, out);
#endif
}

void FirStage::ApplyPeriodic(const int16_t* in, int64_t period, int16_t* out, FilterWorkspace& work) const {
  const int64_t half = HalfSupport();
  // Up to a few periods of support the repeated input is filtered as it is, on the vector paths.
  if (2 * half <= kDirectPeriods * period) {
    const int64_t length = period + 2 * half + kReadPad;
    int16_t* repeated = FilterWorkspace::Room(work.repeated, length);
    int64_t at = (period - half % period) % period;  // the sample `half` before in[0]
    for (int64_t i = 0; i < length;) {
      const int64_t run = std::min(period - at, length - i);
      std::copy(in + at, in + at + run, repeated + i);
      i += run;
      at = 0;
    }
    Apply(repeated, period, out);
    return;
  }
  // Else each tap is added onto the sample it weighs within one period: the output's exact sum is the
  // same integer, shifted and saturated alike.
  int64_t* folded = FilterWorkspace::Room(work.wide[0], period);
  int64_t* sums = FilterWorkspace::Room(work.wide[1], period);
  std::fill(folded, folded + period, int64_t{0});
  for (std::size_t k = 0; k < taps_.size(); ++k) {
    const int64_t offset = (static_cast<int64_t>(k) * spacing_ - half) % period;
    folded[offset < 0 ? offset + period : offset] += taps_[k];
  }
  int16_t* twice = FilterWorkspace::Room(work.repeated, 2 * period);
  std::copy(in, in + period, twice);
  std::copy(in, in + period, twice + period);
  std::fill(sums, sums + period, int64_t{RoundingTerm(shift_)});
  for (int64_t j = 0; j < period; ++j) {
    const int64_t tap = folded[j];
    if (tap == 0) continue;
    const int16_t* x = twice + j;
    for (int64_t c = 0; c < period; ++c) sums[c] += tap * x[c];
  }
  for (int64_t c = 0; c < period; ++c) out[c] = ClampTo<int16_t>(sums[c] >> shift_);
}

}  // namespace skelvane
