#include "display/PlotPreparation.h"

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "tests/support/FakePlotCollection.h"

namespace skelvane {
namespace {

using namespace std::chrono_literals;

// While a helper is still on the plot the canvas waits for, the canvas prepares the next one itself:
// here the helper's plot cannot finish until the next one is prepared, so a canvas that only waited
// would hold both up until the time-out.
TEST(PlotPreparationTest, CanvasPreparesFurtherDownWhileAHelperFinishesItsPlot) {
  if (std::thread::hardware_concurrency() < 2) GTEST_SKIP() << "no helper on one core";
  std::mutex mutex;
  std::condition_variable changed;
  bool firstStarted = false;
  bool secondPrepared = false;
  bool timedOut = false;
  std::thread::id secondThread;
  test::FakePlot first("a"), second("b");
  first.onPrepare = [&] {
    std::unique_lock lock(mutex);
    firstStarted = true;
    changed.notify_all();
    timedOut = !changed.wait_for(lock, 10s, [&] { return secondPrepared; });
  };
  second.onPrepare = [&] {
    std::lock_guard lock(mutex);
    secondPrepared = true;
    secondThread = std::this_thread::get_id();
    changed.notify_all();
  };
  PlotPreparation preparation({&first, &second}, PlotFrame{});  // one helper, whatever the cores
  {
    std::unique_lock lock(mutex);
    ASSERT_TRUE(changed.wait_for(lock, 10s, [&] { return firstStarted; }));
  }
  preparation.Await(0);
  std::lock_guard lock(mutex);
  EXPECT_FALSE(timedOut);
  EXPECT_TRUE(secondPrepared);
  EXPECT_EQ(secondThread, std::this_thread::get_id());
}

}  // namespace
}  // namespace skelvane
