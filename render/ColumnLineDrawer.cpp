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

// The pixel a colour (0x00BBGGRR) reads back as: bytes blue, green, red, and the stored alpha, 0.
uint32_t ReadBackPixel(uint32_t colour) {
  return ((colour >> 16) & 0xFFu) | (colour & 0xFF00u) | ((colour & 0xFFu) << 16);
}

}  // namespace

void ColumnLineDrawer::StartFrame() {
  rowMask_.StartFrame();
  fill_.Clear();
  waiting_.clear();
  earlier_.clear();
}

void ColumnLineDrawer::Note(std::span<const WindowBox> boxes, float depth, std::optional<uint32_t> sameAs) {
  if (!FillInUse() && !checkingFill_) return;
  for (const WindowBox& box : boxes) earlier_.push_back({box, depth});
  DrawWaitingUnder(boxes, depth, sameAs);
}

std::size_t ColumnLineDrawer::Covered(float depth, std::optional<uint32_t> sameAs) const {
  // The last sets at its depth in its colour come out the same whichever is drawn last; an earlier
  // one in that colour does not, once a set of another colour lies over it.
  std::size_t end = waiting_.size();
  while (end > 0 && sameAs && waiting_[end - 1].depth == depth && waiting_[end - 1].colour == *sameAs) --end;
  return end;
}

void ColumnLineDrawer::DrawWaitingUnder(std::span<const WindowBox> boxes, float depth, std::optional<uint32_t> sameAs) {
  const std::size_t covered = Covered(depth, sameAs);
  // Every set's parts in the same boxes: a set's part drawn now lies over the sets before it, so
  // theirs must be drawn too, first, or their pixels written at the read-back would cover it.
  std::optional<WindowBox> within;
  for (std::size_t i = 0; i < covered; ++i) {
    if (depth > waiting_[i].depth) continue;  // behind the columns it leaves them over it
    const WindowBox area = waiting_[i].area;
    within = within ? WindowBox{std::min(within->left, area.left), std::min(within->bottom, area.bottom),
                                std::max(within->right, area.right), std::max(within->top, area.top)}
                    : area;
  }
  if (!within) return;
  const std::vector<WindowBox> banded = ColumnFill::Banded(boxes, *within);
  for (std::size_t i = 0; i < covered; ++i) {
    if (depth <= waiting_[i].depth) DrawParts(waiting_[i], banded);
  }
}

bool ColumnLineDrawer::LeaveToFill(uint32_t colour, int32_t z) {
  if (columns_.empty()) return false;
  const float depth = WindowFootprint::Of(masked_.projection.data(), masked_.viewport).Depth(z);
  if (depth == WindowFootprint::kFront) return false;
  // Columns at another depth would have to be ordered against these by depth, not by drawing order.
  for (const Waiting& waiting : waiting_) {
    if (waiting.depth != depth) return false;
  }
  const WindowBox area{columns_.front(), firstRow_, columns_.back() + 1, endRow_};
  Waiting waiting{fill_.Add(columns_, firstRow_, endRow_, ReadBackPixel(colour)), depth, colour, z, masked_, area};
  // What was drawn before and in front keeps its pixels: the columns go through the rasteriser there.
  boxes_.clear();
  for (const Footprint& earlier : earlier_) {
    if (earlier.depth < depth && earlier.box.Meets(area)) boxes_.push_back(earlier.box);
  }
  // The sets before it first, for the same reason as under a primitive drawn later.
  const std::vector<WindowBox> banded = ColumnFill::Banded(boxes_, area);
  for (const Waiting& before : waiting_) DrawParts(before, banded);
  DrawParts(waiting, banded);
  waiting_.push_back(std::move(waiting));
  return true;
}

