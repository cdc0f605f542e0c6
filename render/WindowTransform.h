#pragma once
// The way a plot's vertices reach window pixels when its matrix only scales and translates: object
// to clip space, then the viewport step. ColumnBarCoverage and TraceCoverage work the rasteriser's
// pixels out from it, one rounding at a time.

#include <array>
#include <cstdint>
#include <optional>

namespace skelvane {

struct WindowTransform {
  /// A vertical segment cut by the top or bottom of the clip volume lights the same rows wherever the
  /// clipper's rounding puts its cut end when both its ends lie within kNearClip half-heights of the
  /// volume's centre and its column at least kClipMargin pixels off its pixels' centres.
  static constexpr float kNearClip = 3.0f;
  static constexpr float kClipMargin = 1.0f / 128.0f;

  /// From the combined model-view-projection matrix (column-major, as GL stores it) and the viewport;
  /// none unless the matrix only scales and translates x and y, by finite amounts, and the viewport
  /// has an area.
  static std::optional<WindowTransform> From(const std::array<float, 16>& matrix, int32_t viewportX,
                                             int32_t viewportY, int32_t viewportWidth, int32_t viewportHeight);

  float scaleX = 0.0f, offsetX = 0.0f, scaleY = 0.0f, offsetY = 0.0f;        // object -> clip
  float halfWidth = 0.0f, centreX = 0.0f, halfHeight = 0.0f, centreY = 0.0f;  // clip -> window
  int32_t viewportX = 0, viewportY = 0, viewportWidth = 0, viewportHeight = 0;

  bool operator==(const WindowTransform&) const = default;
};

}  // namespace skelvane
