#include "platform/ForegroundWork.h"

#include <chrono>
#include <condition_variable>
#include <mutex>

namespace skelvane {
namespace {

// How often a waiting thread looks at its cancel flag: it must stop promptly even when a scope
// stays open (a message box shown in the middle of a frame).
constexpr auto kCancelPoll = std::chrono::milliseconds(5);

struct Gate {
  std::atomic<int32_t> open{0};
  std::atomic<int64_t> waits{0};
  std::mutex mutex;
  std::condition_variable clear;
};

Gate& TheGate() {
  static Gate gate;
  return gate;
}

}  // namespace

ForegroundWork::Scope::Scope() { TheGate().open.fetch_add(1, std::memory_order_acq_rel); }

ForegroundWork::Scope::~Scope() {
  Gate& gate = TheGate();
  if (gate.open.fetch_sub(1, std::memory_order_acq_rel) != 1) return;
  // Taking the lock orders this with a waiter between its check and its wait.
  { std::lock_guard lock(gate.mutex); }
  gate.clear.notify_all();
}

bool ForegroundWork::Busy() { return TheGate().open.load(std::memory_order_acquire) > 0; }

void ForegroundWork::WaitUntilClear(const std::atomic<bool>& cancel) {
  Gate& gate = TheGate();
  if (gate.open.load(std::memory_order_acquire) == 0) return;
  gate.waits.fetch_add(1, std::memory_order_relaxed);
  std::unique_lock lock(gate.mutex);
  while (gate.open.load(std::memory_order_acquire) > 0 && !cancel.load(std::memory_order_relaxed)) {
    gate.clear.wait_for(lock, kCancelPoll);
  }
}

int64_t ForegroundWork::Waits() { return TheGate().waits.load(std::memory_order_relaxed); }

}  // namespace skelvane
