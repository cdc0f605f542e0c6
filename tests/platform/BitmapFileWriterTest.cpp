#include "platform/BitmapFileWriter.h"

#include <sys/resource.h>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <iterator>
#include <string>
#include <vector>

#include "platform/MemoryBitmap.h"
#include "platform/PngFileWriter.h"
#include "tests/support/CapturedReports.h"
#include "tests/support/TempDir.h"

namespace skelvane {
namespace {

std::vector<uint8_t> ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

uint32_t U32(const std::vector<uint8_t>& b, std::size_t at) {
  return uint32_t{b[at]} | uint32_t{b[at + 1]} << 8 | uint32_t{b[at + 2]} << 16 | uint32_t{b[at + 3]} << 24;
}
uint16_t U16(const std::vector<uint8_t>& b, std::size_t at) {
  return static_cast<uint16_t>(b[at] | b[at + 1] << 8);
}

// A 3 x 2 image whose every byte is distinct, so any reordering of rows or pixels shows.
MemoryBitmap SmallImage() {
  MemoryBitmap bitmap(3, 2);
  for (std::size_t i = 0; i < bitmap.SizeInBytes(); ++i) bitmap.Bits()[i] = static_cast<uint8_t>(10 + i);
  return bitmap;
}

TEST(BitmapInfo, DepthClassRoundsUpToTheNextStoredDepth) {
  EXPECT_EQ(BitmapFileWriter::DepthClass(1, 1), 1);
  EXPECT_EQ(BitmapFileWriter::DepthClass(1, 2), 4);
  EXPECT_EQ(BitmapFileWriter::DepthClass(1, 4), 4);
  EXPECT_EQ(BitmapFileWriter::DepthClass(1, 5), 8);
  EXPECT_EQ(BitmapFileWriter::DepthClass(1, 15), 16);
  EXPECT_EQ(BitmapFileWriter::DepthClass(1, 24), 24);
  EXPECT_EQ(BitmapFileWriter::DepthClass(1, 32), 32);
  EXPECT_EQ(BitmapFileWriter::DepthClass(2, 16), 32);  // planes times bits
}

TEST(BitmapInfo, ThirtyTwoBitsHasNoColourTableAndPixelsAt54) {
  const auto info = BitmapFileWriter::CreateBitmapInfo(7, 5, 1, 32);
  EXPECT_EQ(info.coloursUsed, 0u);
  EXPECT_EQ(info.imageSize, 7u * 5u * 4u);
  EXPECT_EQ(BitmapFileWriter::PixelOffset(info), 54u);
  EXPECT_EQ(BitmapFileWriter::FileSize(info), 54u + 4u * 7u * 5u);
  EXPECT_EQ(info.colourTable.size(), 1u);  // the spare entry is allocated but never written
  EXPECT_EQ(BitmapFileWriter::EncodeHeaders(info).size(), 54u);
}

TEST(BitmapInfo, EightBitsHas256EntriesAndPixelsAt1078) {
  const auto info = BitmapFileWriter::CreateBitmapInfo(10, 3, 1, 8);
  EXPECT_EQ(info.coloursUsed, 256u);
  EXPECT_EQ(BitmapFileWriter::PixelOffset(info), 1078u);
  EXPECT_EQ(info.imageSize, 12u * 3u);  // 10 bytes padded to 12
  EXPECT_EQ(BitmapFileWriter::EncodeHeaders(info).size(), 1078u);
}

TEST(BitmapInfo, RowsArePaddedToFourBytes) {
  EXPECT_EQ(BitmapFileWriter::CreateBitmapInfo(1, 1, 1, 24).imageSize, 4u);
  EXPECT_EQ(BitmapFileWriter::CreateBitmapInfo(1, 9, 1, 24).imageSize, 36u);
  EXPECT_EQ(BitmapFileWriter::CreateBitmapInfo(33, 2, 1, 1).imageSize, 16u);  // 33 bits need 8 bytes
  EXPECT_EQ(BitmapFileWriter::CreateBitmapInfo(32, 2, 1, 1).imageSize, 8u);
  EXPECT_EQ(BitmapFileWriter::CreateBitmapInfo(3, 1, 1, 16).imageSize, 8u);
}

TEST(BitmapInfo, ColoursUsedIsTwoToTheDepthBelow24Bits) {
  EXPECT_EQ(BitmapFileWriter::CreateBitmapInfo(4, 4, 1, 1).coloursUsed, 2u);
  EXPECT_EQ(BitmapFileWriter::CreateBitmapInfo(4, 4, 1, 4).coloursUsed, 16u);
  EXPECT_EQ(BitmapFileWriter::CreateBitmapInfo(4, 4, 1, 16).coloursUsed, 65536u);
  EXPECT_EQ(BitmapFileWriter::CreateBitmapInfo(4, 4, 1, 24).coloursUsed, 0u);
  const auto info16 = BitmapFileWriter::CreateBitmapInfo(4, 4, 1, 16);
  EXPECT_EQ(BitmapFileWriter::PixelOffset(info16), 54u + 4u * 65536u);
}

TEST(BitmapFile, ThirtyTwoBitFileLayoutIsExact) {
  test::TempDir dir;
  test::CapturedReports reports;
  const MemoryBitmap bitmap = SmallImage();
  const std::string path = dir.File("shot.bmp");
  ASSERT_EQ(BitmapFileWriter::WriteBitmapFile(path, bitmap), 0);
  EXPECT_TRUE(reports.Empty());

  const auto b = ReadAll(path);
  ASSERT_EQ(b.size(), 54u + 3u * 2u * 4u);
  EXPECT_EQ(b[0], 'B');
  EXPECT_EQ(b[1], 'M');
  EXPECT_EQ(U32(b, 2), b.size());
  EXPECT_EQ(U16(b, 6), 0);
  EXPECT_EQ(U16(b, 8), 0);
  EXPECT_EQ(U32(b, 10), 54u);
  EXPECT_EQ(U32(b, 14), 40u);
  EXPECT_EQ(U32(b, 18), 3u);   // width
  EXPECT_EQ(U32(b, 22), 2u);   // positive height: bottom-up
  EXPECT_EQ(U16(b, 26), 1);    // planes
  EXPECT_EQ(U16(b, 28), 32);   // bits per pixel
  EXPECT_EQ(U32(b, 30), 0u);   // uncompressed
  EXPECT_EQ(U32(b, 34), 24u);  // image size
  for (std::size_t at = 38; at < 54; at += 4) EXPECT_EQ(U32(b, at), 0u) << "offset " << at;
  // The bitmap's bottom row comes first in both, so the bytes are copied unchanged.
  EXPECT_EQ(std::memcmp(b.data() + 54, bitmap.Bits(), bitmap.SizeInBytes()), 0);
}

TEST(BitmapFile, ReplacesAnExistingFileWithoutAsking) {
  test::TempDir dir;
  test::CapturedReports reports;
  const std::string path = dir.Write("old.bmp", std::string(5000, 'x'));
  ASSERT_EQ(BitmapFileWriter::WriteBitmapFile(path, SmallImage()), 0);
  EXPECT_EQ(ReadAll(path).size(), 78u);
  EXPECT_TRUE(reports.Empty());
}

TEST(BitmapFile, UncreatableFileIsReportedPlainly) {
  test::TempDir dir;
  test::CapturedReports reports;
  EXPECT_EQ(BitmapFileWriter::WriteBitmapFile(dir.File("missing/shot.bmp"), SmallImage()), ENOENT);
  ASSERT_EQ(reports.Count(), 1u);
  EXPECT_EQ(reports.Texts()[0], "Unable to create() file to save .bmp...: " + dir.File("missing/shot.bmp") + ": " +
                                    std::strerror(ENOENT));
}

// Both image writers put their bytes out the same way, each failure in its own words.
TEST(BitmapFile, FullDiskIsReportedAndTheDeviceIsLeftAlone) {
  test::CapturedReports reports;
  EXPECT_EQ(BitmapFileWriter::WriteBitmapFile("/dev/full", SmallImage()), ENOSPC);
  EXPECT_EQ(PngFileWriter::WritePngFile("/dev/full", SmallImage()), ENOSPC);
  EXPECT_EQ(reports.Texts(),
            (std::vector<std::string>{std::string("Unable to write .bmp file.: /dev/full: ") + std::strerror(ENOSPC),
                                      std::string("Unable to write .png file.: /dev/full: ") + std::strerror(ENOSPC)}));
  EXPECT_TRUE(std::filesystem::exists("/dev/full"));
}

TEST(BitmapFile, WriteCutShortRemovesThePartialFile) {
  test::TempDir dir;
  test::CapturedReports reports;
  const std::string path = dir.File("big.bmp");
  // Limit the size of files this process may write, so the write stops part way like a full disk.
  rlimit old {};
  ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &old), 0);
  auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
  rlimit small = old;
  small.rlim_cur = 100;
  ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
  const int32_t rc = BitmapFileWriter::WriteBitmapFile(path, MemoryBitmap(20, 20));
  ::setrlimit(RLIMIT_FSIZE, &old);
  std::signal(SIGXFSZ, previousHandler);

  EXPECT_EQ(rc, EFBIG);
  ASSERT_EQ(reports.Count(), 1u);
  EXPECT_EQ(reports.Texts()[0], "Unable to write .bmp file.: " + path + ": " + std::strerror(EFBIG));
  EXPECT_FALSE(std::filesystem::exists(path));
}

TEST(BitmapFile, EmptyImageHasNoRowsToSave) {
  test::TempDir dir;
  test::CapturedReports reports;
  const std::string path = dir.File("empty.bmp");
  EXPECT_EQ(BitmapFileWriter::WriteBitmapFile(path, MemoryBitmap()), -1);
  ASSERT_EQ(reports.Count(), 1u);
  EXPECT_EQ(reports.Texts()[0], "Error on GetDIBits(), cannot save bitmap.");
  EXPECT_FALSE(std::filesystem::exists(path));
}

}  // namespace
}  // namespace skelvane
