#include "filter/QuietStretches.h"

#include <algorithm>
#include <cstdlib>
#include <limits>

#include "platform/VectorIntrinsics.h"

namespace skelvane {
namespace {

// Highest less lowest of in[first, end), one by one.
int32_t RangeScalar(const int16_t* in, int64_t first, int64_t end) {
  const auto [low, high] = std::minmax_element(in + first, in + end);
  return int32_t{*high} - int32_t{*low};
}

#ifdef SKELVANE_FILTER_X86
// Highest less lowest of `rows` x 16 samples from p: the rows' extremes lane by lane, then across the
// lanes with the instruction that finds the least of eight unsigned words (signed words turned into
// unsigned ones in order by flipping the sign bit, and in reverse order by flipping the others).
SKELVANE_AVX2 int32_t RangeAvx2(const int16_t* p, int64_t rows) {
  __m256i low = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
  __m256i high = low;
  for (int64_t r = 1; r < rows; ++r) {
    const __m256i row = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + 16 * r));
    low = _mm256_min_epi16(low, row);
    high = _mm256_max_epi16(high, row);
  }
  const __m128i low8 = _mm_min_epi16(_mm256_castsi256_si128(low), _mm256_extracti128_si256(low, 1));
  const __m128i high8 = _mm_max_epi16(_mm256_castsi256_si128(high), _mm256_extracti128_si256(high, 1));
  const int32_t lowest = static_cast<int16_t>(
      _mm_cvtsi128_si32(_mm_minpos_epu16(_mm_xor_si128(low8, _mm_set1_epi16(static_cast<int16_t>(0x8000))))) ^ 0x8000);
  const int32_t highest = static_cast<int16_t>(
      _mm_cvtsi128_si32(_mm_minpos_epu16(_mm_xor_si128(high8, _mm_set1_epi16(0x7FFF)))) ^ 0x7FFF);
  return highest - lowest;
}
#endif

}  // namespace

std::optional<QuietStretches> QuietStretches::For(const FilterDesign& design, int32_t level) {
  const std::vector<FilterDesign::Part> parts = design.Parts();
  if (parts.size() != 1 || parts.front().fir == nullptr || parts.front().fir->Spacing() != 1) return std::nullopt;
  const FirStage& fir = *parts.front().fir;
  int64_t magnitude = 0;
  int64_t sum = 0;
  for (const int16_t tap : fir.Taps()) {
    magnitude += std::abs(int64_t{tap});
    sum += tap;
  }
  if (sum != 0) return std::nullopt;
  // The outputs of sums within +-magnitude x m, as the FIR makes them: rounded, shifted, saturated.
  const int32_t shift = fir.Shift();
  const int64_t rounding = shift > 0 ? int64_t{1} << (shift - 1) : 0;
  const auto quiet = [&](int64_t m) {
    const int64_t highest = std::min<int64_t>((magnitude * m + rounding) >> shift, std::numeric_limits<int16_t>::max());
    const int64_t lowest = std::max<int64_t>((rounding - magnitude * m) >> shift, std::numeric_limits<int16_t>::min());
    return highest < level && lowest > -int64_t{level};
  };
  if (!quiet(0)) return std::nullopt;
  // The largest m (|x - c| at most, up to the 16-bit range's width) that stays quiet.
  int64_t low = 0;
  int64_t high = 65536;
  while (high - low > 1) {
    const int64_t middle = (low + high) / 2;
    (quiet(middle) ? low : high) = middle;
  }
  // A range r has |x - c| at most ceil(r / 2) about c = floor((lowest + highest) / 2).
  return QuietStretches(fir.HalfSupport(), static_cast<int32_t>(std::min<int64_t>(2 * low, 65535)));
}

void QuietStretches::Loud(const int16_t* in, int64_t count, bool startsAtEdge, bool endsAtEdge, int64_t from,
                          int64_t to, std::vector<FilterDesign::OutputRange>& loud) const {
#ifdef SKELVANE_FILTER_X86
  const bool avx2 = ProcessorHasAvx2();
#else
  constexpr bool avx2 = false;
#endif
  // A whole chunk's supports inside the input are read as rows of 16 from a little before the first
  // support to a little past the last one (which only widens the range).
  const int64_t lead = (half_ + 15) / 16 * 16;
  const int64_t rows = (kChunk + 2 * lead) / 16;
  for (int64_t a = from; a < to; a += kChunk) {
    const int64_t b = std::min(a + kChunk, to);
    const int64_t first = a - half_;
    const int64_t last = b + half_;  // past the last sample of the support
    bool quiet = false;
    if (avx2 && b - a == kChunk && a - lead >= 0 && a + kChunk + lead <= count) {
#ifdef SKELVANE_FILTER_X86
      quiet = RangeAvx2(in + a - lead, rows) <= widestQuiet_;
#endif
    } else if ((first >= 0 || startsAtEdge) && (last <= count || endsAtEdge)) {
      const int64_t begin = std::max<int64_t>(first, 0);
      const int64_t end = std::min(last, count);
      quiet = begin < end && RangeScalar(in, begin, end) <= widestQuiet_;
    }
    if (quiet) continue;
    if (!loud.empty() && loud.back().to == a) {
      loud.back().to = b;
    } else {
      loud.push_back({a, b});
    }
  }
}

}  // namespace skelvane
