#pragma once
// The working memory of filtering, owned by the caller so that a frame, a worker or a pass reuses it
// from one call to the next instead of allocating afresh. SegmentFilter and FilterDesign fill it.

#include <cstdint>
#include <vector>

#include "filter/BoxcarStage.h"

namespace skelvane {

struct FilterWorkspace {
  std::vector<int16_t> extended;   // a stretch of samples with its support, edges extended
  std::vector<int16_t> between[2]; // one stage's output, the next stage's input
  BoxcarStage::Workspace boxcars;
};

}  // namespace skelvane
