// A heap warmed by another thread hands the frames' buffers out with their pages in place, to every
// thread: writing them takes next to no page faults, where the same buffers from a cold heap take
// one a page.
#include "platform/FrameHeap.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <thread>
#include <vector>

namespace skelvane {
namespace {

constexpr std::size_t kBuffer = std::size_t{1} << 20;
constexpr std::size_t kBuffers = 8;

long ThreadMinorFaults() {
  rusage usage{};
  getrusage(RUSAGE_THREAD, &usage);
  return usage.ru_minflt;
}

// The page faults this thread takes to allocate and write a frame's worth of buffers.
long FaultsToFillBuffers() {
  const long before = ThreadMinorFaults();
  std::vector<std::unique_ptr<uint8_t[]>> buffers;
  for (std::size_t i = 0; i < kBuffers; ++i) {
    buffers.emplace_back(new uint8_t[kBuffer]);
    std::memset(buffers.back().get(), static_cast<int>(i), kBuffer);
  }
  return ThreadMinorFaults() - before;
}

void WarmedHeapServesEveryThread() {
  FrameHeap::KeepFrameBuffers();
  const auto pages = static_cast<long>(kBuffers * kBuffer / static_cast<std::size_t>(sysconf(_SC_PAGESIZE)));
  // Beyond anything the heap held before: every page is new to the process.
  std::vector<void*> cold = FrameHeap::TakeCold(std::size_t{64} << 20);
  const long coldFaults = FaultsToFillBuffers();
  EXPECT_GT(coldFaults, pages / 2) << "a cold heap's pages are faulted in as they are written";
  FrameHeap::WarmAndGiveBack(std::move(cold));

  // Taken here, warmed on a thread of its own, as the viewer does after its first frame.
  std::vector<void*> blocks = FrameHeap::TakeCold(FrameHeap::kWarmBytes);
  std::thread([&blocks] { FrameHeap::WarmAndGiveBack(std::move(blocks)); }).join();
  EXPECT_LT(FaultsToFillBuffers(), pages / 16);
  // A thread that never allocated before (a frame's helper) gets its buffers from the same pages.
  long helperFaults = 0;
  std::thread([&helperFaults] { helperFaults = FaultsToFillBuffers(); }).join();
  EXPECT_LT(helperFaults, pages / 16) << "a new thread's buffers come from the warmed heap";
}

TEST(FrameHeapTest, BuffersFromAHeapWarmedOnAnotherThreadTakeNoFaultPerPage) {
#if defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "the sanitizer's allocator keeps a heap of its own";
#endif
  // The viewer keeps its heap before it starts a thread; threads earlier tests in this process
  // started hold heaps of their own, so this runs in a process of its own.
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        WarmedHeapServesEveryThread();
        std::exit(::testing::Test::HasFailure() ? 1 : 0);
      },
      ::testing::ExitedWithCode(0), "");
}

}  // namespace
}  // namespace skelvane
