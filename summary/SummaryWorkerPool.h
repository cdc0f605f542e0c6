#pragma once
// The few threads (never more than the machine's cores) that build source summaries off the UI
// thread, shared by every SummaryBuilder of the process. Queued tasks run by rank (what the view
// shows before what it does not), then in the order they came.

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace skelvane {

class SummaryWorkerPool {
 public:
  /// A task's place in the queue; lower runs first. Its owner may change it while the task waits.
  using Rank = std::shared_ptr<const std::atomic<int32_t>>;

  /// The process's pool; its threads start with the first task.
  static SummaryWorkerPool& Instance();

  /// Runs `task` on a worker thread once no queued task has a lower rank (none: rank 0) and those of
  /// its rank queued before it have started.
  void Submit(std::function<void()> task, Rank rank = nullptr);
  /// Threads the pool runs (at least 1, at most the number of cores).
  static int32_t ThreadCount();
  /// True on one of the pool's threads.
  static bool OnWorkerThread();
  /// Runs `hook` on a worker thread each time the pool runs out of work (its last task done and none
  /// queued), from then on; what the builds kept for the next one goes back that way.
  void WhenIdle(std::function<void()> hook);

  ~SummaryWorkerPool();

 private:
  struct Task {
    std::function<void()> run;
    Rank rank;
  };
  SummaryWorkerPool() = default;
  void Work();

  std::mutex mutex_;
  std::condition_variable wake_;
  std::deque<Task> tasks_;
  int32_t running_ = 0;  // tasks under way
  std::vector<std::thread> threads_;
  std::vector<std::function<void()>> idleHooks_;
  bool stopping_ = false;
};

}  // namespace skelvane
