#include "render/ColumnLineDrawer.h"

#include <GL/gl.h>

#include <algorithm>
#include <optional>

#include "render/MaskCheckScope.h"
#include "render/PrimitiveBatch.h"
#include "render/WindowFootprint.h"

namespace skelvane {
namespace {

// The depths the self-check draws at: the lines, things in front of them and something behind them.
constexpr int32_t kCheckDepth = -5;
constexpr int32_t kCheckFrontDepth = -4;
constexpr int32_t kCheckBehindDepth = -6;

}  // namespace

void ColumnLineDrawer::StartFrame() { rowMask_.StartFrame(); }

void ColumnLineDrawer::DrawParts(const ColumnFill& fill, std::size_t set, std::span<const WindowBox> parts, int32_t z,
                                 const MaskedState& state) {
  GLint matrixMode = GL_MODELVIEW;
  glGetIntegerv(GL_MATRIX_MODE, &matrixMode);
  ColumnBarMask::LoadWindowProjection(state.depthRow, state.viewport);
  rowMask_.DrawWithin(fill.Columns(set), parts, z);
  glPopMatrix();
  glMatrixMode(static_cast<GLenum>(matrixMode));
}

void ColumnLineDrawer::Draw(std::span<const int32_t> xs, int32_t yLow, int32_t yHigh, uint32_t colour,
                            int32_t lineWidth, int32_t z) {
  if (xs.empty()) return;
  const bool rectangles = InUse() && lineWidth * batch_.PixelRatio() == 1;
  if (!rectangles || !DrawDecided(xs, yLow, yHigh, colour, lineWidth, z, FillInUse())) {
    NoteLines(xs, yLow, yHigh, colour, lineWidth, z);
    DrawLines(xs, yLow, yHigh, colour, lineWidth, z);
  }
}

void ColumnLineDrawer::NoteLines(std::span<const int32_t> xs, int32_t yLow, int32_t yHigh, uint32_t colour,
                                 int32_t lineWidth, int32_t z) {
  if (xs.empty()) return;
  const auto [left, right] = std::minmax_element(xs.begin(), xs.end());
  const WindowFootprint where = WindowFootprint::Current();
  const int32_t margin = lineWidth * batch_.PixelRatio();
  const float depth = where.Depth(z);
  // The columns to come weigh them as one box; those waiting, line by line.
  readBack_.Remember(where.Box(*left, yLow, *right, yHigh, margin), depth);
  if (!readBack_.WouldCover(depth, colour)) return;
  boxes_.clear();
  for (const int32_t x : xs) boxes_.push_back(where.Box(x, yLow, x, yHigh, margin));
  readBack_.DrawUnder(boxes_, depth, colour);
}

bool ColumnLineDrawer::DrawDecided(std::span<const int32_t> xs, int32_t yLow, int32_t yHigh, uint32_t colour,
                                   int32_t lineWidth, int32_t z, bool fill) {
  if (!Columns(xs, yLow, yHigh, z)) return false;
  if (fill && readBack_.Leave(columns_, firstRow_, endRow_, colour, z, masked_, *this)) {
    NoteLines(undecided_, yLow, yHigh, colour, lineWidth, z);
  } else {
    NoteLines(xs, yLow, yHigh, colour, lineWidth, z);
    PrimitiveBatch::SetColour(colour);
    DrawRectangles(z);
  }
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

// Columns in runs and apart; lines from the bottom to the top edge and a shorter set. The columns
// written into the read-back frame are checked beside: should they differ, they are not used.
bool ColumnLineDrawer::CheckPass(int32_t pass, int32_t width, int32_t height) {
  std::vector<uint8_t> lines, rectangles;
  DrawCheckFrame(Way::kLines, pass, width, height, lines);
  DrawCheckFrame(Way::kRectangles, pass, width, height, rectangles);
  if (lines != rectangles) return false;
  if (pass == 0) fillChecked_ = true;
  if (fillChecked_) {
    std::vector<uint8_t> filled;
    DrawCheckFrame(Way::kFill, pass, width, height, filled);
    fillChecked_ = lines == filled;
  }
  return true;
}

void ColumnLineDrawer::DrawCheckFrame(Way way, int32_t pass, int32_t width, int32_t height,
                                      std::vector<uint8_t>& pixels) {
  MaskCheckScope::BeginFrame();
  StartFrame();
  readBack_.StartFrame();
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
  // A plate, told to the columns waiting for the read-back as the renderer tells them its primitives.
  const auto plate = [&](int32_t left, int32_t low, int32_t right, int32_t high, uint32_t colour, int32_t z) {
    readBack_.DrawNotedPlate(left, low, right, high, colour, z);
  };
  const auto line = [&](int32_t y, uint32_t colour) {
    const WindowFootprint where = WindowFootprint::Current();
    const WindowBox box = where.Box(0, y, width, y, 1);
    readBack_.Note(std::span<const WindowBox>(&box, 1), where.Depth(kCheckDepth), colour);
    batch_.SetLineWidth(1);
    batch_.AddVertex(0, y, kCheckDepth);
    batch_.AddVertex(width, y, kCheckDepth);
    PrimitiveBatch::SetColour(colour);
    batch_.Submit(GL_LINES, false);
  };
  // Something in front, drawn first, and something at the lines' own depth before and after them;
  // then something behind and something in front, drawn after them.
  plate(10, ceiling - 40, width / 2, ceiling - 20, 0xFFFFFFu, kCheckFrontDepth);
  line(ceiling - 60, 0xFFFFFFu);
  const auto draw = [&](std::span<const int32_t> columns, int32_t low, int32_t high, uint32_t colour) {
    // Through the rectangles whether or not they are in use yet: this is what decides that.
    if (way == Way::kLines || !DrawDecided(columns, low, high, colour, 1, kCheckDepth, way == Way::kFill)) {
      NoteLines(columns, low, high, colour, 1, kCheckDepth);
      DrawLines(columns, low, high, colour, 1, kCheckDepth);
    }
  };
  draw(xs, bottom, ceiling, 0x0080FFu);
  draw(std::span<const int32_t>(xs).first(xs.size() / 2), ceiling - 120, ceiling - 61, 0x00FF00u);
  line(ceiling - 90, 0xFF0000u);
  plate(width / 3, bottom + 10, width - 20, bottom + 50, 0x404040u, kCheckBehindDepth);
  plate(width / 4, bottom + 30, width / 2, bottom + 70, 0xFF00FFu, kCheckFrontDepth);
  ReadCheckFrame(width, height, pixels);
  if (way == Way::kFill) readBack_.Apply(reinterpret_cast<uint32_t*>(pixels.data()), width, height);
  StartFrame();
  readBack_.StartFrame();
}

}  // namespace skelvane
