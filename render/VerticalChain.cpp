#include "render/VerticalChain.h"

#include <immintrin.h>

#include <algorithm>
#include <limits>

namespace skelvane {
namespace {

constexpr int32_t kLanes = 8;
constexpr int32_t kMaskRows = 64;
constexpr int32_t kSubpixelBits = 8;
constexpr int32_t kHalfPixel = 128;
constexpr int32_t kCeilingAdd = 255;

// The first row whose centre lies at or above an end: `moved` where `move` is set, else `unmoved`.
__attribute__((target("avx2,fma"))) inline __m256i RowFrom(__m256i unmoved, __m256i moved, __m256 move,
                                                           __m256i ceiling) {
  const __m256i edge =
      _mm256_castps_si256(_mm256_blendv_ps(_mm256_castsi256_ps(unmoved), _mm256_castsi256_ps(moved), move));
  return _mm256_srai_epi32(_mm256_add_epi32(edge, ceiling), kSubpixelBits);
}

// Per point: its window row, and the first row whose centre lies at or above its end of a segment
// running up, of one running down from it, and of one running down to it.
__attribute__((target("avx2,fma"))) bool PointPass(const int16_t* ys, int32_t lanes, float offCentreX,
                                                   const VerticalChain::Transform& t, float* window, int32_t* up,
                                                   int32_t* downStart, int32_t* downEnd) {
  const __m256 scale = _mm256_set1_ps(t.scaleY), offset = _mm256_set1_ps(t.offsetY);
  const __m256 half = _mm256_set1_ps(t.halfHeight), centre = _mm256_set1_ps(t.centreY);
  const __m256 offCentre = _mm256_set1_ps(offCentreX);
  const __m256 zero = _mm256_setzero_ps(), one = _mm256_set1_ps(1.0f), minusOne = _mm256_set1_ps(-1.0f);
  const __m256 halfPixel = _mm256_set1_ps(0.5f), minusHalf = _mm256_set1_ps(-0.5f);
  const __m256 subpixels = _mm256_set1_ps(256.0f), absMask = _mm256_castsi256_ps(_mm256_set1_epi32(0x7fffffff));
  const __m256i bottomShift = _mm256_set1_epi32(-kHalfPixel), topShift = _mm256_set1_epi32(kHalfPixel);
  const __m256i ceiling = _mm256_set1_epi32(kCeilingAdd);
  __m256 inside = _mm256_castsi256_ps(_mm256_set1_epi32(-1));
  for (int32_t i = 0; i < lanes; i += kLanes) {
    const __m256 v = _mm256_cvtepi32_ps(_mm256_cvtepi16_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(ys + i))));
    const __m256 clip = _mm256_add_ps(_mm256_mul_ps(scale, v), offset);
    inside = _mm256_and_ps(inside, _mm256_and_ps(_mm256_cmp_ps(clip, minusOne, _CMP_GT_OQ),
                                                 _mm256_cmp_ps(clip, one, _CMP_LT_OQ)));
    const __m256 w = _mm256_fmadd_ps(clip, half, centre);
    const __m256 row = _mm256_floor_ps(w);
    const __m256 d = _mm256_sub_ps(_mm256_sub_ps(w, row), halfPixel);
    const __m256 inDiamond = _mm256_cmp_ps(_mm256_add_ps(offCentre, _mm256_and_ps(d, absMask)), halfPixel, _CMP_LT_OQ);
    // The unmoved end, snapped half away from zero as the line setup does it.
    const __m256 fixed = _mm256_mul_ps(_mm256_sub_ps(w, halfPixel), subpixels);
    const __m256 away = _mm256_blendv_ps(minusHalf, halfPixel, _mm256_cmp_ps(fixed, zero, _CMP_GE_OQ));
    const __m256i unmoved = _mm256_cvttps_epi32(_mm256_add_ps(fixed, away));
    const __m256i base = _mm256_slli_epi32(_mm256_cvttps_epi32(row), kSubpixelBits);
    const __m256i bottom = _mm256_add_epi32(base, bottomShift), top = _mm256_add_epi32(base, topShift);
    const __m256 dAtLeast = _mm256_cmp_ps(d, zero, _CMP_GE_OQ), dZero = _mm256_cmp_ps(d, zero, _CMP_EQ_OQ);
    const __m256 dBelow = _mm256_cmp_ps(d, zero, _CMP_LT_OQ), dAtMost = _mm256_cmp_ps(d, zero, _CMP_LE_OQ);
    const __m256 moveUp = _mm256_and_ps(dAtLeast, _mm256_or_ps(inDiamond, dZero));
    const __m256 moveStart = _mm256_or_ps(_mm256_and_ps(inDiamond, dBelow), _mm256_andnot_ps(inDiamond, dZero));
    const __m256 moveEnd = _mm256_and_ps(inDiamond, dAtMost);
    _mm256_storeu_ps(window + i, w);
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(up + i), RowFrom(unmoved, bottom, moveUp, ceiling));
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(downStart + i), RowFrom(unmoved, top, moveStart, ceiling));
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(downEnd + i), RowFrom(unmoved, top, moveEnd, ceiling));
  }
  return _mm256_movemask_ps(inside) == 0xff;
}

