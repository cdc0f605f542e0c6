#include "render/VerticalChain.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <limits>

#include "platform/VectorIntrinsics.h"

namespace skelvane {
namespace {

constexpr int32_t kLanes = 8;
constexpr int32_t kMaskRows = 64;
constexpr int32_t kNoRow = std::numeric_limits<int32_t>::max();

#define SKELVANE_VECTOR __attribute__((target("avx2,fma"), always_inline)) inline

// The transform and the rasteriser's constants, as vectors.
struct Constants {
  __m256 scale, offset, half, centre, offCentre, zero, one, halfPixel, subpixels, absMask;
};

SKELVANE_VECTOR Constants MakeConstants(const VerticalChain::Transform& t, float offCentreX) {
  return {_mm256_set1_ps(t.scaleY),  _mm256_set1_ps(t.offsetY),  _mm256_set1_ps(t.halfHeight),
          _mm256_set1_ps(t.centreY), _mm256_set1_ps(offCentreX), _mm256_setzero_ps(),
          _mm256_set1_ps(1.0f),      _mm256_set1_ps(0.5f),       _mm256_set1_ps(256.0f),
          _mm256_castsi256_ps(_mm256_set1_epi32(0x7fffffff))};
}

// Eight points (all inside the clip volume): their window positions, and for each the
// first row whose centre lies at or above its end of a segment running up, of one running down
// from it and of one running down to it. An end stays in its pixel, unmoved or moved to the pixel's
// bottom or top edge, so that row is its pixel's row or the one above.
struct Points {
  __m256 window;
  __m256i up, downStart, downEnd;
};

SKELVANE_VECTOR Points PointsAt(const int16_t* ys, const Constants& c) {
  const __m256 v = _mm256_cvtepi32_ps(_mm256_cvtepi16_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(ys))));
  const __m256 clip = _mm256_add_ps(_mm256_mul_ps(c.scale, v), c.offset);
  Points p;
  p.window = _mm256_fmadd_ps(clip, c.half, c.centre);
  const __m256 row = _mm256_floor_ps(p.window);
  const __m256 d = _mm256_sub_ps(_mm256_sub_ps(p.window, row), c.halfPixel);
  const __m256 inDiamond =
      _mm256_cmp_ps(_mm256_add_ps(c.offCentre, _mm256_and_ps(d, c.absMask)), c.halfPixel, _CMP_LT_OQ);
  // The unmoved end, snapped as the line setup does it (half up, the point lying above the
  // viewport's bottom), is past its pixel's centre when it reaches 256 row + 1.
  const __m256 snapped =
      _mm256_add_ps(_mm256_mul_ps(_mm256_sub_ps(p.window, c.halfPixel), c.subpixels), c.halfPixel);
  const __m256 above = _mm256_cmp_ps(snapped, _mm256_fmadd_ps(row, c.subpixels, c.one), _CMP_GE_OQ);
  const __m256 dAtLeast = _mm256_cmp_ps(d, c.zero, _CMP_GE_OQ), dZero = _mm256_cmp_ps(d, c.zero, _CMP_EQ_OQ);
  const __m256 lowerHalf = _mm256_andnot_ps(dAtLeast, inDiamond);  // in the diamond, below its centre
  // Up: an end in its diamond's upper half, or on the centre row of an edge column, moves down to its
  // pixel's bottom. Down: the upper end moves up to the top from its diamond's lower half or from
  // the centre row of an edge column, the lower end from its diamond's lower half or centre.
  const __m256 moveUp = _mm256_and_ps(dAtLeast, _mm256_or_ps(inDiamond, dZero));
  const __m256 moveStart = _mm256_or_ps(lowerHalf, _mm256_andnot_ps(inDiamond, dZero));
  const __m256 moveEnd = _mm256_or_ps(lowerHalf, _mm256_and_ps(inDiamond, dZero));
  // A set mask is -1: subtracting it makes the row the one above.
  const __m256i pixelRow = _mm256_cvttps_epi32(row);
  p.up = _mm256_sub_epi32(pixelRow, _mm256_castps_si256(_mm256_andnot_ps(moveUp, above)));
  p.downStart = _mm256_sub_epi32(pixelRow, _mm256_castps_si256(_mm256_or_ps(moveStart, above)));
  p.downEnd = _mm256_sub_epi32(pixelRow, _mm256_castps_si256(_mm256_or_ps(moveEnd, above)));
  return p;
}

