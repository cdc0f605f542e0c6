#include "render/WindowTransform.h"

#include <cmath>

namespace skelvane {

std::optional<WindowTransform> WindowTransform::From(const std::array<float, 16>& m, int32_t viewportX,
                                                     int32_t viewportY, int32_t viewportWidth,
                                                     int32_t viewportHeight) {
  // Column-major: m[0] and m[5] scale x and y, m[12] and m[13] translate; anything that mixes the
  // axes or makes w other than 1 is not a plot's transform.
  const bool scaleAndTranslate = m[1] == 0.0f && m[2] == 0.0f && m[3] == 0.0f && m[4] == 0.0f && m[6] == 0.0f &&
                                 m[7] == 0.0f && m[8] == 0.0f && m[9] == 0.0f && m[11] == 0.0f && m[15] == 1.0f;
  if (!scaleAndTranslate || viewportWidth <= 0 || viewportHeight <= 0 || !std::isfinite(m[0]) ||
      !std::isfinite(m[5]) || !std::isfinite(m[12]) || !std::isfinite(m[13])) {
    return std::nullopt;
  }
  WindowTransform t;
  t.scaleX = m[0];
  t.offsetX = m[12];
  t.scaleY = m[5];
  t.offsetY = m[13];
  t.viewportX = viewportX;
  t.viewportY = viewportY;
  t.viewportWidth = viewportWidth;
  t.viewportHeight = viewportHeight;
  t.halfWidth = static_cast<float>(viewportWidth) * 0.5f;
  t.centreX = static_cast<float>(viewportX) + t.halfWidth;
  t.halfHeight = static_cast<float>(viewportHeight) * 0.5f;
  t.centreY = static_cast<float>(viewportY) + t.halfHeight;
  return t;
}

}  // namespace skelvane
