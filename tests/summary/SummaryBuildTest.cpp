// A source summary's size against its file's, and a summary build's end states: failed on a file
// shorter than its layout says, cancelled when asked, and builders dropped while at work.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <memory>
#include <random>

#include "datafile/CscRecord.h"
#include "datafile/IDataSourceManager.h"
#include "platform/StatusCodes.h"
#include "summary/SourceSummary.h"
#include "summary/SummaryBuilder.h"
#include "tests/support/FakeDataSourceManager.h"
#include "tests/support/RandomRecording.h"
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

TEST_F(SummaryBuildTest, SummaryHoldsAtMostFourPercentOfItsFile) {
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
  EXPECT_LE(static_cast<double>(summary.BytesHeld()), 0.04 * fileBytes);
  EXPECT_GT(summary.BytesHeld(), 0u);
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
