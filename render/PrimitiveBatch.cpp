#include "render/PrimitiveBatch.h"

#include <algorithm>

namespace skelvane {
namespace {

constexpr float kColourScale = 255.0f;

}  // namespace

void PrimitiveBatch::ColourToFloats(uint32_t colour, float& red, float& green, float& blue) {
  red = static_cast<float>(colour & 0xFFu) / kColourScale;
  green = static_cast<float>((colour >> 8) & 0xFFu) / kColourScale;
  blue = static_cast<float>((colour >> 16) & 0xFFu) / kColourScale;
}

void PrimitiveBatch::SetColour(uint32_t colour) {
  float red = 0.0f, green = 0.0f, blue = 0.0f;
  ColourToFloats(colour, red, green, blue);
  glColor4f(red, green, blue, kStoredAlpha);
}

void PrimitiveBatch::SetLineWidth(int32_t width) {
  const auto wanted = static_cast<GLfloat>(width * pixelRatio_);
  if (wanted == lineWidth_) return;
  glLineWidth(wanted);
  lineWidth_ = wanted;
}

void PrimitiveBatch::SetPointSize(int32_t size) {
  const auto wanted = static_cast<GLfloat>(size * pixelRatio_);
  if (wanted == pointSize_) return;
  glPointSize(wanted);
  pointSize_ = wanted;
}

void PrimitiveBatch::WidthsReset() {
  lineWidth_ = 1.0f;
  pointSize_ = 1.0f;
}

void PrimitiveBatch::AddVertex(int32_t x, int32_t y, int32_t z) {
  vertices_.push_back(x);
  vertices_.push_back(y);
  vertices_.push_back(z);
}

void PrimitiveBatch::AddColour(uint32_t colour) {
  float red = 0.0f, green = 0.0f, blue = 0.0f;
  ColourToFloats(colour, red, green, blue);
  colours_.insert(colours_.end(), {red, green, blue, kStoredAlpha});
}

void PrimitiveBatch::Submit(GLenum mode, bool perVertexColour) {
  const auto count = static_cast<GLsizei>(vertices_.size() / 3);
  if (count > 0) {
    glVertexPointer(3, GL_INT, 0, vertices_.data());
    if (perVertexColour) {
      glEnableClientState(GL_COLOR_ARRAY);
      glColorPointer(4, GL_FLOAT, 0, colours_.data());
    }
    glDrawArrays(mode, 0, count);
    if (perVertexColour) glDisableClientState(GL_COLOR_ARRAY);
  }
  vertices_.clear();
  colours_.clear();
}

void PrimitiveBatch::ColumnPairs(std::span<const int32_t> xs, std::span<const int16_t> lows,
                                 std::span<const int16_t> highs, uint32_t colour, int32_t lineWidth, int32_t z) {
  SetColour(colour);
  SetLineWidth(lineWidth);
  const std::size_t count = std::min({xs.size(), lows.size(), highs.size()});
  for (std::size_t i = 0; i < count; ++i) {
    AddVertex(xs[i], lows[i], z);
    AddVertex(xs[i], highs[i], z);
  }
  Submit(GL_LINES, false);
}

void PrimitiveBatch::Points(std::span<const int32_t> xs, std::span<const int16_t> ys, uint32_t colour,
                            int32_t pointSize, int32_t z) {
  SetColour(colour);
  SetPointSize(pointSize);
  const std::size_t count = std::min(xs.size(), ys.size());
  for (std::size_t i = 0; i < count; ++i) AddVertex(xs[i], ys[i], z);
  Submit(GL_POINTS, false);
}

void PrimitiveBatch::BarSegments(std::span<const int32_t> xs, std::span<const int16_t> lows,
                                 std::span<const int16_t> highs, uint32_t colour, int32_t lineWidth, int32_t z) {
  ColumnPairs(xs, lows, highs, colour, lineWidth, z);
  Points(xs, lows, colour, lineWidth, z);
  Points(xs, highs, colour, lineWidth, z);
}

}  // namespace skelvane
