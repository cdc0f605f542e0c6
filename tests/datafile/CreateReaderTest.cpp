#include "datafile/CreateReader.h"

#include <cstdio>
#include <gtest/gtest.h>

#include "datafile/FileKind.h"
#include "platform/File.h"
#include "platform/StatusCodes.h"
#include "tests/datafile/DataFileFixtures.h"
#include "tests/support/CapturedReports.h"
#include "tests/support/TempDir.h"

namespace skelvane {
namespace {

std::unique_ptr<DataFileReader> Create(const std::string& path, File& file) {
  EXPECT_EQ(file.Open(path, File::Mode::Read), 0);
  return CreateReader(file, path);
}

TEST(CreateReader, PicksTheVariantOfTheDetectedKindAndClosesTheProbe) {
  test::TempDir dir;
  File file;
  auto csc = Create(dir.Write("a.kcs", test::StandardHeader() + test::CscRecords(test::Timestamps(3))), file);
  ASSERT_NE(csc, nullptr);
  EXPECT_EQ(csc->GetFileTypeCode(), kFileTypeCsc);
  EXPECT_EQ(csc->GetNumRecords(), 3u);
  EXPECT_FALSE(file.IsOpen());

  File other;
  auto spikes = Create(dir.Write("a.kst", test::RecordsWithTimestamps({1, 2}, 176, 0)), other);
  ASSERT_NE(spikes, nullptr);
  EXPECT_EQ(spikes->GetFileTypeCode(), kFileTypeStereotrode);
  EXPECT_EQ(spikes->GetNumRecords(), 2u);
}

TEST(CreateReader, LegacyHeaderWinsOverTheName) {
  test::TempDir dir;
  File file;
  auto reader = Create(dir.Write("a.kcs", test::LegacyHeader(150) + std::string(8, '\1')), file);
  ASSERT_NE(reader, nullptr);
  EXPECT_EQ(reader->GetFileTypeCode(), kFileTypeLegacy);
  EXPECT_EQ(reader->GetNumRecords(), 2u);
}

TEST(CreateReader, ServesTheFileItIsGivenWhereverItsPositionNotThePathOpenedAgain) {
  test::TempDir dir;
  // The legacy end marker lies past the first bytes read: its search must start right after them.
  const std::string path = dir.Write("a.kcs", test::LegacyHeader(150) + std::string(12, '\1'));
  File file;
  ASSERT_EQ(file.Open(path, File::Mode::Read), 0);
  ASSERT_GT(file.Seek(0, File::Origin::End), 0);
  const std::string other = dir.Write("b.kcs", test::StandardHeader() + test::CscRecords(test::Timestamps(5)));
  ASSERT_EQ(::rename(other.c_str(), path.c_str()), 0);
  auto reader = CreateReader(file, path);
  ASSERT_NE(reader, nullptr);
  EXPECT_EQ(reader->GetFileTypeCode(), kFileTypeLegacy);
  EXPECT_EQ(reader->GetNumRecords(), 3u);
  EXPECT_FALSE(file.IsOpen());
}

TEST(CreateReader, UnknownKindGivesNoReaderSilently) {
  test::TempDir dir;
  test::CapturedReports reports;
  File file;
  EXPECT_EQ(Create(dir.Write("a.txt", test::CscRecords(test::Timestamps(8))), file), nullptr);
  File flat;
  EXPECT_EQ(Create(dir.Write("a.dat", test::QuietCscRecords({1, 1, 1, 1, 1, 1, 1, 1})), flat), nullptr);
  EXPECT_TRUE(reports.Empty());
}

TEST(CreateReader, ReaderThatCannotOpenIsDiscarded) {
  test::TempDir dir;
  test::CapturedReports reports;
  File empty;
  EXPECT_EQ(Create(dir.Write("e.kcs", ""), empty), nullptr);
  File shortHeader;
  const std::string path = dir.Write("s.kcs", test::StandardHeader().substr(0, 40));
  EXPECT_EQ(Create(path, shortHeader), nullptr);
  EXPECT_EQ(reports.Texts(), std::vector<std::string>{
                                 "Insufficient read length.  Likely corrupt header or invalid file.  Bytes read:40: " +
                                 path});
}

TEST(MakeReaderForType, ServesEveryKindAndNothingElse) {
  for (const FileKind& kind : kFileKinds) {
    auto reader = MakeReaderForType(kind.typeCode);
    ASSERT_NE(reader, nullptr);
    EXPECT_EQ(reader->GetFileTypeCode(), kind.typeCode);
    EXPECT_EQ(reader->GetRecordSize(), kind.recordSize);
  }
  EXPECT_EQ(MakeReaderForType(kFileTypeLegacy)->GetRecordSize(), kLegacyRecordSize);
  EXPECT_EQ(MakeReaderForType(kFileTypeUnknown), nullptr);
  EXPECT_EQ(MakeReaderForType(8), nullptr);
}

}  // namespace
}  // namespace skelvane
