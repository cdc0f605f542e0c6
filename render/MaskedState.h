#pragma once
// What a masked draw takes from GL: the projection, the viewport and the projection's depth row. The
// mask drawers read it when they draw and keep it for the parts of their columns drawn later.

#include <array>
#include <cstdint>

namespace skelvane {

struct MaskedState {
  std::array<float, 16> projection{};
  int32_t viewport[4] = {0, 0, 0, 0};
  float depthRow[4] = {0.0f, 0.0f, 0.0f, 0.0f};
};

}  // namespace skelvane
