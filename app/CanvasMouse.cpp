#include "app/CanvasMouse.h"

#include <QRubberBand>
#include <QWidget>
#include <algorithm>

#include "app/ClientLayout.h"
#include "app/WindowView.h"
#include "display/IPlot.h"
#include "display/IPlotCanvas.h"
#include "display/IPlotCollection.h"
#include "display/ViewModel.h"
#include "display/ViewState.h"
#include "platform/CursorControl.h"

namespace skelvane {

CanvasMouse::CanvasMouse(IPlotCanvas& canvas, ViewState& view, ViewModel& model, IPlotCollection& plots,
                         WindowView& window, QWidget& client)
    : canvas_(canvas),
      view_(view),
      model_(model),
      plots_(plots),
      window_(window),
      client_(&client),
      rubberBand_(new QRubberBand(QRubberBand::Rectangle, &client)) {
  rubberBand_->hide();
}

int32_t CanvasMouse::CanvasYForWindowY(int32_t y) const { return ClientLayout::CanvasY(view_, y); }

void CanvasMouse::UpdateHorizontalScroll() { window_.UpdateHorizontalScroll(); }
void CanvasMouse::UpdateVerticalScroll() { window_.UpdateVerticalScroll(); }
void CanvasMouse::Redraw() { window_.Redraw(); }

void CanvasMouse::OnMouseMove(Qt::MouseButtons buttons, int32_t x, int32_t y) {
  const int32_t canvasY = CanvasYForWindowY(y);
  if (!rubberBandActive_) {
    int32_t plot = -1;
    if (borderDragActive_) {
      CursorControl::Current().Show(CursorControl::Shape::VerticalResize);
    } else if (canvas_.FindSeparator(canvasY, plot) != 0) {
      borderPlot_ = plot;
      borderDragStartY_ = canvasY;
      CursorControl::Current().Show(CursorControl::Shape::VerticalResize);
    } else {
      CursorControl::Current().Show(CursorControl::Shape::Arrow);
    }
  }
  if (buttons & Qt::LeftButton) {
    leftButtonDown_ = true;
  } else {
    if (client_ != nullptr) ClientLayout::UpdateCanvas(*client_, view_);
    leftButtonDown_ = false;
  }
  if (rubberBandActive_ && client_ != nullptr) {
    // The band stays inside the client area, as the mouse does when it is not captured.
    rubberBandCurrent_ = QPoint(std::clamp(x, 0, std::max(client_->width() - 1, 0)),
                                std::clamp(y, 0, std::max(client_->height() - 1, 0)));
    rubberBand_->setGeometry(RubberBandRect());
  }
}

QRect CanvasMouse::RubberBandRect() const {
  return QRect(QPoint(std::min(rubberBandAnchor_.x(), rubberBandCurrent_.x()),
                      std::min(rubberBandAnchor_.y(), rubberBandCurrent_.y())),
               QPoint(std::max(rubberBandAnchor_.x(), rubberBandCurrent_.x()),
                      std::max(rubberBandAnchor_.y(), rubberBandCurrent_.y())));
}

void CanvasMouse::OnLButtonDown(Qt::KeyboardModifiers modifiers, int32_t x, int32_t y) {
  lastPressStartedBand_ = false;
  if (modifiers & Qt::ShiftModifier) return;
  pressPoint_ = QPoint(x, y);
  const int32_t canvasY = CanvasYForWindowY(y);
  int32_t plot = -1;
  if (canvas_.FindSeparator(canvasY, plot) != 0) {
    borderDragActive_ = true;
    borderPlot_ = plot;
    borderDragStartY_ = canvasY;
    CursorControl::Current().Show(CursorControl::Shape::VerticalResize);
    return;
  }
  if (plots_.HandleClick(x, canvasY) != 0) {
    UpdateVerticalScroll();
    Redraw();
    return;
  }
  StartRubberBand(x, y);
  lastPressStartedBand_ = true;
}

// A double click on the canvas is two clicks (each release zooms); on an icon or a border it acts
// once: the first press already closed, resized or moved the plot, and the second may not hit the
// next plot that moved under the mouse.
void CanvasMouse::OnLButtonDblClk(Qt::KeyboardModifiers modifiers, int32_t x, int32_t y) {
  if (modifiers & Qt::ShiftModifier) return;
  if (rubberBand_ == nullptr || !lastPressStartedBand_) return;
  pressPoint_ = QPoint(x, y);
  StartRubberBand(x, y);
}

void CanvasMouse::StartRubberBand(int32_t x, int32_t y) {
  leftButtonDown_ = true;
  rubberBandActive_ = true;
  rubberBandAnchor_ = QPoint(x, y);
  rubberBandCurrent_ = rubberBandAnchor_;
  rubberBand_->setGeometry(RubberBandRect());
  rubberBand_->show();
}

void CanvasMouse::EndRubberBand() {
  rubberBandActive_ = false;
  if (rubberBand_ != nullptr) rubberBand_->hide();
}

void CanvasMouse::OnLButtonUp(Qt::KeyboardModifiers modifiers, int32_t x, int32_t y) {
  CursorControl::Current().Show(CursorControl::Shape::Arrow);
  if (borderDragActive_) {
    borderDragActive_ = false;
    IPlot* plot = nullptr;
    if (plots_.GetPlot(borderPlot_, plot) == 0 && plot != nullptr) {
      plot->SetHeight(plot->GetHeight() + borderDragStartY_ - CanvasYForWindowY(y));
    }
    // The stack's height changed: the vertical bar follows it.
    UpdateVerticalScroll();
    Redraw();
    return;
  }
  if (!(modifiers & Qt::ShiftModifier)) {
    leftButtonDown_ = false;
    // Only a band started on the canvas zooms; the release after an icon click does not.
    if (!rubberBandActive_) return;
    EndRubberBand();
    ZoomToRubberBand();
    return;
  }
  EndRubberBand();
  if (!model_.ZoomOutAbout(x)) return;
  UpdateHorizontalScroll();
  Redraw();
}

void CanvasMouse::ZoomToRubberBand() {
  if (!model_.ZoomToBand(rubberBandAnchor_.x(), rubberBandCurrent_.x())) return;
  UpdateHorizontalScroll();
  Redraw();
}

}  // namespace skelvane