// Per segment i -> i + 1: its rows low..high (low > high when it lights none); returns the lowest
// low and the highest high over the segments that light any.
__attribute__((target("avx2,fma"))) void SegmentPass(int32_t lanes, const float* window, const int32_t* up,
                                                     const int32_t* downStart, const int32_t* downEnd, int32_t* low,
                                                     int32_t* high, int32_t& lowest, int32_t& highest) {
  const __m256i none = _mm256_set1_epi32(std::numeric_limits<int32_t>::max());
  const __m256i one = _mm256_set1_epi32(1);
  __m256i lows = none;
  __m256i highs = _mm256_set1_epi32(std::numeric_limits<int32_t>::min());
  for (int32_t i = 0; i < lanes; i += kLanes) {
    const __m256 w0 = _mm256_loadu_ps(window + i), w1 = _mm256_loadu_ps(window + i + 1);
    const __m256i rising = _mm256_castps_si256(_mm256_cmp_ps(w1, w0, _CMP_GT_OQ));
    const __m256i falling = _mm256_castps_si256(_mm256_cmp_ps(w1, w0, _CMP_LT_OQ));
    const __m256i u0 = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(up + i));
    const __m256i u1 = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(up + i + 1));
    const __m256i start = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(downStart + i));
    const __m256i end = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(downEnd + i + 1));
    __m256i l = _mm256_blendv_epi8(end, u0, rising);
    __m256i h = _mm256_sub_epi32(_mm256_blendv_epi8(start, u1, rising), one);
    const __m256i lights = _mm256_and_si256(_mm256_or_si256(rising, falling), _mm256_cmpgt_epi32(_mm256_add_epi32(h, one), l));
    l = _mm256_blendv_epi8(none, l, lights);
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(low + i), l);
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(high + i), h);
    lows = _mm256_min_epi32(lows, l);
    highs = _mm256_max_epi32(highs, _mm256_blendv_epi8(_mm256_set1_epi32(std::numeric_limits<int32_t>::min()), h, lights));
  }
  alignas(32) int32_t l[kLanes], h[kLanes];
  _mm256_store_si256(reinterpret_cast<__m256i*>(l), lows);
  _mm256_store_si256(reinterpret_cast<__m256i*>(h), highs);
  lowest = *std::min_element(l, l + kLanes);
  highest = *std::max_element(h, h + kLanes);
}

// The segments' rows as bits from row `base` on (every lit row within 64 of it).
__attribute__((target("avx2,fma"))) uint64_t MaskPass(int32_t lanes, const int32_t* low, const int32_t* high,
                                                      int32_t base) {
  const __m256i one = _mm256_set1_epi64x(1);
  const __m128i baseLanes = _mm_set1_epi32(base);
  __m256i bits = _mm256_setzero_si256();
  for (int32_t i = 0; i < lanes; i += kLanes / 2) {
    // A segment lighting no row has low = int max: its bits below low are all of them, so none is left.
    const __m256i l = _mm256_cvtepi32_epi64(_mm_sub_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(low + i)), baseLanes));
    const __m256i h = _mm256_cvtepi32_epi64(_mm_sub_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(high + i)), baseLanes));
    const __m256i upTo = _mm256_sub_epi64(_mm256_sllv_epi64(one, _mm256_add_epi64(h, one)), one);
    const __m256i below = _mm256_sub_epi64(_mm256_sllv_epi64(one, l), one);
    bits = _mm256_or_si256(bits, _mm256_andnot_si256(below, upTo));
  }
  alignas(32) uint64_t words[kLanes / 2];
  _mm256_store_si256(reinterpret_cast<__m256i*>(words), bits);
  return words[0] | words[1] | words[2] | words[3];
}

}  // namespace

bool VerticalChain::Available() {
  static const bool available = __builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma");
  return available;
}

bool VerticalChain::Compute(const int16_t* ys, int32_t count, float offCentreX, const Transform& transform,
                            Rows& rows) {
  rows = Rows{};
  if (count < 2) return true;
  // Whole vectors of points, padded with the last one (equal points make no segment), and one more
  // vector for the segment pass's look at the next point.
  const int32_t lanes = (count + kLanes - 1) / kLanes * kLanes;
  padded_.assign(ys, ys + count);
  padded_.resize(static_cast<std::size_t>(lanes + kLanes), ys[count - 1]);
  for (std::vector<int32_t>* v : {&up_, &downStart_, &downEnd_, &low_, &high_}) v->resize(static_cast<std::size_t>(lanes + kLanes));
  window_.resize(static_cast<std::size_t>(lanes + kLanes));
  if (!PointPass(padded_.data(), lanes + kLanes, offCentreX, transform, window_.data(), up_.data(), downStart_.data(),
                 downEnd_.data())) {
    return false;
  }
  int32_t lowest = 0;
  int32_t highest = 0;
  SegmentPass(lanes, window_.data(), up_.data(), downStart_.data(), downEnd_.data(), low_.data(), high_.data(),
              lowest, highest);
  if (lowest > highest) return true;  // no segment lights a row
  if (highest - lowest >= kMaskRows) return false;
  rows.low = lowest;
  rows.bits = MaskPass(lanes, low_.data(), high_.data(), lowest);
  return true;
}

}  // namespace skelvane
