#pragma once
// Where the exact extremes of a few samples of one record come from when the summary only bounds
// them: the recording's own samples (FilePieceExtremes), or whatever a view of the recording shows in
// their place. Asked by BarSettler, a batch at a time, for the bar ends that could change the picture.

#include <cstdint>
#include <span>

namespace skelvane {

class PieceExtremes {
 public:
  /// Samples first..last (0-based, inclusive) of record `record`.
  struct Piece {
    int64_t record;
    int16_t first;
    int16_t last;
  };
  /// Their smallest and largest value, unscaled.
  struct Extremes {
    int16_t low;
    int16_t high;
  };

  virtual ~PieceExtremes() = default;
  /// Fills `extremes[i]` for each `pieces[i]`; 0 or the code of the read that failed.
  virtual int32_t Find(std::span<const Piece> pieces, std::span<Extremes> extremes) = 0;
};

}  // namespace skelvane
