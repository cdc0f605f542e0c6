#include "render/ColumnFill.h"

#include <algorithm>

namespace skelvane {

std::size_t ColumnFill::Add(std::span<const int32_t> columns, int32_t firstRow, int32_t endRow, uint32_t pixel) {
  sets_.push_back({std::vector<int32_t>(columns.begin(), columns.end()), firstRow, endRow, pixel, {}});
  return sets_.size() - 1;
}

void ColumnFill::Apply(uint32_t* pixels, int32_t width, int32_t height) const {
  if (pixels == nullptr || width <= 0 || height <= 0) return;
  for (const Set& set : sets_) ApplySet(set, pixels, width, height);
}

void ColumnFill::ApplySet(const Set& set, uint32_t* pixels, int32_t width, int32_t height) const {
  const int32_t firstRow = std::max(set.firstRow, 0);
  const int32_t endRow = std::min(set.endRow, height);
  if (firstRow >= endRow || set.columns.empty()) return;
  // Bands of rows within which the same boxes are left out: their edges are the boxes' own.
  rows_.assign({firstRow, endRow});
  for (const WindowBox& box : set.except) {
    if (box.bottom > firstRow && box.bottom < endRow) rows_.push_back(box.bottom);
    if (box.top > firstRow && box.top < endRow) rows_.push_back(box.top);
  }
  std::sort(rows_.begin(), rows_.end());
  rows_.erase(std::unique(rows_.begin(), rows_.end()), rows_.end());
  const auto inside = std::lower_bound(set.columns.begin(), set.columns.end(), 0);
  const auto outside = std::lower_bound(inside, set.columns.end(), width);
  for (std::size_t band = 0; band + 1 < rows_.size(); ++band) {
    const int32_t low = rows_[band], high = rows_[band + 1];
    // The boxes over this band, as column ranges sorted by their left edge.
    active_.clear();
    for (const WindowBox& box : set.except) {
      if (box.bottom <= low && box.top >= high && box.left < box.right) active_.push_back({box.left, box.right});
    }
    std::sort(active_.begin(), active_.end());
    written_.clear();
    std::size_t next = 0;
    int32_t reach = 0;  // columns below this are within a box that starts at or before them
    bool reaching = false;
    for (auto it = inside; it != outside; ++it) {
      const int32_t column = *it;
      while (next < active_.size() && active_[next].first <= column) {
        reach = reaching ? std::max(reach, active_[next].second) : active_[next].second;
        reaching = true;
        ++next;
      }
      if (!reaching || column >= reach) written_.push_back(column);
    }
    if (written_.empty()) continue;
    for (int32_t row = low; row < high; ++row) {
      uint32_t* line = pixels + static_cast<std::size_t>(row) * static_cast<std::size_t>(width);
      for (const int32_t column : written_) line[column] = set.pixel;
    }
  }
}

std::vector<WindowBox> ColumnFill::Banded(std::span<const WindowBox> boxes, const WindowBox& within) {
  const auto bandOf = [](int32_t row) { return row >= 0 ? row / kBandRows : -((kBandRows - 1 - row) / kBandRows); };
  // Every box's column range in each band it reaches into, then the ranges of a band that overlap or
  // lie close merged.
  std::vector<WindowBox> pieces;
  for (const WindowBox& whole : boxes) {
    const WindowBox box{std::max(whole.left, within.left), std::max(whole.bottom, within.bottom),
                        std::min(whole.right, within.right), std::min(whole.top, within.top)};
    if (box.Empty()) continue;
    for (int32_t band = bandOf(box.bottom); band <= bandOf(box.top - 1); ++band) {
      pieces.push_back({box.left, band * kBandRows, box.right, band * kBandRows + kBandRows});
    }
  }
  std::sort(pieces.begin(), pieces.end(), [](const WindowBox& a, const WindowBox& b) {
    return a.bottom != b.bottom ? a.bottom < b.bottom : a.left < b.left;
  });
  std::vector<WindowBox> bands;
  for (const WindowBox& piece : pieces) {
    if (!bands.empty() && bands.back().bottom == piece.bottom && piece.left - bands.back().right < kMergeGap) {
      bands.back().right = std::max(bands.back().right, piece.right);
    } else {
      bands.push_back(piece);
    }
  }
  return bands;
}

}  // namespace skelvane
