#include "summary/SummaryBuilder.h"

#include <utility>

#include "datafile/RecordReader.h"
#include "platform/StatusCodes.h"
#include "summary/SummaryCache.h"
#include "summary/SummaryKey.h"
#include "summary/SummaryWorkerPool.h"

namespace skelvane {

SummaryBuilder::SummaryBuilder(RecordLayout layout) : shared_(std::make_shared<Shared>()) {
  shared_->layout = std::move(layout);
}

SummaryBuilder::SummaryBuilder(RecordLayout layout, const FilterDesign& filter, double sampleInterval)
    : SummaryBuilder(std::move(layout)) {
  shared_->filter = filter;
  shared_->sampleInterval = sampleInterval;
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
  shared_->useCache = SummaryCache::Instance().Enabled();
  // The task holds the shared state, never the builder, so a builder may go while it is queued.
  SummaryWorkerPool::Instance().Submit([shared = shared_] { Run(shared); }, shared_->rank);
}

bool SummaryBuilder::LoadIfKept() {
  if (started_ || !SummaryCache::Instance().Enabled()) return false;
  Shared& shared = *shared_;
  RecordReader reader;
  SummaryKey key;
  if (!KeyOf(shared, reader, key)) return false;
  SourceSummary kept;
  if (SummaryCache::Instance().Find(key, reader, kept, false) != SummaryCache::Found::Kept) return false;
  started_ = true;
  TakeKept(shared, kept);
  {
    std::lock_guard lock(shared.mutex);
    shared.state.store(State::Ready, std::memory_order_release);
    shared.finished = true;
  }
  shared.changed.notify_all();
  if (shared.onFinished) shared.onFinished();
  return true;
}

bool SummaryBuilder::WaitIfKept() const {
  if (!started_) return false;
  std::unique_lock lock(shared_->mutex);
  shared_->changed.wait(lock, [this] { return shared_->finished || (shared_->running && !shared_->looking); });
  return shared_->state.load() == State::Ready && shared_->origin.load() == Origin::Loaded;
}

void SummaryBuilder::SetRank(Rank rank) { shared_->rank->store(static_cast<int32_t>(rank)); }

void SummaryBuilder::Cancel() { shared_->cancel.store(true); }

bool SummaryBuilder::Wait() const {
  if (!started_) return false;
  std::unique_lock lock(shared_->mutex);
  shared_->changed.wait(lock, [this] { return shared_->finished; });
  return shared_->state.load() == State::Ready;
}

SummaryBuilder::State SummaryBuilder::GetState() const { return shared_->state.load(); }
int32_t SummaryBuilder::Status() const { return shared_->status.load(); }
SummaryBuilder::Origin SummaryBuilder::GetOrigin() const { return shared_->origin.load(); }

SummaryBuilder::Progress SummaryBuilder::GetProgress() const {
  return Progress{shared_->recordsDone.load(std::memory_order_relaxed), shared_->layout.numRecords};
}

const SourceSummary* SummaryBuilder::Summary() const {
  return shared_->state.load(std::memory_order_acquire) == State::Ready ? &shared_->summary : nullptr;
}

bool SummaryBuilder::KeyOf(const Shared& shared, RecordReader& reader, SummaryKey& key) {
  if (reader.Open(shared.layout) != 0 || SummaryKey::Of(shared.layout, reader, key) != 0) return false;
  if (shared.filter) key.filter = SummaryKey::FilterIdentity(*shared.filter, shared.sampleInterval);
  return true;
}

void SummaryBuilder::TakeKept(Shared& shared, SourceSummary& kept) {
  shared.summary = std::move(kept);
  shared.recordsDone.store(shared.layout.numRecords);
  shared.origin.store(Origin::Loaded);
}

int32_t SummaryBuilder::Summarise(Shared& shared) {
  const RecordLayout& layout = shared.layout;
  // Whoever waits for a look in the cache waits no longer once the records are read instead.
  const auto stopLooking = [&shared] {
    {
      std::lock_guard lock(shared.mutex);
      shared.looking = false;
    }
    shared.changed.notify_all();
  };
  const auto build = [&shared, &layout, &stopLooking] {
    stopLooking();
    shared.origin.store(Origin::Built);
    if (shared.filter) {
      return SourceSummary::BuildFiltered(layout, *shared.filter, shared.sampleInterval, shared.cancel,
                                          shared.recordsDone, shared.summary);
    }
    return SourceSummary::Build(layout, shared.cancel, shared.recordsDone, shared.summary);
  };
  if (!shared.useCache) return build();
  RecordReader reader;
  SummaryKey key;
  // A file that cannot be keyed is not kept either; the build says what is wrong with it.
  if (!KeyOf(shared, reader, key)) return build();
  SummaryCache& cache = SummaryCache::Instance();
  SourceSummary kept;
  int32_t rc = kStatusOk;
  const SummaryCache::Found found = cache.Find(key, reader, kept);
  if (found != SummaryCache::Found::Kept) stopLooking();
  switch (found) {
    case SummaryCache::Found::Kept:
      TakeKept(shared, kept);
      return kStatusOk;
    case SummaryCache::Found::Grown:  // only ever of the samples as recorded
      rc = SourceSummary::Extend(kept, layout, shared.cancel, shared.recordsDone, shared.summary);
      shared.origin.store(Origin::Extended);
      break;
    case SummaryCache::Found::None:
    case SummaryCache::Found::Blocked:
      rc = build();
      break;
  }
  kept = SourceSummary{};
  // A summary that cannot be kept is used from memory all the same.
  if (rc == kStatusOk && !shared.cancel.load() && found != SummaryCache::Found::Blocked) cache.Keep(key, shared.summary);
  return rc;
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
    shared->looking = shared->useCache;
    shared->state.store(State::Building);
  }
  const int32_t rc = Summarise(*shared);
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