// The eight lanes moved down one, the next vector's first lane coming in last.
SKELVANE_VECTOR __m256i Next(__m256i here, __m256i after) {
  return _mm256_alignr_epi8(_mm256_permute2x128_si256(here, after, 0x21), here, 4);
}
SKELVANE_VECTOR __m256 Next(__m256 here, __m256 after) {
  return _mm256_castsi256_ps(Next(_mm256_castps_si256(here), _mm256_castps_si256(after)));
}

// Segments from each of eight points to the one after it: rows low..high, and whether they light any.
SKELVANE_VECTOR void Segments(const Points& here, const Points& after, __m256i& low, __m256i& high, __m256i& lights) {
  const __m256 w1 = Next(here.window, after.window);
  const __m256i rising = _mm256_castps_si256(_mm256_cmp_ps(w1, here.window, _CMP_GT_OQ));
  const __m256i falling = _mm256_castps_si256(_mm256_cmp_ps(w1, here.window, _CMP_LT_OQ));
  low = _mm256_blendv_epi8(Next(here.downEnd, after.downEnd), here.up, rising);
  const __m256i above = _mm256_blendv_epi8(here.downStart, Next(here.up, after.up), rising);
  high = _mm256_sub_epi32(above, _mm256_set1_epi32(1));
  lights = _mm256_and_si256(_mm256_or_si256(rising, falling), _mm256_cmpgt_epi32(above, low));
}

// Bits low..high (from `base`) of the lit segments among four, as 64-bit lanes.
SKELVANE_VECTOR __m256i Bits(__m128i low, __m128i high, __m128i lights, __m128i base) {
  const __m256i one = _mm256_set1_epi64x(1);
  const __m256i l = _mm256_cvtepi32_epi64(_mm_sub_epi32(low, base));
  const __m256i h = _mm256_cvtepi32_epi64(_mm_sub_epi32(high, base));
  const __m256i upTo = _mm256_sub_epi64(_mm256_sllv_epi64(one, _mm256_add_epi64(h, one)), one);
  const __m256i below = _mm256_sub_epi64(_mm256_sllv_epi64(one, l), one);
  return _mm256_and_si256(_mm256_cvtepi32_epi64(lights), _mm256_andnot_si256(below, upTo));
}

// `kCount` points from `at` on, those past the end taking the last point's value (equal points make
// no segment).
template <int32_t kCount = kLanes>
inline const int16_t* Load(const int16_t* ys, int32_t count, int32_t at, int16_t* padded) {
  if (at + kCount <= count) return ys + at;
  for (int32_t i = 0; i < kCount; ++i) padded[i] = ys[std::min(at + i, count - 1)];
  return padded;
}

// Bits low..high (from `base`, within 32 of it) of the lit segments among eight.
SKELVANE_VECTOR __m256i NarrowBits(__m256i low, __m256i high, __m256i lights, __m256i base) {
  const __m256i one = _mm256_set1_epi32(1);
  const __m256i upTo =
      _mm256_sub_epi32(_mm256_sllv_epi32(one, _mm256_add_epi32(_mm256_sub_epi32(high, base), one)), one);
  const __m256i below = _mm256_sub_epi32(_mm256_sllv_epi32(one, _mm256_sub_epi32(low, base)), one);
  return _mm256_and_si256(lights, _mm256_andnot_si256(below, upTo));
}

