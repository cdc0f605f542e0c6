#pragma once
// Depths and colours shared by the canvas and the plots. A larger depth is drawn in front; colours
// are 0x00BBGGRR.

#include <cstdint>

namespace skelvane {

inline constexpr int32_t kDepthGrid = -17;
inline constexpr int32_t kDepthDataAxis = -12;
inline constexpr int32_t kDepthTrace = -10;
inline constexpr int32_t kDepthSeparator = -9;  // also the threshold overlay
inline constexpr int32_t kDepthSpikeMarks = -8;
inline constexpr int32_t kDepthOverlayPlate = -6;  // what keeps a scale bar's label off the traces
inline constexpr int32_t kDepthOverlay = -5;    // cursor lines and scale bars, over the traces
inline constexpr int32_t kDepthIcons = -4;      // also the plot names
inline constexpr int32_t kDepthAxisLabels = -3;
inline constexpr int32_t kDepthTimeAxisBand = -2;
inline constexpr int32_t kDepthTimeTicks = -1;

inline constexpr uint32_t kColourBlack = 0x000000;
inline constexpr uint32_t kColourLight = 0xCCCCCC;  // labels, axis lines, icon strokes, trace points
inline constexpr uint32_t kColourSeparator = 0x808080;
inline constexpr uint32_t kColourGrid = 0x4F4F2F;
inline constexpr uint32_t kColourCloseIcon = 248;  // red

/// Every primitive is drawn opaque (blending is never enabled).
inline constexpr float kOpaque = 1.0f;

}  // namespace skelvane
