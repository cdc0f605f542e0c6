#pragma once
// Settles the bars a summary walk left open: exactly, reading every open piece that could still
// change its bar's extremes, or for one plot's rows, reading only where the bounds leave a bar's
// pixels in doubt (its ends' row keys differ across their bounds). Open pieces that can no longer
// change either end are dropped; those left over stay in the cache for the next rows. Used by
// CscPlot for every bar span it draws, and by SummaryColumns.

#include <cstdint>
#include <vector>

#include "columns/PieceExtremes.h"
#include "columns/PixelCache.h"

namespace skelvane {

class BarRowKeys;

class BarSettler {
 public:
  /// What the bounds of one open bar say: its minimum lies in lowLow..lowHigh, its maximum in
  /// highLow..highHigh.
  struct Bounds {
    int32_t lowLow;
    int32_t lowHigh;
    int32_t highLow;
    int32_t highHigh;
  };
  static Bounds BoundsOf(const PixelCache::OpenBar& bar, const std::vector<PixelCache::OpenPiece>& pieces);

  /// Settles `cache`'s open bars for `rows`, or exactly when `rows` is null, reading through
  /// `source` and scaling what it reads by `scale` (positive). Afterwards every bar's values light
  /// the pixels of its exact extremes for `rows` (are its exact extremes without). 0 or the source's
  /// code (the cache is then as it was, less the pieces already settled).
  int32_t Settle(PixelCache& cache, const BarRowKeys* rows, PieceExtremes& source, double scale);
  /// Drops the open pieces that cannot change their bar's extremes, folds those known exactly into
  /// their bars, and gives every open bar the outer ends of its bounds as its values.
  void Compact(PixelCache& cache);
  /// Pieces read by the last Settle.
  std::size_t PiecesRead() const { return requests_.size(); }

 private:
  std::vector<PieceExtremes::Piece> requests_;
  std::vector<std::size_t> requested_;  // the open piece each request is for
  std::vector<PieceExtremes::Extremes> extremes_;
  std::vector<uint8_t> wanted_;
  std::vector<int64_t> records_;
  std::vector<PixelCache::OpenPiece> kept_;
};

}  // namespace skelvane
