#pragma once
// The working memory of filtering, owned by the caller so that a frame, a worker or a pass reuses it
// from one call to the next instead of allocating afresh. SegmentFilter, FilterDesign and its stages
// fill it.

#include <cstdint>
#include <vector>

#include "filter/BoxcarStage.h"
#include "filter/CircularSums.h"

namespace skelvane {

struct FilterWorkspace {
  std::vector<int16_t> extended;   // a stretch of samples with its support, edges extended
  std::vector<int16_t> between[2]; // one stage's output, the next stage's input
  BoxcarStage::Workspace boxcars;
  // Filtering one period of a short segment's mirrored extension: its output, the stages' exact sums
  // and the period repeated where a stage reads past it.
  std::vector<int16_t> period;
  std::vector<int64_t> wide[3];
  std::vector<int16_t> repeated;
  CircularSums circular;

  /// `buffer` made to hold at least `count` elements, never shrunk: a vector grown back after a
  /// shorter use would clear its whole new part first, a cost of the order of the filtering itself.
  template <typename T>
  static T* Room(std::vector<T>& buffer, int64_t count) {
    if (buffer.size() < static_cast<std::size_t>(count)) buffer.resize(static_cast<std::size_t>(count));
    return buffer.data();
  }
};

}  // namespace skelvane
