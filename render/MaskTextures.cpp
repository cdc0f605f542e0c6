#include "render/MaskTextures.h"

#include <algorithm>
#include <bit>

namespace skelvane {
namespace {

int32_t PowerOfTwoFrom(int32_t size) { return static_cast<int32_t>(std::bit_ceil(static_cast<uint32_t>(std::max(size, 1)))); }

}  // namespace

void MaskTextures::Forget() {
  textures_.clear();
  next_ = 0;
  maxSize_ = 0;
}

MaskTextures::Texture& MaskTextures::Next(int32_t width, int32_t height) {
  if (next_ == textures_.size()) {
    Texture texture;
    glGenTextures(1, &texture.name);
    glBindTexture(GL_TEXTURE_2D, texture.name);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
    textures_.push_back(texture);
  }
  Texture& texture = textures_[next_++];
  glBindTexture(GL_TEXTURE_2D, texture.name);
  if (texture.width < width || texture.height < height) {
    // Powers of two only: the software rasteriser compiles its texture sampling afresh for every mix
    // of power-of-two and other sizes it meets, tens of milliseconds in the frame that first does.
    texture.width = std::max(texture.width, PowerOfTwoFrom(width));
    texture.height = std::max(texture.height, PowerOfTwoFrom(height));
    glTexImage2D(GL_TEXTURE_2D, 0, GL_ALPHA8, texture.width, texture.height, 0, GL_ALPHA, GL_UNSIGNED_BYTE, nullptr);
  }
  return texture;
}

int32_t MaskTextures::MaxSize() {
  if (maxSize_ == 0) glGetIntegerv(GL_MAX_TEXTURE_SIZE, &maxSize_);
  return maxSize_;
}

}  // namespace skelvane