// The rows of a column whose rows all lie within 64 (kNarrow: 32) of `base`, in one pass: false when
// a point lies outside the clip volume.
// The 64-bit lanes (kNarrow: the 32-bit lanes) of a mask joined into one.
template <bool kNarrow>
__attribute__((target("avx2,fma"))) inline uint64_t Fold(__m256i bits) {
  __m256i folded = _mm256_or_si256(bits, _mm256_permute2x128_si256(bits, bits, 1));
  folded = _mm256_or_si256(folded, _mm256_shuffle_epi32(folded, _MM_SHUFFLE(1, 0, 3, 2)));
  auto rows = static_cast<uint64_t>(_mm256_extract_epi64(folded, 0));
  if (kNarrow) rows = (rows | (rows >> 32)) & 0xffffffffu;
  return rows;
}

// The rows of a column whose rows all lie within 64 (kNarrow: 32) of `base`, in one pass, stopping
// once every row from `base` to `base` + `span` is lit: no later segment can light another.
template <bool kNarrow>
__attribute__((target("avx2,fma"))) uint64_t ShortColumn(const int16_t* ys, int32_t count, float offCentreX,
                                                        const VerticalChain::Transform& t, int32_t base,
                                                        int32_t span) {
  constexpr int32_t kCheckEvery = 4 * kLanes;
  const uint64_t all = span == kMaskRows - 1 ? ~uint64_t{0} : (uint64_t{1} << (span + 1)) - 1;
  const Constants c = MakeConstants(t, offCentreX);
  const __m128i bases = _mm_set1_epi32(base);
  const __m256i wideBases = _mm256_set1_epi32(base);
  int16_t padded[kLanes];
  Points here = PointsAt(Load(ys, count, 0, padded), c);
  __m256i bits = _mm256_setzero_si256();
  for (int32_t i = 0; i + 1 < count; i += kLanes) {
    const Points after = PointsAt(Load(ys, count, i + kLanes, padded), c);
    __m256i low, high, lights;
    Segments(here, after, low, high, lights);
    if (kNarrow) {
      bits = _mm256_or_si256(bits, NarrowBits(low, high, lights, wideBases));
    } else {
      bits = _mm256_or_si256(bits, Bits(_mm256_castsi256_si128(low), _mm256_castsi256_si128(high),
                                        _mm256_castsi256_si128(lights), bases));
      bits = _mm256_or_si256(bits, Bits(_mm256_extracti128_si256(low, 1), _mm256_extracti128_si256(high, 1),
                                        _mm256_extracti128_si256(lights, 1), bases));
    }
    if ((i + kLanes) % kCheckEvery == 0 && Fold<kNarrow>(bits) == all) return all;
    here = after;
  }
  return Fold<kNarrow>(bits);
}

// The narrow column's pass sixteen points at a time, on machines with AVX-512: the same operations on
// every lane as the eight-lane form above, so the same rows.
#define SKELVANE_VECTOR512 __attribute__((target("avx512f"), always_inline)) inline
constexpr int32_t kWideLanes = 16;

struct Constants512 {
  __m512 scale, offset, half, centre, offCentre, zero, one, halfPixel, subpixels;
  __m512i absMask, oneRow;
};

struct Points512 {
  __m512 window;
  __m512i up, downStart, downEnd;
};

