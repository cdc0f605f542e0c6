#include "platform/BitmapFileWriter.h"

#include <bit>
#include <cstring>
#include <new>

#include "platform/ImageFileWriter.h"
#include "platform/MemoryBitmap.h"
#include "platform/ReportError.h"
#include "platform/StatusCodes.h"

namespace skelvane {
namespace {

static_assert(std::endian::native == std::endian::little, "bitmap headers are written in host byte order");

constexpr int32_t kOurBitsPerPixel = 32;
constexpr int32_t kOurPlanes = 1;
constexpr int32_t kBytesPerTableEntry = 4;

constexpr const char* kNoMemoryMessage = "No memory availible on globalalloc for bitmap file.";
constexpr const char* kNoRowsMessage = "Error on GetDIBits(), cannot save bitmap.";
constexpr const char* kCreateFailedMessage = "Unable to create() file to save .bmp...";
constexpr const char* kWriteFailedMessage = "Unable to write .bmp file.";

template <typename T>
void Put(std::vector<uint8_t>& out, T value) {
  const std::size_t at = out.size();
  out.resize(at + sizeof(T));
  std::memcpy(out.data() + at, &value, sizeof(T));
}

// Entries allocated for the table: a 32-bit image keeps one spare entry that is never written.
uint32_t TableEntriesFor(int32_t depthClass) {
  switch (depthClass) {
    case 1: return 2;
    case 4: return 16;
    case 8: return 256;
    case 16: return 65536;
    case 24: return 0;
    default: return 1;
  }
}

}  // namespace

int32_t BitmapFileWriter::DepthClass(int32_t planes, int32_t bitsPerPixel) {
  const int64_t depth = int64_t{planes} * bitsPerPixel;
  if (depth == 1) return 1;
  if (depth <= 4) return 4;
  if (depth <= 8) return 8;
  if (depth <= 16) return 16;
  if (depth <= 24) return 24;
  return 32;
}

BitmapFileWriter::BitmapInfo BitmapFileWriter::CreateBitmapInfo(int32_t width, int32_t height, int32_t planes,
                                                                int32_t bitsPerPixel) {
  BitmapInfo info;
  info.width = width;
  info.height = height;
  info.planes = static_cast<uint16_t>(planes);
  info.bitCount = static_cast<uint16_t>(bitsPerPixel);
  info.depthClass = DepthClass(planes, bitsPerPixel);
  const int64_t rowBytes = ((int64_t{info.depthClass} * width + 31) / 32) * 4;
  info.imageSize = static_cast<uint32_t>(rowBytes * height);
  info.coloursUsed = info.depthClass < 24 ? (uint32_t{1} << info.depthClass) : 0;
  info.colourTable.assign(TableEntriesFor(info.depthClass), 0);
  return info;
}

uint32_t BitmapFileWriter::PixelOffset(const BitmapInfo& info) {
  return kInfoHeaderSize + info.coloursUsed * kBytesPerTableEntry + kFileHeaderSize;
}

uint32_t BitmapFileWriter::FileSize(const BitmapInfo& info) {
  return kInfoHeaderSize + info.imageSize + info.coloursUsed * kBytesPerTableEntry + kFileHeaderSize;
}

std::vector<uint8_t> BitmapFileWriter::EncodeHeaders(const BitmapInfo& info) {
  std::vector<uint8_t> out;
  out.reserve(PixelOffset(info));
  Put<uint16_t>(out, kBitmapType);
  Put<uint32_t>(out, FileSize(info));
  Put<uint16_t>(out, 0);
  Put<uint16_t>(out, 0);
  Put<uint32_t>(out, PixelOffset(info));

  Put<uint32_t>(out, kInfoHeaderSize);
  Put<int32_t>(out, info.width);
  Put<int32_t>(out, info.height);
  Put<uint16_t>(out, info.planes);
  Put<uint16_t>(out, info.bitCount);
  Put<uint32_t>(out, info.compression);
  Put<uint32_t>(out, info.imageSize);
  Put<int32_t>(out, 0);  // horizontal resolution
  Put<int32_t>(out, 0);  // vertical resolution
  Put<uint32_t>(out, info.coloursUsed);
  Put<uint32_t>(out, 0);  // important colours

  for (uint32_t i = 0; i < info.coloursUsed; ++i) {
    Put<uint32_t>(out, i < info.colourTable.size() ? info.colourTable[i] : 0u);
  }
  return out;
}

int32_t BitmapFileWriter::WriteBitmapFile(const std::string& path, const MemoryBitmap& bitmap) {
  if (bitmap.Width() <= 0 || bitmap.Height() <= 0) {
    ShowMessage(kNoRowsMessage);
    return kStatusFailed;
  }
  std::vector<uint8_t> bytes;
  try {
    const BitmapInfo info = CreateBitmapInfo(bitmap.Width(), bitmap.Height(), kOurPlanes, kOurBitsPerPixel);
    bytes = EncodeHeaders(info);
    // 32-bit rows are already a multiple of 4 bytes and bottom-up, exactly as the file stores them.
    bytes.insert(bytes.end(), bitmap.Bits(), bitmap.Bits() + bitmap.SizeInBytes());
  } catch (const std::bad_alloc&) {
    ShowMessage(kNoMemoryMessage);
    return kStatusFailed;
  }

  return ImageFileWriter::WriteWhole(path, bytes, {kCreateFailedMessage, kWriteFailedMessage});
}

}  // namespace skelvane
