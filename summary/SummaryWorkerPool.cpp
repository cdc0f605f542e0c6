#include "summary/SummaryWorkerPool.h"

#include <algorithm>
#include <utility>

namespace skelvane {

SummaryWorkerPool& SummaryWorkerPool::Instance() {
  static SummaryWorkerPool pool;
  return pool;
}

namespace {

thread_local bool onWorkerThread = false;

}  // namespace

bool SummaryWorkerPool::OnWorkerThread() { return onWorkerThread; }

int32_t SummaryWorkerPool::ThreadCount() {
  // Asked once: the count is read from the system's files each time.
  static const auto count = static_cast<int32_t>(std::max(1u, std::thread::hardware_concurrency()));
  return count;
}

void SummaryWorkerPool::Submit(std::function<void()> task, Rank rank) {
  {
    std::lock_guard lock(mutex_);
    tasks_.push_back(Task{std::move(task), std::move(rank)});
    if (threads_.empty()) {
      for (int32_t i = 0; i < ThreadCount(); ++i) threads_.emplace_back([this] { Work(); });
    }
  }
  wake_.notify_one();
}

void SummaryWorkerPool::WhenIdle(std::function<void()> hook) {
  std::lock_guard lock(mutex_);
  idleHooks_.push_back(std::move(hook));
}

void SummaryWorkerPool::Work() {
  onWorkerThread = true;
  for (;;) {
    std::function<void()> task;
    {
      std::unique_lock lock(mutex_);
      wake_.wait(lock, [this] { return stopping_ || !tasks_.empty(); });
      if (stopping_) return;
      // The first of the lowest rank; a few hundred tasks at most, so a scan is enough.
      const auto rankOf = [](const Task& t) { return t.rank != nullptr ? t.rank->load() : 0; };
      auto chosen = tasks_.begin();
      for (auto it = tasks_.begin(); it != tasks_.end(); ++it) {
        if (rankOf(*it) < rankOf(*chosen)) chosen = it;
      }
      task = std::move(chosen->run);
      tasks_.erase(chosen);
      ++running_;
    }
    task();
    std::vector<std::function<void()>> hooks;
    {
      std::lock_guard lock(mutex_);
      if (--running_ == 0 && tasks_.empty()) hooks = idleHooks_;
    }
    for (const std::function<void()>& hook : hooks) hook();
  }
}

SummaryWorkerPool::~SummaryWorkerPool() {
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
    tasks_.clear();  // queued builds belong to builders that are gone by now
  }
  wake_.notify_all();
  for (std::thread& thread : threads_) thread.join();
}

}  // namespace skelvane
