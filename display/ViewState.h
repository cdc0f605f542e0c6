#pragma once
// The display-wide view: canvas size, visible time span, data time range and vertical scroll of the
// plot stack. Shared by the canvas, the plots, the main window and the bitmap export.

#include <cstdint>

namespace skelvane {

struct ViewState {
  int32_t CanvasWidth = 0;    // pixels: client width minus 15
  int32_t CanvasHeight = 0;   // pixels: client height minus 15
  int64_t DataStart = 0;      // microseconds
  int64_t DataEnd = 10'000'000;
  int64_t DataDuration = 10'000'000;
  int64_t VisibleStart = 0;
  int64_t VisibleSpan = 10'000'000;
  int32_t ScrollTop = 0;      // drawing y of the canvas top (0 or negative when scrolled)
  int32_t ScrollBottom = 0;   // kept equal to ScrollTop - CanvasHeight
};

}  // namespace skelvane
