#include "render/ColumnFill.h"

#include <algorithm>
#include <system_error>
#include <thread>

namespace skelvane {

std::size_t ColumnFill::Add(std::span<const int32_t> columns, int32_t firstRow, int32_t endRow, uint32_t pixel) {
  sets_.push_back({std::vector<int32_t>(columns.begin(), columns.end()), firstRow, endRow, {}, {}, pixel, {}});
  if (endRow > firstRow) area_ += static_cast<int64_t>(columns.size()) * (int64_t{endRow} - firstRow);
  return sets_.size() - 1;
}

std::size_t ColumnFill::Add(std::span<const ColumnRun> runs, uint32_t pixel) {
  Set set;
  set.pixel = pixel;
  set.firstRow = runs.empty() ? 0 : runs.front().firstRow;
  set.endRow = set.firstRow;
  set.columns.reserve(runs.size());
  set.firstRows.reserve(runs.size());
  set.endRows.reserve(runs.size());
  std::vector<ColumnRun> sorted(runs.begin(), runs.end());
  std::sort(sorted.begin(), sorted.end(), [](const ColumnRun& a, const ColumnRun& b) {
    return a.column != b.column ? a.column < b.column : a.firstRow < b.firstRow;
  });
  // A column's runs that overlap or touch are joined (they share the set's pixel): a trace's column
  // then holds one run, not its own and those of the steps to its neighbours.
  for (const ColumnRun& run : sorted) {
    if (run.firstRow >= run.endRow) continue;
    set.firstRow = std::min(set.firstRow, run.firstRow);
    set.endRow = std::max(set.endRow, run.endRow);
    if (!set.columns.empty() && set.columns.back() == run.column && set.endRows.back() >= run.firstRow) {
      area_ += std::max(0, run.endRow - set.endRows.back());
      set.endRows.back() = std::max(set.endRows.back(), run.endRow);
      continue;
    }
    set.columns.push_back(run.column);
    set.firstRows.push_back(run.firstRow);
    set.endRows.push_back(run.endRow);
    area_ += int64_t{run.endRow} - run.firstRow;
  }
  sets_.push_back(std::move(set));
  return sets_.size() - 1;
}

void ColumnFill::Apply(uint32_t* pixels, int32_t width, int32_t height) const {
  if (pixels == nullptr || width <= 0 || height <= 0) return;
  // Full-height bars of a whole stack of plots are millions of pixels, a store each a row apart: two
  // cores write them in half the time (the rasteriser's threads have finished by now).
  if (area_ >= kAreaForTwoThreads && height >= 2) {
    const int32_t middle = height / 2;
    try {
      std::thread helper([&] { ApplyRows(pixels, width, middle, height, helperScratch_); });
      ApplyRows(pixels, width, 0, middle, scratch_);
      helper.join();
      return;
    } catch (const std::system_error&) {
      // No thread to be had: one writes it all.
    }
  }
  ApplyRows(pixels, width, 0, height, scratch_);
}

void ColumnFill::ApplyRows(uint32_t* pixels, int32_t width, int32_t fromRow, int32_t toRow, Scratch& scratch) const {
  for (const Set& set : sets_) ApplySet(set, pixels, width, fromRow, toRow, scratch);
}

void ColumnFill::ApplySet(const Set& set, uint32_t* pixels, int32_t width, int32_t fromRow, int32_t toRow,
                          Scratch& scratch) const {
  if (!set.firstRows.empty()) {
    ApplyRuns(set, pixels, width, fromRow, toRow, scratch);
    return;
  }
  const int32_t firstRow = std::max(set.firstRow, fromRow);
  const int32_t endRow = std::min(set.endRow, toRow);
  if (firstRow >= endRow || set.columns.empty()) return;
  std::vector<int32_t>& rows = scratch.rows;
  std::vector<int32_t>& written = scratch.written;
  std::vector<std::pair<int32_t, int32_t>>& active = scratch.active;
  // Bands of rows within which the same boxes are left out: their edges are the boxes' own.
  rows.assign({firstRow, endRow});
  for (const WindowBox& box : set.except) {
    if (box.bottom > firstRow && box.bottom < endRow) rows.push_back(box.bottom);
    if (box.top > firstRow && box.top < endRow) rows.push_back(box.top);
  }
  std::sort(rows.begin(), rows.end());
  rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
  const auto inside = std::lower_bound(set.columns.begin(), set.columns.end(), 0);
  const auto outside = std::lower_bound(inside, set.columns.end(), width);
  for (std::size_t band = 0; band + 1 < rows.size(); ++band) {
    const int32_t low = rows[band], high = rows[band + 1];
    // The boxes over this band, as column ranges sorted by their left edge.
    active.clear();
    for (const WindowBox& box : set.except) {
      if (box.bottom <= low && box.top >= high && box.left < box.right) active.push_back({box.left, box.right});
    }
    std::sort(active.begin(), active.end());
    written.clear();
    std::size_t next = 0;
    int32_t reach = 0;  // columns below this are within a box that starts at or before them
    bool reaching = false;
    for (auto it = inside; it != outside; ++it) {
      const int32_t column = *it;
      while (next < active.size() && active[next].first <= column) {
        reach = reaching ? std::max(reach, active[next].second) : active[next].second;
        reaching = true;
        ++next;
      }
      if (!reaching || column >= reach) written.push_back(column);
    }
    if (written.empty()) continue;
    for (int32_t row = low; row < high; ++row) {
      uint32_t* line = pixels + static_cast<std::size_t>(row) * static_cast<std::size_t>(width);
      for (const int32_t column : written) line[column] = set.pixel;
    }
  }
}

// Run by run: the boxes left out are few, and a run meets only those over its column.
void ColumnFill::ApplyRuns(const Set& set, uint32_t* pixels, int32_t width, int32_t fromRow, int32_t toRow,
                           Scratch& scratch) const {
  if (std::max(set.firstRow, fromRow) >= std::min(set.endRow, toRow)) return;
  std::vector<WindowBox>& byLeft = scratch.byLeft;
  std::vector<WindowBox>& over = scratch.over;
  std::vector<std::pair<int32_t, int32_t>>& active = scratch.active;
  byLeft.assign(set.except.begin(), set.except.end());
  std::sort(byLeft.begin(), byLeft.end(), [](const WindowBox& a, const WindowBox& b) { return a.left < b.left; });
  over.clear();
  std::size_t next = 0;
  for (std::size_t i = 0; i < set.columns.size(); ++i) {
    const int32_t column = set.columns[i];
    if (column < 0 || column >= width) continue;
    while (next < byLeft.size() && byLeft[next].left <= column) over.push_back(byLeft[next++]);
    std::erase_if(over, [&](const WindowBox& box) { return box.right <= column; });
    // A dense trace's runs lie one a column, side by side: written row by row a group at a time,
    // each row's stores stay within a few cache lines instead of one a pixel.
    if (over.empty() && (next == byLeft.size() || byLeft[next].left >= column + kGroupColumns) &&
        IsGroup(set, i, width)) {
      WriteGroup(set, i, pixels, width, fromRow, toRow);
      i += kGroupColumns - 1;
      continue;
    }
    // The run's rows less those of the boxes over its column, bottom up.
    active.clear();
    for (const WindowBox& box : over) active.push_back({box.bottom, box.top});
    std::sort(active.begin(), active.end());
    int32_t from = std::max(set.firstRows[i], fromRow);
    const int32_t end = std::min(set.endRows[i], toRow);
    if (from >= end) continue;
    for (std::size_t b = 0; b <= active.size() && from < end; ++b) {
      const int32_t to = b < active.size() ? std::min(active[b].first, end) : end;
      uint32_t* pixel = pixels + static_cast<std::size_t>(from) * static_cast<std::size_t>(width) +
                        static_cast<std::size_t>(column);
      for (int32_t row = from; row < to; ++row, pixel += width) *pixel = set.pixel;
      if (b < active.size()) from = std::max(from, active[b].second);
    }
  }
}

// Runs i to i + kGroupColumns - 1 are one a column, in consecutive columns within the frame.
bool ColumnFill::IsGroup(const Set& set, std::size_t i, int32_t width) {
  if (i + kGroupColumns > set.columns.size() || set.columns[i] + kGroupColumns > width) return false;
  // A column's other runs, if any, are written on their own: a set's runs share their pixel.
  for (int32_t k = 1; k < kGroupColumns; ++k) {
    if (set.columns[i + static_cast<std::size_t>(k)] != set.columns[i] + k) return false;
  }
  return true;
}

void ColumnFill::WriteGroup(const Set& set, std::size_t i, uint32_t* pixels, int32_t width, int32_t fromRow,
                            int32_t toRow) {
  int32_t first[kGroupColumns], end[kGroupColumns];
  int32_t low = toRow, high = fromRow;
  for (int32_t k = 0; k < kGroupColumns; ++k) {
    first[k] = set.firstRows[i + static_cast<std::size_t>(k)];
    end[k] = set.endRows[i + static_cast<std::size_t>(k)];
    low = std::min(low, first[k]);
    high = std::max(high, end[k]);
  }
  low = std::max(low, fromRow);
  high = std::min(high, toRow);
  const uint32_t pixel = set.pixel;
  for (int32_t row = low; row < high; ++row) {
    uint32_t* line = pixels + static_cast<std::size_t>(row) * static_cast<std::size_t>(width) +
                     static_cast<std::size_t>(set.columns[i]);
    for (int32_t k = 0; k < kGroupColumns; ++k) line[k] = row >= first[k] && row < end[k] ? pixel : line[k];
  }
}

std::vector<WindowBox> ColumnFill::Banded(std::span<const WindowBox> boxes, const WindowBox& within) {
  const auto bandOf = [](int32_t row) { return row >= 0 ? row / kBandRows : -((kBandRows - 1 - row) / kBandRows); };
  // Every box's column range in each band it reaches into, then the ranges of a band that overlap or
  // lie close merged.
  std::vector<WindowBox> pieces;
  pieces.reserve(boxes.size());
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
  bands.reserve(pieces.size());
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
