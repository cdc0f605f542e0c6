#include "platform/ScratchPool.h"

#include <gtest/gtest.h>

#include <thread>
#include <vector>

namespace skelvane {
namespace {

// A lease hands back the item given back last, grown as its last user left it; the pool keeps no more
// than its bound however many were out at once, and leases taken on several threads never share.
TEST(ScratchPoolTest, ReusesTheLastItemGivenBackKeepsAtMostItsBoundAndNeverSharesAnItem) {
  ScratchPool<std::vector<int>> pool(2);
  const std::vector<int>* grown = nullptr;
  {
    const auto lease = pool.Take();
    lease->resize(1000, 7);
    grown = &*lease;
  }
  EXPECT_EQ(pool.Kept(), 1u);
  {
    const auto lease = pool.Take();
    EXPECT_EQ(&*lease, grown);
    EXPECT_EQ(lease->size(), 1000u);
    EXPECT_EQ(pool.Kept(), 0u);
    const auto second = pool.Take();
    EXPECT_NE(&*second, grown);
    const auto third = pool.Take();
  }
  EXPECT_EQ(pool.Kept(), 2u);

  ScratchPool<std::vector<int>> shared(4);
  std::vector<std::thread> threads;
  std::vector<int> clashes(4, 0);
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&, t] {
      for (int round = 0; round < 2000; ++round) {
        const auto lease = shared.Take();
        lease->assign(8, t);
        for (int value : *lease) clashes[static_cast<std::size_t>(t)] += value != t;
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  for (int clash : clashes) EXPECT_EQ(clash, 0);
  EXPECT_LE(shared.Kept(), 4u);
}

}  // namespace
}  // namespace skelvane
