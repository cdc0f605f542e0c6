// The vector forms of a run's extremes against a plain loop: every length from one sample to a
// record and more, at odd byte offsets, over values up to both ends of the 16-bit range.
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

}  // namespace
}  // namespace skelvane
