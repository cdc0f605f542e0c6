#pragma once
// "Save Current Display As A Bitmap": asks for a file name and writes the window's canvas image as
// a BMP file, or as PNG for a .png name; the chooser offers the type saved last. Called by the main
// window's command handler.

#include <cstdint>
#include <string>

namespace skelvane {

class MemoryBitmap;

class BitmapExport {
 public:
  /// Title of the Save As chooser.
  static constexpr const char* kChooserTitle = "Save Kestrelon Bitmap File";
  /// Suffix the chooser offers and adds to a name typed without one, until a picture is saved.
  static constexpr const char* kDefaultSuffix = "bmp";

  /// Asks for a path and writes the whole canvas image there, as PNG when the name ends in ".png",
  /// else as BMP; an existing file is replaced only when the user agrees, and No asks for another
  /// name, as a recording or a spike file at the name does (never replaced, said why). 0 when written or cancelled, else the failure's code (already reported).
  static int32_t SaveDisplayAsBitmap(const MemoryBitmap& windowImage);
  /// The text of the overwrite question (put through UserQuestions) for a path.
  static std::string OverwriteQuestionText(const std::string& path);
};

}  // namespace skelvane
