#include "app/DetectedSpikes.h"

#include <algorithm>

#include "app/WindowView.h"
#include "display/IPlotCanvas.h"
#include "display/PlotChannels.h"
#include "display/ViewModel.h"
#include "display/ViewState.h"
#include "extract/DetectionPreviewWorker.h"
#include "extract/ExtractionRun.h"
#include "platform/Saturating.h"
#include "spikes/SpikeMarks.h"

namespace skelvane {

DetectedSpikes::DetectedSpikes(const Parts& parts)
    : canvas_(parts.canvas),
      view_(parts.view),
      model_(parts.model),
      run_(parts.run),
      plots_(parts.plots),
      sources_(parts.sources),
      window_(parts.window) {}

// The worker stops (and stops calling back) before the object it calls back goes.
DetectedSpikes::~DetectedSpikes() { worker_.reset(); }

void DetectedSpikes::Toggle() {
  if (worker_) {
    worker_.reset();
    canvas_.SetSpikeMarks(nullptr);
  } else {
    // Marks found on the worker thread reach the window's thread as a request for a frame.
    worker_ = std::make_unique<DetectionPreviewWorker>(
        [this] { QMetaObject::invokeMethod(this, [this] { window_.Redraw(); }, Qt::QueuedConnection); });
  }
  window_.Redraw();
}

void DetectedSpikes::Follow() {
  if (!worker_) return;
  worker_->Configure(run_.Parameters(),
                     DetectionPreviewWorker::Locate(sources_, run_.GroupsToWrite(PlotChannels::Of(plots_))));
  worker_->Show(view_.VisibleStart, SaturatingAdd(view_.VisibleStart, view_.VisibleSpan));
  canvas_.SetSpikeMarks(worker_->Marks());
}

std::optional<DetectedSpikes::Count> DetectedSpikes::InView() const {
  if (!worker_) return std::nullopt;
  const std::shared_ptr<const SpikeMarks> marks = worker_->Marks();
  if (!marks) return Count{};
  const int64_t end = SaturatingAdd(view_.VisibleStart, view_.VisibleSpan);
  return Count{marks->CountBetween(view_.VisibleStart, end), marks->CompleteBetween(view_.VisibleStart, end)};
}

void DetectedSpikes::Step(bool forward) {
  if (!worker_) return;
  Follow();
  // From the spike the last step went to while the view is still there (the view may not have
  // centred it at the ends of the data), else from the middle of the view.
  const bool stillThere = stepped_ && view_.VisibleStart == steppedStart_;
  const int64_t from = stillThere ? *stepped_ : model_.MiddleTime();
  if (const std::shared_ptr<const SpikeMarks> marks = worker_->Marks()) {
    const std::optional<int64_t> next = forward ? marks->NextAfter(from) : marks->PreviousBefore(from);
    // Taken from the marks only when no spike between could be missing from them.
    if (next && (forward ? marks->CompleteBetween(SaturatingAdd(from, 1), SaturatingAdd(*next, 1))
                         : marks->CompleteBetween(*next, from))) {
      CentreOnSpike(*next);
      return;
    }
  }
  worker_->Seek(from, forward, forward ? view_.DataEnd : view_.DataStart, [this](std::optional<int64_t> found) {
    if (!found) return;
    const int64_t time = *found;
    QMetaObject::invokeMethod(this, [this, time] { CentreOnSpike(time); }, Qt::QueuedConnection);
  });
}

void DetectedSpikes::CentreOnSpike(int64_t time) {
  if (!worker_) return;
  model_.CentreOn(time);
  stepped_ = time;
  steppedStart_ = view_.VisibleStart;
  window_.UpdateHorizontalScroll();
  window_.Redraw();
}

void DetectedSpikes::WaitForMarks() {
  if (worker_) worker_->Wait();
}

}  // namespace skelvane
