#include "render/MaskCheckScope.h"

#include <GL/gl.h>

#include <algorithm>

#include "render/PrimitiveBatch.h"

namespace skelvane {

MaskCheckScope::MaskCheckScope(PrimitiveBatch& batch, int32_t frameWidth, int32_t frameHeight)
    : batch_(batch),
      width_(std::min(frameWidth, kWidth)),
      height_(std::min(frameHeight, kHeight)),
      usable_(width_ >= kMinimum && height_ >= kMinimum) {
  if (!usable_) return;
  glGetIntegerv(GL_VIEWPORT, savedViewport_);
  glViewport(0, 0, width_, height_);
  // The masks stand in for one-pixel drawing only, whatever the screen's pixel ratio.
  savedRatio_ = batch_.PixelRatio();
  batch_.SetPixelRatio(1);
}

MaskCheckScope::~MaskCheckScope() {
  if (!usable_) return;
  batch_.SetPixelRatio(savedRatio_);
  glViewport(savedViewport_[0], savedViewport_[1], savedViewport_[2], savedViewport_[3]);
  glMatrixMode(GL_PROJECTION);
  glLoadIdentity();
}

void MaskCheckScope::BeginFrame() {
  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  glEnable(GL_DEPTH_TEST);
  glDepthFunc(GL_LEQUAL);
  glMatrixMode(GL_MODELVIEW);
  glLoadIdentity();
}

}  // namespace skelvane
