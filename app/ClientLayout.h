#pragma once
// Where things lie in the main window's client area: the horizontal scrollbar along the top, the
// vertical one along the right edge and the canvas image below the first. The window and its mouse,
// plot and pointer helpers use it to turn client points into canvas coordinates.

#include <QWidget>
#include <cstdint>

#include "display/ViewState.h"

namespace skelvane {

struct ClientLayout {
  /// Height of the horizontal scrollbar and width of the vertical one; the canvas image starts this
  /// far below the top of the client area.
  static constexpr int32_t kScrollBarSize = 15;

  /// The canvas y (upwards from the top of the plot stack) of client y.
  static int32_t CanvasY(const ViewState& view, int32_t y) { return view.ScrollTop - y + kScrollBarSize; }
  /// Asks `client` to repaint the canvas image only: the scrollbars beside it repaint themselves when
  /// they change, and painting them with every frame cost a millisecond.
  static void UpdateCanvas(QWidget& client, const ViewState& view) {
    client.update(0, kScrollBarSize, view.CanvasWidth, view.CanvasHeight);
  }
};

}  // namespace skelvane
