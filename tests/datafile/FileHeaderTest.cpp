#include "datafile/FileHeader.h"

#include <cstring>
#include <gtest/gtest.h>
#include <string>

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

}  // namespace
}  // namespace skelvane
