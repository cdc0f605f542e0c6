#include "extract/ExtractionProgress.h"

namespace skelvane {

void ExtractionProgress::Reset(const std::vector<GroupView>& groups) {
  const std::lock_guard<std::mutex> lock(mutex_);
  groups_.clear();
  for (const GroupView& view : groups) {
    auto group = std::make_unique<Group>();
    group->fixed = view;
    groups_.push_back(std::move(group));
  }
  ++generation_;
}

void ExtractionProgress::Started(std::size_t group) {
  const std::lock_guard<std::mutex> lock(mutex_);
  if (group < groups_.size()) groups_[group]->state = static_cast<int>(State::Running);
}

void ExtractionProgress::Advanced(std::size_t group, int64_t records) {
  // Called once per block by the worker: the list does not change during a run, so no lock.
  if (group < groups_.size()) groups_[group]->done.store(records, std::memory_order_relaxed);
}

void ExtractionProgress::Finished(std::size_t group) {
  const std::lock_guard<std::mutex> lock(mutex_);
  if (group >= groups_.size()) return;
  groups_[group]->state = static_cast<int>(State::Done);
}

std::vector<ExtractionProgress::GroupView> ExtractionProgress::Snapshot() const {
  const std::lock_guard<std::mutex> lock(mutex_);
  std::vector<GroupView> views;
  for (const auto& group : groups_) {
    GroupView view = group->fixed;
    view.doneRecords = group->done.load(std::memory_order_relaxed);
    view.state = static_cast<State>(group->state.load());
    views.push_back(view);
  }
  return views;
}

}  // namespace skelvane
