#include "app/FramePacer.h"

#include <chrono>

#include "app/CanvasPicture.h"
#include "app/LatencyLog.h"
#include "display/IPlotCanvas.h"
#include "display/ViewState.h"
#include "platform/CursorControl.h"
#include "platform/ForegroundWork.h"
#include "platform/ProcessUsage.h"

namespace skelvane {

FramePacer::FramePacer(IPlotCanvas& canvas, const ViewState& view, LatencyLog* log)
    : canvas_(canvas), view_(view), log_(log) {}

void FramePacer::Ask() {
  due_ = true;
  if (log_ != nullptr) log_->RedrawAsked();
}

// The canvas frame is drawn and read back when the canvas presents it; its time, as the canvas
// benchmark counts it, leaves out the copy into the window's picture.
bool FramePacer::DrawIfDue(CanvasPicture& picture) {
  if (!due_) return false;
  due_ = false;
  if (log_ != nullptr) log_->FrameStarting();
  CursorControl::Current().Show(CursorControl::Shape::Wait);
  const auto start = std::chrono::steady_clock::now();
  const ProcessUsage before = log_ != nullptr ? ProcessUsage::Now() : ProcessUsage{};
  {
    // Background work (the spikes found ahead of the view) sits the frame out.
    const ForegroundWork::Scope frame;
    canvas_.RedrawAll();
    // No picture to show (the renderer could not start): the canvas is painted black, not stale.
    if (canvas_.Present(picture) != 0) picture.Clear();
  }
  const auto end = std::chrono::steady_clock::now();
  const ProcessUsage usage = log_ != nullptr ? ProcessUsage::Now().Since(before) : ProcessUsage{};
  CursorControl::Current().Show(CursorControl::Shape::Arrow);
  ++frames_;
  if (log_ != nullptr) {
    const double milliseconds = std::chrono::duration<double, std::milli>(end - start).count();
    log_->FrameDrawn(milliseconds - picture.LastCopyMilliseconds(), usage, view_.VisibleSpan);
  }
  return true;
}

}  // namespace skelvane
