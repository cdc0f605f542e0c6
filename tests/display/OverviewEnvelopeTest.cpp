// The overview strip's envelope, from a plot's summary, against the records themselves: every column
// holds the extremes of exactly the records that run into its time and the typical range of their
// blocks, a column in a gap is empty, and the typical range of a spiking recording follows its noise.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
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
      // The typical range: the medians of the records' 128-sample blocks' extremes, inside the extremes.
      std::vector<int16_t> lows, highs;
      for (std::size_t r = 0; r < s.timestamps.size(); ++r) {
        if (s.timestamps[r] >= to || s.timestamps[r] + kRecordMicros <= from) continue;
        for (std::size_t b = 0; b < s.samples[r].size(); b += 128) {
          const auto block = s.samples[r].begin() + static_cast<std::ptrdiff_t>(b);
          lows.push_back(*std::min_element(block, block + 128));
          highs.push_back(*std::max_element(block, block + 128));
        }
      }
      ASSERT_LE(low, envelope->TypicalMin(c));
      ASSERT_LE(envelope->TypicalMax(c), high);
      if (static_cast<int64_t>(lows.size()) > OverviewEnvelope::kMostBlocksPerColumn) continue;
      std::sort(lows.begin(), lows.end());
      std::sort(highs.begin(), highs.end());
      ASSERT_EQ(envelope->TypicalMin(c), lows[lows.size() / 2]) << "width " << width << " column " << c;
      ASSERT_EQ(envelope->TypicalMax(c), highs[highs.size() / 2]) << "width " << width << " column " << c;
    }
    if (width >= 300) {
      EXPECT_GT(empty, 0) << "the pauses and the padding show as empty columns";
    }
  }
}

// A spiking recording: its extremes are its spikes in every column, one solid band, while its typical
// range follows the noise, which here doubles halfway through: the shape the strip is to show.
TEST(OverviewEnvelope, TheTypicalRangeOfASpikingRecordingFollowsItsNoiseNotItsSpikes) {
  std::mt19937_64 random(5);
  test::TempDir dir;
  test::FakeDataSourceManager manager;
  const int32_t source = manager.AddSource(kPath);
  constexpr int32_t kRecords = 4000;
  for (int32_t r = 0; r < kRecords; ++r) {
    const double noise = r < kRecords / 2 ? 20.0 : 40.0;
    std::normal_distribution<double> sample(0.0, noise);
    std::vector<int16_t> samples(kSamplesPerRecord);
    for (int16_t& v : samples) v = static_cast<int16_t>(std::lround(sample(random)));
    if (r % 3 == 0) samples[random() % kSamplesPerRecord] = static_cast<int16_t>(r % 2 == 0 ? 900 : -900);
    manager.AddRecord(source, int64_t{r} * kRecordMicros, 32'000, samples);
  }
  manager.WriteFile(source, dir.File("CSC3.kcs"), 16384);
  CscPlot plot(kPath, "CSC3", manager, 0xFFFFFF);
  plot.LoadSourceInfo();
  plot.StartSummary();
  ASSERT_TRUE(plot.WaitForSummary());
  constexpr int32_t kWidth = 50;  // 80 records, 320 blocks a column: the typical range from 48 of them
  const std::optional<OverviewEnvelope> envelope = OverviewEnvelope::FromPlot(plot, 0, kRecords * kRecordMicros, kWidth);
  ASSERT_TRUE(envelope.has_value());
  for (int32_t c = 0; c < kWidth; ++c) {
    ASSERT_TRUE(envelope->HasColumn(c));
    EXPECT_GE(envelope->Max(c), 900);
    EXPECT_LE(envelope->Min(c), -900);
    // The largest of 128 normal samples lies about 2.6 deviations out.
    const double noise = c < kWidth / 2 ? 20.0 : 40.0;
    EXPECT_NEAR(envelope->TypicalMax(c), 2.6 * noise, noise) << c;
    EXPECT_NEAR(envelope->TypicalMin(c), -2.6 * noise, noise) << c;
  }
}

}  // namespace
}  // namespace skelvane
