#pragma once
// The label font as 1-bit glyph bitmaps for the byte codes 0..254 (Windows-1252), rasterised once
// per face and size with FreeType. GLRenderer turns the glyphs into display lists and measures text.

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace skelvane {

class BitmapFont {
 public:
  /// Number of codes that get a glyph bitmap (0..254); code 255 is measured but never drawn.
  static constexpr int32_t kGlyphCount = 255;
  /// Number of byte codes with an advance width.
  static constexpr int32_t kCodeCount = 256;

  /// One glyph: bits rows bottom-up, (width + 7) / 8 bytes per row, leftmost pixel in the top bit.
  struct Glyph {
    int32_t width = 0;
    int32_t rows = 0;
    int32_t left = 0;     // pen to the glyph's left edge
    int32_t top = 0;      // baseline to the glyph's top row
    int32_t advance = 0;  // whole pixels
    std::vector<uint8_t> bits;
  };

  /// Finds the font file fontconfig offers for `family`; false when it offers none.
  static bool Locate(std::string_view family, std::string& file, int32_t& faceIndex);
  /// Whether FreeType can open the face at all (the cheap first check before rasterising).
  static bool CanOpen(const std::string& file, int32_t faceIndex);
  /// The face rasterised at the largest pixel size whose ascent + descent fits `cellHeight`,
  /// shared with every earlier load of the same file, face and height; null when it cannot be made.
  static std::shared_ptr<const BitmapFont> Load(const std::string& file, int32_t faceIndex, int32_t cellHeight);

  /// The glyph of `code` (0..254).
  const Glyph& GlyphOf(uint8_t code) const { return glyphs_[code]; }
  /// Advance of `code` in whole pixels (all 256 codes).
  int32_t Advance(uint8_t code) const { return advances_[code]; }
  /// Sum of the advances of the text's bytes.
  int32_t TextWidth(std::string_view text) const;
  /// Ascent plus descent in pixels: the height of every line of text.
  int32_t CellHeight() const { return ascent_ + descent_; }
  /// Pixels from the baseline up to the top of the cell.
  int32_t Ascent() const { return ascent_; }
  /// Pixels from the baseline down to the bottom of the cell.
  int32_t Descent() const { return descent_; }
  /// The FreeType pixel size (em) chosen to fit the cell height.
  int32_t PixelSize() const { return pixelSize_; }

  /// The Unicode code point a Windows-1252 byte stands for.
  static uint32_t CodePointOf(uint8_t code);

 private:
  BitmapFont() = default;

  std::array<Glyph, kGlyphCount> glyphs_;
  std::array<int32_t, kCodeCount> advances_{};
  int32_t ascent_ = 0;
  int32_t descent_ = 0;
  int32_t pixelSize_ = 0;
};

}  // namespace skelvane
