#include "render/ReadBackColumns.h"

#include <GL/gl.h>

#include <algorithm>

#include "render/PrimitiveBatch.h"
#include "render/WindowFootprint.h"

namespace skelvane {

void ReadBackColumns::StartFrame() {
  fill_.Clear();
  waiting_.clear();
  earlier_.clear();
}

void ReadBackColumns::DrawUnder(std::span<const WindowBox> boxes, float depth, std::optional<uint32_t> sameAs) {
  const std::size_t covered = Covered(depth, sameAs);
  // The sets with pixels under the boxes, behind it or at its depth; and every earlier set sharing
  // pixels with one of them: a set's part drawn now lies over the sets before it, so theirs must be
  // drawn too, first, or their pixels written at the read-back would cover it.
  related_.clear();
  for (std::size_t i = covered; i-- > 0;) {
    const WindowBox& area = waiting_[i].area;
    if (depth > waiting_[i].depth) continue;  // behind the columns it leaves them over it
    if (std::any_of(boxes.begin(), boxes.end(), [&](const WindowBox& box) { return box.Meets(area); }) ||
        SharesWithRelated(area)) {
      related_.push_back(i);
    }
  }
  DrawRelated(boxes);
}

bool ReadBackColumns::SharesWithRelated(const WindowBox& area) const {
  return std::any_of(related_.begin(), related_.end(), [&](std::size_t j) { return waiting_[j].area.Meets(area); });
}

// The related sets' parts within `boxes` widened to whole bands, earliest first.
void ReadBackColumns::DrawRelated(std::span<const WindowBox> boxes) {
  if (related_.empty()) return;
  WindowBox within = waiting_[related_.front()].area;
  for (const std::size_t i : related_) {
    const WindowBox& area = waiting_[i].area;
    within = {std::min(within.left, area.left), std::min(within.bottom, area.bottom), std::max(within.right, area.right),
              std::max(within.top, area.top)};
  }
  const std::vector<WindowBox> banded = ColumnFill::Banded(boxes, within);
  for (auto i = related_.rbegin(); i != related_.rend(); ++i) DrawParts(waiting_[*i], banded);
}

bool ReadBackColumns::WouldCover(float depth, std::optional<uint32_t> sameAs) const {
  const std::size_t covered = Covered(depth, sameAs);
  return std::any_of(waiting_.begin(), waiting_.begin() + static_cast<std::ptrdiff_t>(covered),
                     [&](const Waiting& w) { return depth <= w.depth; });
}

std::size_t ReadBackColumns::Covered(float depth, std::optional<uint32_t> sameAs) const {
  // The last sets at its depth in its colour come out the same whichever is drawn last; an earlier
  // one in that colour does not, once a set of another colour lies over it.
  std::size_t end = waiting_.size();
  while (end > 0 && sameAs && waiting_[end - 1].depth == depth && waiting_[end - 1].colour == *sameAs) --end;
  return end;
}

std::optional<float> ReadBackColumns::DepthOf(int32_t z, const MaskedState& state) {
  const float depth = WindowFootprint::Of(state.projection.data(), state.viewport).Depth(z);
  if (depth == WindowFootprint::kFront) return std::nullopt;
  return depth;
}

// The sets are written in the order they were left, so one drawn later wins where two share pixels:
// right unless the earlier one lies in front.
bool ReadBackColumns::MayWait(float depth, const WindowBox& area) const {
  return std::none_of(waiting_.begin(), waiting_.end(),
                      [&](const Waiting& w) { return w.depth < depth && w.area.Meets(area); });
}

bool ReadBackColumns::Leave(std::span<const int32_t> columns, int32_t firstRow, int32_t endRow, uint32_t colour,
                            int32_t z, const MaskedState& state, PartDrawer& drawer) {
  // Columns are not cut to a scissor box: under one they go through the rasteriser.
  if (columns.empty() || firstRow >= endRow || glIsEnabled(GL_SCISSOR_TEST) == GL_TRUE) return false;
  const std::optional<float> depth = DepthOf(z, state);
  const WindowBox area{columns.front(), firstRow, columns.back() + 1, endRow};
  if (!depth || !MayWait(*depth, area)) return false;
  Wait({fill_.Add(columns, firstRow, endRow, ReadBackPixel(colour)), *depth, colour, z, state, area, &drawer});
  return true;
}

bool ReadBackColumns::Leave(std::span<const ColumnRun> runs, uint32_t colour, int32_t z,
                            const MaskedState& state, PartDrawer& drawer) {
  if (runs.empty()) return false;
  const std::optional<float> depth = DepthOf(z, state);
  if (!depth) return false;
  WindowBox area{runs.front().column, runs.front().firstRow, runs.front().column + 1, runs.front().endRow};
  for (const ColumnRun& run : runs) {
    area = {std::min(area.left, run.column), std::min(area.bottom, run.firstRow), std::max(area.right, run.column + 1),
            std::max(area.top, run.endRow)};
  }
  if (!MayWait(*depth, area)) return false;
  Wait({fill_.Add(runs, ReadBackPixel(colour)), *depth, colour, z, state, area, &drawer});
  return true;
}

void ReadBackColumns::Wait(Waiting waiting) {
  // What was drawn before and in front keeps its pixels: the columns go through the rasteriser there,
  // and so do the waiting sets' that share pixels with them, for the same reason as under a primitive
  // drawn later.
  boxes_.clear();
  for (const Footprint& earlier : earlier_) {
    if (earlier.depth < waiting.depth && earlier.box.Meets(waiting.area)) boxes_.push_back(earlier.box);
  }
  waiting_.push_back(std::move(waiting));
  if (boxes_.empty()) return;
  related_.assign(1, waiting_.size() - 1);
  for (std::size_t i = waiting_.size() - 1; i-- > 0;) {
    if (SharesWithRelated(waiting_[i].area)) related_.push_back(i);
  }
  for (WindowBox& box : boxes_) {
    const WindowBox& area = waiting_.back().area;
    box = {std::max(box.left, area.left), std::max(box.bottom, area.bottom), std::min(box.right, area.right),
           std::min(box.top, area.top)};
  }
  DrawRelated(boxes_);
}

void ReadBackColumns::DrawNotedPlate(int32_t left, int32_t low, int32_t right, int32_t high, uint32_t colour,
                                     int32_t z) {
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
}

void ReadBackColumns::DrawParts(const Waiting& waiting, std::span<const WindowBox> boxes) {
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
  // A set is clipped as it was left; the scissor box of the primitive that covers it is not its own.
  const bool scissor = glIsEnabled(GL_SCISSOR_TEST) == GL_TRUE;
  if (scissor) glDisable(GL_SCISSOR_TEST);
  PrimitiveBatch::SetColour(waiting.colour);
  waiting.drawer->DrawParts(fill_, waiting.set, parts_, waiting.z, waiting.state);
  if (scissor) glEnable(GL_SCISSOR_TEST);
}

void ReadBackColumns::AddPart(const Waiting& waiting, const WindowBox& box) {
  const WindowBox part{box.left, std::max(waiting.area.bottom, box.bottom), box.right, std::min(waiting.area.top, box.top)};
  if (part.Empty()) return;
  const std::span<const int32_t> columns = fill_.Columns(waiting.set);
  const auto first = std::lower_bound(columns.begin(), columns.end(), part.left);
  if (first == columns.end() || *first >= part.right) return;
  // A set of runs may have no pixel in the part though its bounds reach over it.
  const std::span<const int32_t> firstRows = fill_.FirstRows(waiting.set);
  if (!firstRows.empty()) {
    const std::span<const int32_t> endRows = fill_.EndRows(waiting.set);
    bool meets = false;
    for (auto it = first; it != columns.end() && *it < part.right && !meets; ++it) {
      const auto i = static_cast<std::size_t>(it - columns.begin());
      meets = firstRows[i] < part.top && endRows[i] > part.bottom;
    }
    if (!meets) return;
  }
  parts_.push_back(part);
  fill_.Except(waiting.set, box);
}

}  // namespace skelvane
