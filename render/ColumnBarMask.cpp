#include "render/ColumnBarMask.h"

#include <algorithm>
#include <cstring>

namespace skelvane {
namespace {

// Columns per quad: each quad covers only the rows its columns light.
constexpr int32_t kStripColumns = 256;
// A strip's solid middle is drawn flat only when it is at least this many rows and this fraction
// (one in kMinCoreShare) of the strip's rows.
constexpr int32_t kMinCoreRows = 4;
constexpr int32_t kMinCoreShare = 4;

}  // namespace

bool ColumnBarMask::Draw(std::span<const ColumnBarCoverage::Span> spans, int32_t z, const float depthRow[4],
                         const GLint viewport[4]) {
  if (spans.empty()) return true;
  Area area{spans.front().column, spans.front().column, spans.front().firstRow, spans.front().lastRow};
  for (const ColumnBarCoverage::Span& span : spans) {
    area.firstColumn = std::min(area.firstColumn, span.column);
    area.lastColumn = std::max(area.lastColumn, span.column);
    area.firstRow = std::min(area.firstRow, span.firstRow);
    area.lastRow = std::max(area.lastRow, span.lastRow);
  }
  if (area.Rows() > textures_.MaxSize() || area.Columns() > textures_.MaxSize()) return false;

  FillMask(spans, area);
  PlanStrips(area);
  const MaskTextures::Texture& texture = textures_.Next(area.Rows(), area.Columns());
  glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
  glTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, area.Rows(), area.Columns(), GL_ALPHA, GL_UNSIGNED_BYTE, mask_.data());

  GLint matrixMode = GL_MODELVIEW;
  glGetIntegerv(GL_MATRIX_MODE, &matrixMode);
  LoadWindowProjection(depthRow, viewport);
  DrawThroughMask(texture, area, z);
  DrawCores(area, z);
  glPopMatrix();
  glMatrixMode(static_cast<GLenum>(matrixMode));
  return true;
}

void ColumnBarMask::FillMask(std::span<const ColumnBarCoverage::Span> spans, const Area& area) {
  const int32_t rows = area.Rows();
  mask_.assign(static_cast<std::size_t>(rows) * static_cast<std::size_t>(area.Columns()), kMaskedTexel);
  columns_.assign(static_cast<std::size_t>(area.Columns()), Run{});
  for (const ColumnBarCoverage::Span& span : spans) {
    const int32_t column = span.column - area.firstColumn;
    std::memset(mask_.data() + static_cast<std::size_t>(column) * rows + (span.firstRow - area.firstRow), kLitTexel,
                static_cast<std::size_t>(span.lastRow - span.firstRow + 1));
    Run& run = columns_[static_cast<std::size_t>(column)];
    if (run.state == Run::State::kEmpty) {
      run = {Run::State::kOneRun, span.firstRow, span.lastRow};
    } else if (span.firstRow <= run.high + 1 && span.lastRow >= run.low - 1) {
      run.low = std::min(run.low, span.firstRow);
      run.high = std::max(run.high, span.lastRow);
    } else {
      run = {Run::State::kBroken, std::min(run.low, span.firstRow), std::max(run.high, span.lastRow)};
    }
  }
}

// Per strip: the rows any column lights, and the rows every one-run column lights (drawn flat; a
// column with no bar here, or with two runs, is left out of that and keeps its own pixels).
void ColumnBarMask::PlanStrips(const Area& area) {
  const int32_t firstRow = area.firstRow;
  const int32_t lastRow = area.lastRow;
  strips_.clear();
  for (int32_t left = 0; left < area.Columns(); left += kStripColumns) {
    const int32_t right = std::min(left + kStripColumns, area.Columns());
    Strip strip{left + area.firstColumn, right + area.firstColumn, lastRow + 1, firstRow - 1, firstRow - 1,
                lastRow + 1};
    bool oneRunColumn = false;
    for (int32_t c = left; c < right; ++c) {
      const Run& run = columns_[static_cast<std::size_t>(c)];
      if (run.state == Run::State::kEmpty) continue;
      strip.low = std::min(strip.low, run.low);
      strip.high = std::max(strip.high, run.high);
      if (run.state == Run::State::kOneRun) {
        oneRunColumn = true;
        strip.coreLow = std::max(strip.coreLow, run.low);
        strip.coreHigh = std::min(strip.coreHigh, run.high);
      }
    }
    // A thin middle saves fewer texel fetches than its extra quads cost. Without a one-run column the
    // middle would still span every row and beyond, where the mask's edge texels would be repeated.
    const int32_t coreRows = strip.coreHigh - strip.coreLow + 1;
    if (!oneRunColumn || coreRows < kMinCoreRows || coreRows * kMinCoreShare < strip.high - strip.low + 1) {
      strip.coreLow = lastRow + 1;
      strip.coreHigh = firstRow - 1;
    }
    if (strip.low <= strip.high) strips_.push_back(strip);
  }
}

