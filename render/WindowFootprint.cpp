#include "render/WindowFootprint.h"

#include <GL/gl.h>

#include <algorithm>
#include <cmath>

namespace skelvane {
namespace {

constexpr int32_t kIdentity[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};

// The window coordinate of canvas value v along one axis: the matrices' scale and offset for it,
// then the viewport's.
double Window(double v, double modelScale, double modelOffset, double scale, double offset, int32_t origin,
              int32_t size) {
  const double ndc = scale * (modelScale * v + modelOffset) + offset;
  return origin + (ndc + 1.0) * 0.5 * size;
}

}  // namespace

WindowFootprint WindowFootprint::Current() {
  WindowFootprint f;
  glGetFloatv(GL_PROJECTION_MATRIX, f.projection_);
  glGetFloatv(GL_MODELVIEW_MATRIX, f.modelView_);
  GLint viewport[4] = {0, 0, 0, 0};
  glGetIntegerv(GL_VIEWPORT, viewport);
  std::copy(viewport, viewport + 4, f.viewport_);
  return f;
}

WindowFootprint WindowFootprint::Of(const float projection[16], const int32_t viewport[4]) {
  WindowFootprint f;
  std::copy(projection, projection + 16, f.projection_);
  for (int32_t i = 0; i < 16; ++i) f.modelView_[i] = static_cast<float>(kIdentity[i]);
  std::copy(viewport, viewport + 4, f.viewport_);
  return f;
}

WindowBox WindowFootprint::ColumnsBox(std::span<const int32_t> xs, std::span<const int16_t> lows,
                                      std::span<const int16_t> highs, int32_t margin) const {
  const std::size_t count = std::min({xs.size(), lows.size(), highs.size()});
  if (count == 0) return {};
  int32_t left = xs[0], right = xs[0], bottom = lows[0], top = lows[0];
  for (std::size_t i = 0; i < count; ++i) {
    left = std::min(left, xs[i]);
    right = std::max(right, xs[i]);
    bottom = std::min({bottom, static_cast<int32_t>(lows[i]), static_cast<int32_t>(highs[i])});
    top = std::max({top, static_cast<int32_t>(lows[i]), static_cast<int32_t>(highs[i])});
  }
  return Box(left, bottom, right, top, margin);
}

WindowBox WindowFootprint::Box(double x0, double y0, double x1, double y1, int32_t margin) const {
  const float* p = projection_;
  const float* m = modelView_;
  // Only x from x and y from y, and no perspective: then the box's corners bound its pixels.
  const bool separable = p[1] == 0.0f && p[4] == 0.0f && p[3] == 0.0f && p[7] == 0.0f && p[11] == 0.0f &&
                         p[15] == 1.0f && m[1] == 0.0f && m[4] == 0.0f && m[3] == 0.0f && m[7] == 0.0f &&
                         m[11] == 0.0f && m[15] == 1.0f && m[2] == 0.0f && m[6] == 0.0f && p[2] == 0.0f &&
                         p[6] == 0.0f && m[8] == 0.0f && m[9] == 0.0f && p[8] == 0.0f && p[9] == 0.0f;
  if (!separable) return kEverywhere;
  const double wx0 = Window(x0, m[0], m[12], p[0], p[12], viewport_[0], viewport_[2]);
  const double wx1 = Window(x1, m[0], m[12], p[0], p[12], viewport_[0], viewport_[2]);
  const double wy0 = Window(y0, m[5], m[13], p[5], p[13], viewport_[1], viewport_[3]);
  const double wy1 = Window(y1, m[5], m[13], p[5], p[13], viewport_[1], viewport_[3]);
  if (!std::isfinite(wx0) || !std::isfinite(wx1) || !std::isfinite(wy0) || !std::isfinite(wy1)) return kEverywhere;
  const auto clampToBox = [](double v) { return std::clamp(v, -1.0e8, 1.0e8); };
  const double left = clampToBox(std::min(wx0, wx1)), right = clampToBox(std::max(wx0, wx1));
  const double bottom = clampToBox(std::min(wy0, wy1)), top = clampToBox(std::max(wy0, wy1));
  // A pixel or two more each way than the rasteriser's rules could reach.
  const int32_t slack = margin + 2;
  return {static_cast<int32_t>(std::floor(left)) - slack, static_cast<int32_t>(std::floor(bottom)) - slack,
          static_cast<int32_t>(std::ceil(right)) + slack, static_cast<int32_t>(std::ceil(top)) + slack};
}

float WindowFootprint::Depth(int32_t z) const {
  const float* p = projection_;
  const float* m = modelView_;
  if (p[2] != 0.0f || p[6] != 0.0f || m[2] != 0.0f || m[6] != 0.0f || p[11] != 0.0f || m[11] != 0.0f ||
      p[15] != 1.0f || m[15] != 1.0f) {
    return kFront;
  }
  return p[10] * (m[10] * static_cast<float>(z) + m[14]) + p[14];
}

}  // namespace skelvane
