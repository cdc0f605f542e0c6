#include "render/ColumnBarDrawer.h"

#include <algorithm>
#include <array>
#include <cmath>

#include "render/MaskCheckScope.h"
#include "render/PrimitiveBatch.h"

namespace skelvane {
namespace {

// The depth the self-check draws at.
constexpr int32_t kCheckDepth = -10;

}  // namespace

void ColumnBarDrawer::Draw(std::span<const int32_t> xs, std::span<const int16_t> lows,
                           std::span<const int16_t> highs, uint32_t colour, int32_t lineWidth, int32_t z) {
  const bool masks = InUse() && lineWidth * batch_.PixelRatio() == 1;
  if (masks && DrawMasked(xs, lows, highs, colour, z)) return;
  batch_.BarSegments(xs, lows, highs, colour, lineWidth, z);
}

bool ColumnBarDrawer::MaskedTransform(int32_t z, ColumnBarCoverage& coverage, float depthRow[4], int32_t viewport[4]) {
  std::array<GLfloat, 16> modelView{};
  glGetFloatv(GL_MODELVIEW_MATRIX, modelView.data());
  for (int32_t i = 0; i < 16; ++i) {
    if (modelView[static_cast<std::size_t>(i)] != (i % 5 == 0 ? 1.0f : 0.0f)) return false;
  }
  std::array<GLfloat, 16> projection{};
  glGetFloatv(GL_PROJECTION_MATRIX, projection.data());
  GLint view[4] = {0, 0, 0, 0};
  glGetIntegerv(GL_VIEWPORT, view);
  std::copy(view, view + 4, viewport);
  // Depths on or past the near and far planes are clipped: left to the segments.
  const float clipZ = projection[10] * static_cast<float>(z) + projection[14];
  if (!(std::fabs(clipZ) < 1.0f)) return false;
  depthRow[0] = projection[2];
  depthRow[1] = projection[6];
  depthRow[2] = projection[10];
  depthRow[3] = projection[14];
  return coverage.SetTransform(projection, viewport[0], viewport[1], viewport[2], viewport[3]);
}

// Rows outside the scissor box would be thrown away pixel by pixel: a magnified trace's bars reach
// far past its plot, and its mask would be that much larger.
void ColumnBarDrawer::ClipToScissor(std::vector<ColumnBarCoverage::Span>& spans) {
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

bool ColumnBarDrawer::Rows(int32_t lineWidth, int32_t z, ColumnBarCoverage& rows) const {
  if (!InUse() || lineWidth * batch_.PixelRatio() != 1) return false;
  float depthRow[4];
  int32_t viewport[4];
  if (!MaskedTransform(z, rows, depthRow, viewport) || !rows.RowsUsable()) return false;
  if (glIsEnabled(GL_SCISSOR_TEST) == GL_TRUE) {
    GLint box[4] = {0, 0, 0, 0};
    glGetIntegerv(GL_SCISSOR_BOX, box);
    rows.KeepRows(box[1], box[3]);
  }
  return true;
}

bool ColumnBarDrawer::DrawMasked(std::span<const int32_t> xs, std::span<const int16_t> lows,
                                 std::span<const int16_t> highs, uint32_t colour, int32_t z) {
  float depthRow[4];
  int32_t viewport[4];
  if (!MaskedTransform(z, coverage_, depthRow, viewport)) return false;
  coverage_.Compute(xs, lows, highs, spans_, undecided_);
  ClipToScissor(spans_);
  PrimitiveBatch::SetColour(colour);
  if (!mask_.Draw(spans_, z, depthRow, viewport)) return false;
  if (!undecided_.empty()) {
    leftoverXs_.clear();
    leftoverLows_.clear();
    leftoverHighs_.clear();
    for (const uint32_t i : undecided_) {
      leftoverXs_.push_back(xs[i]);
      leftoverLows_.push_back(lows[i]);
      leftoverHighs_.push_back(highs[i]);
    }
    batch_.BarSegments(leftoverXs_, leftoverLows_, leftoverHighs_, colour, 1, z);
  }
  return true;
}

// Once with a fractional scale (values picked where a fused and a separate multiply-add land in
// different pixels) and once with bar ends on exact pixel edges.
void ColumnBarDrawer::Check(int32_t frameWidth, int32_t frameHeight, double nearPlane, double farPlane) {
  nearPlane_ = nearPlane;
  farPlane_ = farPlane;
  const MaskCheckScope corner(batch_, frameWidth, frameHeight);
  if (!corner.Usable()) return;
  const int32_t width = corner.Width();
  const int32_t height = corner.Height();
  bool same = true;
  std::vector<uint8_t> segments, masked;
  for (int32_t pass = 0; pass < 2 && same; ++pass) {
    const bool onEdges = pass == 1;
    std::vector<int32_t> xs;
    std::vector<int16_t> lows, highs;
    uint32_t state = 12345u + static_cast<uint32_t>(pass);
    const int32_t range = onEdges ? height : 90000;
    for (int32_t x = -2; x <= width + 2; ++x) {
      state = state * 1664525u + 1013904223u;
      const auto a = static_cast<int32_t>(state >> 8) % range - range / 2;
      state = state * 1664525u + 1013904223u;
      const auto b = a + static_cast<int32_t>(state >> 8) % (range / 8 + 1);
      xs.push_back(x);
      lows.push_back(static_cast<int16_t>(std::clamp(a, -32768, 32767)));
      highs.push_back(static_cast<int16_t>(std::clamp(b, -32768, 32767)));
    }
    DrawCheckFrame(false, onEdges, width, height, xs, lows, highs, segments);
    same = DrawCheckFrame(true, onEdges, width, height, xs, lows, highs, masked);
    if (same) same = segments == masked;
  }
  state_ = same ? State::kInUse : State::kOff;
}

bool ColumnBarDrawer::DrawCheckFrame(bool masked, bool onEdges, int32_t width, int32_t height,
                                     std::vector<int32_t>& xs, std::vector<int16_t>& lows,
                                     std::vector<int16_t>& highs, std::vector<uint8_t>& pixels) {
  MaskCheckScope::BeginFrame();
  glMatrixMode(GL_PROJECTION);
  glLoadIdentity();
  glOrtho(0.0, width + 1.0, onEdges ? -height : -1000.0, 0.0, nearPlane_, farPlane_);
  glTranslatef(3.0f, onEdges ? static_cast<float>(-height / 2) : -517.0f, 0.0f);
  glScalef(1.0f, onEdges ? 1.0f : 0.0123f, 1.0f);
  if (!onEdges && !masked) AddSensitiveBars(width, xs, lows, highs);
  // Something at the bars' own depth under them and over them: depths must match exactly.
  batch_.BarSegments(std::span<const int32_t>(xs).first(xs.size() / 2), highs, lows, 0x0000FFu, 1, kCheckDepth);
  bool drawn = true;
  if (!masked) {
    batch_.BarSegments(xs, lows, highs, 0x00FF00u, 1, kCheckDepth);
  } else if (!DrawMasked(xs, lows, highs, 0x00FF00u, kCheckDepth) || spans_.empty()) {
    drawn = false;
  }
  batch_.BarSegments(std::span<const int32_t>(xs).last(xs.size() / 3), highs, highs, 0xFF0000u, 1, kCheckDepth);
  pixels.assign(static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * 4u, 0);
  glPixelStorei(GL_PACK_ALIGNMENT, 4);
  glReadPixels(0, 0, width, height, GL_BGRA, GL_UNSIGNED_BYTE, pixels.data());
  return drawn;
}

void ColumnBarDrawer::AddSensitiveBars(int32_t width, std::vector<int32_t>& xs, std::vector<int16_t>& lows,
                                       std::vector<int16_t>& highs) {
  std::array<GLfloat, 16> projection{};
  glGetFloatv(GL_PROJECTION_MATRIX, projection.data());
  GLint viewport[4] = {0, 0, 0, 0};
  glGetIntegerv(GL_VIEWPORT, viewport);
  const float half = static_cast<float>(viewport[3]) * 0.5f;
  auto row = [](float window) { return std::floor(std::nearbyint(window * 256.0f) / 256.0f); };
  int32_t added = 0;
  for (int32_t y = -32768; y <= 32767 && added < width; ++y) {
    const float product = projection[5] * static_cast<float>(y);
    const float clip = product + projection[13];
    const float fusedClip = std::fmaf(projection[5], static_cast<float>(y), projection[13]);
    const float fused = row(std::fmaf(clip, half, half));
    const float window = clip * half;
    const float separate = row(window + half);
    const float fusedVertex = row(std::fmaf(fusedClip, half, half));
    if (fused == separate && fused == fusedVertex) continue;
    if (fused < 0.0f || fused >= static_cast<float>(viewport[3])) continue;
    xs.push_back(added++ % width);
    lows.push_back(static_cast<int16_t>(y));
    highs.push_back(static_cast<int16_t>(y));
  }
}

}  // namespace skelvane
