#include "summary/SampleExtremes.h"

#include <immintrin.h>

#include <algorithm>
#include <cstring>
#include <limits>

namespace skelvane {
namespace {

constexpr int16_t kHighest = std::numeric_limits<int16_t>::max();
constexpr int16_t kLowest = std::numeric_limits<int16_t>::min();

// The smallest and largest of the eight lanes.
void Reduce(__m128i low, __m128i high, int16_t& lowest, int16_t& highest) {
  low = _mm_min_epi16(low, _mm_shuffle_epi32(low, _MM_SHUFFLE(1, 0, 3, 2)));
  high = _mm_max_epi16(high, _mm_shuffle_epi32(high, _MM_SHUFFLE(1, 0, 3, 2)));
  low = _mm_min_epi16(low, _mm_shuffle_epi32(low, _MM_SHUFFLE(2, 3, 0, 1)));
  high = _mm_max_epi16(high, _mm_shuffle_epi32(high, _MM_SHUFFLE(2, 3, 0, 1)));
  low = _mm_min_epi16(low, _mm_srli_epi32(low, 16));
  high = _mm_max_epi16(high, _mm_srli_epi32(high, 16));
  lowest = static_cast<int16_t>(_mm_cvtsi128_si32(low));
  highest = static_cast<int16_t>(_mm_cvtsi128_si32(high));
}

// The samples left over after the last whole vector.
void Tail(const uint8_t* bytes, int32_t from, int32_t count, int16_t& lowest, int16_t& highest) {
  for (int32_t i = from; i < count; ++i) {
    int16_t sample = 0;
    std::memcpy(&sample, bytes + 2 * i, sizeof sample);
    lowest = std::min(lowest, sample);
    highest = std::max(highest, sample);
  }
}

__attribute__((target("avx2"))) void ExtremesAvx2(const uint8_t* bytes, int32_t count, int16_t& lowest,
                                                  int16_t& highest) {
  constexpr int32_t kLanes = 16;
  __m256i low = _mm256_set1_epi16(kHighest);
  __m256i high = _mm256_set1_epi16(kLowest);
  int32_t i = 0;
  for (; i + kLanes <= count; i += kLanes) {
    const __m256i v = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(bytes + 2 * i));
    low = _mm256_min_epi16(low, v);
    high = _mm256_max_epi16(high, v);
  }
  Reduce(_mm_min_epi16(_mm256_castsi256_si128(low), _mm256_extracti128_si256(low, 1)),
         _mm_max_epi16(_mm256_castsi256_si128(high), _mm256_extracti128_si256(high, 1)), lowest, highest);
  Tail(bytes, i, count, lowest, highest);
}

// Each run's two vectors folded to eight words; the smallest word found by phminposuw, which takes
// unsigned words: the smallest signed sample is the smallest with its sign bit flipped, and the
// largest the smallest with all other bits flipped (the order turned round), flipped back.
__attribute__((target("avx2"))) void RunExtremesAvx2(const uint8_t* bytes, int32_t runs, int16_t* lows,
                                                     int16_t* highs) {
  constexpr int32_t kSignBit = 0x8000;
  constexpr int32_t kOtherBits = 0x7FFF;
  const __m128i signBit = _mm_set1_epi16(static_cast<int16_t>(kSignBit));
  const __m128i otherBits = _mm_set1_epi16(static_cast<int16_t>(kOtherBits));
  for (int32_t r = 0; r < runs; ++r) {
    const uint8_t* run = bytes + static_cast<std::size_t>(r) * 2 * SampleExtremes::kRunSamples;
    const __m256i a = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(run));
    const __m256i b = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(run + 32));
    const __m256i low = _mm256_min_epi16(a, b);
    const __m256i high = _mm256_max_epi16(a, b);
    const __m128i low8 = _mm_min_epi16(_mm256_castsi256_si128(low), _mm256_extracti128_si256(low, 1));
    const __m128i high8 = _mm_max_epi16(_mm256_castsi256_si128(high), _mm256_extracti128_si256(high, 1));
    const int32_t lowest = _mm_cvtsi128_si32(_mm_minpos_epu16(_mm_xor_si128(low8, signBit))) ^ kSignBit;
    const int32_t highest = _mm_cvtsi128_si32(_mm_minpos_epu16(_mm_xor_si128(high8, otherBits))) ^ kOtherBits;
    lows[r] = static_cast<int16_t>(lowest);
    highs[r] = static_cast<int16_t>(highest);
  }
}

void ExtremesSse2(const uint8_t* bytes, int32_t count, int16_t& lowest, int16_t& highest) {
  constexpr int32_t kLanes = 8;
  __m128i low = _mm_set1_epi16(kHighest);
  __m128i high = _mm_set1_epi16(kLowest);
  int32_t i = 0;
  for (; i + kLanes <= count; i += kLanes) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes + 2 * i));
    low = _mm_min_epi16(low, v);
    high = _mm_max_epi16(high, v);
  }
  Reduce(low, high, lowest, highest);
  Tail(bytes, i, count, lowest, highest);
}

// Asked once: the processor does not change under a running process.
bool HasAvx2() {
  static const bool avx2 = __builtin_cpu_supports("avx2");
  return avx2;
}

}  // namespace

void SampleExtremes::Of(const uint8_t* bytes, int32_t count, int16_t& low, int16_t& high) {
  if (HasAvx2()) return ExtremesAvx2(bytes, count, low, high);
  ExtremesSse2(bytes, count, low, high);
}

void SampleExtremes::OfRuns(const uint8_t* bytes, int32_t runs, int16_t* lows, int16_t* highs) {
  if (HasAvx2()) return RunExtremesAvx2(bytes, runs, lows, highs);
  OfRunsPortable(bytes, runs, lows, highs);
}

void SampleExtremes::OfRunsPortable(const uint8_t* bytes, int32_t runs, int16_t* lows, int16_t* highs) {
  for (int32_t r = 0; r < runs; ++r) {
    ExtremesSse2(bytes + static_cast<std::size_t>(r) * 2 * kRunSamples, kRunSamples, lows[r], highs[r]);
  }
}

void SampleExtremes::OfPortable(const uint8_t* bytes, int32_t count, int16_t& low, int16_t& high) {
  ExtremesSse2(bytes, count, low, high);
}

}  // namespace skelvane
