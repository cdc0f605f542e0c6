#include "render/LineRaster.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <utility>

namespace skelvane {
namespace {

// Pixel centres lie half a pixel in from the pixel's corner.
constexpr float kPixelOffset = 0.5f;
constexpr int64_t kHalfWidth = LineRaster::kSubpixels / 2;

float Sign(float value) { return value >= 0.0f ? 1.0f : -1.0f; }
float Fraction(float value) { return value - std::floor(value); }
// Distance of a position from the centre of its pixel, along one axis.
float FromCentre(float value) { return value - std::floor(value) - 0.5f; }

// The line's ends after the diamond-exit adjustments, in fixed point: ends 0 and 1 at the first
// vertex (after any swap), 2 and 3 at the second, widened across the minor axis.
struct Corners {
  std::array<int64_t, 4> x{};
  std::array<int64_t, 4> y{};
};

// Along x (|dx| >= |dy|): the start and end pixels are tested against their diamonds and the ends
// moved to a pixel edge where the parallelogram alone would decide otherwise.
Corners XMajor(float ax, float ay, float bx, float by) {
  float dx = ax - bx;
  float dy = ay - by;
  const float dydx = dy / dx;
  const float x1 = FromCentre(ax), y1 = FromCentre(ay), x2 = FromCentre(bx);
  float y2 = FromCentre(by);
  if (y2 == -0.5f && dy < 0.0f) y2 = 0.5f;
  bool drawStart = false;
  if (std::fabs(x1) + std::fabs(y1) < 0.5f) {
    drawStart = true;
  } else if (Sign(x1) == Sign(-dx)) {
    drawStart = false;
  } else if (Sign(-y1) != Sign(dy)) {
    drawStart = true;
  } else {
    const float crossing = Fraction(ay) + x1 * dydx;
    drawStart = crossing < 1.0f && crossing > 0.0f;
  }
  bool drawEnd = false;
  if (std::fabs(x2) + std::fabs(y2) < 0.5f) {
    drawEnd = false;
  } else if (Sign(x2) != Sign(-dx)) {
    drawEnd = false;
  } else if (Sign(-y2) == Sign(dy)) {
    drawEnd = true;
  } else {
    const float crossing = Fraction(by) + x2 * dydx;
    drawEnd = crossing < 1.0f && crossing > 0.0f;
  }
  const bool drawsStart = Sign(-x1) != Sign(dx);
  const bool drawsEnd = Sign(x2) == Sign(-dx) || x2 == 0.0f;
  float offset = 0.0f, offsetY = 0.0f, endOffset = 0.0f, endOffsetY = 0.0f;
  if (dx < 0.0f) {
    std::swap(ax, bx);
    std::swap(ay, by);
    if (drawsStart != drawStart) endOffset = -x1 - 0.5f, endOffsetY = endOffset * dydx;
    if (drawsEnd != drawEnd) offset = -x2 - 0.5f, offsetY = offset * dydx;
  } else {
    if (drawsStart != drawStart) offset = -x1 + 0.5f, offsetY = offset * dydx;
    if (drawsEnd != drawEnd) endOffset = -x2 + 0.5f, endOffsetY = endOffset * dydx;
  }
  Corners c;
  const int64_t y0 = LineRaster::Snap(ay + offsetY - kPixelOffset);
  const int64_t y3 = LineRaster::Snap(by + endOffsetY - kPixelOffset);
  c.x = {LineRaster::Snap(ax + offset - kPixelOffset), 0, LineRaster::Snap(bx + endOffset - kPixelOffset), 0};
  c.x[1] = c.x[0];
  c.x[3] = c.x[2];
  c.y = {y0 - kHalfWidth, y0 + kHalfWidth, y3 + kHalfWidth, y3 - kHalfWidth};
  return c;
}

// Along y: the same with the axes' roles exchanged.
Corners YMajor(float ax, float ay, float bx, float by) {
  float dx = ax - bx;
  float dy = ay - by;
  const float dxdy = dx / dy;
  const float x1 = FromCentre(ax), y1 = FromCentre(ay), y2 = FromCentre(by);
  float x2 = FromCentre(bx);
  if (x2 == -0.5f && dx < 0.0f) x2 = 0.5f;
  bool drawStart = false;
  if (std::fabs(x1) + std::fabs(y1) < 0.5f) {
    drawStart = true;
  } else if (Sign(-y1) == Sign(dy)) {
    drawStart = false;
  } else if (Sign(x1) != Sign(-dx)) {
    drawStart = true;
  } else {
    const float crossing = Fraction(ax) + y1 * dxdy;
    drawStart = crossing < 1.0f && crossing > 0.0f;
  }
  bool drawEnd = false;
  if (std::fabs(x2) + std::fabs(y2) < 0.5f) {
    drawEnd = false;
  } else if (Sign(-y2) != Sign(dy)) {
    drawEnd = false;
  } else if (Sign(x2) == Sign(-dx)) {
    drawEnd = true;
  } else {
    const float crossing = Fraction(bx) + y2 * dxdy;
    drawEnd = crossing < 1.0f && crossing >= 0.0f;
  }
  const bool drawsStart = Sign(y1) == Sign(dy);
  const bool drawsEnd = Sign(-y2) == Sign(dy) || y2 == 0.0f;
  float offset = 0.0f, offsetX = 0.0f, endOffset = 0.0f, endOffsetX = 0.0f;
  if (dy > 0.0f) {
    std::swap(ax, bx);
    std::swap(ay, by);
    if (drawsStart != drawStart) endOffset = -y1 + 0.5f, endOffsetX = endOffset * dxdy;
    if (drawsEnd != drawEnd) offset = -y2 + 0.5f, offsetX = offset * dxdy;
  } else {
    if (drawsStart != drawStart) offset = -y1 - 0.5f, offsetX = offset * dxdy;
    if (drawsEnd != drawEnd) endOffset = -y2 - 0.5f, endOffsetX = endOffset * dxdy;
  }
  Corners c;
  const int64_t x0 = LineRaster::Snap(ax + offsetX - kPixelOffset);
  const int64_t x3 = LineRaster::Snap(bx + endOffsetX - kPixelOffset);
  c.x = {x0 - kHalfWidth, x0 + kHalfWidth, x3 + kHalfWidth, x3 - kHalfWidth};
  c.y = {LineRaster::Snap(ay + offset - kPixelOffset), 0, LineRaster::Snap(by + endOffset - kPixelOffset), 0};
  c.y[1] = c.y[0];
  c.y[3] = c.y[2];
  return c;
}

// Floor and ceiling of a / b for b > 0.
int64_t FloorDivide(int64_t a, int64_t b) { return a >= 0 ? a / b : -((-a + b - 1) / b); }

}  // namespace

int64_t LineRaster::Snap(float position) {
  const float fixed = position * static_cast<float>(kSubpixels);
  return fixed >= 0.0f ? static_cast<int64_t>(static_cast<int32_t>(fixed + 0.5f))
                       : static_cast<int64_t>(static_cast<int32_t>(fixed - 0.5f));
}

void LineRaster::Segment(float ax, float ay, float bx, float by, std::vector<ColumnBarCoverage::Span>& spans) {
  const float dx = ax - bx;
  const float dy = ay - by;
  if (dx * dx + dy * dy == 0.0f) return;
  const Corners c = std::fabs(dx) >= std::fabs(dy) ? XMajor(ax, ay, bx, by) : YMajor(ax, ay, bx, by);
  // Edge i runs from corner i to corner i + 1; a pixel centre (256 px, 256 py) is inside when every
  // edge function is positive, ties going by the fill rule. A parallelogram wound the other way (its
  // ends moved past each other) lights nothing.
  std::array<int64_t, 4> dcdx{}, dcdy{}, k{};
  for (std::size_t i = 0; i < 4; ++i) {
    const std::size_t j = (i + 1) % 4;
    dcdx[i] = c.y[j] - c.y[i];
    dcdy[i] = c.x[j] - c.x[i];
    k[i] = dcdx[i] * c.x[i] - dcdy[i] * c.y[i];
    if (dcdx[i] < 0 || (dcdx[i] == 0 && dcdy[i] > 0)) ++k[i];
  }
  const int64_t minX = FloorDivide(*std::min_element(c.x.begin(), c.x.end()), kSubpixels);
  const int64_t maxX = FloorDivide(*std::max_element(c.x.begin(), c.x.end()), kSubpixels) + 1;
  const int64_t minY = FloorDivide(*std::min_element(c.y.begin(), c.y.end()), kSubpixels);
  const int64_t maxY = FloorDivide(*std::max_element(c.y.begin(), c.y.end()), kSubpixels) + 1;
  const std::size_t first = spans.size();
  for (int64_t py = minY; py <= maxY; ++py) {
    for (int64_t px = minX; px <= maxX; ++px) {
      bool inside = true;
      for (std::size_t i = 0; i < 4 && inside; ++i) {
        inside = k[i] - dcdx[i] * px * kSubpixels + dcdy[i] * py * kSubpixels > 0;
      }
      if (!inside) continue;
      const auto column = static_cast<int32_t>(px);
      auto span = std::find_if(spans.begin() + static_cast<std::ptrdiff_t>(first), spans.end(),
                               [&](const ColumnBarCoverage::Span& s) { return s.column == column; });
      if (span == spans.end()) {
        spans.push_back({column, static_cast<int32_t>(py), static_cast<int32_t>(py)});
      } else {
        span->lastRow = static_cast<int32_t>(py);
      }
    }
  }
}

}  // namespace skelvane
