#include "render/ColumnBarCoverage.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace skelvane {
namespace {

// The rasteriser snaps window positions to 1/256 pixel before it decides coverage.
constexpr float kSubpixels = 256.0f;
constexpr int32_t kSubpixelBits = 8;
constexpr int64_t kSubpixelMask = 255;
// A column position within this many subpixels of a pixel edge is left to the rasteriser: its
// segment and its points settle that tie by different rules. So is one on a pixel centre, where
// the segment's end touches the corner of the next pixel's diamond.
constexpr int64_t kColumnEdgeMargin = 1;
constexpr int64_t kPixelCentre = 128;
// Row keys: a row's key leaves room below the next row's for a key per value of its own.
constexpr int64_t kKeysPerRow = int64_t{1} << 17;
constexpr int64_t kValueKeyOffset = 32769;  // int16 values map to 1..65536
constexpr int64_t kBelowKey = std::numeric_limits<int64_t>::min();
constexpr int64_t kAboveKey = std::numeric_limits<int64_t>::max();

}  // namespace

bool ColumnBarCoverage::SetTransform(const std::array<float, 16>& m, int32_t viewportX, int32_t viewportY,
                                     int32_t viewportWidth, int32_t viewportHeight) {
  // Column-major: m[0] and m[5] scale x and y, m[12] and m[13] translate; anything that mixes the
  // axes or makes w other than 1 is not a plot's transform.
  const bool scaleAndTranslate = m[1] == 0.0f && m[2] == 0.0f && m[3] == 0.0f && m[4] == 0.0f && m[6] == 0.0f &&
                                 m[7] == 0.0f && m[8] == 0.0f && m[9] == 0.0f && m[11] == 0.0f && m[15] == 1.0f;
  valid_ = scaleAndTranslate && viewportWidth > 0 && viewportHeight > 0 && std::isfinite(m[0]) &&
           std::isfinite(m[5]) && std::isfinite(m[12]) && std::isfinite(m[13]);
  if (!valid_) return false;
  scaleX_ = m[0];
  offsetX_ = m[12];
  scaleY_ = m[5];
  offsetY_ = m[13];
  viewportX_ = viewportX;
  viewportY_ = viewportY;
  viewportWidth_ = viewportWidth;
  viewportHeight_ = viewportHeight;
  halfWidth_ = static_cast<float>(viewportWidth) * 0.5f;
  centreX_ = static_cast<float>(viewportX) + halfWidth_;
  halfHeight_ = static_cast<float>(viewportHeight) * 0.5f;
  centreY_ = static_cast<float>(viewportY) + halfHeight_;
  KeepRows(viewportY, viewportHeight);
  return true;
}

void ColumnBarCoverage::KeepRows(int32_t firstRow, int32_t rows) {
  keptFirstRow_ = std::max(firstRow, viewportY_);
  keptLastRow_ = static_cast<int32_t>(std::min<int64_t>(int64_t{firstRow} + rows, int64_t{viewportY_} + viewportHeight_) - 1);
}

// The vertex stage rounds the product and the sum apart (this file is built without contraction);
// the viewport step is one fused multiply-add. A self-check in the renderer confirms both on the
// driver at hand before any bar is drawn this way.
float ColumnBarCoverage::ClipX(int32_t x) const {
  const float product = scaleX_ * static_cast<float>(x);
  return product + offsetX_;
}

float ColumnBarCoverage::ClipY(int32_t y) const {
  const float product = scaleY_ * static_cast<float>(y);
  return product + offsetY_;
}

int64_t ColumnBarCoverage::Snap(float clip, float half, float centre) {
  return std::lrint(std::fmaf(clip, half, centre) * kSubpixels);
}

bool ColumnBarCoverage::OnTie(int64_t snappedX) {
  const int64_t within = snappedX & kSubpixelMask;
  return within <= kColumnEdgeMargin || within >= kSubpixelMask + 1 - kColumnEdgeMargin ||
         std::llabs(within - kPixelCentre) <= kColumnEdgeMargin;
}

