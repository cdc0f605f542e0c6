// Markers as CSV: any text (quotes, commas, line breaks) comes back as it went, times in seconds read
// on the recordings' clock; a damaged file is refused whole, saying where.
#include "session/MarkerCsv.h"

#include <gtest/gtest.h>

#include <random>

#include "display/RecordingClock.h"

namespace skelvane {
namespace {

TEST(MarkerCsvTest, AnyTextComesBackAsItWent) {
  std::mt19937_64 random(5);
  const std::string alphabet = "ab ,\"\r\n;x\xC2\xB5";
  for (int round = 0; round < 50; ++round) {
    std::vector<MarkerSet::Marker> markers;
    for (int i = std::uniform_int_distribution<int>(0, 8)(random); i > 0; --i) {
      MarkerSet::Marker m;
      m.timestamp = std::uniform_int_distribution<int64_t>(INT64_MIN, INT64_MAX)(random);
      for (int n = std::uniform_int_distribution<int>(0, 12)(random); n > 0; --n) {
        m.text += alphabet[std::uniform_int_distribution<std::size_t>(0, alphabet.size() - 1)(random)];
      }
      m.plot = i % 3 == 0 ? "" : "TT1,b";
      markers.push_back(m);
    }
    const std::string text = MarkerCsv::Text(markers, RecordingClock(0));
    std::vector<MarkerSet::Marker> read;
    std::string error;
    ASSERT_TRUE(MarkerCsv::Parse(text, read, error)) << error << "\n" << text;
    EXPECT_EQ(read, markers) << text;
  }
}

TEST(MarkerCsvTest, TimesAreOnTheRecordingsClock) {
  const std::vector<MarkerSet::Marker> markers = {{36'001'500'000, "", "onset"}, {36'002'000'000, "TT1a", "say \"a, b\""}};
  EXPECT_EQ(MarkerCsv::Text(markers, RecordingClock(36'000'000'000)),
            "timestamp_us,time_s,plot,text\r\n"
            "36001500000,1.500000,,onset\r\n"
            "36002000000,2.000000,TT1a,\"say \"\"a, b\"\"\"\r\n");
}

TEST(MarkerCsvTest, DamagedFilesAreRefusedWholeSayingWhere) {
  const std::pair<const char*, const char*> cases[] = {
      {"time,text\n1,a\n", "line 1: not the header timestamp_us,time_s,plot,text"},
      {"timestamp_us,time_s,plot,text\n1,0,,a\n2.5,0,,b\n", "record 2: timestamp_us \"2.5\" is not a whole number of microseconds"},
      {"timestamp_us,time_s,plot,text\n1,0,,a\n2,0,,\"open\n", "line 3: a quote is not closed"},
      {"timestamp_us,time_s,plot,text\n1,0,a\n", "record 1: 3 fields, not 4"},
  };
  for (const auto& [text, message] : cases) {
    std::vector<MarkerSet::Marker> markers = {{7, "", "kept"}};
    std::string error;
    EXPECT_FALSE(MarkerCsv::Parse(text, markers, error)) << text;
    EXPECT_EQ(error, message);
    EXPECT_EQ(markers.size(), 1u);
  }
  // Blank lines and LF line ends are taken.
  std::vector<MarkerSet::Marker> markers;
  std::string error;
  ASSERT_TRUE(MarkerCsv::Parse("timestamp_us,time_s,plot,text\n\n-5,x,,a\n", markers, error)) << error;
  EXPECT_EQ(markers, (std::vector<MarkerSet::Marker>{{-5, "", "a"}}));
}

}  // namespace
}  // namespace skelvane
