// A source summary's size against its file's, its finer level, walk steps and time index against a
// direct scan of the records, and a summary build's end states: failed on a file shorter than its
// layout says, cancelled when asked, and builders dropped while at work.
#include <gtest/gtest.h>

#include <atomic>
#include <algorithm>
#include <cstdint>
#include <limits>
#include <memory>
#include <random>
#include <string>

#include "datafile/CscRecord.h"
#include "datafile/IDataSourceManager.h"
#include "platform/StatusCodes.h"
#include "summary/SourceSummary.h"
#include "summary/SummaryBuilder.h"
#include "tests/support/FakeDataSourceManager.h"
#include "tests/support/RandomRecording.h"
#include "tests/support/SparseIndexLookup.h"
#include "tests/support/SyntheticSources.h"
#include "tests/support/TempDir.h"

namespace skelvane {
namespace {

constexpr int64_t kHeaderBytes = 16'384;

class SummaryBuildTest : public ::testing::Test {
 protected:
  void SetUp() override { source = manager.AddSource("/rec/CSC1.kcs"); }

  test::FakeDataSourceManager manager;
  test::TempDir folder;
  int32_t source = 0;
};

TEST_F(SummaryBuildTest, SummaryHoldsAtMostSixPercentOfItsFile) {
  std::mt19937_64 random(3);
  test::AddRandomRecords(manager, source, 5000, random);
  manager.WriteFile(source, folder.File("size.kcs"), kHeaderBytes);
  RecordLayout layout;
  ASSERT_EQ(manager.GetRecordLayout(source, layout), 0);
  std::atomic<bool> cancel{false};
  std::atomic<int64_t> done{0};
  SourceSummary summary;
  ASSERT_EQ(SourceSummary::Build(layout, cancel, done, summary), 0);
  const double fileBytes = kHeaderBytes + 5000.0 * kCscRecordSize;
  EXPECT_LE(static_cast<double>(summary.BytesHeld()), 0.06 * fileBytes);
  EXPECT_GT(summary.BytesHeld(), 0u);
}

// Every sub-block's range holds its samples' extremes (exactly where its block spans at most 255
// counts, within one step of the block's range otherwise); a step bit is set where the lookup a
// microsecond before the next record's time finds this record; the time index finds what the
// manager's sparse index finds: over every signal kind and records whose times go back.
TEST_F(SummaryBuildTest, FinerLevelStepsAndTimeIndexAreThoseOfADirectScan) {
  std::mt19937_64 random(17);
  std::vector<std::string> cases;
  for (const SignalKind& kind : SignalKinds::All()) cases.emplace_back(kind.name);
  cases.emplace_back("going back");
  for (std::size_t c = 0; c < cases.size(); ++c) {
    SCOPED_TRACE(cases[c]);
    test::FakeDataSourceManager manager;
    int32_t id = 0;
    if (cases[c] == "going back") {
      id = manager.AddSource("/rec/back.kcs");
      test::AddRandomRecords(manager, id, 4000, random, 0, false, true);
    } else {
      id = test::AddSyntheticSources(manager, test::SignalKindOptions(cases[c], 20.0, 1, c + 1)).front();
    }
    manager.WriteFile(id, folder.File("scan" + std::to_string(c) + ".kcs"), kHeaderBytes);
    RecordLayout layout;
    ASSERT_EQ(manager.GetRecordLayout(id, layout), 0);
    std::atomic<bool> cancel{false};
    std::atomic<int64_t> done{0};
    SourceSummary summary;
    ASSERT_EQ(SourceSummary::Build(layout, cancel, done, summary), 0);
    const test::FakeSource& records = manager.sources[static_cast<std::size_t>(id)];
    const int64_t n = records.Count();
    ASSERT_EQ(summary.NumRecords(), n);

    std::vector<int64_t> stamps;
    int64_t descents = 0;
    for (int64_t r = 0; r < n; ++r) {
      stamps.push_back(records.TimestampOf(r));
      descents += r > 0 && stamps[r - 1] > stamps[r] ? 1 : 0;
      const CscRecord record(records.bytes.data() + r * kCscRecordSize);
      for (int32_t b = 0; b < SourceSummary::kBlocksPerRecord; ++b) {
        const int32_t range = summary.BlockMax(r, b) - summary.BlockMin(r, b);
        const int32_t step = std::max(1, (range + 254) / 255);
        SourceSummary::SubBlockRange subs[SourceSummary::kSubBlocksPerBlock];
        summary.SubBlocks(r, b, subs);
        for (int32_t k = 0; k < SourceSummary::kSubBlocksPerBlock; ++k) {
          int32_t low = std::numeric_limits<int32_t>::max();
          int32_t high = std::numeric_limits<int32_t>::min();
          for (int32_t i = 0; i < SourceSummary::kSubBlockSamples; ++i) {
            const int16_t sample = record.Sample(b * SourceSummary::kBlockSamples + k * SourceSummary::kSubBlockSamples + i);
            low = std::min<int32_t>(low, sample);
            high = std::max<int32_t>(high, sample);
          }
          const SourceSummary::SubBlockRange& sub = subs[k];
          ASSERT_TRUE(sub.minLow <= low && low <= sub.minHigh && sub.maxLow <= high && high <= sub.maxHigh)
              << "record " << r << " block " << b << " sub-block " << k;
          ASSERT_LT(sub.minHigh - sub.minLow, step);
          ASSERT_LT(sub.maxHigh - sub.maxLow, step);
        }
      }
    }
    EXPECT_EQ(summary.Descents(), descents);
    const test::SparseIndexLookup lookup(stamps);
    for (int64_t r = 0; r + 1 < n; ++r) {
      const bool stepsUp = stamps[r + 1] != std::numeric_limits<int64_t>::min() && lookup.Find(stamps[r + 1] - 1) == r;
      ASSERT_EQ(summary.StepsUp(r), stepsUp) << "record " << r;
    }
    const SparseTimeIndex index = summary.TimeIndex();
    for (int32_t probe = 0; probe < 3000; ++probe) {
      const int64_t at = stamps[static_cast<std::size_t>(random() % stamps.size())] + static_cast<int64_t>(random() % 5) - 2;
      ASSERT_EQ(index.Find(at), lookup.Find(at)) << "time " << at;
    }
  }
}

TEST_F(SummaryBuildTest, BuildsEndFailedOnAShortFileAndCancelledWhenAsked) {
  std::mt19937_64 random(5);
  test::AddRandomRecords(manager, source, 3000, random);
  manager.WriteFile(source, folder.File("short.kcs"), kHeaderBytes);
  RecordLayout layout;
  manager.GetRecordLayout(source, layout);

  RecordLayout longer = layout;
  longer.numRecords += 1;
  std::atomic<int32_t> finished{0};
  SummaryBuilder failing(longer);
  failing.SetOnFinished([&] { ++finished; });
  failing.Start();
  EXPECT_FALSE(failing.Wait());
  EXPECT_EQ(failing.GetState(), SummaryBuilder::State::Failed);
  EXPECT_EQ(failing.Status(), kStatusSourceChanged);
  EXPECT_EQ(failing.Summary(), nullptr);
  EXPECT_EQ(finished.load(), 1);

  SummaryBuilder cancelled(layout);
  cancelled.SetOnFinished([&] { ++finished; });
  cancelled.Cancel();
  cancelled.Start();
  EXPECT_FALSE(cancelled.Wait());
  EXPECT_EQ(cancelled.GetState(), SummaryBuilder::State::Cancelled);
  EXPECT_EQ(finished.load(), 1);

  // Builders dropped while queued or running leave nothing behind that touches them.
  for (int32_t i = 0; i < 8; ++i) std::make_unique<SummaryBuilder>(layout)->Start();
}

}  // namespace
}  // namespace skelvane
