#include "datafile/DataFileReader.h"

#include <cerrno>
#include <cstring>
#include <fstream>
#include <gtest/gtest.h>
#include <iterator>
#include <random>
#include <string>

#include "datafile/CscRecord.h"
#include "datafile/FileHeader.h"
#include "datafile/LegacyDatFile.h"
#include "datafile/RecordFile.h"
#include "platform/StatusCodes.h"
#include "tests/datafile/DataFileFixtures.h"
#include "tests/support/CapturedReports.h"
#include "tests/support/TempDir.h"

namespace skelvane {
namespace {

using test::CscRecords;
using test::Timestamps;

// Reports about a file end with ": " and its path.
std::string PartialReport(const std::string& path) {
  return "Corrupt file - incomplete record encountered: Record size in bytes:1044: " + path;
}
constexpr const char* kNotOpenReport = "Please open a file before attempting to get records.";

std::string ReadWholeFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

TEST(DataFileReader, CscFileWithHeaderMapsRecordsAfterTheHeader) {
  test::TempDir dir;
  test::CapturedReports reports;
  const std::string path = dir.Write("TT1a.kcs", test::StandardHeader() + CscRecords(Timestamps(10)));
  CscFile reader;
  ASSERT_EQ(reader.Open(path), kStatusOk);
  EXPECT_TRUE(reports.Empty());
  EXPECT_EQ(reader.GetNumRecords(), 10u);
  EXPECT_TRUE(reader.HasFixedHeader());
  EXPECT_EQ(reader.GetFileTypeCode(), kFileTypeCsc);

  const std::string bytes = ReadWholeFile(path);
  const uint8_t* first = nullptr;
  const uint8_t* last = nullptr;
  ASSERT_EQ(reader.GetRecord(first, 0), kStatusOk);
  ASSERT_EQ(reader.GetRecord(last, 9), kStatusOk);
  EXPECT_EQ(std::memcmp(first, bytes.data() + kFileHeaderSize, kCscRecordSize), 0);
  EXPECT_EQ(std::memcmp(last, bytes.data() + kFileHeaderSize + 9 * kCscRecordSize, kCscRecordSize), 0);
  EXPECT_EQ(last - first, 9 * kCscRecordSize);  // pointers into one mapping, not copies
  EXPECT_EQ(CscRecord(last).Sample(511), 9 + 511);

  int64_t timestamp = 0;
  ASSERT_EQ(reader.GetTimestamp(timestamp, 9), kStatusOk);
  EXPECT_EQ(timestamp, 1'000'000 + 9 * 16'000);
  std::string value;
  EXPECT_EQ(reader.GetHeaderValue("-ADChannel", value), kStatusOk);
  EXPECT_EQ(value, "3");
}

TEST(DataFileReader, HeaderTextIsKeptPastEmbeddedNulsToItsLastByte) {
  test::TempDir dir;
  std::string header = test::StandardHeader();
  const std::string late = "-Late 5";
  header.replace(kFileHeaderSize / 2, late.size(), late);
  header.replace(kFileHeaderSize - 3, 2, "-Z");
  CscFile reader;
  ASSERT_EQ(reader.Open(dir.Write("a.kcs", header + CscRecords(Timestamps(2)))), kStatusOk);
  EXPECT_EQ(std::string(reader.GetHeader(), kHeaderMarker.size()), kHeaderMarker);
  std::string value;
  ASSERT_EQ(reader.GetHeaderValue("-Late", value), kStatusOk);
  EXPECT_EQ(value, "5");
  ASSERT_EQ(reader.GetHeaderValue("-Z", value), kStatusOk);
  EXPECT_EQ(value, "");
}

TEST(DataFileReader, TrailingPartialRecordIsReportedAndIgnored) {
  test::TempDir dir;
  test::CapturedReports reports;
  CscFile reader;
  const std::string path =
      dir.Write("a.kcs", test::StandardHeader() + CscRecords(Timestamps(10)) + std::string(100, 'x'));
  ASSERT_EQ(reader.Open(path),
            kStatusOk);
  EXPECT_EQ(reports.Texts(), std::vector<std::string>{PartialReport(path)});
  EXPECT_EQ(reader.GetNumRecords(), 10u);
}

TEST(DataFileReader, FileWithoutMarkerHasRecordsFromByteZeroAndNoHeaderValues) {
  test::TempDir dir;
  const std::string path = dir.Write("raw.kcs", CscRecords(Timestamps(4, 777)));
  CscFile reader;
  ASSERT_EQ(reader.Open(path), kStatusOk);
  EXPECT_FALSE(reader.HasFixedHeader());
  EXPECT_EQ(reader.GetNumRecords(), 4u);
  int64_t timestamp = 0;
  ASSERT_EQ(reader.GetTimestamp(timestamp, 0), kStatusOk);
  EXPECT_EQ(timestamp, 777);
  std::string value = "untouched";
  EXPECT_EQ(reader.GetHeaderValue("-SamplingFrequency", value), kStatusNoData);
  EXPECT_EQ(value, "untouched");
  EXPECT_EQ(reader.GetHeader()[0], '\0');
}

TEST(DataFileReader, HeaderOnlyFileOpensButHasNoRecords) {
  test::TempDir dir;
  test::CapturedReports reports;
  CscFile reader;
  const std::string path = dir.Write("h.kcs", test::StandardHeader());
  ASSERT_EQ(reader.Open(path), kStatusOk);
  EXPECT_EQ(reader.GetNumRecords(), 0u);
  const uint8_t* record = nullptr;
  EXPECT_EQ(reader.GetRecord(record, 0), kStatusNoData);
  EXPECT_EQ(record, nullptr);
  EXPECT_EQ(reports.Texts(), std::vector<std::string>{"Empty File.  NumRecs = 0.: " + path});
}

TEST(DataFileReader, ShortHeaderIsRefusedAfterReportingTheBytesRead) {
  test::TempDir dir;
  test::CapturedReports reports;
  CscFile reader;
  const std::string path = dir.Write("s.kcs", test::StandardHeader().substr(0, 5000));
  EXPECT_EQ(reader.Open(path), kStatusNoData);
  EXPECT_EQ(reports.Texts(), std::vector<std::string>{"Insufficient read length.  Likely corrupt header or invalid "
                                                      "file.  Bytes read:5000: " + path});
  EXPECT_FALSE(reader.IsOpen());
}

TEST(DataFileReader, WrongExtensionForTheVariantIsRefusedSilently) {
  test::TempDir dir;
  test::CapturedReports reports;
  CscFile reader;
  EXPECT_EQ(reader.Open(dir.Write("TT1.kse", test::StandardHeader() + CscRecords(Timestamps(3)))), kStatusWrongType);
  EXPECT_TRUE(reports.Empty());
  const uint8_t* record = nullptr;
  EXPECT_EQ(reader.GetRecord(record, 0), kStatusNotOpen);
  EXPECT_EQ(reports.Texts(), std::vector<std::string>{kNotOpenReport});
}

TEST(DataFileReader, EmptyFileCannotBeMapped) {
  test::TempDir dir;
  CscFile reader;
  EXPECT_EQ(reader.Open(dir.Write("e.kcs", "")), EINVAL);
  EXPECT_FALSE(reader.IsOpen());
}

TEST(DataFileReader, MissingFileReportsTheErrno) {
  test::TempDir dir;
  test::CapturedReports reports;
  CscFile reader;
  EXPECT_EQ(reader.Open(dir.File("missing.kcs")), ENOENT);
  EXPECT_EQ(reports.Texts(), std::vector<std::string>{"Error opening file; Is the file/path name correct? Win Err:" +
                                                      std::to_string(ENOENT) + ": " + dir.File("missing.kcs") +
                                                      ": No such file or directory"});
}

TEST(DataFileReader, SecondOpenIsRefused) {
  test::TempDir dir;
  const std::string path = dir.Write("a.kcs", CscRecords(Timestamps(2)));
  CscFile reader;
  ASSERT_EQ(reader.Open(path), kStatusOk);
  EXPECT_EQ(reader.Open(path), kStatusAlreadyOpen);
  EXPECT_EQ(reader.GetNumRecords(), 2u);
}

TEST(DataFileReader, RecordIndexOutsideTheFileIsRefused) {
  test::TempDir dir;
  test::CapturedReports reports;
  CscFile reader;
  ASSERT_EQ(reader.Open(dir.Write("a.kcs", CscRecords(Timestamps(10)))), kStatusOk);
  const uint8_t* record = nullptr;
  EXPECT_EQ(reader.GetRecord(record, 10), kStatusNoData);
  EXPECT_EQ(reader.GetRecord(record, -1), kStatusNoData);
  EXPECT_EQ(record, nullptr);
  EXPECT_EQ(reports.Texts(), (std::vector<std::string>{
                                 "Attempting to request record past end of file; record index = 10",
                                 "Attempting to request record past end of file; record index = -1"}));
}

TEST(DataFileReader, UndetectableDatIsReportedAndOpenedWithoutTypeCheck) {
  test::TempDir dir;
  test::CapturedReports reports;
  // 2 records and 1 stray byte fit no record size, and flat timestamps defeat the content probe.
  CscFile reader;
  const std::string path = dir.Write("odd.dat", test::QuietCscRecords({0, 0}) + "z");
  ASSERT_EQ(reader.Open(path), kStatusOk);
  EXPECT_EQ(reports.Texts(),
            (std::vector<std::string>{"Unable to calculate file type: Error Code - -1: " + path, PartialReport(path)}));
  EXPECT_EQ(reader.GetNumRecords(), 2u);
}

TEST(DataFileReader, EachVariantUsesItsOwnRecordLayout) {
  test::TempDir dir;
  KevFile events;
  ASSERT_EQ(events.Open(dir.Write("e.kev", test::RecordsWithTimestamps(Timestamps(3, 50, 7), 184, 6))), kStatusOk);
  EXPECT_EQ(events.GetNumRecords(), 3u);
  EXPECT_EQ(events.GetRecordSize(), 184);
  int64_t timestamp = 0;
  ASSERT_EQ(events.GetTimestamp(timestamp, 2), kStatusOk);
  EXPECT_EQ(timestamp, 64);

  TetrodeFile spikes;
  ASSERT_EQ(spikes.Open(dir.Write("t.ktt", test::StandardHeader() + test::RecordsWithTimestamps({9, 10}, 304, 0))),
            kStatusOk);
  EXPECT_EQ(spikes.GetNumRecords(), 2u);
  EXPECT_EQ(spikes.GetFileTypeCode(), kFileTypeTetrode);
  ASSERT_EQ(spikes.GetTimestamp(timestamp, 1), kStatusOk);
  EXPECT_EQ(timestamp, 10);
  EXPECT_EQ(spikes.TimestampFromRecord(nullptr), -1);
}

std::string LegacyRecord(uint32_t units) {
  const char bytes[4] = {static_cast<char>(units >> 24), static_cast<char>(units >> 16), static_cast<char>(units >> 8),
                         static_cast<char>(units)};
  return std::string(bytes, 4);
}

TEST(LegacyDatFile, RecordsStartAfterTheEndMarkerAndItsLineBreak) {
  test::TempDir dir;
  const std::string header = test::LegacyHeader(150);
  ASSERT_EQ(header.size(), 162u);
  LegacyDatFile reader;
  ASSERT_EQ(reader.Open(dir.Write("old.dat", header + LegacyRecord(256) + LegacyRecord(300) + LegacyRecord(0x01020304))),
            kStatusOk);
  EXPECT_EQ(reader.GetNumRecords(), 3u);
  EXPECT_EQ(reader.GetFileTypeCode(), kFileTypeLegacy);
  int64_t timestamp = 0;
  ASSERT_EQ(reader.GetTimestamp(timestamp, 0), kStatusOk);
  EXPECT_EQ(timestamp, 25600);  // bytes 00 00 01 00, big-endian, times 100
  ASSERT_EQ(reader.GetTimestamp(timestamp, 2), kStatusOk);
  EXPECT_EQ(timestamp, int64_t{0x01020304} * 100);
  std::string value = "untouched";
  EXPECT_EQ(reader.GetHeaderValue("%%BEGINHEADER", value), kStatusNoData);
  EXPECT_EQ(reader.TimestampFromRecord(nullptr), -1);
}

TEST(LegacyDatFile, HighestTimeDoesNotWrap) {
  const std::string bytes = LegacyRecord(0xFFFFFFFFu);
  LegacyDatFile reader;
  EXPECT_EQ(reader.TimestampFromRecord(reinterpret_cast<const uint8_t*>(bytes.data())), int64_t{0xFFFFFFFF} * 100);
}

TEST(LegacyDatFile, EndMarkerSplitBetweenTwoReadsIsFound) {
  test::TempDir dir;
  // The first window holds bytes 0-99, the next 80-179, then 160-259: markers across 100 and 180.
  for (const std::size_t at : {89u, 95u, 99u, 170u, 175u, 400u}) {
    LegacyDatFile reader;
    ASSERT_EQ(reader.Open(dir.Write("old.dat", test::LegacyHeader(at) + LegacyRecord(1) + LegacyRecord(2))), kStatusOk)
        << at;
    EXPECT_EQ(reader.GetNumRecords(), 2u) << at;
    int64_t timestamp = 0;
    ASSERT_EQ(reader.GetTimestamp(timestamp, 1), kStatusOk);
    EXPECT_EQ(timestamp, 200) << at;
  }
}

TEST(LegacyDatFile, MissingEndMarkerStopsAtTheEndOfTheFile) {
  test::TempDir dir;
  for (const std::size_t length : {40u, 100u, 180u, 1000u, 1001u}) {
    test::CapturedReports reports;
    std::string bytes = "%%BEGINHEADER\r\n";
    bytes.resize(length, 'h');
    LegacyDatFile reader;
    const std::string path = dir.Write("old.dat", bytes);
    EXPECT_EQ(reader.Open(path), kStatusNoData) << length;
    EXPECT_EQ(reports.Texts(),
              std::vector<std::string>{"Corrupt legacy header - no %%ENDHEADER before the end of the file.  Bytes searched:" +
                                       std::to_string(length) + ": " + path});
    EXPECT_FALSE(reader.IsOpen());
  }
}

TEST(LegacyDatFile, EndMarkerAtTheVeryEndLeavesNoRecords) {
  test::TempDir dir;
  test::CapturedReports reports;
  std::string bytes = test::LegacyHeader(120);
  bytes.pop_back();  // no byte after the marker
  LegacyDatFile reader;
  ASSERT_EQ(reader.Open(dir.Write("old.dat", bytes)), kStatusOk);
  EXPECT_EQ(reader.GetNumRecords(), 0u);
  EXPECT_TRUE(reports.Empty());
}

TEST(LegacyDatFile, BeginMarkerAfterTheFirstHundredBytesIsNotLegacy) {
  test::TempDir dir;
  test::CapturedReports reports;
  std::string bytes(100, ' ');
  bytes += test::LegacyHeader(150) + LegacyRecord(1);
  LegacyDatFile reader;
  // Without the marker up front the file is detected by its name: a ".kcs" is no legacy file.
  EXPECT_EQ(reader.Open(dir.Write("late.kcs", bytes)), kStatusWrongType);
}

TEST(DataFileReader, RandomBytesUnderEveryNameNeverCrash) {
  test::TempDir dir;
  std::mt19937_64 random(7);
  for (const char* name : {"r.kcs", "r.dat", "r.kse", "r.ktt", "r.kev", "r.kvt", "r.kts", "r.kst"}) {
    for (const std::size_t length : {1u, 17u, 18u, 99u, 1043u, 1044u, 5000u, 20000u}) {
      std::string bytes(length, '\0');
      for (char& c : bytes) c = static_cast<char>(random());
      if (length >= 18 && length % 2 == 0) bytes.replace(0, kHeaderMarker.size(), kHeaderMarker);
      test::CapturedReports reports;
      CscFile reader;
      const int32_t rc = reader.Open(dir.Write(name, bytes));
      if (rc != kStatusOk) continue;
      for (int64_t i = 0; i < static_cast<int64_t>(reader.GetNumRecords()); ++i) {
        int64_t timestamp = 0;
        ASSERT_EQ(reader.GetTimestamp(timestamp, i), kStatusOk);
      }
    }
  }
}

}  // namespace
}  // namespace skelvane
