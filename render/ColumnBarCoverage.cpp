#include "render/ColumnBarCoverage.h"

#include <algorithm>
#include <cmath>
#include <optional>
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
constexpr float kNearClip = WindowTransform::kNearClip;
constexpr float kClipMargin = WindowTransform::kClipMargin;
// Row keys: a row's key leaves room below the next row's for a key per value of its own.
constexpr int64_t kKeysPerRow = int64_t{1} << 17;
constexpr int64_t kValueKeyOffset = 32769;  // int16 values map to 1..65536
constexpr int64_t kBelowKey = std::numeric_limits<int64_t>::min();
constexpr int64_t kAboveKey = std::numeric_limits<int64_t>::max();

}  // namespace

bool ColumnBarCoverage::SetTransform(const std::array<float, 16>& matrix, int32_t viewportX, int32_t viewportY,
                                    int32_t viewportWidth, int32_t viewportHeight) {
  const std::optional<WindowTransform> transform =
      WindowTransform::From(matrix, viewportX, viewportY, viewportWidth, viewportHeight);
  valid_ = transform.has_value();
  if (!valid_) return false;
  t_ = *transform;
  KeepRows(viewportY, viewportHeight);
  return true;
}

void ColumnBarCoverage::KeepRows(int32_t firstRow, int32_t rows) {
  keptFirstRow_ = std::max(firstRow, t_.viewportY);
  keptLastRow_ = static_cast<int32_t>(std::min<int64_t>(int64_t{firstRow} + rows, int64_t{t_.viewportY} + t_.viewportHeight) - 1);
}

// The vertex stage rounds the product and the sum apart (this file is built without contraction);
// the viewport step is one fused multiply-add. A self-check in the renderer confirms both on the
// driver at hand before any bar is drawn this way.
float ColumnBarCoverage::ClipX(int32_t x) const {
  const float product = t_.scaleX * static_cast<float>(x);
  return product + t_.offsetX;
}

float ColumnBarCoverage::ClipY(int32_t y) const {
  const float product = t_.scaleY * static_cast<float>(y);
  return product + t_.offsetY;
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
  const int64_t row = Snap(clip, t_.halfHeight, t_.centreY) >> kSubpixelBits;
  // Past the kept rows an end lights only rows nobody sees: the rows it reaches up to from the other
  // end are all of those kept on its side.
  if (row > keptLastRow_) return kAboveKey;
  if (row < keptFirstRow_) return kBelowKey;
  // A row strictly inside the viewport holds only values strictly inside the clip volume, which the
  // masks decide by their row alone; anything on the first or last row may sit on the edge itself.
  if (row > t_.viewportY && row < int64_t{t_.viewportY} + t_.viewportHeight - 1) return row * kKeysPerRow;
  return row * kKeysPerRow + value + kValueKeyOffset;
}

std::optional<int32_t> ColumnBarCoverage::Column(int32_t x) const {
  if (!valid_) return std::nullopt;
  const float clipX = ClipX(x);
  if (!(clipX > -1.0f && clipX < 1.0f)) return std::nullopt;
  const int64_t fx = Snap(clipX, t_.halfWidth, t_.centreX);
  const int64_t column = fx >> kSubpixelBits;
  if (OnTie(fx) || column < t_.viewportX || column >= int64_t{t_.viewportX} + t_.viewportWidth) return std::nullopt;
  return static_cast<int32_t>(column);
}

std::optional<int32_t> ColumnBarCoverage::EdgeRow(int32_t y) const {
  if (!valid_) return std::nullopt;
  const float clip = ClipY(y);
  if (!(clip >= -1.0f && clip <= 1.0f)) return std::nullopt;
  const int64_t snapped = Snap(clip, t_.halfHeight, t_.centreY);
  const int64_t row = snapped >> kSubpixelBits;
  if ((snapped & kSubpixelMask) != 0 || row < t_.viewportY || row > int64_t{t_.viewportY} + t_.viewportHeight) {
    return std::nullopt;
  }
  return static_cast<int32_t>(row);
}

// A bar with an end past the top or bottom of the clip volume loses that end's point, and its
// segment ends where it leaves the volume, give or take the clipper's rounding. With its column well
// off its pixels' centres and both ends not far out, the segment lights the same rows wherever in
// that margin its end lands: every row from the inside end's pixel (or the viewport's other edge) to
// the viewport's edge. An end exactly on the boundary, or anything else, is left to the rasteriser.
std::optional<ColumnBarCoverage::Span> ColumnBarCoverage::CutBar(float clipX, float clipLow, float clipHigh) const {
  auto decided = [](float clip) { return std::fabs(clip) != 1.0f && std::fabs(clip) < kNearClip; };
  if (!decided(clipLow) || !decided(clipHigh)) return std::nullopt;
  const float x = std::fmaf(clipX, t_.halfWidth, t_.centreX);
  if (std::fabs((x - std::floor(x)) - 0.5f) < kClipMargin) return std::nullopt;
  const int64_t column = Snap(clipX, t_.halfWidth, t_.centreX) >> kSubpixelBits;
  const int64_t bottom = t_.viewportY;
  const int64_t top = int64_t{t_.viewportY} + t_.viewportHeight - 1;
  auto row = [&](float clip) {
    if (clip < -1.0f) return bottom;
    if (clip > 1.0f) return top;
    return Snap(clip, t_.halfHeight, t_.centreY) >> kSubpixelBits;
  };
  const int64_t first = std::min(row(clipLow), row(clipHigh));
  const int64_t last = std::max(row(clipLow), row(clipHigh));
  if (column < t_.viewportX || column >= int64_t{t_.viewportX} + t_.viewportWidth || first < bottom || last > top) {
    return std::nullopt;
  }
  return Span{static_cast<int32_t>(column), static_cast<int32_t>(first), static_cast<int32_t>(last)};
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
    if (!inside(clipX)) {
      undecided.push_back(index);
      continue;
    }
    const int64_t fx = Snap(clipX, t_.halfWidth, t_.centreX);
    if (OnTie(fx)) {
      undecided.push_back(index);
      continue;
    }
    if (!inside(clipLow) || !inside(clipHigh)) {
      // A bar running past the top or bottom of the volume (a plot cut by the canvas's edge).
      if (const std::optional<Span> cut = CutBar(clipX, clipLow, clipHigh)) {
        spans.push_back(*cut);
      } else {
        undecided.push_back(index);
      }
      continue;
    }
    // A point lights the pixel its snapped position falls in (an exact edge counts to the pixel
    // above it), and the segment every pixel in between.
    const int64_t a = Snap(clipLow, t_.halfHeight, t_.centreY);
    const int64_t b = Snap(clipHigh, t_.halfHeight, t_.centreY);
    // Arithmetic shifts: pixel numbers round down, below the origin too.
    const int64_t column = fx >> kSubpixelBits;
    const int64_t first = std::min(a, b) >> kSubpixelBits;
    const int64_t last = std::max(a, b) >> kSubpixelBits;
    if (column < t_.viewportX || column >= int64_t{t_.viewportX} + t_.viewportWidth || first < t_.viewportY ||
        last >= int64_t{t_.viewportY} + t_.viewportHeight) {
      undecided.push_back(index);
      continue;
    }
    spans.push_back({static_cast<int32_t>(column), static_cast<int32_t>(first), static_cast<int32_t>(last)});
  }
}

}  // namespace skelvane
