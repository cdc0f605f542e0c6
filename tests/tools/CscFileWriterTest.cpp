#include "tools/CscFileWriter.h"

#include <cerrno>
#include <cstring>
#include <fstream>
#include <gtest/gtest.h>
#include <iterator>

#include "datafile/FileHeader.h"
#include "tests/support/TempDir.h"

namespace skelvane {
namespace {

std::string ReadWholeFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

template <typename T>
T At(const std::string& bytes, std::size_t offset) {
  T value;
  std::memcpy(&value, bytes.data() + offset, sizeof(T));
  return value;
}

TEST(CscFileWriter, HeaderIsMarkerLineThenKeyLinesPaddedWithNul) {
  const std::string header = CscFileWriter::MakeHeader({{"-ADChannel", "2"}, {"-AmpGain", "1000"}});
  ASSERT_EQ(header.size(), kFileHeaderSize);
  EXPECT_EQ(header.substr(0, kHeaderMarker.size()), kHeaderMarker);
  const std::string text = "######## Kestrelon Data File Header\r\n-ADChannel 2\r\n-AmpGain 1000\r\n";
  EXPECT_EQ(header.substr(0, text.size()), text);
  EXPECT_EQ(header.find_first_not_of('\0', text.size()), std::string::npos);
}

TEST(CscFileWriter, RecordsUseTheAcquisitionLayoutLittleEndian) {
  test::TempDir dir;
  CscRecordData first;
  first.timestamp = 0x0102030405060708;
  first.samplingFrequency = 30303;
  first.samples[0] = -2;
  first.samples[511] = 32767;
  CscRecordData second;
  second.timestamp = -5;
  const std::string path = dir.File("a.kcs");
  ASSERT_EQ(CscFileWriter::Write(path, CscFileWriter::MakeHeader({}), {first, second}), 0);
  const std::string bytes = ReadWholeFile(path);
  ASSERT_EQ(bytes.size(), kFileHeaderSize + 2 * 1044);
  const std::size_t r0 = kFileHeaderSize;
  EXPECT_EQ(static_cast<uint8_t>(bytes[r0]), 0x08);  // lowest byte first
  EXPECT_EQ(At<int64_t>(bytes, r0), first.timestamp);
  EXPECT_EQ(At<uint32_t>(bytes, r0 + 8), 0u);
  EXPECT_EQ(At<uint32_t>(bytes, r0 + 12), 30303u);
  EXPECT_EQ(At<uint32_t>(bytes, r0 + 16), 0u);
  EXPECT_EQ(At<int16_t>(bytes, r0 + 20), -2);
  EXPECT_EQ(At<int16_t>(bytes, r0 + 20 + 2 * 511), 32767);
  EXPECT_EQ(At<int64_t>(bytes, r0 + 1044), -5);
  EXPECT_EQ(At<uint32_t>(bytes, r0 + 1044 + 12), 32000u);
}

TEST(CscFileWriter, NoHeaderAndTrailingPartialRecord) {
  test::TempDir dir;
  std::vector<CscRecordData> records(3);
  records[2].timestamp = 77;
  const std::string path = dir.File("a.kcs");
  ASSERT_EQ(CscFileWriter::Write(path, "", records, 100), 0);
  const std::string bytes = ReadWholeFile(path);
  ASSERT_EQ(bytes.size(), 3 * 1044 + 100u);
  EXPECT_EQ(At<int64_t>(bytes, 2 * 1044), 77);
  EXPECT_GT(At<int64_t>(bytes, 3 * 1044), 77);  // the unfinished record continues the timeline
}

TEST(CscFileWriter, ManyRecordsAreAllWritten) {
  test::TempDir dir;
  std::vector<CscRecordData> records(2500);
  for (std::size_t k = 0; k < records.size(); ++k) records[k].timestamp = static_cast<int64_t>(k);
  const std::string path = dir.File("a.kcs");
  ASSERT_EQ(CscFileWriter::Write(path, "", records), 0);
  const std::string bytes = ReadWholeFile(path);
  ASSERT_EQ(bytes.size(), 2500u * 1044u);
  EXPECT_EQ(At<int64_t>(bytes, 1023 * 1044), 1023);
  EXPECT_EQ(At<int64_t>(bytes, 1024 * 1044), 1024);
  EXPECT_EQ(At<int64_t>(bytes, 2499 * 1044), 2499);
}

TEST(CscFileWriter, UnwritablePlacesGiveTheErrno) {
  test::TempDir dir;
  EXPECT_EQ(CscFileWriter::Write(dir.File("missing/a.kcs"), "", {CscRecordData{}}), ENOENT);
  if (std::ifstream("/dev/full").good()) {
    EXPECT_EQ(CscFileWriter::Write("/dev/full", CscFileWriter::MakeHeader({}), {CscRecordData{}}), ENOSPC);
  }
}

}  // namespace
}  // namespace skelvane
