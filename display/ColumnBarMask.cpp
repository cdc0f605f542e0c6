#include "display/ColumnBarMask.h"

#include <algorithm>
#include <cstring>

namespace skelvane {
namespace {

// Texel values: a lit pixel passes the alpha test with alpha 0, which is also what every other
// primitive leaves in the bitmap's unused fourth byte; the rest is discarded.
constexpr uint8_t kLit = 0;
constexpr uint8_t kMasked = 255;
constexpr GLfloat kAlphaCut = 0.5f;
// Columns per quad: each quad covers only the rows its columns light.
constexpr int32_t kStripColumns = 256;

}  // namespace

void ColumnBarMask::StartFrame() { nextTexture_ = 0; }

void ColumnBarMask::Release() {
  for (const Texture& texture : textures_) glDeleteTextures(1, &texture.name);
  Forget();
}

void ColumnBarMask::Forget() {
  textures_.clear();
  nextTexture_ = 0;
  maxTextureSize_ = 0;
}

ColumnBarMask::Texture& ColumnBarMask::NextTexture(int32_t width, int32_t height) {
  if (nextTexture_ == textures_.size()) {
    Texture texture;
    glGenTextures(1, &texture.name);
    glBindTexture(GL_TEXTURE_2D, texture.name);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
    textures_.push_back(texture);
  }
  Texture& texture = textures_[nextTexture_++];
  glBindTexture(GL_TEXTURE_2D, texture.name);
  if (texture.width < width || texture.height < height) {
    texture.width = std::max(texture.width, width);
    texture.height = std::max(texture.height, height);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_ALPHA8, texture.width, texture.height, 0, GL_ALPHA, GL_UNSIGNED_BYTE, nullptr);
  }
  return texture;
}

bool ColumnBarMask::Draw(std::span<const ColumnBarCoverage::Span> spans, int32_t z, const float depthRow[4],
                         const GLint viewport[4]) {
  if (spans.empty()) return true;
  if (maxTextureSize_ == 0) glGetIntegerv(GL_MAX_TEXTURE_SIZE, &maxTextureSize_);
  int32_t firstColumn = spans.front().column, lastColumn = firstColumn;
  int32_t firstRow = spans.front().firstRow, lastRow = spans.front().lastRow;
  for (const ColumnBarCoverage::Span& span : spans) {
    firstColumn = std::min(firstColumn, span.column);
    lastColumn = std::max(lastColumn, span.column);
    firstRow = std::min(firstRow, span.firstRow);
    lastRow = std::max(lastRow, span.lastRow);
  }
  const int32_t rows = lastRow - firstRow + 1;
  const int32_t columns = lastColumn - firstColumn + 1;
  if (rows > maxTextureSize_ || columns > maxTextureSize_) return false;

  // Transposed, so each bar is one run of bytes.
  mask_.assign(static_cast<std::size_t>(rows) * static_cast<std::size_t>(columns), kMasked);
  const int32_t strips = (columns + kStripColumns - 1) / kStripColumns;
  std::vector<int32_t>& stripLow = stripLow_;
  std::vector<int32_t>& stripHigh = stripHigh_;
  stripLow.assign(static_cast<std::size_t>(strips), lastRow + 1);
  stripHigh.assign(static_cast<std::size_t>(strips), firstRow - 1);
  for (const ColumnBarCoverage::Span& span : spans) {
    const int32_t column = span.column - firstColumn;
    std::memset(mask_.data() + static_cast<std::size_t>(column) * rows + (span.firstRow - firstRow), kLit,
                static_cast<std::size_t>(span.lastRow - span.firstRow + 1));
    const auto strip = static_cast<std::size_t>(column / kStripColumns);
    stripLow[strip] = std::min(stripLow[strip], span.firstRow);
    stripHigh[strip] = std::max(stripHigh[strip], span.lastRow);
  }

  const Texture& texture = NextTexture(rows, columns);
  glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
  glTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, rows, columns, GL_ALPHA, GL_UNSIGNED_BYTE, mask_.data());

  // Vertices in window pixels; the z row is the bars' own, so depths come out the same.
  GLint matrixMode = GL_MODELVIEW;
  glGetIntegerv(GL_MATRIX_MODE, &matrixMode);
  glMatrixMode(GL_PROJECTION);
  glPushMatrix();
  const auto width = static_cast<float>(viewport[2]);
  const auto height = static_cast<float>(viewport[3]);
  const GLfloat window[16] = {2.0f / width, 0.0f, depthRow[0], 0.0f,
                              0.0f, 2.0f / height, depthRow[1], 0.0f,
                              0.0f, 0.0f, depthRow[2], 0.0f,
                              -(2.0f * static_cast<float>(viewport[0]) + width) / width,
                              -(2.0f * static_cast<float>(viewport[1]) + height) / height, depthRow[3], 1.0f};
  glLoadMatrixf(window);
  glEnable(GL_TEXTURE_2D);
  glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_REPLACE);
  glEnable(GL_ALPHA_TEST);
  glAlphaFunc(GL_LESS, kAlphaCut);
  const float perRow = 1.0f / static_cast<float>(texture.width);
  const float perColumn = 1.0f / static_cast<float>(texture.height);
  glBegin(GL_QUADS);
  for (int32_t strip = 0; strip < strips; ++strip) {
    const int32_t low = stripLow[static_cast<std::size_t>(strip)];
    const int32_t high = stripHigh[static_cast<std::size_t>(strip)] + 1;
    if (low >= high) continue;
    const int32_t left = firstColumn + strip * kStripColumns;
    const int32_t right = std::min(left + kStripColumns, lastColumn + 1);
    const float s0 = static_cast<float>(low - firstRow) * perRow, s1 = static_cast<float>(high - firstRow) * perRow;
    const float t0 = static_cast<float>(left - firstColumn) * perColumn;
    const float t1 = static_cast<float>(right - firstColumn) * perColumn;
    glTexCoord2f(s0, t0);
    glVertex3i(left, low, z);
    glTexCoord2f(s0, t1);
    glVertex3i(right, low, z);
    glTexCoord2f(s1, t1);
    glVertex3i(right, high, z);
    glTexCoord2f(s1, t0);
    glVertex3i(left, high, z);
  }
  glEnd();
  glDisable(GL_ALPHA_TEST);
  glDisable(GL_TEXTURE_2D);
  glBindTexture(GL_TEXTURE_2D, 0);
  glPopMatrix();
  glMatrixMode(static_cast<GLenum>(matrixMode));
  return true;
}

}  // namespace skelvane
