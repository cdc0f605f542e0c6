#pragma once
// Centred moving sums over values that repeat every `period` samples, the window's values `spacing`
// samples apart. A step of `spacing` goes round the positions in cycles; laid out cycle by cycle, in
// the order the steps reach them, every window is a run of neighbours in one cycle, and its sum is the
// whole turns it makes round the cycle times the cycle's sum plus a moving sum of the rest, so a
// window of any length costs the same. The sums are exact integers, the very ones a running sum over
// the repeated values reaches. The stages of a FilterDesign use them to filter a segment shorter than
// their support over one period of its mirrored extension.

#include <cstdint>
#include <vector>

namespace skelvane {

class CircularSums {
 public:
  /// Lays the cycles out for values repeating every `period` (above 0) samples, taken `spacing` (above
  /// 0) apart; the layout is kept while the two stay the same.
  void Prepare(int64_t period, int64_t spacing);

  /// The position (in [0, period)) of the value at `k` of the cycle layout.
  int64_t Position(int64_t k) const { return order_[static_cast<std::size_t>(k)]; }

  /// For `values` in the cycle layout, out[k] = the sum of the values at positions position(k) +
  /// spacing x j (mod period), for j from -(length - 1) / 2 to (length - 1) / 2 (`length` odd), in the
  /// same layout. `values` and `out` do not overlap; the sum of the magnitudes of three periods' values,
  /// and of length / period + 1 periods', must fit 63 bits.
  void Centred(const int64_t* values, int64_t length, int64_t* out);

 private:
  int64_t period_ = 0;
  int64_t spacing_ = 0;
  int64_t cycles_ = 0;
  int64_t cycleLength_ = 0;
  std::vector<int64_t> order_;   // the positions cycle by cycle, in the order the steps reach them
  std::vector<int64_t> prefix_;  // prefix sums over one cycle three times round
};

}  // namespace skelvane
