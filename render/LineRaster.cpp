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
// The floor of a window position (well within the int32 range), without a library call.
float Floor(float value) {
  const auto truncated = static_cast<float>(static_cast<int32_t>(value));
  return truncated > value ? truncated - 1.0f : truncated;
}
float Fraction(float value) { return value - Floor(value); }
// Distance of a position from the centre of its pixel, along one axis.
float FromCentre(float value) { return value - Floor(value) - 0.5f; }

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

// Segments over at least this many rows have each column's run worked out from the edge functions.
constexpr int64_t kRowsForColumnBounds = 8;

// Floor and ceiling of a / b for b > 0.
int64_t FloorDivide(int64_t a, int64_t b) { return a >= 0 ? a / b : -((-a + b - 1) / b); }
int64_t CeilDivide(int64_t a, int64_t b) { return -FloorDivide(-a, b); }

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
  // The pixel centres (256 px, 256 py) within the corners' extent: the only ones that can be inside.
  const int64_t minX = CeilDivide(std::min({c.x[0], c.x[1], c.x[2], c.x[3]}), kSubpixels);
  const int64_t maxX = FloorDivide(std::max({c.x[0], c.x[1], c.x[2], c.x[3]}), kSubpixels);
  const int64_t minY = CeilDivide(std::min({c.y[0], c.y[1], c.y[2], c.y[3]}), kSubpixels);
  const int64_t maxY = FloorDivide(std::max({c.y[0], c.y[1], c.y[2], c.y[3]}), kSubpixels);
  if (minX > maxX || minY > maxY) return;
  const int64_t rows = maxY - minY + 1;
  if (rows >= kRowsForColumnBounds) {
    // A steep segment (a trace of dense samples is mostly these): each column's run comes from its
    // four edge functions at once, linear in the row, instead of from every pixel of the extent.
    for (int64_t px = minX; px <= maxX; ++px) {
      int64_t low = minY;
      int64_t high = maxY;
      for (std::size_t i = 0; i < 4 && low <= high; ++i) {
        // Inside this edge where c + d * py > 0.
        const int64_t c = k[i] - dcdx[i] * px * kSubpixels;
        const int64_t d = dcdy[i] * kSubpixels;
        if (d > 0) {
          low = std::max(low, FloorDivide(-c, d) + 1);
        } else if (d < 0) {
          high = std::min(high, CeilDivide(c, -d) - 1);
        } else if (c <= 0) {
          high = low - 1;
        }
      }
      if (low <= high) spans.push_back({static_cast<int32_t>(px), static_cast<int32_t>(low), static_cast<int32_t>(high)});
    }
    return;
  }
  // Rows bottom up, each row's pixels left to right: the edge functions step by constants. A
  // column's pixels are one run (the parallelogram is convex), so a span per column suffices.
  const int64_t columns = maxX - minX + 1;
  constexpr int64_t kFewColumns = 16;
  std::array<ColumnBarCoverage::Span, kFewColumns> few;
  std::vector<ColumnBarCoverage::Span> many;
  if (columns > kFewColumns) many.resize(static_cast<std::size_t>(columns));
  ColumnBarCoverage::Span* const columnSpans = columns > kFewColumns ? many.data() : few.data();
  for (int64_t px = 0; px < columns; ++px) columnSpans[px] = {static_cast<int32_t>(minX + px), 1, 0};
  auto start = [&](std::size_t i) { return k[i] - dcdx[i] * minX * kSubpixels + dcdy[i] * minY * kSubpixels; };
  int64_t row0 = start(0), row1 = start(1), row2 = start(2), row3 = start(3);
  const int64_t across0 = dcdx[0] * kSubpixels, across1 = dcdx[1] * kSubpixels;
  const int64_t across2 = dcdx[2] * kSubpixels, across3 = dcdx[3] * kSubpixels;
  for (int64_t py = minY; py <= maxY; ++py) {
    int64_t e0 = row0, e1 = row1, e2 = row2, e3 = row3;
    bool entered = false;
    for (int64_t px = 0; px < columns; ++px) {
      if (e0 > 0 && e1 > 0 && e2 > 0 && e3 > 0) {
        ColumnBarCoverage::Span& span = columnSpans[px];
        if (span.firstRow > span.lastRow) span.firstRow = static_cast<int32_t>(py);
        span.lastRow = static_cast<int32_t>(py);
        entered = true;
      } else if (entered) {
        break;  // a row's pixels are one run too
      }
      e0 -= across0;
      e1 -= across1;
      e2 -= across2;
      e3 -= across3;
    }
    row0 += dcdy[0] * kSubpixels;
    row1 += dcdy[1] * kSubpixels;
    row2 += dcdy[2] * kSubpixels;
    row3 += dcdy[3] * kSubpixels;
  }
  for (int64_t px = 0; px < columns; ++px) {
    if (columnSpans[px].firstRow <= columnSpans[px].lastRow) spans.push_back(columnSpans[px]);
  }
}

}  // namespace skelvane
