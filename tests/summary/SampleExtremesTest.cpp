// The vector forms of a run's extremes against a plain loop: every length from one sample to a
// record and more, at odd byte offsets, over values up to both ends of the 16-bit range; and a
// record's sub-blocks at once, where each run's extremes may sit in any of its words.
#include "summary/SampleExtremes.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <vector>

namespace skelvane {
namespace {

TEST(SampleExtremesTest, BothFormsGiveThePlainLoopsExtremes) {
  std::mt19937 random(3);
  std::uniform_int_distribution<int32_t> value(-32768, 32767);
  for (int32_t trial = 0; trial < 4000; ++trial) {
    const int32_t count = std::uniform_int_distribution<int32_t>(1, 700)(random);
    const int32_t offset = 2 * std::uniform_int_distribution<int32_t>(0, 9)(random);
    std::vector<uint8_t> bytes(static_cast<std::size_t>(offset + 2 * count));
    std::vector<int16_t> samples(static_cast<std::size_t>(count));
    const int32_t spread = trial % 3 == 0 ? 40 : 65535;  // narrow runs as well as the whole range
    for (int16_t& s : samples) s = static_cast<int16_t>(spread == 40 ? value(random) % 40 : value(random));
    std::memcpy(bytes.data() + offset, samples.data(), samples.size() * sizeof(int16_t));
    const auto [low, high] = std::minmax_element(samples.begin(), samples.end());
    int16_t wideLow = 0, wideHigh = 0, portableLow = 0, portableHigh = 0;
    SampleExtremes::Of(bytes.data() + offset, count, wideLow, wideHigh);
    SampleExtremes::OfPortable(bytes.data() + offset, count, portableLow, portableHigh);
    ASSERT_EQ(wideLow, *low) << count;
    ASSERT_EQ(wideHigh, *high) << count;
    ASSERT_EQ(portableLow, *low) << count;
    ASSERT_EQ(portableHigh, *high) << count;
  }
}

TEST(SampleExtremesTest, EveryRunOfARecordGetsThePlainLoopsExtremes) {
  std::mt19937 random(5);
  std::uniform_int_distribution<int32_t> value(-32768, 32767);
  constexpr int32_t kRuns = 16;
  constexpr int32_t kSamples = kRuns * SampleExtremes::kRunSamples;
  for (int32_t trial = 0; trial < 3000; ++trial) {
    std::vector<int16_t> samples(kSamples);
    for (int16_t& s : samples) s = static_cast<int16_t>(trial % 2 == 0 ? value(random) : value(random) % 40 - 20);
    // Each run's extremes pushed, now and then, to the ends of the range or to one chosen word.
    for (int32_t r = 0; r < kRuns; ++r) {
      const auto at = static_cast<std::size_t>(r * SampleExtremes::kRunSamples + random() % SampleExtremes::kRunSamples);
      switch (random() % 4) {
        case 0: samples[at] = -32768; break;
        case 1: samples[at] = 32767; break;
        case 2: samples[at] = static_cast<int16_t>(trial % 2 == 0 ? -1 : 0); break;
        default: break;
      }
    }
    const int32_t offset = 2 * (trial % 7);
    std::vector<uint8_t> bytes(static_cast<std::size_t>(offset + 2 * kSamples));
    std::memcpy(bytes.data() + offset, samples.data(), samples.size() * sizeof(int16_t));
    int16_t lows[kRuns], highs[kRuns], portableLows[kRuns], portableHighs[kRuns];
    SampleExtremes::OfRuns(bytes.data() + offset, kRuns, lows, highs);
    SampleExtremes::OfRunsPortable(bytes.data() + offset, kRuns, portableLows, portableHighs);
    for (int32_t r = 0; r < kRuns; ++r) {
      const auto run = samples.begin() + r * SampleExtremes::kRunSamples;
      const auto [low, high] = std::minmax_element(run, run + SampleExtremes::kRunSamples);
      ASSERT_EQ(lows[r], *low) << "trial " << trial << ", run " << r;
      ASSERT_EQ(highs[r], *high) << "trial " << trial << ", run " << r;
      ASSERT_EQ(portableLows[r], *low) << "trial " << trial << ", run " << r;
      ASSERT_EQ(portableHighs[r], *high) << "trial " << trial << ", run " << r;
    }
  }
}

}  // namespace
}  // namespace skelvane