void ColumnLineDrawer::DrawParts(const Waiting& waiting, std::span<const WindowBox> boxes) {
  parts_.clear();
  for (const WindowBox& box : boxes) {
    // A part drawn already, for a primitive since, stays as that primitive left it: only the rest
    // of the box is drawn now. The boxes are whole bands, so a band's parts share its rows.
    pieces_.clear();
    for (const WindowBox& drawn : fill_.Excepted(waiting.set)) {
      if (drawn.bottom == box.bottom && drawn.top == box.top && drawn.left < box.right && box.left < drawn.right) {
        pieces_.push_back({drawn.left, drawn.right});
      }
    }
    std::sort(pieces_.begin(), pieces_.end());
    int32_t from = box.left;
    for (std::size_t i = 0; i <= pieces_.size() && from < box.right; ++i) {
      const int32_t to = i < pieces_.size() ? std::min(pieces_[i].first, box.right) : box.right;
      if (from < to) AddPart(waiting, {from, box.bottom, to, box.top});
      if (i < pieces_.size()) from = std::max(from, pieces_[i].second);
    }
  }
  if (parts_.empty()) return;
  GLint matrixMode = GL_MODELVIEW;
  glGetIntegerv(GL_MATRIX_MODE, &matrixMode);
  PrimitiveBatch::SetColour(waiting.colour);
  ColumnBarMask::LoadWindowProjection(waiting.state.depthRow, waiting.state.viewport);
  rowMask_.DrawWithin(fill_.Columns(waiting.set), parts_, waiting.z);
  glPopMatrix();
  glMatrixMode(static_cast<GLenum>(matrixMode));
}

void ColumnLineDrawer::AddPart(const Waiting& waiting, const WindowBox& box) {
  const WindowBox part{box.left, std::max(waiting.area.bottom, box.bottom), box.right, std::min(waiting.area.top, box.top)};
  if (part.Empty()) return;
  const std::span<const int32_t> columns = fill_.Columns(waiting.set);
  const auto first = std::lower_bound(columns.begin(), columns.end(), part.left);
  if (first == columns.end() || *first >= part.right) return;
  parts_.push_back(part);
  fill_.Except(waiting.set, box);
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
  if (xs.empty() || (!FillInUse() && !checkingFill_)) return;
  const auto [left, right] = std::minmax_element(xs.begin(), xs.end());
  const WindowFootprint where = WindowFootprint::Current();
  const int32_t margin = lineWidth * batch_.PixelRatio();
  const float depth = where.Depth(z);
  // The columns to come weigh them as one box; those waiting, line by line.
  earlier_.push_back({where.Box(*left, yLow, *right, yHigh, margin), depth});
  const std::size_t covered = Covered(depth, colour);
  if (std::none_of(waiting_.begin(), waiting_.begin() + static_cast<std::ptrdiff_t>(covered),
                   [&](const Waiting& w) { return depth <= w.depth; })) {
    return;
  }
  boxes_.clear();
  for (const int32_t x : xs) boxes_.push_back(where.Box(x, yLow, x, yHigh, margin));
  const std::vector<WindowBox> lines = boxes_;
  DrawWaitingUnder(lines, depth, colour);
}

bool ColumnLineDrawer::DrawDecided(std::span<const int32_t> xs, int32_t yLow, int32_t yHigh, uint32_t colour,
                                   int32_t lineWidth, int32_t z, bool fill) {
  if (!Columns(xs, yLow, yHigh, z)) return false;
  if (fill && LeaveToFill(colour, z)) {
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
  checkingFill_ = way == Way::kFill;
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
    const WindowFootprint where = WindowFootprint::Current();
    const WindowBox box = where.Box(left, low, right, high, 0);
    Note(std::span<const WindowBox>(&box, 1), where.Depth(z));
    PrimitiveBatch::SetColour(colour);
    glBegin(GL_POLYGON);
    glVertex3i(left, low, z);
    glVertex3i(left, high, z);
    glVertex3i(right, high, z);
    glVertex3i(right, low, z);
    glEnd();
  };
  const auto line = [&](int32_t y, uint32_t colour) {
    const WindowFootprint where = WindowFootprint::Current();
    const WindowBox box = where.Box(0, y, width, y, 1);
    Note(std::span<const WindowBox>(&box, 1), where.Depth(kCheckDepth), colour);
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
  if (way == Way::kFill) fill_.Apply(reinterpret_cast<uint32_t*>(pixels.data()), width, height);
  checkingFill_ = false;
  StartFrame();
}

}  // namespace skelvane
