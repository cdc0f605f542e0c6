#pragma once
// Draws a plot's min/max bars, already worked out as pixel spans, as a few textured quads whose
// texture masks out every pixel no bar lights. The GL renderer uses it for zoomed-out traces.

#include <GL/gl.h>

#include <cstdint>
#include <span>
#include <vector>

#include "render/ColumnBarCoverage.h"

namespace skelvane {

class ColumnBarMask {
 public:
  /// Lets every texture be refilled: a new frame no longer needs the last one's masks.
  void StartFrame();
  /// Deletes the textures (the context must be current).
  void Release();
  /// Drops the texture names of a context that is gone.
  void Forget();

  /// Draws the spans in the current colour at depth z. `depthRow` holds the projection's z row
  /// (entries 2, 6, 10, 14) so each fragment gets the depth the bars themselves would get; the
  /// viewport is the one in use. False, with nothing drawn, when the spans are too wide for a texture.
  bool Draw(std::span<const ColumnBarCoverage::Span> spans, int32_t z, const float depthRow[4], const GLint viewport[4]);

 private:
  struct Texture {
    GLuint name = 0;
    int32_t width = 0;
    int32_t height = 0;
  };
  Texture& NextTexture(int32_t width, int32_t height);

  std::vector<Texture> textures_;  // one per draw within a frame, so no draw waits for an earlier one
  std::size_t nextTexture_ = 0;
  std::vector<uint8_t> mask_;      // one texel per pixel, a texture row per pixel column
  // A pixel column's lit rows while they form one run.
  struct Run {
    enum class State : uint8_t { kEmpty, kOneRun, kBroken };
    State state = State::kEmpty;
    int32_t low = 0;
    int32_t high = 0;
  };
  // Columns left..right - 1: rows low..high hold every lit pixel; rows coreLow..coreHigh are lit in
  // every column that is one run.
  struct Strip {
    int32_t left, right, low, high, coreLow, coreHigh;
  };
  std::vector<Run> columns_;
  std::vector<Strip> strips_;
  GLint maxTextureSize_ = 0;
};

}  // namespace skelvane
