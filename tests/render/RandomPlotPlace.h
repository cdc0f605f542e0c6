#pragma once
// Where a random plot sits on the canvas and how it is scaled, as the canvas sets a plot up: a
// projection over the scrolled canvas, a translation to the plot's centre and a vertical gain
// (fractional, exact or large), sometimes inside a scissor box. The bar and trace mask tests use it.

#include <GL/gl.h>

#include <algorithm>
#include <cstdint>
#include <random>

#include "render/GLRenderer.h"

namespace skelvane::test {

struct RandomPlotPlace {
  double bottom = 0.0, top = 0.0;
  float x0 = 0.0f, centre = 0.0f, scale = 1.0f;
  int32_t lineWidth = 1;
  bool scissor = false;
  int32_t swing = 1;  // the values that reach the plot's edges from its centre

  /// A place on a canvas `height` pixels high.
  static RandomPlotPlace Make(std::mt19937& random, int32_t height) {
    auto uniform = [&](int32_t low, int32_t high) { return std::uniform_int_distribution<int32_t>(low, high)(random); };
    RandomPlotPlace place;
    const int32_t kind = uniform(0, 2);
    place.top = kind == 1 ? 0.0 : -uniform(0, 400);
    place.bottom = place.top - (kind == 1 ? height : height + uniform(-height / 3, height * 3));
    place.x0 = static_cast<float>(uniform(0, 70));
    place.centre = static_cast<float>(uniform(static_cast<int32_t>(place.bottom), static_cast<int32_t>(place.top)));
    place.scale = kind == 1 ? static_cast<float>(1 << uniform(0, 2))
                            : static_cast<float>(uniform(1, 400) / static_cast<double>(uniform(100, 40000)));
    if (kind == 2) place.scale *= static_cast<float>(uniform(2, 64));
    place.lineWidth = uniform(0, 9) == 0 ? 2 : 1;
    place.scissor = uniform(0, 3) == 0;
    place.swing = std::max(1, static_cast<int32_t>(std::min(32767.0, height / static_cast<double>(place.scale))));
    return place;
  }

  /// Sets the plot's transform (and scissor box) on a `width` x `height` canvas; End undoes the box.
  void Begin(GLRenderer& renderer, int32_t width, int32_t height) const {
    renderer.SetProjection(0, width, bottom, top);
    if (scissor) {
      glEnable(GL_SCISSOR_TEST);
      glScissor(0, height / 4, width, height / 3);
    }
    renderer.Translate(x0, centre, 0.0f);
    renderer.Scale(1.0f, scale, 1.0f);
  }
  void End() const {
    if (scissor) glDisable(GL_SCISSOR_TEST);
  }
};

}  // namespace skelvane::test
