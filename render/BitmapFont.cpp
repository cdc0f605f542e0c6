#include "render/BitmapFont.h"

#include <fontconfig/fontconfig.h>
#include <ft2build.h>
#include FT_FREETYPE_H

#include <algorithm>
#include <map>
#include <mutex>
#include <tuple>

namespace skelvane {
namespace {

constexpr int kFixedPointShift = 6;  // FreeType's 26.6 fixed point
constexpr long kFixedPointHalf = 32;
constexpr int kBitsPerByte = 8;

// Windows-1252 puts printable characters where Latin-1 has C1 controls; the five codes it leaves
// undefined keep their Latin-1 value, as the system code page conversion does.
constexpr std::array<uint32_t, 32> kCodes80To9F = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};
constexpr uint8_t kFirstRemappedCode = 0x80;
constexpr uint8_t kLastRemappedCode = 0x9F;

class FreeTypeFace {
 public:
  FreeTypeFace(const std::string& file, int32_t faceIndex) {
    if (FT_Init_FreeType(&library_) != 0) {
      library_ = nullptr;
      return;
    }
    if (FT_New_Face(library_, file.c_str(), faceIndex, &face_) != 0) face_ = nullptr;
  }
  ~FreeTypeFace() {
    if (face_ != nullptr) FT_Done_Face(face_);
    if (library_ != nullptr) FT_Done_FreeType(library_);
  }
  FreeTypeFace(const FreeTypeFace&) = delete;
  FreeTypeFace& operator=(const FreeTypeFace&) = delete;

  FT_Face Face() const { return face_; }

 private:
  FT_Library library_ = nullptr;
  FT_Face face_ = nullptr;
};

int32_t WholePixels(FT_Pos value) { return static_cast<int32_t>((value + kFixedPointHalf) >> kFixedPointShift); }

}  // namespace

uint32_t BitmapFont::CodePointOf(uint8_t code) {
  if (code >= kFirstRemappedCode && code <= kLastRemappedCode) return kCodes80To9F[code - kFirstRemappedCode];
  return code;
}

bool BitmapFont::Locate(std::string_view family, std::string& file, int32_t& faceIndex) {
  const std::string name(family);
  FcPattern* pattern = FcNameParse(reinterpret_cast<const FcChar8*>(name.c_str()));
  if (pattern == nullptr) return false;
  FcConfigSubstitute(nullptr, pattern, FcMatchPattern);
  FcDefaultSubstitute(pattern);
  FcResult result = FcResultNoMatch;
  FcPattern* match = FcFontMatch(nullptr, pattern, &result);
  FcPatternDestroy(pattern);
  if (match == nullptr) return false;
  FcChar8* path = nullptr;
  int index = 0;
  const bool found = FcPatternGetString(match, FC_FILE, 0, &path) == FcResultMatch && path != nullptr;
  if (found) {
    file = reinterpret_cast<const char*>(path);
    if (FcPatternGetInteger(match, FC_INDEX, 0, &index) != FcResultMatch) index = 0;
    faceIndex = index;
  }
  FcPatternDestroy(match);
  return found;
}

bool BitmapFont::CanOpen(const std::string& file, int32_t faceIndex) {
  FreeTypeFace face(file, faceIndex);
  return face.Face() != nullptr;
}

std::shared_ptr<const BitmapFont> BitmapFont::Load(const std::string& file, int32_t faceIndex, int32_t cellHeight) {
  // Rasterising every glyph costs far more than a redraw, so each face and height is done once.
  static std::mutex mutex;
  static std::map<std::tuple<std::string, int32_t, int32_t>, std::shared_ptr<const BitmapFont>> cache;
  std::lock_guard<std::mutex> lock(mutex);
  const auto key = std::make_tuple(file, faceIndex, cellHeight);
  if (auto cached = cache.find(key); cached != cache.end()) return cached->second;

  FreeTypeFace source(file, faceIndex);
  FT_Face face = source.Face();
  if (face == nullptr || cellHeight <= 0) return nullptr;

  std::shared_ptr<BitmapFont> font(new BitmapFont);
  // A cell height counts ascent plus descent, so the em is the largest one whose rounded
  // ascent and descent still fit.
  for (int32_t size = cellHeight; size > 0 && font->pixelSize_ == 0; --size) {
    if (FT_Set_Pixel_Sizes(face, 0, static_cast<FT_UInt>(size)) != 0) continue;
    const int32_t ascent = WholePixels(face->size->metrics.ascender);
    const int32_t descent = -WholePixels(face->size->metrics.descender);
    if (ascent + descent <= cellHeight) {
      font->pixelSize_ = size;
      font->ascent_ = ascent;
      font->descent_ = descent;
    }
  }
  if (font->pixelSize_ == 0) return nullptr;

  for (int32_t code = 0; code < kCodeCount; ++code) {
    const FT_UInt glyphIndex = FT_Get_Char_Index(face, CodePointOf(static_cast<uint8_t>(code)));
    if (FT_Load_Glyph(face, glyphIndex, FT_LOAD_RENDER | FT_LOAD_TARGET_MONO) != 0) return nullptr;
    const FT_GlyphSlot slot = face->glyph;
    font->advances_[code] = WholePixels(slot->advance.x);
    if (code >= kGlyphCount) continue;

    const FT_Bitmap& bitmap = slot->bitmap;
    Glyph& glyph = font->glyphs_[code];
    glyph.advance = font->advances_[code];
    glyph.left = slot->bitmap_left;
    glyph.top = slot->bitmap_top;
    if (bitmap.width == 0 || bitmap.rows == 0) continue;
    if (bitmap.pixel_mode != FT_PIXEL_MODE_MONO) return nullptr;
    glyph.width = static_cast<int32_t>(bitmap.width);
    glyph.rows = static_cast<int32_t>(bitmap.rows);
    const std::size_t rowBytes = (bitmap.width + kBitsPerByte - 1) / kBitsPerByte;
    glyph.bits.resize(rowBytes * bitmap.rows);
    // FreeType stores rows top-down; glBitmap wants the bottom row first.
    for (unsigned int row = 0; row < bitmap.rows; ++row) {
      const unsigned char* sourceRow = bitmap.buffer + static_cast<std::ptrdiff_t>(row) * bitmap.pitch;
      if (bitmap.pitch < 0) {
        sourceRow = bitmap.buffer + static_cast<std::ptrdiff_t>(bitmap.rows - 1 - row) * -bitmap.pitch;
      }
      std::copy(sourceRow, sourceRow + rowBytes, glyph.bits.begin() + (bitmap.rows - 1 - row) * rowBytes);
    }
  }
  cache.emplace(key, font);
  return font;
}

int32_t BitmapFont::TextWidth(std::string_view text) const {
  int32_t width = 0;
  for (const char c : text) width += advances_[static_cast<uint8_t>(c)];
  return width;
}

}  // namespace skelvane
