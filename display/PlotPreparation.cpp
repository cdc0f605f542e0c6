#include "display/PlotPreparation.h"

#include <algorithm>
#include <system_error>
#include <utility>

#include "display/IPlot.h"

namespace skelvane {

PlotPreparation::PlotPreparation(std::vector<IPlot*> plots, const PlotFrame& frame)
    : plots_(std::move(plots)), frame_(frame), done_(plots_.size(), false) {
  if (plots_.size() < 2) return;  // a lone plot splits its own work
  // A plot's bars take a fraction of the time its drawing does, so a few helpers keep well ahead.
  constexpr std::size_t kMostHelpers = 3;
  const std::size_t cores = std::max(1u, std::thread::hardware_concurrency());
  const std::size_t wanted = std::min({cores - 1, plots_.size() - 1, kMostHelpers});
  try {
    while (helpers_.size() < wanted) helpers_.emplace_back([this] { Work(); });
  } catch (const std::system_error&) {
    // No more threads to be had: the canvas prepares what the running ones do not.
  }
}

PlotPreparation::~PlotPreparation() {
  {
    std::lock_guard lock(mutex_);
    next_ = plots_.size();  // nothing more for the helpers to take
  }
  for (std::thread& helper : helpers_) helper.join();
}

void PlotPreparation::Work() {
  while (PrepareNext(plots_.size())) {
  }
}

bool PlotPreparation::PrepareNext(std::size_t upTo) {
  std::size_t index = 0;
  {
    std::lock_guard lock(mutex_);
    if (next_ >= plots_.size() || next_ > upTo) return false;
    index = next_++;
  }
  plots_[index]->PrepareDraw(frame_);
  {
    std::lock_guard lock(mutex_);
    done_[index] = true;
  }
  finished_.notify_all();
  return true;
}

void PlotPreparation::Await(std::size_t index) {
  if (index >= plots_.size() || plots_.size() < 2) return;
  while (PrepareNext(index)) {
  }
  // While a helper finishes this plot, the canvas prepares one further down rather than wait idle.
  while (!IsDone(index) && PrepareNext(plots_.size())) {
  }
  std::unique_lock lock(mutex_);
  finished_.wait(lock, [&] { return done_[index]; });
}

bool PlotPreparation::IsDone(std::size_t index) {
  std::lock_guard lock(mutex_);
  return done_[index];
}

void PlotPreparation::AwaitAll() {
  if (plots_.size() < 2) return;
  while (PrepareNext(plots_.size())) {
  }
  std::unique_lock lock(mutex_);
  finished_.wait(lock, [&] { return std::all_of(done_.begin(), done_.end(), [](bool done) { return done; }); });
}

}  // namespace skelvane
