#pragma once
// Puts an encoded image on disk whole or not at all, and says why when it cannot: the one write-out
// behind BitmapFileWriter and PngFileWriter, each with its own messages.

#include <cstdint>
#include <span>
#include <string>

namespace skelvane {

class ImageFileWriter {
 public:
  /// What the failures say: when the file cannot be created, and when it cannot be written whole.
  struct Messages {
    const char* createFailed;
    const char* writeFailed;
  };

  /// Writes `bytes` to `path` through a temporary file renamed over it when complete; 0, or the errno
  /// after a message naming the file and the system's reason (an earlier file of that name stays).
  static int32_t WriteWhole(const std::string& path, std::span<const uint8_t> bytes, const Messages& messages);
};

}  // namespace skelvane
