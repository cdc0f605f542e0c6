#include "platform/BatchRead.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "platform/StatusCodes.h"
#include "tests/support/TempDir.h"

namespace skelvane {
namespace {

struct Batch {
  std::vector<BatchRead::Request> requests;
  std::vector<std::vector<uint8_t>> buffers;
};

// `count` reads of up to 3000 bytes at random places wholly inside a file of `size` bytes, some
// overlapping, some empty, more than the ring holds at once.
Batch RandomBatch(std::mt19937& random, int64_t size, std::size_t count) {
  Batch batch;
  batch.buffers.resize(count);
  for (std::size_t i = 0; i < count; ++i) {
    const int64_t length = std::uniform_int_distribution<int64_t>(0, 3000)(random);
    const int64_t offset = std::uniform_int_distribution<int64_t>(0, size - length)(random);
    batch.buffers[i].assign(static_cast<std::size_t>(length), 0xEE);
    batch.requests.push_back({offset, length, batch.buffers[i].data()});
  }
  return batch;
}

bool ReadsTheFile(const Batch& batch, const std::string& bytes) {
  for (std::size_t i = 0; i < batch.requests.size(); ++i) {
    const BatchRead::Request& request = batch.requests[i];
    if (std::memcmp(batch.buffers[i].data(), bytes.data() + request.offset, static_cast<std::size_t>(request.count)) != 0) {
      return false;
    }
  }
  return true;
}

// The same bytes as the file holds whichever way the reads go: through the ring on four threads at
// once, then one by one. A read running past the end says the file changed; a bad descriptor says so.
TEST(BatchReadTest, ReadsWhatTheFileHoldsThroughTheRingOnManyThreadsAndOneByOne) {
  const test::TempDir dir;
  std::mt19937 random(29);
  std::string bytes(1 << 20, '\0');
  for (char& byte : bytes) byte = static_cast<char>(random());
  const std::string path = dir.Write("data.bin", bytes);
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  ASSERT_GE(fd, 0);
  const auto size = static_cast<int64_t>(bytes.size());

  std::vector<std::thread> threads;
  std::vector<int> failures(4, 0);
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&, t] {
      std::mt19937 own(static_cast<unsigned>(t));
      for (int round = 0; round < 20; ++round) {
        Batch batch = RandomBatch(own, size, 600);
        if (BatchRead::ReadAll(fd, batch.requests) != kStatusOk || !ReadsTheFile(batch, bytes)) ++failures[t];
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(failures, std::vector<int>(4, 0));

  Batch pastTheEnd = RandomBatch(random, size, 10);
  std::vector<uint8_t> tail(100, 0xEE);
  pastTheEnd.requests.push_back({size - 40, 100, tail.data()});
  EXPECT_EQ(BatchRead::ReadAll(fd, pastTheEnd.requests), kStatusSourceChanged);
  EXPECT_EQ(std::memcmp(tail.data(), bytes.data() + size - 40, 40), 0);
  Batch bad = RandomBatch(random, size, 10);
  EXPECT_EQ(BatchRead::ReadAll(-1, bad.requests), EBADF);

  const bool ringWasUsed = BatchRead::UsesRing();
  BatchRead::DisableRing();
  Batch byHand = RandomBatch(random, size, 600);
  EXPECT_EQ(BatchRead::ReadAll(fd, byHand.requests), kStatusOk);
  EXPECT_TRUE(ReadsTheFile(byHand, bytes));
  EXPECT_EQ(BatchRead::ReadAll(fd, pastTheEnd.requests), kStatusSourceChanged);
  ::close(fd);
  // Where the kernel has the ring, it was the ring that read the first lots.
  RecordProperty("ring", ringWasUsed ? "used" : "refused");
}

}  // namespace
}  // namespace skelvane
