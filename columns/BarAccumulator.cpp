#include "columns/BarAccumulator.h"

#include <algorithm>
#include <vector>

namespace skelvane {
namespace {

constexpr int32_t kNothing = PixelCache::kNothingKnown;

// Room for `more` after what `v` holds, at least doubling: a cache appended to piece by piece grows
// a few times a frame, not once per bar.
template <typename T>
void MakeRoom(std::vector<T>& v, std::size_t more) {
  if (v.capacity() - v.size() < more) v.reserve(std::max(v.size() + more, 2 * v.capacity()));
}

}  // namespace

void BarAccumulator::Reserve(std::size_t bars) {
  xs_.reserve(bars);
  lows_.reserve(bars);
  highs_.reserve(bars);
  open_.reserve(2 * bars);
}

void BarAccumulator::NewBar(int32_t x) {
  xs_.push_back(x);
  lows_.push_back(kNothing);
  highs_.push_back(-kNothing);
  lastColumn_ = x;
}

void BarAccumulator::Widen(int32_t bar, int32_t low, int32_t high) {
  const auto b = static_cast<std::size_t>(bar);
  lows_[b] = std::min(lows_[b], low);
  highs_[b] = std::max(highs_[b], high);
}

void BarAccumulator::AppendTo(PixelCache& cache) {
  // Pieces of one bar come from several records, split ones after whole runs: grouped by bar (they
  // mostly come in order already).
  const auto byBar = [](const Open& a, const Open& b) { return a.bar < b.bar; };
  if (!std::is_sorted(open_.begin(), open_.end(), byBar)) std::stable_sort(open_.begin(), open_.end(), byBar);
  MakeRoom(cache.xs, xs_.size());
  MakeRoom(cache.mins, xs_.size());
  MakeRoom(cache.maxs, xs_.size());
  MakeRoom(cache.open, xs_.size());
  MakeRoom(cache.openPieces, open_.size());
  std::size_t next = 0;
  for (std::size_t bar = 0; bar < xs_.size(); ++bar) {
    const std::size_t firstOpen = next;
    while (next < open_.size() && open_[next].bar == static_cast<int32_t>(bar)) ++next;
    const bool joins = !cache.xs.empty() && cache.xs.back() == xs_[bar];
    if (firstOpen == next) {
      if (joins && (cache.open.empty() || cache.open.back().bar + 1 != static_cast<int32_t>(cache.xs.size()))) {
        // Both known exactly.
        cache.mins.back() = static_cast<int16_t>(std::min<int32_t>(cache.mins.back(), lows_[bar]));
        cache.maxs.back() = static_cast<int16_t>(std::max<int32_t>(cache.maxs.back(), highs_[bar]));
        continue;
      }
      if (!joins) {
        cache.xs.push_back(xs_[bar]);
        cache.mins.push_back(static_cast<int16_t>(lows_[bar]));
        cache.maxs.push_back(static_cast<int16_t>(highs_[bar]));
        continue;
      }
    }
    // An open bar, or one joining the cache's last bar while either is open.
    if (!joins) {
      cache.xs.push_back(xs_[bar]);
      cache.mins.push_back(0);
      cache.maxs.push_back(0);
      cache.open.push_back({static_cast<int32_t>(cache.xs.size()) - 1, lows_[bar], highs_[bar],
                            static_cast<int32_t>(cache.openPieces.size()), 0});
    } else if (cache.open.empty() || cache.open.back().bar + 1 != static_cast<int32_t>(cache.xs.size())) {
      cache.open.push_back({static_cast<int32_t>(cache.xs.size()) - 1, std::min<int32_t>(cache.mins.back(), lows_[bar]),
                            std::max<int32_t>(cache.maxs.back(), highs_[bar]),
                            static_cast<int32_t>(cache.openPieces.size()), 0});
    } else {
      PixelCache::OpenBar& last = cache.open.back();
      last.knownLow = std::min(last.knownLow, lows_[bar]);
      last.knownHigh = std::max(last.knownHigh, highs_[bar]);
    }
    for (std::size_t i = firstOpen; i < next; ++i) cache.openPieces.push_back(open_[i].piece);
    cache.open.back().pieceCount += static_cast<int32_t>(next - firstOpen);
  }
}

}  // namespace skelvane
