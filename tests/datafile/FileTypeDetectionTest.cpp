#include "datafile/FileTypeDetection.h"

#include <gtest/gtest.h>
#include <string>

#include "datafile/FileHeader.h"
#include "datafile/FileKind.h"
#include "datafile/StripQuotes.h"
#include "platform/File.h"
#include "platform/StatusCodes.h"
#include "tests/datafile/DataFileFixtures.h"
#include "tests/support/TempDir.h"

namespace skelvane {
namespace {

using test::CscRecords;
using test::RecordsWithTimestamps;
using test::Timestamps;

class FileTypeDetection : public ::testing::Test {
 protected:
  // Detects the type of a file written with `bytes`; the type starts at 42 to show when it is kept.
  int32_t Detect(const std::string& name, const std::string& bytes, int32_t& type) {
    File file;
    EXPECT_EQ(file.Open(dir_.Write(name, bytes), File::Mode::Read), 0);
    type = 42;
    const int32_t rc = DetectFileType(file, type);
    position_ = file.Position();
    return rc;
  }
  test::TempDir dir_;
  int64_t position_ = -1;
};

TEST_F(FileTypeDetection, NameDecidesWithoutLookingAtContent) {
  int32_t type = 0;
  // Empty content would fail every probe: only the (lower-cased) name can make these known.
  EXPECT_EQ(Detect("X.KCS", "", type), kStatusOk);
  EXPECT_EQ(type, kFileTypeCsc);
  const std::pair<const char*, int32_t> names[] = {{"a.ktt", 4}, {"a.kst", 2}, {"a.kse", 1}, {"a.kts", 3},
                                                   {"a.kcs", 5}, {"a.Kev", 6}, {"a.kvT", 7}};
  for (const auto& [name, code] : names) {
    EXPECT_EQ(Detect(name, "", type), kStatusOk) << name;
    EXPECT_EQ(type, code) << name;
  }
  // Tetrode-looking records in a file named .kcs are still a CSC file.
  EXPECT_EQ(Detect("t.kcs", RecordsWithTimestamps(Timestamps(20), 304, 0), type), kStatusOk);
  EXPECT_EQ(type, kFileTypeCsc);
}

TEST_F(FileTypeDetection, UnknownExtensionIsRefusedAndTypeKept) {
  int32_t type = 0;
  EXPECT_EQ(Detect("a.kcsx", CscRecords(Timestamps(10)), type), kStatusFailed);
  EXPECT_EQ(type, 42);
  EXPECT_EQ(Detect("cs", "", type), kStatusFailed);
  EXPECT_EQ(type, 42);
  EXPECT_EQ(Detect("kcs.txt", "", type), kStatusFailed);
  EXPECT_EQ(type, 42);
}

TEST_F(FileTypeDetection, DatWithHeaderAndThreeCscRecordsIsCscBySize) {
  int32_t type = 0;
  // All timestamps zero: the content probe would fail, so only the size can decide.
  const std::string bytes = test::StandardHeader() + CscRecords({0, 0, 0});
  EXPECT_EQ(Detect("old.dat", bytes, type), kStatusOk);
  EXPECT_EQ(type, kFileTypeCsc);
  EXPECT_EQ(position_, 0);
}

TEST_F(FileTypeDetection, DatFittingSeveralSizesIsDecidedByContent) {
  int32_t type = 0;
  // 8 x 1044 bytes is a multiple of both 1044 and 8.
  EXPECT_EQ(Detect("old.dat", test::QuietCscRecords(Timestamps(8)), type), kStatusOk);
  EXPECT_EQ(type, kFileTypeCsc);
  EXPECT_EQ(position_, 0);

  EXPECT_EQ(Detect("flat.dat", test::QuietCscRecords({5, 5, 5, 5, 5, 5, 5, 5}), type), kStatusFailed);
  EXPECT_EQ(type, kFileTypeUnknown);
  EXPECT_EQ(position_, 0);
}

TEST_F(FileTypeDetection, EmptyDatFitsEverySizeAndFailsWithTypeZero) {
  int32_t type = 0;
  EXPECT_EQ(Detect("empty.dat", "", type), kStatusFailed);
  EXPECT_EQ(type, kFileTypeUnknown);
}

TEST_F(FileTypeDetection, DatWithMarkerButShorterThanHeaderFailsCleanly) {
  int32_t type = 0;
  EXPECT_EQ(Detect("short.dat", std::string(kHeaderMarker) + "\r\n", type), kStatusFailed);
  EXPECT_EQ(type, kFileTypeUnknown);
}

TEST_F(FileTypeDetection, DatOfEventRecordsIsFoundByTimestampAtOffsetSix) {
  int32_t type = 0;
  // 12 x 184 = 2208 bytes: a multiple of 184 and of 8, so the probe decides; the earlier probes
  // read bytes that are not timestamps and fail.
  EXPECT_EQ(Detect("ev.dat", RecordsWithTimestamps(Timestamps(12), 184, 6), type), kStatusOk);
  EXPECT_EQ(type, kFileTypeKev);
}

TEST(TimestampsIncrease, NeedsFiveStepsWhenTheFileEndsEarly) {
  test::TempDir dir;
  File five;
  ASSERT_EQ(five.Open(dir.Write("a", RecordsWithTimestamps(Timestamps(5), 8, 0)), File::Mode::Read), 0);
  EXPECT_FALSE(TimestampsIncrease(five, 8, 0, 0));
  File six;
  ASSERT_EQ(six.Open(dir.Write("b", RecordsWithTimestamps(Timestamps(6), 8, 0)), File::Mode::Read), 0);
  EXPECT_TRUE(TimestampsIncrease(six, 8, 0, 0));
  EXPECT_EQ(six.Position(), 0);
}

TEST(TimestampsIncrease, AnEqualOrSmallerTimestampFailsAtOnce) {
  test::TempDir dir;
  File equal;
  ASSERT_EQ(equal.Open(dir.Write("a", RecordsWithTimestamps({1, 2, 3, 3, 4, 5, 6, 7}, 8, 0)), File::Mode::Read), 0);
  EXPECT_FALSE(TimestampsIncrease(equal, 8, 0, 0));
  File negative;
  ASSERT_EQ(negative.Open(dir.Write("b", RecordsWithTimestamps({-9, -8, -7, -6, -5, -100}, 8, 0)), File::Mode::Read),
            0);
  EXPECT_FALSE(TimestampsIncrease(negative, 8, 0, 0));
}

TEST(TimestampsIncrease, NinetyNineStepsSettleItBeforeLaterDisorder) {
  test::TempDir dir;
  std::vector<int64_t> stamps = Timestamps(100);
  stamps.push_back(0);  // the 100th step would fail, but is never looked at
  File file;
  ASSERT_EQ(file.Open(dir.Write("a", RecordsWithTimestamps(stamps, 8, 0)), File::Mode::Read), 0);
  EXPECT_TRUE(TimestampsIncrease(file, 8, 0, 0));
  stamps.erase(stamps.begin() + 99);  // now step 99 is the bad one
  File worse;
  ASSERT_EQ(worse.Open(dir.Write("b", RecordsWithTimestamps(stamps, 8, 0)), File::Mode::Read), 0);
  EXPECT_FALSE(TimestampsIncrease(worse, 8, 0, 0));
}

TEST(TimestampsIncrease, StartsAtTheGivenRecordOffset) {
  test::TempDir dir;
  const std::string bytes = std::string(100, '\xff') + RecordsWithTimestamps(Timestamps(6), 16, 0);
  File file;
  ASSERT_EQ(file.Open(dir.Write("a", bytes), File::Mode::Read), 0);
  EXPECT_TRUE(TimestampsIncrease(file, 16, 0, 100));
  EXPECT_FALSE(TimestampsIncrease(file, 16, 0, 0));
}

TEST(DetectTypeByContent, ShortTimestampFileIsFoundLastAndProbesRestoreTheStart) {
  test::TempDir dir;
  File file;
  ASSERT_EQ(file.Open(dir.Write("a", RecordsWithTimestamps(Timestamps(20), 8, 0)), File::Mode::Read), 0);
  EXPECT_EQ(DetectTypeByContent(file), kFileTypeTimestamp);
  File noise;
  ASSERT_EQ(noise.Open(dir.Write("b", std::string(5000, '\0')), File::Mode::Read), 0);
  noise.Seek(0);
  EXPECT_EQ(DetectTypeByContent(noise), kFileTypeUnknown);
  EXPECT_EQ(noise.Position(), 0);
}

TEST(HasHeaderMarker, ComparesTheFirstEighteenBytesExactly) {
  test::TempDir dir;
  const auto check = [&dir](const std::string& bytes) {
    File file;
    EXPECT_EQ(file.Open(dir.Write("h", bytes), File::Mode::Read), 0);
    file.Seek(5);
    const bool found = HasHeaderMarker(file);
    EXPECT_EQ(file.Position(), 0);
    return found;
  };
  EXPECT_TRUE(check("######## Kestrelon"));
  EXPECT_TRUE(check("######## Kestrelon Data File Header\r\n"));
  EXPECT_FALSE(check("######## Kestrelo"));
  EXPECT_FALSE(check("######## KESTRELON"));
  EXPECT_FALSE(check(" ######## Kestrelon"));
  EXPECT_FALSE(check(""));
}

TEST(StripQuotes, RemovesOnePairOfSurroundingQuotes) {
  EXPECT_EQ(StripQuotes("\"/data/run 1/TT1a.kcs\""), "/data/run 1/TT1a.kcs");
  EXPECT_EQ(StripQuotes("/data/TT1a.kcs"), "/data/TT1a.kcs");
  EXPECT_EQ(StripQuotes("/data/\"x\""), "/data/\"x\"");
  // The last character goes with the opening quote, whatever it is.
  EXPECT_EQ(StripQuotes("\"abc"), "ab");
  EXPECT_EQ(StripQuotes("\""), "");
  EXPECT_EQ(StripQuotes(""), "");
}

}  // namespace
}  // namespace skelvane
