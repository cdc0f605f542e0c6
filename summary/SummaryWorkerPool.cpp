#include "summary/SummaryWorkerPool.h"

#include <algorithm>

namespace skelvane {

SummaryWorkerPool& SummaryWorkerPool::Instance() {
  static SummaryWorkerPool pool;
  return pool;
}

int32_t SummaryWorkerPool::ThreadCount() {
  return static_cast<int32_t>(std::max(1u, std::thread::hardware_concurrency()));
}

void SummaryWorkerPool::Submit(std::function<void()> task) {
  {
    std::lock_guard lock(mutex_);
    tasks_.push_back(std::move(task));
    if (threads_.empty()) {
      for (int32_t i = 0; i < ThreadCount(); ++i) threads_.emplace_back([this] { Work(); });
    }
  }
  wake_.notify_one();
}

void SummaryWorkerPool::Work() {
  for (;;) {
    std::function<void()> task;
    {
      std::unique_lock lock(mutex_);
      wake_.wait(lock, [this] { return stopping_ || !tasks_.empty(); });
      if (stopping_) return;
      task = std::move(tasks_.front());
      tasks_.pop_front();
    }
    task();
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
