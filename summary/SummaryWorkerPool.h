#pragma once
// The few threads (never more than the machine's cores) that build source summaries off the UI
// thread, shared by every SummaryBuilder of the process.

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace skelvane {

class SummaryWorkerPool {
 public:
  /// The process's pool; its threads start with the first task.
  static SummaryWorkerPool& Instance();

  /// Runs `task` on a worker thread, after the tasks queued before it.
  void Submit(std::function<void()> task);
  /// Threads the pool runs (at least 1, at most the number of cores).
  static int32_t ThreadCount();

  ~SummaryWorkerPool();

 private:
  SummaryWorkerPool() = default;
  void Work();

  std::mutex mutex_;
  std::condition_variable wake_;
  std::deque<std::function<void()>> tasks_;
  std::vector<std::thread> threads_;
  bool stopping_ = false;
};

}  // namespace skelvane
