#include "app/FramePacer.h"

#include <chrono>

#include "app/LatencyLog.h"
#include "display/IPlotCanvas.h"
#include "display/ViewState.h"
#include "platform/CursorControl.h"

namespace skelvane {

FramePacer::FramePacer(IPlotCanvas& canvas, const ViewState& view, LatencyLog* log)
    : canvas_(canvas), view_(view), log_(log) {}

void FramePacer::Ask() {
  due_ = true;
  if (log_ != nullptr) log_->RedrawAsked();
}

bool FramePacer::DrawIfDue() {
  if (!due_) return false;
  due_ = false;
  CursorControl::Current().Show(CursorControl::Shape::Wait);
  const auto start = std::chrono::steady_clock::now();
  canvas_.RedrawAll();
  const auto end = std::chrono::steady_clock::now();
  CursorControl::Current().Show(CursorControl::Shape::Arrow);
  ++frames_;
  if (log_ != nullptr) log_->FrameDrawn(std::chrono::duration<double, std::milli>(end - start).count(), view_.VisibleSpan);
  return true;
}

}  // namespace skelvane
