#pragma once
// The alpha textures masked draws go through: one per draw within a frame, so no draw waits for an
// earlier one, each kept from frame to frame and grown to the largest size asked of it. Owned by
// ColumnBarMask and ColumnRowMask.

#include <GL/gl.h>

#include <cstddef>
#include <cstdint>
#include <vector>

namespace skelvane {

class MaskTextures {
 public:
  struct Texture {
    GLuint name = 0;
    int32_t width = 0;
    int32_t height = 0;
  };

  /// Lets every texture be refilled: a new frame no longer needs the last one's masks.
  void StartFrame() { next_ = 0; }
  /// Drops the texture names of a context that is gone.
  void Forget();
  /// The frame's next texture, bound, of at least `width` x `height` alpha texels (each side a power
  /// of two), sampled nearest and clamped at its edges.
  Texture& Next(int32_t width, int32_t height);
  /// The widest and highest texture the current context takes.
  int32_t MaxSize();
  /// The least power of two not below `size`, or `size` itself where that is more than the context takes.
  int32_t PowerOfTwoAtLeast(int32_t size);

 private:
  std::vector<Texture> textures_;
  std::size_t next_ = 0;
  GLint maxSize_ = 0;
};

}  // namespace skelvane
