#pragma once
// Writes a frame as a PNG file (8-bit RGB, top row first), whole or not at all. Used by "Save Current
// Display As A Bitmap" for a .png name and by `skelvane-cli snapshot -o NAME.png`.

#include <cstdint>
#include <string>
#include <vector>

namespace skelvane {

class MemoryBitmap;

class PngFileWriter {
 public:
  /// Shown when the file cannot be created.
  static constexpr const char* kCreateFailedMessage = "Unable to create() file to save .png...";
  /// Shown when the image cannot be encoded or written.
  static constexpr const char* kWriteFailedMessage = "Unable to write .png file.";

  /// The PNG bytes of a 32-bit bottom-up bitmap (the fourth byte of each pixel is dropped); empty for
  /// an empty bitmap or when the encoder fails.
  static std::vector<uint8_t> Encode(const MemoryBitmap& bitmap);
  /// Writes the bitmap to `path` through a temporary file renamed over it when complete; 0, or -1 /
  /// an errno after showing the failure as a plain message (an earlier file of that name stays).
  static int32_t WritePngFile(const std::string& path, const MemoryBitmap& bitmap);
  /// True when `path` ends in ".png", in any case.
  static bool HasPngSuffix(const std::string& path);
};

}  // namespace skelvane
