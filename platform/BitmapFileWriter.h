#pragma once
// Writes a frame as a Windows bitmap file (14-byte file header, 40-byte information header, optional
// colour table, bottom-up rows padded to 4 bytes). Used by "Save Current Display As A Bitmap" and the
// snapshot command; failures are shown as plain messages.

#include <cstdint>
#include <string>
#include <vector>

namespace skelvane {

class MemoryBitmap;

class BitmapFileWriter {
 public:
  /// Bytes of the file header ("BM", file size, two reserved words, pixel offset).
  static constexpr int32_t kFileHeaderSize = 14;
  /// Bytes of the information header that follows it.
  static constexpr int32_t kInfoHeaderSize = 40;
  /// The file type word, "BM" read as a little-endian 16-bit value.
  static constexpr uint16_t kBitmapType = 0x4D42;

  /// The information header and the colour table that goes with it.
  struct BitmapInfo {
    int32_t width = 0;
    int32_t height = 0;          // positive: rows are stored bottom-up
    uint16_t planes = 0;
    uint16_t bitCount = 0;       // the image's own bits per pixel
    uint32_t compression = 0;    // uncompressed RGB
    uint32_t imageSize = 0;      // bytes of all rows, each padded to a multiple of 4
    uint32_t coloursUsed = 0;    // colour-table entries written after the header
    int32_t depthClass = 0;      // 1, 4, 8, 16, 24 or 32: the depth the rows are laid out in
    std::vector<uint32_t> colourTable;  // room for the table (one spare entry at 32 bits)
  };

  /// Depth class for planes x bits per pixel: 1, 4, 8, 16, 24, or 32 above 24.
  static int32_t DepthClass(int32_t planes, int32_t bitsPerPixel);
  /// Fills the information header for an image of the given size and depth.
  static BitmapInfo CreateBitmapInfo(int32_t width, int32_t height, int32_t planes, int32_t bitsPerPixel);
  /// Offset of the first pixel byte: both headers plus the colour table.
  static uint32_t PixelOffset(const BitmapInfo& info);
  /// Size of the whole file.
  static uint32_t FileSize(const BitmapInfo& info);
  /// The 14 + 40 header bytes followed by the colour table, as they go into the file.
  static std::vector<uint8_t> EncodeHeaders(const BitmapInfo& info);

  /// Writes the 32-bit bottom-up bitmap to `path`, replacing any file there whole; 0, -1 or an errno,
  /// after a message naming the file and the system's reason. On failure an earlier file stays as it was.
  static int32_t WriteBitmapFile(const std::string& path, const MemoryBitmap& bitmap);
};

}  // namespace skelvane
