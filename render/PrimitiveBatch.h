#pragma once
// Sends sequences of vertices to OpenGL as client arrays, one draw call per primitive call, with the
// colour, line width and point size they are drawn in (widths in canvas pixels, scaled to the
// device's). Used by GLRenderer for its primitives and by ColumnBarDrawer for bars drawn as segments.

#include <GL/gl.h>

#include <cstdint>
#include <span>
#include <vector>

namespace skelvane {

class PrimitiveBatch {
 public:
  /// The alpha every colour goes down with. The bitmap's fourth byte is unused and stays 0; blending
  /// is never on, so a fragment's alpha only ever lands in that byte and the colour mask stays whole
  /// (a partial mask would make the rasteriser read back every pixel it writes).
  static constexpr float kStoredAlpha = 0.0f;

  /// Splits a 0x00BBGGRR colour into components 0..1 (the top byte is ignored).
  static void ColourToFloats(uint32_t colour, float& red, float& green, float& blue);
  /// Makes a 0x00BBGGRR colour the current one.
  static void SetColour(uint32_t colour);

  /// Device pixels per canvas pixel each way: line widths and point sizes grow by it.
  void SetPixelRatio(int32_t ratio) { pixelRatio_ = ratio; }
  /// Device pixels per canvas pixel each way.
  int32_t PixelRatio() const { return pixelRatio_; }
  /// Sets the line width (in canvas pixels) unless it already is the current one.
  void SetLineWidth(int32_t width);
  /// Sets the point size (in canvas pixels) unless it already is the current one.
  void SetPointSize(int32_t size);
  /// The context's line width and point size were just put back to 1.
  void WidthsReset();

  /// Adds one vertex to the next primitive.
  void AddVertex(int32_t x, int32_t y, int32_t z);
  /// Adds one vertex's colour, for a primitive drawn with a colour per vertex.
  void AddColour(uint32_t colour);
  /// Draws the vertices added since the last call as one primitive of `mode`, and forgets them.
  void Submit(GLenum mode, bool perVertexColour);

  /// A vertical segment from (xs[i], lows[i]) to (xs[i], highs[i]) for each i.
  void ColumnPairs(std::span<const int32_t> xs, std::span<const int16_t> lows, std::span<const int16_t> highs,
                   uint32_t colour, int32_t lineWidth, int32_t z);
  /// One point at (xs[i], ys[i]) for each i.
  void Points(std::span<const int32_t> xs, std::span<const int16_t> ys, uint32_t colour, int32_t pointSize,
              int32_t z);
  /// Bars as segments with a point on each end: the way every bar can be drawn.
  void BarSegments(std::span<const int32_t> xs, std::span<const int16_t> lows, std::span<const int16_t> highs,
                   uint32_t colour, int32_t lineWidth, int32_t z);

 private:
  std::vector<GLint> vertices_;   // x, y, z per vertex
  std::vector<GLfloat> colours_;  // r, g, b, a per vertex
  // As last set: every change costs the driver a state validation.
  GLfloat lineWidth_ = 1.0f;
  GLfloat pointSize_ = 1.0f;
  int32_t pixelRatio_ = 1;
};

}  // namespace skelvane
