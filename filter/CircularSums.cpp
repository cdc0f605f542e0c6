#include "filter/CircularSums.h"

#include <numeric>

namespace skelvane {

void CircularSums::Prepare(int64_t period, int64_t spacing) {
  if (period == period_ && spacing == spacing_) return;
  period_ = period;
  spacing_ = spacing;
  const int64_t step = spacing % period;
  cycles_ = std::gcd(step, period);  // the gcd of 0 and the period is the period: cycles of one
  cycleLength_ = period / cycles_;
  order_.resize(static_cast<std::size_t>(period));
  prefix_.resize(static_cast<std::size_t>(3 * cycleLength_ + 1));
  // Position r + k x step (mod period) is the k-th of cycle r, r below the gcd.
  for (int64_t r = 0; r < cycles_; ++r) {
    int64_t position = r;
    for (int64_t k = 0; k < cycleLength_; ++k) {
      order_[static_cast<std::size_t>(r * cycleLength_ + k)] = position;
      position += step;
      if (position >= period) position -= period;
    }
  }
}

void CircularSums::Centred(const int64_t* values, int64_t length, int64_t* out) {
  const int64_t size = cycleLength_;
  const int64_t whole = length / size;
  const int64_t rest = length % size;
  // The window of k starts (length - 1) / 2 steps back: its part beyond the whole turns is the `rest`
  // values from there on, round the cycle, a difference of prefix sums over the cycle three times
  // round (k from `first` on, `first` below one cycle).
  const int64_t back = (length - 1) / 2 % size;
  const int64_t first = back == 0 ? 0 : size - back;
  int64_t* prefix = prefix_.data();
  for (int64_t r = 0; r < cycles_; ++r) {
    const int64_t* v = values + r * size;
    int64_t* o = out + r * size;
    prefix[0] = 0;
    for (int64_t k = 0; k < size; ++k) prefix[k + 1] = prefix[k] + v[k];
    const int64_t turn = prefix[size];
    for (int64_t k = size; k < 3 * size; ++k) prefix[k + 1] = prefix[k] + v[k - (k >= 2 * size ? 2 * size : size)];
    const int64_t turns = whole * turn;
    const int64_t* from = prefix + first;
    const int64_t* to = from + rest;
    for (int64_t k = 0; k < size; ++k) o[k] = turns + (to[k] - from[k]);
  }
}

}  // namespace skelvane
