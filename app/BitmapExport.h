#pragma once
// "Save Current Display As A Bitmap": asks for a file name and writes the window's canvas image as
// a BMP file. Called by the main window's command handler.

#include <cstdint>

namespace skelvane {

class MemoryBitmap;

class BitmapExport {
 public:
  /// Title of the Save As chooser.
  static constexpr const char* kChooserTitle = "Save Kestrelon Bitmap File";
  /// Suffix the chooser adds when the user types none.
  static constexpr const char* kDefaultSuffix = "bmp";

  /// Asks for a path and writes the whole canvas image there (an existing file is replaced without a
  /// question); 0 when written or cancelled, else the failure's code (already reported).
  static int32_t SaveDisplayAsBitmap(const MemoryBitmap& windowImage);
};

}  // namespace skelvane
