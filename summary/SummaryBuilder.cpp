#include "summary/SummaryBuilder.h"

#include <utility>

#include "summary/SummaryWorkerPool.h"
#include "platform/StatusCodes.h"

namespace skelvane {

SummaryBuilder::SummaryBuilder(RecordLayout layout) : shared_(std::make_shared<Shared>()) {
  shared_->layout = std::move(layout);
}

SummaryBuilder::~SummaryBuilder() {
  Cancel();
  std::unique_lock lock(shared_->mutex);
  shared_->changed.wait(lock, [this] { return !shared_->running; });
}

void SummaryBuilder::SetOnFinished(std::function<void()> onFinished) {
  if (!started_) shared_->onFinished = std::move(onFinished);
}

void SummaryBuilder::Start() {
  if (started_) return;
  started_ = true;
  // The task holds the shared state, never the builder, so a builder may go while it is queued.
  SummaryWorkerPool::Instance().Submit([shared = shared_] { Run(shared); });
}

void SummaryBuilder::Cancel() { shared_->cancel.store(true); }

bool SummaryBuilder::Wait() const {
  if (!started_) return false;
  std::unique_lock lock(shared_->mutex);
  shared_->changed.wait(lock, [this] { return shared_->finished; });
  return shared_->state.load() == State::Ready;
}

SummaryBuilder::State SummaryBuilder::GetState() const { return shared_->state.load(); }
int32_t SummaryBuilder::Status() const { return shared_->status.load(); }

SummaryBuilder::Progress SummaryBuilder::GetProgress() const {
  return Progress{shared_->recordsDone.load(std::memory_order_relaxed), shared_->layout.numRecords};
}

const SourceSummary* SummaryBuilder::Summary() const {
  return shared_->state.load(std::memory_order_acquire) == State::Ready ? &shared_->summary : nullptr;
}

void SummaryBuilder::Run(const std::shared_ptr<Shared>& shared) {
  {
    std::lock_guard lock(shared->mutex);
    if (shared->cancel.load()) {
      shared->status.store(kStatusCancelled);
      shared->state.store(State::Cancelled);
      shared->finished = true;
      shared->changed.notify_all();
      return;
    }
    shared->running = true;
    shared->state.store(State::Building);
  }
  const int32_t rc = SourceSummary::Build(shared->layout, shared->cancel, shared->recordsDone, shared->summary);
  const bool cancelled = rc == kStatusCancelled || shared->cancel.load();
  shared->status.store(cancelled ? kStatusCancelled : rc);
  shared->state.store(cancelled ? State::Cancelled : (rc == kStatusOk ? State::Ready : State::Failed),
                      std::memory_order_release);
  if (!cancelled && shared->onFinished) shared->onFinished();
  std::lock_guard lock(shared->mutex);
  shared->running = false;
  shared->finished = true;
  shared->changed.notify_all();
}

}  // namespace skelvane
