#include "render/MaskDrawer.h"

#include <GL/gl.h>

#include <algorithm>
#include <cmath>

#include "render/MaskCheckScope.h"
#include "render/PrimitiveBatch.h"
#include "render/WindowFootprint.h"

namespace skelvane {

void MaskDrawer::Check(int32_t frameWidth, int32_t frameHeight, double nearPlane, double farPlane) {
  nearPlane_ = nearPlane;
  farPlane_ = farPlane;
  const MaskCheckScope corner(batch_, frameWidth, frameHeight);
  if (!corner.Usable()) return;
  bool same = true;
  for (int32_t pass = 0; pass < CheckPasses() && same; ++pass) same = CheckPass(pass, corner.Width(), corner.Height());
  state_ = same ? State::kInUse : State::kOff;
}

bool MaskDrawer::ReadMaskedState(int32_t z, MaskedState& state) {
  std::array<GLfloat, 16> modelView{};
  glGetFloatv(GL_MODELVIEW_MATRIX, modelView.data());
  for (int32_t i = 0; i < 16; ++i) {
    if (modelView[static_cast<std::size_t>(i)] != (i % 5 == 0 ? 1.0f : 0.0f)) return false;
  }
  std::array<GLfloat, 16>& projection = state.projection;
  glGetFloatv(GL_PROJECTION_MATRIX, projection.data());
  GLint viewport[4] = {0, 0, 0, 0};
  glGetIntegerv(GL_VIEWPORT, viewport);
  std::copy(viewport, viewport + 4, state.viewport);
  // Depths on or past the near and far planes are clipped: left to the rasteriser.
  const float clipZ = projection[10] * static_cast<float>(z) + projection[14];
  if (!(std::fabs(clipZ) < 1.0f)) return false;
  state.depthRow[0] = projection[2];
  state.depthRow[1] = projection[6];
  state.depthRow[2] = projection[10];
  state.depthRow[3] = projection[14];
  return true;
}

bool MaskDrawer::DrawSpans(std::span<const ColumnBarCoverage::Span> spans, uint32_t colour, int32_t z,
                           const MaskedState& state, bool fill) {
  // Pixels left to the read-back are not cut by the scissor box: cut them here.
  if (fill && glIsEnabled(GL_SCISSOR_TEST) == GL_TRUE) {
    clipped_.assign(spans.begin(), spans.end());
    ClipToScissor(clipped_);
    spans = clipped_;
  }
  if (spans.empty()) return true;
  WindowBox area{spans.front().column, spans.front().firstRow, spans.front().column + 1, spans.front().lastRow + 1};
  for (const ColumnBarCoverage::Span& span : spans) {
    area = {std::min(area.left, span.column), std::min(area.bottom, span.firstRow),
            std::max(area.right, span.column + 1), std::max(area.top, span.lastRow + 1)};
  }
  if (!mask_.Fits(area.right - area.left, area.top - area.bottom)) return false;
  runs_.clear();
  if (fill) {
    for (const ColumnBarCoverage::Span& span : spans) runs_.push_back({span.column, span.firstRow, span.lastRow + 1});
    if (readBack_.Leave(runs_, colour, z, state, *this)) return true;
  }
  readBack_.Note(std::span<const WindowBox>(&area, 1),
                 WindowFootprint::Of(state.projection.data(), state.viewport).Depth(z), colour);
  PrimitiveBatch::SetColour(colour);
  return mask_.Draw(spans, z, state.depthRow, state.viewport);
}

// Rows outside the scissor box would be thrown away pixel by pixel: a magnified trace's bars reach
// far past its plot, and its mask would be that much larger.
void MaskDrawer::ClipToScissor(std::vector<ColumnBarCoverage::Span>& spans) {
  if (glIsEnabled(GL_SCISSOR_TEST) != GL_TRUE) return;
  GLint box[4] = {0, 0, 0, 0};
  glGetIntegerv(GL_SCISSOR_BOX, box);
  const int32_t bottom = box[1];
  const int32_t top = box[1] + box[3] - 1;
  std::size_t kept = 0;
  for (ColumnBarCoverage::Span span : spans) {
    if (span.column < box[0] || span.column >= box[0] + box[2] || span.lastRow < bottom || span.firstRow > top) continue;
    span.firstRow = std::max(span.firstRow, bottom);
    span.lastRow = std::min(span.lastRow, top);
    spans[kept++] = span;
  }
  spans.resize(kept);
}

void MaskDrawer::DrawParts(const ColumnFill& fill, std::size_t set, std::span<const WindowBox> parts, int32_t z,
                           const MaskedState& state) {
  const std::span<const int32_t> columns = fill.Columns(set);
  const std::span<const int32_t> firstRows = fill.FirstRows(set);
  const std::span<const int32_t> endRows = fill.EndRows(set);
  partSpans_.clear();
  for (const WindowBox& part : parts) {
    for (auto it = std::lower_bound(columns.begin(), columns.end(), part.left); it != columns.end() && *it < part.right;
         ++it) {
      const auto i = static_cast<std::size_t>(it - columns.begin());
      const int32_t first = std::max(firstRows[i], part.bottom);
      const int32_t end = std::min(endRows[i], part.top);
      if (first < end) partSpans_.push_back({*it, first, end - 1});
    }
  }
  mask_.Draw(partSpans_, z, state.depthRow, state.viewport);
}

void MaskDrawer::NoteSegments(std::span<const int32_t> x0s, std::span<const int16_t> y0s, std::span<const int32_t> x1s,
                              std::span<const int16_t> y1s, uint32_t colour, int32_t lineWidth, int32_t z) {
  constexpr std::size_t kOneByOne = 256;
  const std::size_t count = std::min({x0s.size(), y0s.size(), x1s.size(), y1s.size()});
  if (count == 0) return;
  const WindowFootprint where = WindowFootprint::Current();
  const int32_t margin = lineWidth * batch_.PixelRatio();
  noted_.clear();
  int32_t left = x0s[0], right = x0s[0], bottom = y0s[0], top = y0s[0];
  for (std::size_t i = 0; i < count; ++i) {
    const int32_t x0 = std::min(x0s[i], x1s[i]), x1 = std::max(x0s[i], x1s[i]);
    const int32_t y0 = std::min<int32_t>(y0s[i], y1s[i]), y1 = std::max<int32_t>(y0s[i], y1s[i]);
    if (count <= kOneByOne) noted_.push_back(where.Box(x0, y0, x1, y1, margin));
    left = std::min(left, x0);
    right = std::max(right, x1);
    bottom = std::min(bottom, y0);
    top = std::max(top, y1);
  }
  if (count > kOneByOne) noted_.push_back(where.Box(left, bottom, right, top, margin));
  readBack_.Note(noted_, where.Depth(z), colour);
}

void MaskDrawer::ReadCheckFrame(int32_t width, int32_t height, std::vector<uint8_t>& pixels) {
  pixels.assign(static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * 4u, 0);
  glPixelStorei(GL_PACK_ALIGNMENT, 4);
  glReadPixels(0, 0, width, height, GL_BGRA, GL_UNSIGNED_BYTE, pixels.data());
}

}  // namespace skelvane
