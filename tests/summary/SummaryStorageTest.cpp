// Memory a summary leaves on a worker is used again by the next build there, as the builds of a
// session run one after the other: the summary built in it is byte for byte the one built in fresh
// memory, and the memory goes back once the workers have nothing left to do.
#include "summary/SummaryStorage.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <future>
#include <string>
#include <thread>
#include <vector>

#include "datafile/CscRecord.h"
#include "datafile/IDataSourceManager.h"
#include "summary/SourceSummary.h"
#include "summary/SummaryWorkerPool.h"
#include "tests/support/TempDir.h"
#include "tools/SyntheticRecording.h"

namespace skelvane {
namespace {

constexpr int64_t kHeaderBytes = 16'384;

RecordLayout Recording(const std::string& folder, double seconds, uint32_t seed) {
  SynthOptions options;
  options.outDir = folder;
  options.channels = 1;
  options.seconds = seconds;
  options.seed = seed;
  SynthResult result;
  EXPECT_EQ(SyntheticRecording::Generate(options, result), 0);
  RecordLayout layout;
  layout.path = result.paths.at(0);
  layout.dataOffset = kHeaderBytes;
  layout.recordSize = kCscRecordSize;
  layout.numRecords =
      (static_cast<int64_t>(std::filesystem::file_size(layout.path)) - kHeaderBytes) / kCscRecordSize;
  return layout;
}

std::vector<uint8_t> Image(const SourceSummary& summary) {
  const uint8_t* image = summary.Storage().Data();
  return {image, image + summary.Storage().Size()};
}

TEST(SummaryStorage, ASummaryBuiltInTheMemoryALargerOneLeftIsTheOneBuiltInFreshMemory) {
  test::TempDir folder;
  // The smaller recording's gaps between sections lie where the larger one had its data.
  const RecordLayout larger = Recording(folder.File("larger"), 6.0, 3);
  const RecordLayout smaller = Recording(folder.File("smaller"), 5.0, 4);
  ASSERT_LT(smaller.numRecords, larger.numRecords);
  std::atomic<bool> cancel{false};
  std::atomic<int64_t> done{0};

  SummaryStorage::ReleaseSpares();
  SourceSummary fresh;
  ASSERT_EQ(SourceSummary::Build(smaller, cancel, done, fresh), 0);
  const std::vector<uint8_t> expected = Image(fresh);

  struct Outcome {
    bool reused = false;
    std::vector<uint8_t> image;
  };
  std::promise<Outcome> promise;
  SummaryWorkerPool::Instance().Submit([&] {
    Outcome outcome;
    const uint8_t* memory = nullptr;
    {
      SourceSummary first;
      EXPECT_EQ(SourceSummary::Build(larger, cancel, done, first), 0);
      memory = first.Storage().Data();
    }
    SourceSummary second;
    EXPECT_EQ(SourceSummary::Build(smaller, cancel, done, second), 0);
    outcome.reused = second.Storage().Data() == memory;
    outcome.image = Image(second);
    promise.set_value(std::move(outcome));
  });
  const Outcome outcome = promise.get_future().get();
  EXPECT_TRUE(outcome.reused);
  EXPECT_EQ(outcome.image, expected);

  // Given back once the task is over and nothing else is queued.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (SummaryStorage::SpareBytes() != 0 && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  EXPECT_EQ(SummaryStorage::SpareBytes(), 0u);
}

}  // namespace
}  // namespace skelvane
