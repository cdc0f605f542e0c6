// The one-pass statistics and the drawn subset against a plain reference worked out from the made
// records (sorting for the median, every interval looked at): equal for random files of every size,
// including no spike, one spike and a run inside the file.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>

#include "spikes/SpikeFile.h"
#include "spikes/SpikeStatistics.h"
#include "spikes/SpikeSubset.h"
#include "tests/spikes/MadeSpikeFile.h"
#include "tests/support/CapturedReports.h"
#include "tests/support/TempDir.h"

namespace skelvane {
namespace {

using test::MadeSpike;

constexpr int32_t kAlignmentPt = 9;

// The statistics of spikes [first, end) the slow, obvious way.
SpikeStatistics Reference(const std::vector<MadeSpike>& spikes, int channels, std::size_t first, std::size_t end) {
  SpikeStatistics r;
  r.count = static_cast<int64_t>(end - first);
  r.intervalHistogram.assign(SpikeStatistics::kIntervalBins, 0);
  if (r.count == 0) return r;
  std::vector<int64_t> times;
  for (std::size_t i = first; i < end; ++i) times.push_back(spikes[i].timestamp);
  r.firstUs = *std::min_element(times.begin(), times.end());
  r.lastUs = *std::max_element(times.begin(), times.end());
  if (*r.lastUs > *r.firstUs) r.rateHz = r.count / ((static_cast<long double>(*r.lastUs) - *r.firstUs) / 1e6);
  for (std::size_t i = 1; i < times.size(); ++i) {
    const __int128 gap = static_cast<__int128>(times[i]) - times[i - 1];
    ++r.intervals;
    if (gap < 0) {
      ++r.intervalsBack;
      ++r.intervalsBeyondHistogram;
      continue;
    }
    if (gap < 2000) ++r.shortIntervals;
    if (gap < 50'000) {
      ++r.intervalHistogram[static_cast<std::size_t>(gap / 500)];
    } else {
      ++r.intervalsBeyondHistogram;
    }
  }
  if (r.intervals > 0) r.shortIntervalPercent = 100.0 * r.shortIntervals / r.intervals;
  for (int c = 0; c < channels; ++c) {
    std::vector<int> peaks;
    for (std::size_t i = first; i < end; ++i) peaks.push_back(spikes[i].samples[(kAlignmentPt - 1) * channels + c]);
    std::sort(peaks.begin(), peaks.end());
    r.amplitudeMin.push_back(peaks.front());
    r.amplitudeMax.push_back(peaks.back());
    r.amplitudeMedian.push_back((peaks[(peaks.size() - 1) / 2] + peaks[peaks.size() / 2]) / 2.0);
    for (int p = 0; p < 32; ++p) {
      double sum = 0.0;
      for (std::size_t i = first; i < end; ++i) sum += spikes[i].samples[p * channels + c];
      const double mean = sum / r.count;
      double squares = 0.0;
      for (std::size_t i = first; i < end; ++i) squares += std::pow(spikes[i].samples[p * channels + c] - mean, 2);
      r.waveformMean.push_back(mean);
      r.waveformDeviation.push_back(std::sqrt(squares / r.count));
    }
  }
  return r;
}

void ExpectSame(const SpikeStatistics& got, const SpikeStatistics& want, const std::string& what) {
  EXPECT_EQ(got.count, want.count) << what;
  EXPECT_EQ(got.firstUs, want.firstUs) << what;
  EXPECT_EQ(got.lastUs, want.lastUs) << what;
  ASSERT_EQ(got.rateHz.has_value(), want.rateHz.has_value()) << what;
  if (want.rateHz) {
    EXPECT_NEAR(*got.rateHz, *want.rateHz, 1e-12 * *want.rateHz) << what;
  }
  EXPECT_EQ(got.amplitudeMin, want.amplitudeMin) << what;
  EXPECT_EQ(got.amplitudeMax, want.amplitudeMax) << what;
  EXPECT_EQ(got.amplitudeMedian, want.amplitudeMedian) << what;
  EXPECT_EQ(got.intervals, want.intervals) << what;
  EXPECT_EQ(got.shortIntervals, want.shortIntervals) << what;
  EXPECT_EQ(got.shortIntervalPercent, want.shortIntervalPercent) << what;
  EXPECT_EQ(got.intervalHistogram, want.intervalHistogram) << what;
  EXPECT_EQ(got.intervalsBeyondHistogram, want.intervalsBeyondHistogram) << what;
  EXPECT_EQ(got.intervalsBack, want.intervalsBack) << what;
  ASSERT_EQ(got.waveformMean.size(), want.waveformMean.size()) << what;
  for (std::size_t i = 0; i < want.waveformMean.size(); ++i) {
    EXPECT_NEAR(got.waveformMean[i], want.waveformMean[i], 1e-9 * 32768) << what << " mean " << i;
    EXPECT_NEAR(got.waveformDeviation[i], want.waveformDeviation[i], 1e-6) << what << " deviation " << i;
  }
}

TEST(SpikeStatisticsTest, OnePassAgreesWithTheReferenceForAnySizeAndRange) {
  test::TempDir dir;
  test::CapturedReports reports;
  std::mt19937 random(20);
  for (int trial = 0; trial < 24; ++trial) {
    const int channels = std::array{1, 2, 3, 4}[trial % 4];
    // Sizes from none to several read blocks; short runs of few distinct values make ties likely.
    const int64_t count = std::array<int64_t, 6>{0, 1, 2, 7, 1000, 9000}[trial % 6];
    // Times before zero, around it, and at the ends of the 64-bit range, where a difference overflows.
    const int64_t start = std::array<int64_t, 5>{1'000'000, -5'000'000, -60'000'000'000, INT64_MIN, 0}[trial % 5];
    auto spikes = test::RandomSpikes(channels, count, static_cast<uint32_t>(trial), start);
    if (trial % 5 == 3 && count > 1) spikes.back().timestamp = INT64_MAX;
    // Some files whose times go back here and there.
    if (trial % 4 == 1) {
      for (std::size_t i = 2; i < spikes.size(); i += 3) std::swap(spikes[i].timestamp, spikes[i - 2].timestamp);
    }
    if (trial % 3 == 0) {
      for (MadeSpike& s : spikes) {
        for (int16_t& v : s.samples) v = static_cast<int16_t>(v % 5);
      }
    }
    const std::string path = dir.Write("t" + std::to_string(trial) + ".dat",
                                       test::MadeSpikeFile(test::MadeHeaderText(channels, kAlignmentPt), spikes));
    SpikeFile file;
    ASSERT_EQ(file.Open(path), 0);
    SpikeStatistics whole;
    ASSERT_EQ(SpikeStatistics::Compute(file, whole, 0, -1, SpikeStatistics::Detail::kWithWaveforms), 0);
    EXPECT_EQ(whole.channels, channels);
    EXPECT_EQ(whole.alignmentPt, kAlignmentPt);
    EXPECT_EQ(whole.path, path);
    ExpectSame(whole, Reference(spikes, channels, 0, spikes.size()), path);
    if (count > 2) {
      const int64_t first = std::uniform_int_distribution<int64_t>(0, count - 1)(random);
      const int64_t end = std::uniform_int_distribution<int64_t>(first, count)(random);
      SpikeStatistics part;
      ASSERT_EQ(SpikeStatistics::Compute(file, part, first, end, SpikeStatistics::Detail::kWithWaveforms), 0);
      EXPECT_EQ(part.firstIndex, first);
      ExpectSame(part, Reference(spikes, channels, static_cast<std::size_t>(first), static_cast<std::size_t>(end)),
                 path + " part");
      // The summary alone is the same without the waveforms.
      SpikeStatistics summary;
      ASSERT_EQ(SpikeStatistics::Compute(file, summary, first, end), 0);
      EXPECT_TRUE(summary.waveformMean.empty() && summary.waveformDeviation.empty());
      summary.waveformMean = part.waveformMean;
      summary.waveformDeviation = part.waveformDeviation;
      ExpectSame(summary, part, path + " summary");
    }
  }
  EXPECT_TRUE(reports.Empty());
}

TEST(SpikeStatisticsTest, SpikesAtOneTimeHaveNoRateAndTimesGoingBackAreCountedAsSuch) {
  test::TempDir dir;
  auto spikes = test::RandomSpikes(1, 3, 5);
  spikes[0].timestamp = spikes[1].timestamp = spikes[2].timestamp = 5000;
  SpikeFile file;
  ASSERT_EQ(file.Open(dir.Write("same.kse", test::MadeSpikeFile(test::MadeHeaderText(1), spikes))), 0);
  SpikeStatistics s;
  ASSERT_EQ(SpikeStatistics::Compute(file, s), 0);
  EXPECT_FALSE(s.rateHz);
  EXPECT_EQ(s.shortIntervalPercent, 100.0);
  EXPECT_EQ(s.intervalsBack, 0);

  spikes[2].timestamp = -1000;  // back in time: a fault of the file, not a short interval
  ASSERT_EQ(file.Open(dir.Write("back.kse", test::MadeSpikeFile(test::MadeHeaderText(1), spikes))), 0);
  ASSERT_EQ(SpikeStatistics::Compute(file, s), 0);
  EXPECT_EQ(s.shortIntervals, 1);
  EXPECT_EQ(s.intervalsBack, 1);
  EXPECT_EQ(s.firstUs, -1000);
  EXPECT_EQ(s.lastUs, 5000);
  ASSERT_TRUE(s.rateHz);
  EXPECT_DOUBLE_EQ(*s.rateHz, 3 / 0.006);
}

TEST(SpikeSubsetTest, ChosenSpikesSpreadEvenlyAndCarryTheirRecords) {
  test::TempDir dir;
  const auto spikes = test::RandomSpikes(4, 2500, 6);
  SpikeFile file;
  ASSERT_EQ(file.Open(dir.Write("s.ktt", test::MadeSpikeFile(test::MadeHeaderText(4, kAlignmentPt), spikes))), 0);
  for (const auto& [most, first, end] : {std::tuple<int64_t, int64_t, int64_t>{1000, 0, -1},
                                         {3000, 0, -1},
                                         {7, 100, 200},
                                         {1, 0, -1},
                                         {0, 0, -1},
                                         {50, 2490, 2500}}) {
    SpikeSubset subset;
    ASSERT_EQ(SpikeSubset::Choose(file, most, subset, first, end), 0);
    const int64_t available = (end < 0 ? 2500 : end) - first;
    EXPECT_EQ(subset.ChosenFrom(), available);
    ASSERT_EQ(subset.Size(), std::min(most, available));
    for (int64_t k = 0; k < subset.Size(); ++k) {
      const int64_t index = subset.FileIndex(k);
      // Evenly: the k-th pick sits where k / size of the run is.
      EXPECT_EQ(index, first + k * available / subset.Size());
      const MadeSpike& made = spikes[static_cast<std::size_t>(index)];
      ASSERT_EQ(subset.Timestamp(k), made.timestamp);
      for (int32_t p = 0; p < 32; ++p) {
        for (int32_t c = 0; c < 4; ++c) ASSERT_EQ(subset.Sample(k, p, c), made.samples[p * 4 + c]);
      }
      EXPECT_EQ(subset.Peak(k, 2), made.samples[(kAlignmentPt - 1) * 4 + 2]);
    }
  }
}

}  // namespace
}  // namespace skelvane