int64_t ColumnBarCoverage::RowKey(int32_t value) const {
  const float clip = ClipY(value);
  // Past the clip volume an end is cut at its edge: where it was does not matter.
  if (clip < -1.0f) return kBelowKey;
  if (clip > 1.0f) return kAboveKey;
  const int64_t row = Snap(clip, halfHeight_, centreY_) >> kSubpixelBits;
  // Past the kept rows an end lights only rows nobody sees: the rows it reaches up to from the other
  // end are all of those kept on its side.
  if (row > keptLastRow_) return kAboveKey;
  if (row < keptFirstRow_) return kBelowKey;
  // A row strictly inside the viewport holds only values strictly inside the clip volume, which the
  // masks decide by their row alone; anything on the first or last row may sit on the edge itself.
  if (row > viewportY_ && row < int64_t{viewportY_} + viewportHeight_ - 1) return row * kKeysPerRow;
  return row * kKeysPerRow + value + kValueKeyOffset;
}

bool ColumnBarCoverage::TieColumn(int32_t x) const {
  const float clipX = ClipX(x);
  if (!(clipX > -1.0f && clipX < 1.0f)) return true;
  const int64_t fx = Snap(clipX, halfWidth_, centreX_);
  const int64_t column = fx >> kSubpixelBits;
  return OnTie(fx) || column < viewportX_ || column >= int64_t{viewportX_} + viewportWidth_;
}

void ColumnBarCoverage::Compute(std::span<const int32_t> xs, std::span<const int16_t> lows,
                                std::span<const int16_t> highs, std::vector<Span>& spans,
                                std::vector<uint32_t>& undecided) const {
  spans.clear();
  undecided.clear();
  const std::size_t count = std::min({xs.size(), lows.size(), highs.size()});
  if (!valid_) {
    for (std::size_t i = 0; i < count; ++i) undecided.push_back(static_cast<uint32_t>(i));
    return;
  }
  // A vertex strictly inside the clip volume is snapped as it stands; one outside makes the
  // clipper move the segment's end and drop the point, and one on the boundary is a tie: both are
  // left to the rasteriser, unless the whole bar lies out on one side.
  auto inside = [](float clip) { return clip > -1.0f && clip < 1.0f; };
  for (std::size_t i = 0; i < count; ++i) {
    const auto index = static_cast<uint32_t>(i);
    const float clipX = ClipX(xs[i]);
    if (clipX < -1.0f || clipX > 1.0f) continue;
    const float clipLow = ClipY(lows[i]);
    const float clipHigh = ClipY(highs[i]);
    if ((clipLow < -1.0f && clipHigh < -1.0f) || (clipLow > 1.0f && clipHigh > 1.0f)) continue;
    if (!inside(clipX) || !inside(clipLow) || !inside(clipHigh)) {
      undecided.push_back(index);
      continue;
    }
    const int64_t fx = Snap(clipX, halfWidth_, centreX_);
    if (OnTie(fx)) {
      undecided.push_back(index);
      continue;
    }
    // A point lights the pixel its snapped position falls in (an exact edge counts to the pixel
    // above it), and the segment every pixel in between.
    const int64_t a = Snap(clipLow, halfHeight_, centreY_);
    const int64_t b = Snap(clipHigh, halfHeight_, centreY_);
    // Arithmetic shifts: pixel numbers round down, below the origin too.
    const int64_t column = fx >> kSubpixelBits;
    const int64_t first = std::min(a, b) >> kSubpixelBits;
    const int64_t last = std::max(a, b) >> kSubpixelBits;
    if (column < viewportX_ || column >= int64_t{viewportX_} + viewportWidth_ || first < viewportY_ ||
        last >= int64_t{viewportY_} + viewportHeight_) {
      undecided.push_back(index);
      continue;
    }
    spans.push_back({static_cast<int32_t>(column), static_cast<int32_t>(first), static_cast<int32_t>(last)});
  }
}

}  // namespace skelvane
