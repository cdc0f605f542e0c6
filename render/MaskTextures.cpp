#include "render/MaskTextures.h"

#include <algorithm>
#include <bit>

namespace skelvane {
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
    texture.width = PowerOfTwoAtLeast(std::max(texture.width, width));
    texture.height = PowerOfTwoAtLeast(std::max(texture.height, height));
    glTexImage2D(GL_TEXTURE_2D, 0, GL_ALPHA8, texture.width, texture.height, 0, GL_ALPHA, GL_UNSIGNED_BYTE, nullptr);
  }
  return texture;
}

// The software rasteriser compiles its texture sampling afresh for every mix of power-of-two and other
// sides it meets (5-20 ms in the frame that first does); sides always a power of two keep it built once.
int32_t MaskTextures::PowerOfTwoAtLeast(int32_t size) {
  const auto rounded = static_cast<int32_t>(std::bit_ceil(static_cast<uint32_t>(std::max(size, 1))));
  return rounded <= MaxSize() ? rounded : size;
}

int32_t MaskTextures::MaxSize() {
  if (maxSize_ == 0) glGetIntegerv(GL_MAX_TEXTURE_SIZE, &maxSize_);
  return maxSize_;
}

}  // namespace skelvane
