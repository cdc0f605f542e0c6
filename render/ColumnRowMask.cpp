#include "render/ColumnRowMask.h"

#include <algorithm>
#include <bit>
#include <limits>

#include "render/ColumnBarMask.h"

namespace skelvane {

void ColumnRowMask::Draw(std::span<const int32_t> columns, int32_t firstRow, int32_t endRow, int32_t z) {
  const WindowBox all{std::numeric_limits<int32_t>::min(), firstRow, std::numeric_limits<int32_t>::max(), endRow};
  DrawWithin(columns, std::span<const WindowBox>(&all, 1), z);
}

void ColumnRowMask::DrawWithin(std::span<const int32_t> columns, std::span<const WindowBox> boxes, int32_t z) {
  if (columns.empty() || boxes.empty()) return;
  Plan(columns);
  if (!spans_.empty() && !DrawSpans(columns, boxes, z)) {
    // Too wide for a texture: every run on its own.
    runs_.clear();
    for (std::size_t i = 0; i < columns.size();) {
      const int32_t left = columns[i];
      int32_t right = left + 1;
      while (++i < columns.size() && columns[i] == right) ++right;
      runs_.push_back({left, right});
    }
  }
  DrawRuns(runs_, boxes, z);
}

void ColumnRowMask::Plan(std::span<const int32_t> columns) {
  runs_.clear();
  spans_.clear();
  Stretch group{columns.front(), columns.front() + 1};
  bool severalRuns = false;
  const auto close = [&](const Stretch& g, bool several) { (several ? spans_ : runs_).push_back(g); };
  for (std::size_t i = 1; i < columns.size(); ++i) {
    const int32_t x = columns[i];
    if (x == group.right) {
      ++group.right;
    } else if (x - group.right < kBridgeGap) {
      group.right = x + 1;
      severalRuns = true;
    } else {
      close(group, severalRuns);
      group = {x, x + 1};
      severalRuns = false;
    }
  }
  close(group, severalRuns);
}

template <typename Piece>
void ColumnRowMask::EachPiece(std::span<const Stretch> stretches, std::span<const WindowBox> boxes, Piece&& piece) {
  for (const WindowBox& box : boxes) {
    if (box.bottom >= box.top) continue;
    for (const Stretch& stretch : stretches) {
      const int32_t left = std::max(stretch.left, box.left), right = std::min(stretch.right, box.right);
      if (left < right) piece(left, right, box);
    }
  }
}

// Vertices on pixel edges; the caller's projection gives them the lines' own depth.
void ColumnRowMask::DrawRuns(std::span<const Stretch> runs, std::span<const WindowBox> boxes, int32_t z) const {
  if (runs.empty()) return;
  glBegin(GL_QUADS);
  EachPiece(runs, boxes, [z](int32_t left, int32_t right, const WindowBox& box) {
    glVertex3i(left, box.bottom, z);
    glVertex3i(right, box.bottom, z);
    glVertex3i(right, box.top, z);
    glVertex3i(left, box.top, z);
  });
  glEnd();
}

bool ColumnRowMask::DrawSpans(std::span<const int32_t> columns, std::span<const WindowBox> boxes, int32_t z) {
  const int32_t base = spans_.front().left;
  const int32_t width = spans_.back().right - base;
  if (width > textures_.MaxSize()) return false;
  row_.assign(static_cast<std::size_t>(width), ColumnBarMask::kMaskedTexel);
  const auto from = std::lower_bound(columns.begin(), columns.end(), base);
  for (auto it = from; it != columns.end() && *it < base + width; ++it) {
    row_[static_cast<std::size_t>(*it - base)] = ColumnBarMask::kLitTexel;
  }
  // A power-of-two width, so every texel's edge is an exact texture coordinate.
  const MaskTextures::Texture& texture = textures_.Next(static_cast<int32_t>(std::bit_ceil(static_cast<uint32_t>(width))), 1);
  glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
  glTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, width, 1, GL_ALPHA, GL_UNSIGNED_BYTE, row_.data());
  glEnable(GL_TEXTURE_2D);
  glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_REPLACE);
  glEnable(GL_ALPHA_TEST);
  glAlphaFunc(GL_LESS, ColumnBarMask::kAlphaCut);
  const float perColumn = 1.0f / static_cast<float>(texture.width);
  constexpr float kMiddleOfRow = 0.5f;
  glBegin(GL_QUADS);
  EachPiece(spans_, boxes, [&](int32_t left, int32_t right, const WindowBox& box) {
    const float s0 = static_cast<float>(left - base) * perColumn;
    const float s1 = static_cast<float>(right - base) * perColumn;
    glTexCoord2f(s0, kMiddleOfRow);
    glVertex3i(left, box.bottom, z);
    glTexCoord2f(s1, kMiddleOfRow);
    glVertex3i(right, box.bottom, z);
    glTexCoord2f(s1, kMiddleOfRow);
    glVertex3i(right, box.top, z);
    glTexCoord2f(s0, kMiddleOfRow);
    glVertex3i(left, box.top, z);
  });
  glEnd();
  glDisable(GL_ALPHA_TEST);
  glDisable(GL_TEXTURE_2D);
  glBindTexture(GL_TEXTURE_2D, 0);
  return true;
}

}  // namespace skelvane
