#include "render/ColumnBarDrawer.h"

#include <GL/gl.h>

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

bool ColumnBarDrawer::MaskedTransform(int32_t z, ColumnBarCoverage& coverage, MaskedState& state) {
  if (!ReadMaskedState(z, state)) return false;
  const int32_t* viewport = state.viewport;
  return coverage.SetTransform(state.projection, viewport[0], viewport[1], viewport[2], viewport[3]);
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
  MaskedState state;
  if (!MaskedTransform(z, rows, state) || !rows.RowsUsable()) return false;
  if (glIsEnabled(GL_SCISSOR_TEST) == GL_TRUE) {
    GLint box[4] = {0, 0, 0, 0};
    glGetIntegerv(GL_SCISSOR_BOX, box);
    rows.KeepRows(box[1], box[3]);
  }
  return true;
}

bool ColumnBarDrawer::DrawMasked(std::span<const int32_t> xs, std::span<const int16_t> lows,
                                 std::span<const int16_t> highs, uint32_t colour, int32_t z) {
  MaskedState state;
  if (!MaskedTransform(z, coverage_, state)) return false;
  coverage_.Compute(xs, lows, highs, spans_, undecided_);
  ClipToScissor(spans_);
  PrimitiveBatch::SetColour(colour);
  if (!mask_.Draw(spans_, z, state.depthRow, state.viewport)) return false;
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
bool ColumnBarDrawer::CheckPass(int32_t pass, int32_t width, int32_t height) {
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
  std::vector<uint8_t> segments, masked;
  DrawCheckFrame(false, onEdges, width, height, xs, lows, highs, segments);
  return DrawCheckFrame(true, onEdges, width, height, xs, lows, highs, masked) && segments == masked;
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
  ReadCheckFrame(width, height, pixels);
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
