#include "render/ColumnLineDrawer.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>

#include "render/MaskCheckScope.h"
#include "render/PrimitiveBatch.h"

namespace skelvane {
namespace {

// The rasteriser snaps window positions to 1/256 pixel before it decides coverage.
constexpr float kSubpixels = 256.0f;
constexpr int32_t kSubpixelBits = 8;
constexpr int64_t kSubpixelMask = 255;
// A column within this many subpixels of a pixel edge or centre is left to the rasteriser, whose
// rules for a line's ends and sides meet there.
constexpr int64_t kColumnEdgeMargin = 1;
constexpr int64_t kPixelCentre = 128;
// The depths the self-check draws at: the lines, and something in front of them drawn first.
constexpr int32_t kCheckDepth = -5;
constexpr int32_t kCheckFrontDepth = -4;
constexpr int32_t kCheckPasses = 3;

int64_t Snap(float clip, float half, float centre) { return std::lrint(std::fmaf(clip, half, centre) * kSubpixels); }

bool OnTie(int64_t snapped) {
  const int64_t within = snapped & kSubpixelMask;
  return within <= kColumnEdgeMargin || within >= kSubpixelMask + 1 - kColumnEdgeMargin ||
         std::llabs(within - kPixelCentre) <= kColumnEdgeMargin;
}

}  // namespace

void ColumnLineDrawer::Draw(std::span<const int32_t> xs, int32_t yLow, int32_t yHigh, uint32_t colour,
                            int32_t lineWidth, int32_t z) {
  if (xs.empty()) return;
  if (!InUse() || lineWidth * batch_.PixelRatio() != 1 || !Columns(xs, yLow, yHigh, z)) {
    DrawLines(xs, yLow, yHigh, colour, lineWidth, z);
    return;
  }
  PrimitiveBatch::SetColour(colour);
  DrawRectangles(z);
  DrawLines(undecided_, yLow, yHigh, colour, lineWidth, z);
}

void ColumnLineDrawer::DrawLines(std::span<const int32_t> xs, int32_t yLow, int32_t yHigh, uint32_t colour,
                                 int32_t lineWidth, int32_t z) {
  if (xs.empty()) return;
  PrimitiveBatch::SetColour(colour);
  batch_.SetLineWidth(lineWidth);
  for (const int32_t x : xs) {
    batch_.AddVertex(x, yLow, z);
    batch_.AddVertex(x, yHigh, z);
  }
  batch_.Submit(GL_LINES, false);
}

// The vertex stage rounds the product and the sum apart (this file is built without contraction);
// the viewport step is one fused multiply-add, as for the bar masks.
bool ColumnLineDrawer::Columns(std::span<const int32_t> xs, int32_t yLow, int32_t yHigh, int32_t z) {
  columns_.clear();
  undecided_.clear();
  std::array<GLfloat, 16> modelView{};
  glGetFloatv(GL_MODELVIEW_MATRIX, modelView.data());
  for (int32_t i = 0; i < 16; ++i) {
    if (modelView[static_cast<std::size_t>(i)] != (i % 5 == 0 ? 1.0f : 0.0f)) return false;
  }
  std::array<GLfloat, 16> m{};
  glGetFloatv(GL_PROJECTION_MATRIX, m.data());
  glGetIntegerv(GL_VIEWPORT, viewport_);
  const bool scaleAndTranslate = m[1] == 0.0f && m[3] == 0.0f && m[4] == 0.0f && m[7] == 0.0f && m[8] == 0.0f &&
                                 m[9] == 0.0f && m[11] == 0.0f && m[15] == 1.0f;
  if (!scaleAndTranslate || viewport_[2] <= 0 || viewport_[3] <= 0) return false;
  // Depths on or past the near and far planes are clipped: left to the lines.
  const float clipZ = m[10] * static_cast<float>(z) + m[14];
  if (!(std::fabs(clipZ) < 1.0f) || m[2] != 0.0f || m[6] != 0.0f) return false;
  depthRow_[0] = m[2];
  depthRow_[1] = m[6];
  depthRow_[2] = m[10];
  depthRow_[3] = m[14];

  // Both ends on pixel edges within the viewport (its own edges included, where the clipper leaves a
  // vertex as it is), going up the screen: then the line lights the rows from the lower edge up to
  // the upper one, whatever its column's fraction.
  const float halfHeight = static_cast<float>(viewport_[3]) * 0.5f;
  const float centreY = static_cast<float>(viewport_[1]) + halfHeight;
  const float clipLow = m[5] * static_cast<float>(yLow) + m[13];
  const float clipHigh = m[5] * static_cast<float>(yHigh) + m[13];
  if (!(clipLow >= -1.0f && clipLow <= 1.0f && clipHigh >= -1.0f && clipHigh <= 1.0f)) return false;
  const int64_t low = Snap(clipLow, halfHeight, centreY);
  const int64_t high = Snap(clipHigh, halfHeight, centreY);
  if ((low & kSubpixelMask) != 0 || (high & kSubpixelMask) != 0 || low >= high) return false;
  firstRow_ = static_cast<int32_t>(low >> kSubpixelBits);
  endRow_ = static_cast<int32_t>(high >> kSubpixelBits);
  if (firstRow_ < viewport_[1] || endRow_ > viewport_[1] + viewport_[3]) return false;

  const float halfWidth = static_cast<float>(viewport_[2]) * 0.5f;
  const float centreX = static_cast<float>(viewport_[0]) + halfWidth;
  for (const int32_t x : xs) {
    const float clipX = m[0] * static_cast<float>(x) + m[12];
    const int64_t fx = Snap(clipX, halfWidth, centreX);
    const int64_t column = fx >> kSubpixelBits;
    if (!(clipX > -1.0f && clipX < 1.0f) || OnTie(fx) || column < viewport_[0] ||
        column >= int64_t{viewport_[0]} + viewport_[2]) {
      undecided_.push_back(x);
      continue;
    }
    columns_.push_back(static_cast<int32_t>(column));
  }
  std::sort(columns_.begin(), columns_.end());
  columns_.erase(std::unique(columns_.begin(), columns_.end()), columns_.end());
  return true;
}

// Vertices on pixel edges in window pixels, whose z row is the lines' own, so the depths come out
// the same.
void ColumnLineDrawer::DrawRectangles(int32_t z) const {
  if (columns_.empty()) return;
  GLint matrixMode = GL_MODELVIEW;
  glGetIntegerv(GL_MATRIX_MODE, &matrixMode);
  glMatrixMode(GL_PROJECTION);
  glPushMatrix();
  const auto width = static_cast<float>(viewport_[2]);
  const auto height = static_cast<float>(viewport_[3]);
  const GLfloat window[16] = {2.0f / width, 0.0f, depthRow_[0], 0.0f,
                              0.0f, 2.0f / height, depthRow_[1], 0.0f,
                              0.0f, 0.0f, depthRow_[2], 0.0f,
                              -(2.0f * static_cast<float>(viewport_[0]) + width) / width,
                              -(2.0f * static_cast<float>(viewport_[1]) + height) / height, depthRow_[3], 1.0f};
  glLoadMatrixf(window);
  glBegin(GL_QUADS);
  for (std::size_t i = 0; i < columns_.size();) {
    const int32_t left = columns_[i];
    int32_t right = left + 1;
    while (++i < columns_.size() && columns_[i] == right) ++right;
    glVertex3i(left, firstRow_, z);
    glVertex3i(right, firstRow_, z);
    glVertex3i(right, endRow_, z);
    glVertex3i(left, endRow_, z);
  }
  glEnd();
  glPopMatrix();
  glMatrixMode(static_cast<GLenum>(matrixMode));
}

// Three canvases: the lines from the bottom to the top edge and a shorter set, unscrolled and
// scrolled, and a fractional scale whose ends fall between pixel edges; columns in runs and apart.
void ColumnLineDrawer::Check(int32_t frameWidth, int32_t frameHeight, double nearPlane, double farPlane) {
  nearPlane_ = nearPlane;
  farPlane_ = farPlane;
  const MaskCheckScope corner(batch_, frameWidth, frameHeight);
  if (!corner.Usable()) return;
  bool same = true;
  std::vector<uint8_t> lines, rectangles;
  for (int32_t pass = 0; pass < kCheckPasses && same; ++pass) {
    DrawCheckFrame(false, pass, corner.Width(), corner.Height(), lines);
    DrawCheckFrame(true, pass, corner.Width(), corner.Height(), rectangles);
    same = lines == rectangles;
  }
  state_ = same ? State::kInUse : State::kOff;
}

void ColumnLineDrawer::DrawCheckFrame(bool rectangles, int32_t pass, int32_t width, int32_t height,
                                      std::vector<uint8_t>& pixels) {
  MaskCheckScope::BeginFrame();
  const double top = pass == 1 ? -517.0 : 0.0;
  glMatrixMode(GL_PROJECTION);
  glLoadIdentity();
  glOrtho(0.0, width + 1.0, top - height, top, nearPlane_, farPlane_);
  if (pass == 2) glScalef(1.0f, 0.37f, 1.0f);
  std::vector<int32_t> xs;
  uint32_t state = 2024u + static_cast<uint32_t>(pass);
  for (int32_t x = -3; x <= width + 3; ++x) {
    state = state * 1664525u + 1013904223u;
    if ((state >> 28) < 6) xs.push_back(x);  // runs of neighbours and gaps
  }
  const auto bottom = static_cast<int32_t>(top) - height + 17;
  const auto ceiling = static_cast<int32_t>(top);
  // Something in front, drawn first, and something at the lines' own depth before and after them.
  const int32_t front[] = {10, 10, width / 2, width / 2};
  const int32_t frontYs[] = {ceiling - 40, ceiling - 20, ceiling - 20, ceiling - 40};
  PrimitiveBatch::SetColour(0xFFFFFFu);
  glBegin(GL_POLYGON);
  for (int32_t i = 0; i < 4; ++i) glVertex3i(front[i], frontYs[i], kCheckFrontDepth);
  glEnd();
  batch_.SetLineWidth(1);
  batch_.AddVertex(0, ceiling - 60, kCheckDepth);
  batch_.AddVertex(width, ceiling - 60, kCheckDepth);
  batch_.Submit(GL_LINES, false);
  const auto draw = [&](std::span<const int32_t> columns, int32_t low, int32_t high, uint32_t colour) {
    if (rectangles) {
      const State kept = state_;
      state_ = State::kInUse;
      const bool allowed = allowed_;
      allowed_ = true;
      Draw(columns, low, high, colour, 1, kCheckDepth);
      state_ = kept;
      allowed_ = allowed;
    } else {
      DrawLines(columns, low, high, colour, 1, kCheckDepth);
    }
  };
  draw(xs, bottom, ceiling, 0x0080FFu);
  draw(std::span<const int32_t>(xs).first(xs.size() / 2), ceiling - 120, ceiling - 61, 0x00FF00u);
  batch_.AddVertex(0, ceiling - 90, kCheckDepth);
  batch_.AddVertex(width, ceiling - 90, kCheckDepth);
  PrimitiveBatch::SetColour(0xFF0000u);
  batch_.Submit(GL_LINES, false);
  pixels.assign(static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * 4u, 0);
  glPixelStorei(GL_PACK_ALIGNMENT, 4);
  glReadPixels(0, 0, width, height, GL_BGRA, GL_UNSIGNED_BYTE, pixels.data());
}

}  // namespace skelvane
