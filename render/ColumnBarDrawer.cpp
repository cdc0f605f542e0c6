#include "render/ColumnBarDrawer.h"

#include <GL/gl.h>

#include <algorithm>
#include <array>
#include <cmath>

#include "render/MaskCheckScope.h"
#include "render/PrimitiveBatch.h"
#include "render/WindowFootprint.h"

namespace skelvane {
namespace {

// The depths the self-check draws at: the bars, things in front of them and something behind them.
constexpr int32_t kCheckDepth = -10;
constexpr int32_t kCheckFrontDepth = -9;
constexpr int32_t kCheckBehindDepth = -11;

}  // namespace

void ColumnBarDrawer::Draw(std::span<const int32_t> xs, std::span<const int16_t> lows,
                           std::span<const int16_t> highs, uint32_t colour, int32_t lineWidth, int32_t z) {
  const bool masks = InUse() && lineWidth * batch_.PixelRatio() == 1;
  if (masks && DrawMasked(xs, lows, highs, colour, z, FillInUse())) return;
  NoteSegments(xs, lows, xs, highs, colour, lineWidth, z);
  batch_.BarSegments(xs, lows, highs, colour, lineWidth, z);
}

bool ColumnBarDrawer::MaskedTransform(int32_t z, ColumnBarCoverage& coverage, MaskedState& state) {
  if (!ReadMaskedState(z, state)) return false;
  const int32_t* viewport = state.viewport;
  return coverage.SetTransform(state.projection, viewport[0], viewport[1], viewport[2], viewport[3]);
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
                                 std::span<const int16_t> highs, uint32_t colour, int32_t z, bool fill) {
  MaskedState state;
  if (!MaskedTransform(z, coverage_, state)) return false;
  coverage_.Compute(xs, lows, highs, spans_, undecided_);
  ClipToScissor(spans_);
  if (!DrawSpans(spans_, colour, z, state, fill)) return false;
  if (!undecided_.empty()) {
    leftoverXs_.clear();
    leftoverLows_.clear();
    leftoverHighs_.clear();
    for (const uint32_t i : undecided_) {
      leftoverXs_.push_back(xs[i]);
      leftoverLows_.push_back(lows[i]);
      leftoverHighs_.push_back(highs[i]);
    }
    NoteSegments(leftoverXs_, leftoverLows_, leftoverXs_, leftoverHighs_, colour, 1, z);
    batch_.BarSegments(leftoverXs_, leftoverLows_, leftoverHighs_, colour, 1, z);
  }
  return true;
}

// Once with a fractional scale (values picked where a fused and a separate multiply-add land in
// different pixels) and once with bar ends on exact pixel edges. The bars left to the read-back are
// checked beside: should they differ, they are not used.
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
  DrawCheckFrame(Way::kSegments, onEdges, width, height, xs, lows, highs, segments);
  if (!DrawCheckFrame(Way::kMasks, onEdges, width, height, xs, lows, highs, masked) || segments != masked) return false;
  if (pass == 0) fillChecked_ = true;
  if (fillChecked_) {
    std::vector<uint8_t> filled;
    fillChecked_ = DrawCheckFrame(Way::kFill, onEdges, width, height, xs, lows, highs, filled) && segments == filled;
  }
  return true;
}

bool ColumnBarDrawer::DrawCheckFrame(Way way, bool onEdges, int32_t width, int32_t height, std::vector<int32_t>& xs,
                                     std::vector<int16_t>& lows, std::vector<int16_t>& highs,
                                     std::vector<uint8_t>& pixels) {
  MaskCheckScope::BeginFrame();
  readBack_.StartFrame();
  glMatrixMode(GL_PROJECTION);
  glLoadIdentity();
  glOrtho(0.0, width + 1.0, onEdges ? -height : -1000.0, 0.0, nearPlane_, farPlane_);
  glTranslatef(3.0f, onEdges ? static_cast<float>(-height / 2) : -517.0f, 0.0f);
  glScalef(1.0f, onEdges ? 1.0f : 0.0123f, 1.0f);
  if (!onEdges && way == Way::kSegments) AddSensitiveBars(width, xs, lows, highs);
  // Plates a quarter of the corner wide, placed by the corner's rows (near enough, off the edges).
  const int32_t perRow = onEdges ? 1 : 325;
  const auto plate = [&](int32_t left, int32_t row, int32_t rows, uint32_t colour, int32_t z) {
    const int32_t low = (row - height / 2) * perRow;
    readBack_.DrawNotedPlate(left, low, left + width / 4, low + rows * perRow, colour, z);
  };
  // Something in front drawn first; something at the bars' own depth under them and over them:
  // depths must match exactly; then something in front and something behind drawn after them.
  plate(width / 8, height / 3, height / 10, 0xFFFFFFu, kCheckFrontDepth);
  const std::span<const int32_t> under = std::span<const int32_t>(xs).first(xs.size() / 2);
  NoteSegments(under, highs, under, lows, 0x0000FFu, 1, kCheckDepth);
  batch_.BarSegments(under, highs, lows, 0x0000FFu, 1, kCheckDepth);
  bool drawn = true;
  if (way == Way::kSegments) {
    batch_.BarSegments(xs, lows, highs, 0x00FF00u, 1, kCheckDepth);
  } else if (!DrawMasked(xs, lows, highs, 0x00FF00u, kCheckDepth, way == Way::kFill) || spans_.empty()) {
    drawn = false;
  }
  const std::span<const int32_t> over = std::span<const int32_t>(xs).last(xs.size() / 3);
  NoteSegments(over, highs, over, highs, 0xFF0000u, 1, kCheckDepth);
  batch_.BarSegments(over, highs, highs, 0xFF0000u, 1, kCheckDepth);
  plate(width / 2, height / 2, height / 10, 0xFF00FFu, kCheckFrontDepth);
  plate(width / 3, height / 5, height / 4, 0x404040u, kCheckBehindDepth);
  ReadCheckFrame(width, height, pixels);
  if (way == Way::kFill) {
    drawn = drawn && !readBack_.Empty();
    readBack_.Apply(reinterpret_cast<uint32_t*>(pixels.data()), width, height);
  }
  readBack_.StartFrame();
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