SKELVANE_VECTOR512 Points512 PointsAt512(const int16_t* ys, const Constants512& c) {
  const __m512 v = _mm512_cvtepi32_ps(_mm512_cvtepi16_epi32(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(ys))));
  const __m512 clip = _mm512_add_ps(_mm512_mul_ps(c.scale, v), c.offset);
  Points512 p;
  p.window = _mm512_fmadd_ps(clip, c.half, c.centre);
  const __m512 row = _mm512_roundscale_ps(p.window, _MM_FROUND_TO_NEG_INF | _MM_FROUND_NO_EXC);
  const __m512 d = _mm512_sub_ps(_mm512_sub_ps(p.window, row), c.halfPixel);
  const __m512 absD = _mm512_castsi512_ps(_mm512_and_si512(_mm512_castps_si512(d), c.absMask));
  const __mmask16 inDiamond = _mm512_cmp_ps_mask(_mm512_add_ps(c.offCentre, absD), c.halfPixel, _CMP_LT_OQ);
  const __m512 snapped =
      _mm512_add_ps(_mm512_mul_ps(_mm512_sub_ps(p.window, c.halfPixel), c.subpixels), c.halfPixel);
  const __mmask16 above = _mm512_cmp_ps_mask(snapped, _mm512_fmadd_ps(row, c.subpixels, c.one), _CMP_GE_OQ);
  const __mmask16 dAtLeast = _mm512_cmp_ps_mask(d, c.zero, _CMP_GE_OQ);
  const __mmask16 dZero = _mm512_cmp_ps_mask(d, c.zero, _CMP_EQ_OQ);
  const auto lowerHalf = static_cast<__mmask16>(~dAtLeast & inDiamond);
  const auto moveUp = static_cast<__mmask16>(dAtLeast & (inDiamond | dZero));
  const auto moveStart = static_cast<__mmask16>(lowerHalf | (~inDiamond & dZero));
  const auto moveEnd = static_cast<__mmask16>(lowerHalf | (inDiamond & dZero));
  const __m512i pixelRow = _mm512_cvttps_epi32(row);
  p.up = _mm512_mask_add_epi32(pixelRow, static_cast<__mmask16>(~moveUp & above), pixelRow, c.oneRow);
  p.downStart = _mm512_mask_add_epi32(pixelRow, static_cast<__mmask16>(moveStart | above), pixelRow, c.oneRow);
  p.downEnd = _mm512_mask_add_epi32(pixelRow, static_cast<__mmask16>(moveEnd | above), pixelRow, c.oneRow);
  return p;
}

SKELVANE_VECTOR512 __m512i Next512(__m512i here, __m512i after) { return _mm512_alignr_epi32(after, here, 1); }
SKELVANE_VECTOR512 __m512 Next512(__m512 here, __m512 after) {
  return _mm512_castsi512_ps(Next512(_mm512_castps_si512(here), _mm512_castps_si512(after)));
}

// The rows of a column whose rows all lie within 32 of `base`, as ShortColumn<true> finds them.
__attribute__((target("avx512f"))) uint64_t NarrowColumn512(const int16_t* ys, int32_t count, float offCentreX,
                                                            const VerticalChain::Transform& t, int32_t base,
                                                            int32_t span) {
  constexpr int32_t kCheckEvery = 2 * kWideLanes;
  const uint32_t all = span == 31 ? ~uint32_t{0} : (uint32_t{1} << (span + 1)) - 1;
  const Constants512 c{_mm512_set1_ps(t.scaleY),  _mm512_set1_ps(t.offsetY),   _mm512_set1_ps(t.halfHeight),
                       _mm512_set1_ps(t.centreY), _mm512_set1_ps(offCentreX),  _mm512_setzero_ps(),
                       _mm512_set1_ps(1.0f),      _mm512_set1_ps(0.5f),        _mm512_set1_ps(256.0f),
                       _mm512_set1_epi32(0x7fffffff), _mm512_set1_epi32(1)};
  const __m512i bases = _mm512_set1_epi32(base);
  int16_t padded[kWideLanes];
  Points512 here = PointsAt512(Load<kWideLanes>(ys, count, 0, padded), c);
  __m512i bits = _mm512_setzero_si512();
  for (int32_t i = 0; i + 1 < count; i += kWideLanes) {
    const Points512 after = PointsAt512(Load<kWideLanes>(ys, count, i + kWideLanes, padded), c);
    // Segments from each of the sixteen points to the one after it.
    const __m512 w1 = Next512(here.window, after.window);
    const __mmask16 rising = _mm512_cmp_ps_mask(w1, here.window, _CMP_GT_OQ);
    const __mmask16 falling = _mm512_cmp_ps_mask(w1, here.window, _CMP_LT_OQ);
    const __m512i low = _mm512_mask_blend_epi32(rising, Next512(here.downEnd, after.downEnd), here.up);
    const __m512i top = _mm512_mask_blend_epi32(rising, here.downStart, Next512(here.up, after.up));
    const auto lights = static_cast<__mmask16>((rising | falling) & _mm512_cmpgt_epi32_mask(top, low));
    // Bits low..high from the base: high is the row below `top`.
    const __m512i upTo = _mm512_sub_epi32(_mm512_sllv_epi32(c.oneRow, _mm512_sub_epi32(top, bases)), c.oneRow);
    const __m512i below = _mm512_sub_epi32(_mm512_sllv_epi32(c.oneRow, _mm512_sub_epi32(low, bases)), c.oneRow);
    bits = _mm512_or_si512(bits, _mm512_maskz_andnot_epi32(lights, below, upTo));
    if ((i + kWideLanes) % kCheckEvery == 0 && static_cast<uint32_t>(_mm512_reduce_or_epi32(bits)) == all) return all;
    here = after;
  }
  return static_cast<uint32_t>(_mm512_reduce_or_epi32(bits));
}

