#include "columns/BarSettler.h"

#include <algorithm>
#include <limits>

#include "columns/BarRowKeys.h"
#include "columns/SampleScaling.h"
#include "platform/StatusCodes.h"

namespace skelvane {
namespace {

using OpenBar = PixelCache::OpenBar;
using OpenPiece = PixelCache::OpenPiece;

// The two smallest of a bar's pieces' minHigh and the two largest of their maxLow: what the other
// pieces promise, whichever one is left out.
struct Promises {
  int32_t lowest = std::numeric_limits<int32_t>::max();
  int32_t secondLowest = std::numeric_limits<int32_t>::max();
  int32_t highest = std::numeric_limits<int32_t>::min();
  int32_t secondHighest = std::numeric_limits<int32_t>::min();

  explicit Promises(const OpenBar& bar, const std::vector<OpenPiece>& pieces) {
    for (int32_t i = 0; i < bar.pieceCount; ++i) {
      const OpenPiece& piece = pieces[static_cast<std::size_t>(bar.firstPiece + i)];
      if (piece.minHigh < lowest) {
        secondLowest = lowest;
        lowest = piece.minHigh;
      } else {
        secondLowest = std::min<int32_t>(secondLowest, piece.minHigh);
      }
      if (piece.maxLow > highest) {
        secondHighest = highest;
        highest = piece.maxLow;
      } else {
        secondHighest = std::max<int32_t>(secondHighest, piece.maxLow);
      }
    }
  }
  // Whether `piece` could hold the bar's minimum / maximum: below (above) what the known samples and
  // every other piece already promise.
  bool CouldLower(const OpenBar& bar, const OpenPiece& piece) const {
    const int32_t others = piece.minHigh == lowest ? secondLowest : lowest;
    return piece.minLow < std::min(bar.knownLow, others);
  }
  bool CouldRaise(const OpenBar& bar, const OpenPiece& piece) const {
    const int32_t others = piece.maxLow == highest ? secondHighest : highest;
    return piece.maxHigh > std::max(bar.knownHigh, others);
  }
};

bool Exact(const OpenPiece& piece) { return piece.minLow == piece.minHigh && piece.maxLow == piece.maxHigh; }

}  // namespace

BarSettler::Bounds BarSettler::BoundsOf(const OpenBar& bar, const std::vector<OpenPiece>& pieces) {
  Bounds bounds{bar.knownLow, bar.knownLow, bar.knownHigh, bar.knownHigh};
  for (int32_t i = 0; i < bar.pieceCount; ++i) {
    const OpenPiece& piece = pieces[static_cast<std::size_t>(bar.firstPiece + i)];
    bounds.lowLow = std::min<int32_t>(bounds.lowLow, piece.minLow);
    bounds.lowHigh = std::min<int32_t>(bounds.lowHigh, piece.minHigh);
    bounds.highLow = std::max<int32_t>(bounds.highLow, piece.maxLow);
    bounds.highHigh = std::max<int32_t>(bounds.highHigh, piece.maxHigh);
  }
  return bounds;
}

void BarSettler::Compact(PixelCache& cache) {
  std::vector<OpenPiece>& kept = kept_;
  kept.clear();
  kept.reserve(cache.openPieces.size());
  std::size_t openKept = 0;
  for (OpenBar bar : cache.open) {
    // An extreme known exactly is a sample like any other. (Folded here, a piece whose minimum is
    // exact can go unread even when its bounds tie with another piece's: the sample is kept.)
    for (int32_t i = 0; i < bar.pieceCount; ++i) {
      const OpenPiece& piece = cache.openPieces[static_cast<std::size_t>(bar.firstPiece + i)];
      if (piece.minLow == piece.minHigh) bar.knownLow = std::min<int32_t>(bar.knownLow, piece.minLow);
      if (piece.maxLow == piece.maxHigh) bar.knownHigh = std::max<int32_t>(bar.knownHigh, piece.maxHigh);
    }
    const Promises promises(bar, cache.openPieces);
    const auto first = static_cast<int32_t>(kept.size());
    for (int32_t i = 0; i < bar.pieceCount; ++i) {
      const OpenPiece& piece = cache.openPieces[static_cast<std::size_t>(bar.firstPiece + i)];
      if (!Exact(piece) && (promises.CouldLower(bar, piece) || promises.CouldRaise(bar, piece))) {
        kept.push_back(piece);
      }
    }
    bar.firstPiece = first;
    bar.pieceCount = static_cast<int32_t>(kept.size()) - first;
    const Bounds bounds = BoundsOf(bar, kept);
    const auto index = static_cast<std::size_t>(bar.bar);
    cache.mins[index] = static_cast<int16_t>(bounds.lowLow);
    cache.maxs[index] = static_cast<int16_t>(bounds.highHigh);
    if (bar.pieceCount > 0) cache.open[openKept++] = bar;
  }
  cache.open.resize(openKept);
  cache.openPieces.swap(kept);  // the cache's old pieces are the next Compact's room
}

int32_t BarSettler::Settle(PixelCache& cache, const BarRowKeys* rows, PieceExtremes& source, double scale) {
  requests_.clear();
  requested_.clear();
  wanted_.assign(cache.openPieces.size(), 0);
  records_.clear();
  for (const OpenBar& bar : cache.open) {
    const Bounds bounds = BoundsOf(bar, cache.openPieces);
    const bool exact = rows == nullptr || rows->ExactColumn(cache.xs[static_cast<std::size_t>(bar.bar)]);
    const auto same = [&](int32_t a, int32_t b) { return exact ? a == b : rows->Key(a) == rows->Key(b); };
    const bool lowInDoubt = !same(bounds.lowLow, bounds.lowHigh);
    const bool highInDoubt = !same(bounds.highLow, bounds.highHigh);
    if (!lowInDoubt && !highInDoubt) continue;
    const Promises promises(bar, cache.openPieces);
    for (int32_t i = 0; i < bar.pieceCount; ++i) {
      const auto p = static_cast<std::size_t>(bar.firstPiece + i);
      const OpenPiece& piece = cache.openPieces[p];
      if ((lowInDoubt && promises.CouldLower(bar, piece)) || (highInDoubt && promises.CouldRaise(bar, piece))) {
        wanted_[p] = 1;
        records_.push_back(piece.record);
      }
    }
  }
  // A record read for one piece settles every other piece in it for nothing.
  std::sort(records_.begin(), records_.end());
  records_.erase(std::unique(records_.begin(), records_.end()), records_.end());
  for (std::size_t p = 0; p < cache.openPieces.size(); ++p) {
    const OpenPiece& piece = cache.openPieces[p];
    if (wanted_[p] == 0 && !std::binary_search(records_.begin(), records_.end(), piece.record)) continue;
    requests_.push_back({piece.record, piece.first, piece.last});
    requested_.push_back(p);
  }
  if (!requests_.empty()) {
    extremes_.resize(requests_.size());
    if (const int32_t rc = source.Find(requests_, extremes_); rc != kStatusOk) return rc;
    for (std::size_t r = 0; r < requests_.size(); ++r) {
      OpenPiece& piece = cache.openPieces[requested_[r]];
      const int16_t low = ScaleSample(extremes_[r].low, scale);
      const int16_t high = ScaleSample(extremes_[r].high, scale);
      piece.minLow = piece.minHigh = low;
      piece.maxLow = piece.maxHigh = high;
    }
  }
  Compact(cache);
  return kStatusOk;
}

}  // namespace skelvane
