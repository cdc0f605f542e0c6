#include "render/ColumnLineDrawer.h"

#include <GL/gl.h>

#include <algorithm>
#include <optional>

#include "render/MaskCheckScope.h"
#include "render/PrimitiveBatch.h"

namespace skelvane {
namespace {

// The depths the self-check draws at: the lines, and something in front of them drawn first.
constexpr int32_t kCheckDepth = -5;
constexpr int32_t kCheckFrontDepth = -4;

}  // namespace

void ColumnLineDrawer::Draw(std::span<const int32_t> xs, int32_t yLow, int32_t yHigh, uint32_t colour,
                            int32_t lineWidth, int32_t z) {
  if (xs.empty()) return;
  const bool rectangles = InUse() && lineWidth * batch_.PixelRatio() == 1;
  if (!rectangles || !DrawDecided(xs, yLow, yHigh, colour, lineWidth, z)) {
    DrawLines(xs, yLow, yHigh, colour, lineWidth, z);
  }
}

bool ColumnLineDrawer::DrawDecided(std::span<const int32_t> xs, int32_t yLow, int32_t yHigh, uint32_t colour,
                                   int32_t lineWidth, int32_t z) {
  if (!Columns(xs, yLow, yHigh, z)) return false;
  PrimitiveBatch::SetColour(colour);
  DrawRectangles(z);
  DrawLines(undecided_, yLow, yHigh, colour, lineWidth, z);
  return true;
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

bool ColumnLineDrawer::Columns(std::span<const int32_t> xs, int32_t yLow, int32_t yHigh, int32_t z) {
  columns_.clear();
  undecided_.clear();
  if (!ReadMaskedState(z, masked_)) return false;
  const int32_t* viewport = masked_.viewport;
  if (!coverage_.SetTransform(masked_.projection, viewport[0], viewport[1], viewport[2], viewport[3])) return false;
  // Both ends on pixel edges within the viewport, going up the screen: then the line lights the rows
  // from the lower edge up to the upper one, whatever its column's fraction.
  const std::optional<int32_t> firstRow = coverage_.EdgeRow(yLow);
  const std::optional<int32_t> endRow = coverage_.EdgeRow(yHigh);
  if (!firstRow || !endRow || *firstRow >= *endRow) return false;
  firstRow_ = *firstRow;
  endRow_ = *endRow;
  for (const int32_t x : xs) {
    const std::optional<int32_t> column = coverage_.Column(x);
    if (column) {
      columns_.push_back(*column);
    } else {
      undecided_.push_back(x);
    }
  }
  std::sort(columns_.begin(), columns_.end());
  columns_.erase(std::unique(columns_.begin(), columns_.end()), columns_.end());
  return true;
}

// Vertices on pixel edges in window pixels, whose z row is the lines' own, so the depths come out
// the same.
void ColumnLineDrawer::DrawRectangles(int32_t z) {
  if (columns_.empty()) return;
  GLint matrixMode = GL_MODELVIEW;
  glGetIntegerv(GL_MATRIX_MODE, &matrixMode);
  ColumnBarMask::LoadWindowProjection(masked_.depthRow, masked_.viewport);
  rowMask_.Draw(columns_, firstRow_, endRow_, z);
  glPopMatrix();
  glMatrixMode(static_cast<GLenum>(matrixMode));
}

// Columns in runs and apart; lines from the bottom to the top edge and a shorter set.
bool ColumnLineDrawer::CheckPass(int32_t pass, int32_t width, int32_t height) {
  std::vector<uint8_t> lines, rectangles;
  DrawCheckFrame(false, pass, width, height, lines);
  DrawCheckFrame(true, pass, width, height, rectangles);
  return lines == rectangles;
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
    // Through the rectangles whether or not they are in use yet: this is what decides that.
    if (!rectangles || !DrawDecided(columns, low, high, colour, 1, kCheckDepth)) {
      DrawLines(columns, low, high, colour, 1, kCheckDepth);
    }
  };
  draw(xs, bottom, ceiling, 0x0080FFu);
  draw(std::span<const int32_t>(xs).first(xs.size() / 2), ceiling - 120, ceiling - 61, 0x00FF00u);
  batch_.AddVertex(0, ceiling - 90, kCheckDepth);
  batch_.AddVertex(width, ceiling - 90, kCheckDepth);
  PrimitiveBatch::SetColour(0xFF0000u);
  batch_.Submit(GL_LINES, false);
  ReadCheckFrame(width, height, pixels);
}

}  // namespace skelvane