// Every segment's rows, for a column too tall for one mask.
__attribute__((target("avx2,fma"))) void SegmentRows(const int16_t* ys, int32_t count, float offCentreX,
                                                    const VerticalChain::Transform& t, int32_t* low, int32_t* high) {
  const Constants c = MakeConstants(t, offCentreX);
  const __m256i none = _mm256_set1_epi32(kNoRow);
  int16_t padded[kLanes];
  Points here = PointsAt(Load(ys, count, 0, padded), c);
  for (int32_t i = 0; i + 1 < count; i += kLanes) {
    const Points after = PointsAt(Load(ys, count, i + kLanes, padded), c);
    __m256i l, h, lights;
    Segments(here, after, l, h, lights);
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(low + i), _mm256_blendv_epi8(none, l, lights));
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(high + i), h);
    here = after;
  }
}

// Smallest and largest of the values.
__attribute__((target("avx2"))) void ValueRange(const int16_t* ys, int32_t count, int16_t& lowest, int16_t& highest) {
  __m128i low = _mm_set1_epi16(std::numeric_limits<int16_t>::max());
  __m128i high = _mm_set1_epi16(std::numeric_limits<int16_t>::min());
  int32_t i = 0;
  if (count >= 16) {
    __m256i wideLow = _mm256_set1_epi16(std::numeric_limits<int16_t>::max());
    __m256i wideHigh = _mm256_set1_epi16(std::numeric_limits<int16_t>::min());
    for (; i + 16 <= count; i += 16) {
      const __m256i v = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(ys + i));
      wideLow = _mm256_min_epi16(wideLow, v);
      wideHigh = _mm256_max_epi16(wideHigh, v);
    }
    low = _mm_min_epi16(_mm256_castsi256_si128(wideLow), _mm256_extracti128_si256(wideLow, 1));
    high = _mm_max_epi16(_mm256_castsi256_si128(wideHigh), _mm256_extracti128_si256(wideHigh, 1));
  }
  for (; i + 8 <= count; i += 8) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(ys + i));
    low = _mm_min_epi16(low, v);
    high = _mm_max_epi16(high, v);
  }
  // Eight lanes down to one: the unsigned minimum of the values shifted by 0x8000 is one instruction.
  const __m128i bias = _mm_set1_epi16(std::numeric_limits<int16_t>::min());
  lowest = static_cast<int16_t>(_mm_extract_epi16(_mm_minpos_epu16(_mm_xor_si128(low, bias)), 0) ^ 0x8000);
  highest = static_cast<int16_t>(~_mm_extract_epi16(_mm_minpos_epu16(_mm_xor_si128(high, _mm_set1_epi16(0x7fff))), 0) ^ 0x8000);
  for (; i < count; ++i) {
    lowest = std::min(lowest, ys[i]);
    highest = std::max(highest, ys[i]);
  }
}

