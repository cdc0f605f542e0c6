// The overview strip's envelope, from a plot's summary, against the records themselves: every column
// holds the extremes of exactly the records that run into its time, and a column in a gap is empty.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "display/CscPlot.h"
#include "display/OverviewEnvelope.h"
#include "tests/support/FakeDataSourceManager.h"
#include "tests/support/TempDir.h"

namespace skelvane {
namespace {

constexpr int64_t kRecordMicros = 16'000;
constexpr const char* kPath = "/rec/CSC3.kcs";

TEST(OverviewEnvelope, EachColumnHoldsTheExtremesOfTheRecordsRunningIntoIt) {
  std::mt19937_64 random(31);
  test::TempDir dir;
  test::FakeDataSourceManager manager;
  const int32_t source = manager.AddSource(kPath);
  // 3000 records with a few pauses; samples a random walk so neighbouring records differ.
  int64_t time = 5'000'000;
  int16_t level = 0;
  for (int32_t r = 0; r < 3000; ++r) {
    std::vector<int16_t> samples(kSamplesPerRecord);
    for (int16_t& s : samples)
      s = level = static_cast<int16_t>(std::clamp<int32_t>(level + int32_t(random() % 41) - 20, -2000, 2000));
    manager.AddRecord(source, time, 32'000, samples);
    time += r % 700 == 699 ? 3'000'000 : kRecordMicros;
  }
  manager.WriteFile(source, dir.File("CSC3.kcs"), 16384);
  CscPlot plot(kPath, "CSC3", manager, 0xFFFFFF);
  plot.LoadSourceInfo();
  EXPECT_FALSE(OverviewEnvelope::FromPlot(plot, 0, time, 100).has_value());  // no summary yet
  plot.StartSummary();
  ASSERT_TRUE(plot.WaitForSummary());

  const test::FakeSource& s = manager.sources[source];
  for (const int32_t width : {1, 7, 300, 1000, 20'000}) {
    const int64_t start = 4'000'000;
    const int64_t end = time + 2'000'000;
    const std::optional<OverviewEnvelope> envelope = OverviewEnvelope::FromPlot(plot, start, end, width);
    ASSERT_TRUE(envelope.has_value());
    ASSERT_EQ(envelope->Width(), width);
    int32_t empty = 0;
    for (int32_t c = 0; c < width; ++c) {
      const int64_t from = start + (end - start) * c / width;
      const int64_t to = std::max(start + (end - start) * (c + 1) / width, from + 1);
      int32_t low = INT16_MAX, high = INT16_MIN;
      for (std::size_t r = 0; r < s.timestamps.size(); ++r) {
        if (s.timestamps[r] >= to || s.timestamps[r] + kRecordMicros <= from) continue;
        for (const int16_t v : s.samples[r]) low = std::min<int32_t>(low, v), high = std::max<int32_t>(high, v);
      }
      ASSERT_EQ(envelope->HasColumn(c), low <= high) << "width " << width << " column " << c;
      if (low > high) {
        ++empty;
        continue;
      }
      ASSERT_EQ(envelope->Min(c), low) << "width " << width << " column " << c;
      ASSERT_EQ(envelope->Max(c), high) << "width " << width << " column " << c;
    }
    if (width >= 300) {
      EXPECT_GT(empty, 0) << "the pauses and the padding show as empty columns";
    }
  }
}

}  // namespace
}  // namespace skelvane
