#pragma once
// Opaque one-pixel columns written straight into the read-back frame: the crowded columns of the
// canvas's markers and the zoomed-out bars of its plots cover up to millions of pixels, which the
// rasteriser fills at several nanoseconds each, while nothing drawn before or after them shows through
// outside a few boxes (the plots' names and icons, the texts and lines over them). ReadBackColumns
// hands such columns over with those boxes, has the boxes' part drawn, and GLRenderer writes the rest
// into every frame it reads.

#include <cstddef>
#include <cstdint>
#include <span>
#include <utility>
#include <vector>

namespace skelvane {

/// A box of window pixels: columns [left, right), rows [bottom, top) counted up from the bottom.
struct WindowBox {
  int32_t left = 0, bottom = 0, right = 0, top = 0;

  bool Empty() const { return left >= right || bottom >= top; }
  bool Meets(const WindowBox& other) const {
    return left < other.right && other.left < right && bottom < other.top && other.bottom < top;
  }
};

/// Rows [firstRow, endRow) of one window pixel column.
struct ColumnRun {
  int32_t column = 0, firstRow = 0, endRow = 0;
};

class ColumnFill {
 public:
  /// Rows a box is widened to (aligned bands of this many rows), so that neighbouring boxes of one
  /// row of texts or icons merge into one.
  static constexpr int32_t kBandRows = 4;
  /// Boxes of one band closer than this many columns merge.
  static constexpr int32_t kMergeGap = 32;

  /// Forgets every set: a new frame.
  void Clear() {
    sets_.clear();
    area_ = 0;
  }
  bool Empty() const { return sets_.empty(); }
  std::size_t Sets() const { return sets_.size(); }

  /// Adds columns (window pixel columns, ascending, each once) over rows [firstRow, endRow) in the
  /// read-back pixel value `pixel`; returns the set's number.
  std::size_t Add(std::span<const int32_t> columns, int32_t firstRow, int32_t endRow, uint32_t pixel);
  /// Adds runs of rows, each in its own column (a column may hold several), in the read-back pixel
  /// value `pixel`; returns the set's number.
  std::size_t Add(std::span<const ColumnRun> runs, uint32_t pixel);
  /// Leaves `box` of set `set` to the rasteriser: nothing of it is written.
  void Except(std::size_t set, const WindowBox& box) { sets_[set].except.push_back(box); }
  /// The columns of set `set`, ascending (a run set's repeat a column for each of its runs).
  std::span<const int32_t> Columns(std::size_t set) const { return sets_[set].columns; }
  /// A run set's rows, beside its columns: [FirstRows()[i], EndRows()[i]) in Columns()[i]; empty for a
  /// set whose columns share their rows.
  std::span<const int32_t> FirstRows(std::size_t set) const { return sets_[set].firstRows; }
  std::span<const int32_t> EndRows(std::size_t set) const { return sets_[set].endRows; }
  /// The boxes of set `set` left to the rasteriser so far.
  std::span<const WindowBox> Excepted(std::size_t set) const { return sets_[set].except; }

  /// Writes every set, in the order added, into a bottom-up frame of `width` x `height` pixels of
  /// 32 bits, rows `width` pixels apart. Many pixels are written by two threads, each over half of
  /// the rows (each set still written over the sets before it).
  void Apply(uint32_t* pixels, int32_t width, int32_t height) const;
  /// Pixels the sets reach (those of the boxes left out included).
  int64_t Area() const { return area_; }
  /// From this many pixels on, Apply writes on two threads.
  static constexpr int64_t kAreaForTwoThreads = 1 << 18;

  /// `boxes` cut to `within`, widened to whole bands of kBandRows rows, and within a band those that
  /// overlap or lie closer than kMergeGap columns merged: fewer and larger boxes for the rasteriser.
  static std::vector<WindowBox> Banded(std::span<const WindowBox> boxes, const WindowBox& within);

 private:
  struct Set {
    std::vector<int32_t> columns;
    int32_t firstRow = 0, endRow = 0;  // every column's rows, or the bounds of a run set's
    std::vector<int32_t> firstRows, endRows;
    uint32_t pixel = 0;
    std::vector<WindowBox> except;
  };
  // The buffers of one thread's writing.
  struct Scratch {
    std::vector<int32_t> rows;     // the bands' edges
    std::vector<int32_t> written;  // a band's columns to write
    std::vector<std::pair<int32_t, int32_t>> active;  // the boxes over a band, as column ranges, or
                                                      // over a run's column, as row ranges
    std::vector<WindowBox> byLeft, over;  // a run set's boxes by their left edge; those over a column
  };
  // Every set over rows [fromRow, toRow) only.
  void ApplyRows(uint32_t* pixels, int32_t width, int32_t fromRow, int32_t toRow, Scratch& scratch) const;
  void ApplySet(const Set& set, uint32_t* pixels, int32_t width, int32_t fromRow, int32_t toRow, Scratch& scratch) const;
  void ApplyRuns(const Set& set, uint32_t* pixels, int32_t width, int32_t fromRow, int32_t toRow,
                 Scratch& scratch) const;
  // Runs written a group of consecutive columns at a time, row by row.
  static constexpr int32_t kGroupColumns = 16;
  static bool IsGroup(const Set& set, std::size_t i, int32_t width);
  static void WriteGroup(const Set& set, std::size_t i, uint32_t* pixels, int32_t width, int32_t fromRow,
                         int32_t toRow);

  std::vector<Set> sets_;
  int64_t area_ = 0;
  mutable Scratch scratch_, helperScratch_;
};

}  // namespace skelvane