// Vertices in window pixels; the z row is the bars' own, so depths come out the same.
void ColumnBarMask::LoadWindowProjection(const float depthRow[4], const GLint viewport[4]) {
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
}

void ColumnBarMask::DrawThroughMask(const MaskTextures::Texture& texture, const Area& area, int32_t z) const {
  glEnable(GL_TEXTURE_2D);
  glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_REPLACE);
  glEnable(GL_ALPHA_TEST);
  glAlphaFunc(GL_LESS, kAlphaCut);
  const float perRow = 1.0f / static_cast<float>(texture.width);
  const float perColumn = 1.0f / static_cast<float>(texture.height);
  // Columns left..right - 1, rows low..high - 1 through the mask.
  auto maskedQuad = [&](int32_t left, int32_t right, int32_t low, int32_t high) {
    if (low >= high) return;
    const float s0 = static_cast<float>(low - area.firstRow) * perRow;
    const float s1 = static_cast<float>(high - area.firstRow) * perRow;
    const float t0 = static_cast<float>(left - area.firstColumn) * perColumn;
    const float t1 = static_cast<float>(right - area.firstColumn) * perColumn;
    glTexCoord2f(s0, t0);
    glVertex3i(left, low, z);
    glTexCoord2f(s0, t1);
    glVertex3i(right, low, z);
    glTexCoord2f(s1, t1);
    glVertex3i(right, high, z);
    glTexCoord2f(s1, t0);
    glVertex3i(left, high, z);
  };
  glBegin(GL_QUADS);
  for (const Strip& strip : strips_) {
    if (strip.coreLow > strip.coreHigh) {
      maskedQuad(strip.left, strip.right, strip.low, strip.high + 1);
      continue;
    }
    maskedQuad(strip.left, strip.right, strip.low, strip.coreLow);
    maskedQuad(strip.left, strip.right, strip.coreHigh + 1, strip.high + 1);
    for (int32_t c = strip.left; c < strip.right; ++c) {
      if (columns_[static_cast<std::size_t>(c - area.firstColumn)].state == Run::State::kBroken) {
        maskedQuad(c, c + 1, strip.coreLow, strip.coreHigh + 1);
      }
    }
  }
  glEnd();
  glDisable(GL_ALPHA_TEST);
  glDisable(GL_TEXTURE_2D);
  glBindTexture(GL_TEXTURE_2D, 0);
}

// No texel to fetch for the core rows.
void ColumnBarMask::DrawCores(const Area& area, int32_t z) const {
  auto oneRun = [&](int32_t c) {
    return columns_[static_cast<std::size_t>(c - area.firstColumn)].state == Run::State::kOneRun;
  };
  glBegin(GL_QUADS);
  for (const Strip& strip : strips_) {
    if (strip.coreLow > strip.coreHigh) continue;
    for (int32_t c = strip.left; c < strip.right;) {
      if (!oneRun(c)) {
        ++c;
        continue;
      }
      const int32_t from = c;
      while (c < strip.right && oneRun(c)) ++c;
      glVertex3i(from, strip.coreLow, z);
      glVertex3i(c, strip.coreLow, z);
      glVertex3i(c, strip.coreHigh + 1, z);
      glVertex3i(from, strip.coreHigh + 1, z);
    }
  }
  glEnd();
}

}  // namespace skelvane
