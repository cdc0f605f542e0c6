#include "display/ColumnsAhead.h"

#include <sys/resource.h>
#include <unistd.h>

#include <system_error>
#include <utility>

#include "display/IPlot.h"

namespace skelvane {
namespace {

// The thread's scheduling priority below the window's threads (a nice value).
constexpr int kNiceness = 10;

}  // namespace

ColumnsAhead::~ColumnsAhead() {
  {
    std::lock_guard lock(mutex_);
    ending_ = true;
  }
  changed_.notify_all();
  if (thread_.joinable()) thread_.join();
}

void ColumnsAhead::Start(std::vector<Job> jobs) {
  std::unique_lock lock(mutex_);
  paused_ = true;
  changed_.wait(lock, [&] { return !busy_; });
  jobs_.assign(std::make_move_iterator(jobs.begin()), std::make_move_iterator(jobs.end()));
}

void ColumnsAhead::Pause() {
  std::unique_lock lock(mutex_);
  paused_ = true;
  changed_.wait(lock, [&] { return !busy_; });
}

void ColumnsAhead::Resume() {
  {
    std::lock_guard lock(mutex_);
    paused_ = false;
    if (jobs_.empty()) return;
    if (!thread_.joinable()) {
      try {
        thread_ = std::thread([this] { Work(); });
      } catch (const std::system_error&) {
        // No thread to be had: the frames build their columns themselves, as without this.
        jobs_.clear();
        return;
      }
    }
  }
  changed_.notify_all();
}

void ColumnsAhead::Finish() {
  Resume();
  std::unique_lock lock(mutex_);
  changed_.wait(lock, [&] { return jobs_.empty() && !busy_; });
  paused_ = true;
}

int64_t ColumnsAhead::Done() const {
  std::lock_guard lock(mutex_);
  return done_;
}

void ColumnsAhead::Work() {
  // Work for the user's pause gives way at once to the window system and the window's own threads
  // when input arrives (on two cores it otherwise held one while the input waited for the other).
  ::setpriority(PRIO_PROCESS, static_cast<id_t>(::gettid()), kNiceness);
  std::unique_lock lock(mutex_);
  for (;;) {
    changed_.wait(lock, [&] { return ending_ || (!paused_ && !jobs_.empty()); });
    if (ending_) return;
    const Job job = jobs_.front();
    jobs_.pop_front();
    busy_ = true;
    lock.unlock();
    job.plot->PrepareAhead(job.frame);
    lock.lock();
    busy_ = false;
    ++done_;
    changed_.notify_all();
  }
}

}  // namespace skelvane
