// Background threads sit out foreground work: a waiter returns only once every scope has closed, or
// once it is cancelled.
#include "platform/ForegroundWork.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <optional>
#include <thread>

namespace skelvane {
namespace {

// Waits (at most 10 s) until some thread has begun waiting on the gate since `before`.
bool SomeoneWaitsSince(int64_t before) {
  for (int i = 0; i < 1000 && ForegroundWork::Waits() == before; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  return ForegroundWork::Waits() > before;
}

TEST(ForegroundWorkTest, AWaiterReturnsOnlyOnceTheLastOpenScopeCloses) {
  const std::atomic<bool> cancel{false};
  ForegroundWork::WaitUntilClear(cancel);  // nothing open: returns at once
  EXPECT_FALSE(ForegroundWork::Busy());

  std::optional<ForegroundWork::Scope> outer(std::in_place);
  std::optional<ForegroundWork::Scope> inner(std::in_place);
  EXPECT_TRUE(ForegroundWork::Busy());
  const int64_t before = ForegroundWork::Waits();
  std::atomic<bool> returned{false};
  std::thread waiter([&] {
    ForegroundWork::WaitUntilClear(cancel);
    returned = true;
  });
  ASSERT_TRUE(SomeoneWaitsSince(before));
  inner.reset();
  std::this_thread::sleep_for(std::chrono::milliseconds(30));  // several of the waiter's polls
  EXPECT_FALSE(returned) << "returned while a scope was still open";
  outer.reset();
  waiter.join();
  EXPECT_TRUE(returned);
  EXPECT_FALSE(ForegroundWork::Busy());
}

TEST(ForegroundWorkTest, ACancelledWaiterReturnsWhileAScopeStaysOpen) {
  const ForegroundWork::Scope frame;
  std::atomic<bool> cancel{false};
  const int64_t before = ForegroundWork::Waits();
  std::thread waiter([&] { ForegroundWork::WaitUntilClear(cancel); });
  ASSERT_TRUE(SomeoneWaitsSince(before));
  cancel = true;
  waiter.join();  // hangs, and the test times out, if cancelling does not end the wait
  EXPECT_TRUE(ForegroundWork::Busy());
}

}  // namespace
}  // namespace skelvane
