// The timing and full scale of a source as the plots and the extraction take them: the mean record
// interval leaves gaps out, and header integers are read as the acquisition writes them.
#include "datafile/ChannelTiming.h"

#include <gtest/gtest.h>

#include <limits>
#include <vector>

namespace skelvane {
namespace {

TEST(ChannelTiming, MeanIntervalIgnoresGapsAndUnusableIntervals) {
  EXPECT_EQ(ChannelTiming::MeanRecordInterval({}), 0.0);
  const std::vector<int64_t> none = {0, -16'000};
  EXPECT_EQ(ChannelTiming::MeanRecordInterval(none), 0.0);
  const std::vector<int64_t> edge = {100, 150, 151, 120};  // 150 is exactly 1.5 times the shortest
  EXPECT_DOUBLE_EQ(ChannelTiming::MeanRecordInterval(edge), (100.0 + 150.0 + 120.0) / 3.0);
  const std::vector<int64_t> repeated = {16'000, 0, 16'000, 16'000};  // a duplicated timestamp
  EXPECT_DOUBLE_EQ(ChannelTiming::MeanRecordInterval(repeated), 16'000.0);
}

TEST(ChannelTiming, IntegersAreReadLikeTheHeaderWritesThem) {
  EXPECT_EQ(ChannelTiming::ParseHeaderInteger("2047"), 2047);
  EXPECT_EQ(ChannelTiming::ParseHeaderInteger("\t -12x"), -12);
  EXPECT_EQ(ChannelTiming::ParseHeaderInteger("+7"), 7);
  EXPECT_EQ(ChannelTiming::ParseHeaderInteger("abc"), 0);
  EXPECT_EQ(ChannelTiming::ParseHeaderInteger(""), 0);
  EXPECT_EQ(ChannelTiming::ParseHeaderInteger("- 5"), 0);
  EXPECT_EQ(ChannelTiming::ParseHeaderInteger("99999999999999"), std::numeric_limits<int32_t>::max());
  EXPECT_EQ(ChannelTiming::ParseHeaderInteger("-99999999999999"), std::numeric_limits<int32_t>::min());
}

}  // namespace
}  // namespace skelvane
