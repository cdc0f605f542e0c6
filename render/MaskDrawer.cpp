#include "render/MaskDrawer.h"

#include <GL/gl.h>

#include <algorithm>
#include <cmath>

#include "render/MaskCheckScope.h"

namespace skelvane {

void MaskDrawer::Check(int32_t frameWidth, int32_t frameHeight, double nearPlane, double farPlane) {
  nearPlane_ = nearPlane;
  farPlane_ = farPlane;
  const MaskCheckScope corner(batch_, frameWidth, frameHeight);
  if (!corner.Usable()) return;
  bool same = true;
  for (int32_t pass = 0; pass < CheckPasses() && same; ++pass) same = CheckPass(pass, corner.Width(), corner.Height());
  state_ = same ? State::kInUse : State::kOff;
}

bool MaskDrawer::ReadMaskedState(int32_t z, MaskedState& state) {
  std::array<GLfloat, 16> modelView{};
  glGetFloatv(GL_MODELVIEW_MATRIX, modelView.data());
  for (int32_t i = 0; i < 16; ++i) {
    if (modelView[static_cast<std::size_t>(i)] != (i % 5 == 0 ? 1.0f : 0.0f)) return false;
  }
  std::array<GLfloat, 16>& projection = state.projection;
  glGetFloatv(GL_PROJECTION_MATRIX, projection.data());
  GLint viewport[4] = {0, 0, 0, 0};
  glGetIntegerv(GL_VIEWPORT, viewport);
  std::copy(viewport, viewport + 4, state.viewport);
  // Depths on or past the near and far planes are clipped: left to the rasteriser.
  const float clipZ = projection[10] * static_cast<float>(z) + projection[14];
  if (!(std::fabs(clipZ) < 1.0f)) return false;
  state.depthRow[0] = projection[2];
  state.depthRow[1] = projection[6];
  state.depthRow[2] = projection[10];
  state.depthRow[3] = projection[14];
  return true;
}

void MaskDrawer::ReadCheckFrame(int32_t width, int32_t height, std::vector<uint8_t>& pixels) {
  pixels.assign(static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * 4u, 0);
  glPixelStorei(GL_PACK_ALIGNMENT, 4);
  glReadPixels(0, 0, width, height, GL_BGRA, GL_UNSIGNED_BYTE, pixels.data());
}

}  // namespace skelvane
