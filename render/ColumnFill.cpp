#include "render/ColumnFill.h"

#include <algorithm>

namespace skelvane {

std::size_t ColumnFill::Add(std::span<const int32_t> columns, int32_t firstRow, int32_t endRow, uint32_t pixel) {
  sets_.push_back({std::vector<int32_t>(columns.begin(), columns.end()), firstRow, endRow, {}, {}, pixel, {}});
  return sets_.size() - 1;
}

std::size_t ColumnFill::Add(std::span<const ColumnRun> runs, uint32_t pixel) {
  Set set;
  set.pixel = pixel;
  set.firstRow = runs.empty() ? 0 : runs.front().firstRow;
  set.endRow = set.firstRow;
  std::vector<ColumnRun> sorted(runs.begin(), runs.end());
  std::stable_sort(sorted.begin(), sorted.end(),
                   [](const ColumnRun& a, const ColumnRun& b) { return a.column < b.column; });
  for (const ColumnRun& run : sorted) {
    if (run.firstRow >= run.endRow) continue;
    set.columns.push_back(run.column);
    set.firstRows.push_back(run.firstRow);
    set.endRows.push_back(run.endRow);
    set.firstRow = std::min(set.firstRow, run.firstRow);
    set.endRow = std::max(set.endRow, run.endRow);
  }
  sets_.push_back(std::move(set));
  return sets_.size() - 1;
}

void ColumnFill::Apply(uint32_t* pixels, int32_t width, int32_t height) const {
  if (pixels == nullptr || width <= 0 || height <= 0) return;
  for (const Set& set : sets_) ApplySet(set, pixels, width, height);
}

void ColumnFill::ApplySet(const Set& set, uint32_t* pixels, int32_t width, int32_t height) const {
  if (!set.firstRows.empty()) {
    ApplyRuns(set, pixels, width, height);
    return;
  }
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

// Run by run: the boxes left out are few, and a run meets only those over its column.
void ColumnFill::ApplyRuns(const Set& set, uint32_t* pixels, int32_t width, int32_t height) const {
  byLeft_.assign(set.except.begin(), set.except.end());
  std::sort(byLeft_.begin(), byLeft_.end(), [](const WindowBox& a, const WindowBox& b) { return a.left < b.left; });
  over_.clear();
  std::size_t next = 0;
  for (std::size_t i = 0; i < set.columns.size(); ++i) {
    const int32_t column = set.columns[i];
    if (column < 0 || column >= width) continue;
    while (next < byLeft_.size() && byLeft_[next].left <= column) over_.push_back(byLeft_[next++]);
    std::erase_if(over_, [&](const WindowBox& box) { return box.right <= column; });
    // The run's rows less those of the boxes over its column, bottom up.
    active_.clear();
    for (const WindowBox& box : over_) active_.push_back({box.bottom, box.top});
    std::sort(active_.begin(), active_.end());
    int32_t from = std::max(set.firstRows[i], 0);
    const int32_t end = std::min(set.endRows[i], height);
    for (std::size_t b = 0; b <= active_.size() && from < end; ++b) {
      const int32_t to = b < active_.size() ? std::min(active_[b].first, end) : end;
      uint32_t* pixel = pixels + static_cast<std::size_t>(from) * static_cast<std::size_t>(width) +
                        static_cast<std::size_t>(column);
      for (int32_t row = from; row < to; ++row, pixel += width) *pixel = set.pixel;
      if (b < active_.size()) from = std::max(from, active_[b].second);
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