// The window row a value falls in, by the same steps as the vector form; false when the value lies
// on or past the clip volume's top or bottom.
__attribute__((target("avx2,fma"))) bool WindowRow(int16_t y, const VerticalChain::Transform& t, int32_t& row) {
  const float product = t.scaleY * static_cast<float>(y);
  const float clip = product + t.offsetY;
  row = static_cast<int32_t>(std::floor(__builtin_fmaf(clip, t.halfHeight, t.centreY)));
  return clip > -1.0f && clip < 1.0f;
}

void AddBits(int32_t low, uint64_t bits, std::vector<VerticalChain::RowRun>& runs) {
  while (bits != 0) {
    const int32_t from = std::countr_zero(bits);
    const int32_t length = std::countr_one(bits >> from);
    runs.push_back({low + from, low + from + length - 1});
    if (from + length >= kMaskRows) break;
    bits &= ~((uint64_t{1} << (from + length)) - 1);
  }
}

}  // namespace

bool VerticalChain::Available() {
  static const bool available = __builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma");
  return available;
}

bool VerticalChain::SixteenLanesAvailable() {
  static const bool available = Available() && ProcessorHasAvx512();
  return available;
}

void VerticalChain::UseSixteenLanes(bool use) { sixteenLanes_ = use && SixteenLanesAvailable(); }

bool VerticalChain::Compute(const int16_t* ys, int32_t count, float offCentreX, const Transform& transform,
                            std::vector<RowRun>& runs) {
  runs.clear();
  if (count < 2) return true;
  // Every segment's rows lie between the rows of the lowest and the highest point.
  int16_t lowest = 0;
  int16_t highest = 0;
  ValueRange(ys, count, lowest, highest);
  int32_t a = 0;
  int32_t b = 0;
  if (!WindowRow(lowest, transform, a) || !WindowRow(highest, transform, b)) return false;
  const int32_t low = std::min(a, b);
  const int32_t high = std::max(a, b);
  if (static_cast<int64_t>(high) - low >= kMaskRows) {
    return ComputeTall(ys, count, offCentreX, transform, low, high, runs);
  }
  const bool narrow = high - low < kMaskRows / 2;
  const uint64_t bits =
      narrow && sixteenLanes_ ? NarrowColumn512(ys, count, offCentreX, transform, low, high - low)
                              : (narrow ? ShortColumn<true> : ShortColumn<false>)(ys, count, offCentreX, transform, low,
                                                                                  high - low);
  AddBits(low, bits, runs);
  return true;
}

// A tall column: each segment's rows counted in, then read off as runs.
bool VerticalChain::ComputeTall(const int16_t* ys, int32_t count, float offCentreX, const Transform& transform,
                                int32_t low, int32_t high, std::vector<RowRun>& runs) {
  const auto segments = static_cast<std::size_t>((count + kLanes - 1) / kLanes * kLanes);
  if (low_.size() < segments) {
    low_.resize(segments);
    high_.resize(segments);
  }
  SegmentRows(ys, count, offCentreX, transform, low_.data(), high_.data());
  coverage_.assign(static_cast<std::size_t>(high - low + 2), 0);
  for (int32_t i = 0; i + 1 < count; ++i) {
    if (low_[static_cast<std::size_t>(i)] == kNoRow) continue;
    ++coverage_[static_cast<std::size_t>(low_[static_cast<std::size_t>(i)] - low)];
    --coverage_[static_cast<std::size_t>(high_[static_cast<std::size_t>(i)] - low + 1)];
  }
  int32_t lit = 0;
  int32_t start = -1;
  for (int32_t row = 0; row <= high - low + 1; ++row) {
    lit += coverage_[static_cast<std::size_t>(row)];
    if (lit > 0 && start < 0) start = row;
    if (lit == 0 && start >= 0) {
      runs.push_back({low + start, low + row - 1});
      start = -1;
    }
  }
  return true;
}

}  // namespace skelvane
