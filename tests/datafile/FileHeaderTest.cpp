#include "datafile/FileHeader.h"

#include <algorithm>
#include <cstring>
#include <gtest/gtest.h>
#include <random>
#include <string>
#include <utility>

#include "platform/StatusCodes.h"

namespace skelvane {
namespace {

FileHeader HeaderWith(const std::string& text, std::size_t at = 0) {
  FileHeader header;
  std::memcpy(header.Data() + at, text.data(), text.size());
  return header;
}

TEST(FileHeaderLookup, FindsValueAndRemovesEveryBlankInsideIt) {
  FileHeader header = HeaderWith("######## Kestrelon\r\n-SamplingFrequency   32 000 \t\r\n-ADMaxValue 2047\r\n");
  std::string value;
  EXPECT_EQ(header.GetHeaderValue("-SamplingFrequency", value), kStatusOk);
  EXPECT_EQ(value, "32000");
  EXPECT_EQ(header.GetHeaderValue("-ADMaxValue", value), kStatusOk);
  EXPECT_EQ(value, "2047");
}

TEST(FileHeaderLookup, PrefixKeyMatchesAnEarlierLongerKey) {
  FileHeader header = HeaderWith("-ADGainX 5\r\n-ADGain 3\r\n");
  std::string value;
  EXPECT_EQ(header.GetHeaderValue("-ADGain", value), kStatusOk);
  EXPECT_EQ(value, "X5");
}

TEST(FileHeaderLookup, FirstOccurrenceWinsAndMatchNeedNotStartALine) {
  FileHeader header = HeaderWith("comment mentions -AmpGain 100\r\n-AmpGain 200\r\n");
  std::string value;
  EXPECT_EQ(header.GetHeaderValue("-AmpGain", value), kStatusOk);
  EXPECT_EQ(value, "100");
}

TEST(FileHeaderLookup, IsCaseSensitive) {
  FileHeader header = HeaderWith("-adgain 3\r\n");
  std::string value = "kept";
  EXPECT_EQ(header.GetHeaderValue("-ADGain", value), kStatusNoData);
  EXPECT_EQ(value, "kept");
}

TEST(FileHeaderLookup, KeyDirectlyFollowedByLineEndGivesEmptyValue) {
  FileHeader header = HeaderWith("-AmpLowCut\r\n-AmpHiCut 6000\r\n");
  std::string value = "old";
  EXPECT_EQ(header.GetHeaderValue("-AmpLowCut", value), kStatusOk);
  EXPECT_EQ(value, "");
}

TEST(FileHeaderLookup, ValueEndsAtLoneLineFeedOrCarriageReturn) {
  FileHeader header = HeaderWith("-A 1\n-B 2\r-C 3");
  std::string value;
  ASSERT_EQ(header.GetHeaderValue("-A", value), kStatusOk);
  EXPECT_EQ(value, "1");
  ASSERT_EQ(header.GetHeaderValue("-B", value), kStatusOk);
  EXPECT_EQ(value, "2");
  ASSERT_EQ(header.GetHeaderValue("-C", value), kStatusOk);
  EXPECT_EQ(value, "3");
}

TEST(FileHeaderLookup, AbsentKeyLeavesValueUntouched) {
  FileHeader header = HeaderWith("-ADChannel 4\r\n");
  std::string value = "untouched";
  EXPECT_EQ(header.GetHeaderValue("-ADBitVolts", value), kStatusNoData);
  EXPECT_EQ(value, "untouched");
  FileHeader empty;
  EXPECT_EQ(empty.GetHeaderValue("-ADChannel", value), kStatusNoData);
  EXPECT_EQ(value, "untouched");
}

TEST(FileHeaderLookup, KeyAfterEmbeddedNulIsStillFound) {
  FileHeader header = HeaderWith(std::string("garbage\0\0-ADChannel 7\r\n", 23));
  std::string value;
  EXPECT_EQ(header.GetHeaderValue("-ADChannel", value), kStatusOk);
  EXPECT_EQ(value, "7");
}

TEST(FileHeaderLookup, KeyEndingJustBeforeTheTerminatorHasAnEmptyValue) {
  const std::string key = "-AmpHiCut";
  // The key's last character is the last text byte: its value starts on the last byte, the forced
  // NUL, which still lies inside the header.
  FileHeader header = HeaderWith(key, kFileHeaderSize - 1 - key.size());
  std::string value = "untouched";
  EXPECT_EQ(header.GetHeaderValue(key, value), kStatusOk);
  EXPECT_EQ(value, "");
}

TEST(FileHeaderLookup, KeyReachingTheLastByteLeavesNoRoomForAValue) {
  // Only a key that itself ends in a NUL can match the forced terminator; its value would begin
  // after the header's last byte.
  const std::string key("-AmpHiCut\0", 10);
  FileHeader header = HeaderWith(key.substr(0, 9), kFileHeaderSize - key.size());
  std::string value = "untouched";
  EXPECT_EQ(header.GetHeaderValue(key, value), kStatusKeyAtEnd);
  EXPECT_EQ(value, "untouched");
}

TEST(FileHeaderLookup, KeyOverwrittenByTheForcedTerminatorIsAbsent) {
  const std::string key = "-AmpHiCut";
  FileHeader header = HeaderWith(key, kFileHeaderSize - key.size());
  std::string value = "untouched";
  EXPECT_EQ(header.GetHeaderValue(key, value), kStatusNoData);
  EXPECT_EQ(header.Data()[kFileHeaderSize - 1], '\0');
  EXPECT_EQ(value, "untouched");
}

TEST(FileHeaderLookup, ValueRunningToTheEndStopsAtTheLastTextByte) {
  FileHeader header;
  std::memset(header.Data(), '7', kFileHeaderSize);  // no NUL anywhere in the file's bytes
  const std::string key = "-K";
  const std::size_t at = kFileHeaderSize - 10;
  std::memcpy(header.Data() + at, key.data(), key.size());
  // An earlier "-K" does not exist: the 7s never form the key.
  std::string value;
  ASSERT_EQ(header.GetHeaderValue(key, value), kStatusOk);
  EXPECT_EQ(value, std::string(kFileHeaderSize - 1 - at - key.size(), '7'));
}

// The lookup over all 16384 bytes as they stand, the last forced to NUL: the kept text, with every
// byte past it read as NUL, must answer each key exactly as this does.
int32_t ReferenceLookup(std::string bytes, const std::string& key, std::string& value) {
  bytes.back() = '\0';
  const std::size_t found = bytes.find(key);
  if (found == std::string::npos) return kStatusNoData;
  if (found + key.size() >= kFileHeaderSize) return kStatusKeyAtEnd;
  std::string result;
  for (std::size_t i = found + key.size(); bytes[i] != '\r' && bytes[i] != '\n' && bytes[i] != '\0'; ++i) {
    if (bytes[i] != ' ' && bytes[i] != '\t') result.push_back(bytes[i]);
  }
  value = result;
  return kStatusOk;
}

TEST(FileHeaderLookup, KeptTextAnswersAsTheWholeHeaderOverRandomHeadersAndKeys) {
  const FileHeader empty;
  EXPECT_EQ(std::string(empty.Data(), kHeaderMarker.size()), std::string(kHeaderMarker.size(), '\0'));
  // Few distinct bytes, so keys recur; NULs, line ends and blanks, which the lookup treats apart.
  constexpr char kBytes[] = {'-', 'a', 'b', ' ', '\t', '\r', '\n', '\0'};
  std::mt19937_64 random(11);
  auto below = [&](std::size_t n) { return static_cast<std::size_t>(random() % n); };
  for (int round = 0; round < 200; ++round) {
    // Text at the start, text against the end, no NUL at all, or NULs anywhere; and now and then
    // fewer bytes handed over than a header holds.
    const std::size_t layout = below(4);
    const std::size_t textLength = layout >= 2 ? kFileHeaderSize : below(400);
    const std::size_t at = layout == 1 ? kFileHeaderSize - textLength : 0;
    const std::size_t count = below(3) == 0 ? below(kFileHeaderSize + 1) : kFileHeaderSize;
    std::string bytes(kFileHeaderSize, '\0');
    for (std::size_t i = at; i < std::min(at + textLength, count); ++i) bytes[i] = kBytes[below(layout == 2 ? 7 : 8)];
    FileHeader header;
    header.Assign(bytes.data(), count);
    ASSERT_EQ(std::string(std::as_const(header).Data(), kHeaderMarker.size()), bytes.substr(0, kHeaderMarker.size()));

    for (int k = 0; k < 12; ++k) {
      // A stretch of the header (maybe in its last bytes, maybe past its text), or a few random bytes,
      // or those with NULs after them.
      std::string key;
      const std::size_t kind = below(3);
      const std::size_t from = below(2) == 0 ? kFileHeaderSize - 1 - below(16) : below(kFileHeaderSize);
      if (kind == 0) key = bytes.substr(from, below(12));
      for (std::size_t n = kind == 0 ? 0 : below(6); n > 0; --n) key.push_back(kBytes[below(8)]);
      if (kind == 2) key.append(below(4), '\0');
      std::string expected = "untouched";
      std::string got = "untouched";
      ASSERT_EQ(header.GetHeaderValue(key, got), ReferenceLookup(bytes, key, expected))
          << "round " << round << " key " << testing::PrintToString(key);
      ASSERT_EQ(got, expected) << "round " << round;
    }
  }
}

}  // namespace
}  // namespace skelvane
