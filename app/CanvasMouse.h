#pragma once
// The mouse gestures on the main window's canvas: a click zooms in around the clicked column, a
// Shift-click zooms out, a drag zooms to the dragged columns (a rubber band follows the mouse), a
// drag on a plot's lower border resizes the plot, a click on a header icon acts on the plot. Also
// shows the resize cursor over borders. Owned by MainWindow, which hands it the client area's mouse.

#include <QPoint>
#include <QRect>
#include <Qt>
#include <cstdint>

class QRubberBand;
class QWidget;

namespace skelvane {

class IPlotCanvas;
class IPlotCollection;
class ViewModel;
class WindowView;
struct ViewState;

class CanvasMouse {
 public:
  /// Works on the view and plots of `window`; the rubber band is drawn in `client`.
  CanvasMouse(IPlotCanvas& canvas, ViewState& view, ViewModel& model, IPlotCollection& plots, WindowView& window,
              QWidget& client);

  /// Mouse moved to client (x, y) with `buttons` held.
  void OnMouseMove(Qt::MouseButtons buttons, int32_t x, int32_t y);
  /// Left button pressed at (x, y).
  void OnLButtonDown(Qt::KeyboardModifiers modifiers, int32_t x, int32_t y);
  /// Second press of a double click at (x, y): a canvas press that acts on no icon or border.
  void OnLButtonDblClk(Qt::KeyboardModifiers modifiers, int32_t x, int32_t y);
  /// Left button released at (x, y).
  void OnLButtonUp(Qt::KeyboardModifiers modifiers, int32_t x, int32_t y);

  /// A rubber band is being drawn.
  bool IsRubberBandActive() const { return rubberBandActive_; }
  /// The rubber band rectangle in client coordinates.
  QRect RubberBandRect() const;
  /// A plot border is being dragged.
  bool IsBorderDragActive() const { return borderDragActive_; }

 private:
  int32_t CanvasYForWindowY(int32_t y) const;
  void StartRubberBand(int32_t x, int32_t y);
  void EndRubberBand();
  void ZoomToRubberBand();
  void UpdateHorizontalScroll();
  void UpdateVerticalScroll();
  void Redraw();

  IPlotCanvas& canvas_;
  ViewState& view_;
  ViewModel& model_;
  IPlotCollection& plots_;
  WindowView& window_;
  QWidget* client_;
  QRubberBand* rubberBand_;

  bool rubberBandActive_ = false;
  bool leftButtonDown_ = false;
  QPoint rubberBandCurrent_;
  QPoint rubberBandAnchor_;
  QPoint pressPoint_;
  int32_t borderPlot_ = -1;
  bool borderDragActive_ = false;
  int32_t borderDragStartY_ = 0;
  bool lastPressStartedBand_ = false;  // the last press was on the canvas, away from icons and borders
};

}  // namespace skelvane
