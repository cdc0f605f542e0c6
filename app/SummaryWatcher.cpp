#include "app/SummaryWatcher.h"

#include <QMetaObject>
#include <QPointer>
#include <QString>

#include "display/CscPlot.h"
#include "display/IPlotCollection.h"
#include "summary/SummaryCache.h"

namespace skelvane {

SummaryWatcher::SummaryWatcher(const IPlotCollection& plots, std::function<void(int64_t, int64_t)> progress,
                               std::function<void()> finished, std::function<void(const std::string&)> notice,
                               QObject* parent)
    : QObject(parent), plots_(plots), progress_(std::move(progress)), finished_(std::move(finished)) {
  timer_.setInterval(kPollMilliseconds);
  connect(&timer_, &QTimer::timeout, this, &SummaryWatcher::Poll);
  // Notices come from the worker threads: they reach the window on its own thread, if it is still there.
  SummaryCache::Instance().SetNoticeSink([watcher = QPointer<SummaryWatcher>(this), notice](const std::string& text) {
    QMetaObject::invokeMethod(
        watcher.data(), [watcher, notice, text] { if (watcher != nullptr) notice(text); }, Qt::QueuedConnection);
  });
}

SummaryWatcher::~SummaryWatcher() { SummaryCache::Instance().SetNoticeSink(nullptr); }

void SummaryWatcher::Poll() {
  int64_t done = 0;
  int64_t total = 0;
  int32_t finished = 0;
  bool running = false;
  // Kept on disk, every summary is worth having: the plots out of view get theirs after those on screen.
  const bool startHidden = SummaryCache::Instance().Enabled();
  for (int32_t i = 0; i < plots_.GetNumPlots(); ++i) {
    IPlot* plot = nullptr;
    if (plots_.GetPlot(i, plot) != 0) continue;
    auto* csc = dynamic_cast<CscPlot*>(plot);
    if (csc != nullptr && startHidden && csc->Summary() == nullptr) csc->StartSummary(SummaryBuilder::Rank::Hidden);
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
