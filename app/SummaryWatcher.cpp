#include "app/SummaryWatcher.h"

#include "display/CscPlot.h"
#include "display/IPlotCollection.h"

namespace skelvane {

SummaryWatcher::SummaryWatcher(const IPlotCollection& plots, std::function<void(int64_t, int64_t)> progress,
                               std::function<void()> finished, QObject* parent)
    : QObject(parent), plots_(plots), progress_(std::move(progress)), finished_(std::move(finished)) {
  timer_.setInterval(kPollMilliseconds);
  connect(&timer_, &QTimer::timeout, this, &SummaryWatcher::Poll);
}

void SummaryWatcher::Poll() {
  int64_t done = 0;
  int64_t total = 0;
  int32_t finished = 0;
  bool running = false;
  for (int32_t i = 0; i < plots_.GetNumPlots(); ++i) {
    IPlot* plot = nullptr;
    if (plots_.GetPlot(i, plot) != 0) continue;
    const auto* csc = dynamic_cast<const CscPlot*>(plot);
    const SummaryBuilder* builder = csc != nullptr ? csc->Summary() : nullptr;
    if (builder == nullptr) continue;
    const SummaryBuilder::Progress progress = builder->GetProgress();
    done += progress.recordsDone;
    total += progress.recordsTotal;
    const SummaryBuilder::State state = builder->GetState();
    if (state == SummaryBuilder::State::Queued || state == SummaryBuilder::State::Building) {
      running = true;
    } else {
      ++finished;
    }
  }
  // A closed plot takes its build with it: count again from what is there now.
  const bool another = finished > finishedSeen_;
  finishedSeen_ = finished;
  progress_(running ? done : total, total);
  if (running && !timer_.isActive()) timer_.start();
  if (!running) timer_.stop();
  if (another) finished_();
}

}  // namespace skelvane
