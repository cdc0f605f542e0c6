#include "render/TextBitmaps.h"

#include <algorithm>
#include <limits>

#include "render/BitmapFont.h"

namespace skelvane {
namespace {

TextBitmaps::Line Compose(const BitmapFont& font, std::string_view text) {
  // The glyphs' boxes relative to the pen at the line's start, then their bits OR'ed into one.
  int32_t pen = 0;
  int32_t left = std::numeric_limits<int32_t>::max();
  int32_t right = std::numeric_limits<int32_t>::min();
  int32_t bottom = std::numeric_limits<int32_t>::max();
  int32_t top = std::numeric_limits<int32_t>::min();
  for (const char c : text) {
    const auto code = static_cast<uint8_t>(c);
    if (code >= BitmapFont::kGlyphCount) continue;
    const BitmapFont::Glyph& glyph = font.GlyphOf(code);
    if (glyph.width > 0 && glyph.rows > 0) {
      left = std::min(left, pen + glyph.left);
      right = std::max(right, pen + glyph.left + glyph.width);
      bottom = std::min(bottom, glyph.top - glyph.rows);
      top = std::max(top, glyph.top);
    }
    pen += glyph.advance;
  }
  TextBitmaps::Line line;
  line.advance = pen;
  if (left >= right) return line;  // nothing but blanks
  line.width = right - left;
  line.rows = top - bottom;
  line.xOrigin = -left;
  line.yOrigin = -bottom;
  const int32_t stride = (line.width + 7) / 8;
  line.bits.assign(static_cast<std::size_t>(stride) * static_cast<std::size_t>(line.rows), 0);
  pen = 0;
  for (const char c : text) {
    const auto code = static_cast<uint8_t>(c);
    if (code >= BitmapFont::kGlyphCount) continue;
    const BitmapFont::Glyph& glyph = font.GlyphOf(code);
    const int32_t glyphStride = (glyph.width + 7) / 8;
    for (int32_t row = 0; row < glyph.rows && !glyph.bits.empty(); ++row) {
      const int32_t y = glyph.top - glyph.rows + row - bottom;
      for (int32_t column = 0; column < glyph.width; ++column) {
        const uint8_t byte = glyph.bits[static_cast<std::size_t>(row * glyphStride + column / 8)];
        if ((byte & (0x80 >> (column % 8))) == 0) continue;
        const int32_t x = pen + glyph.left + column - left;
        line.bits[static_cast<std::size_t>(y * stride + x / 8)] |= static_cast<uint8_t>(0x80 >> (x % 8));
      }
    }
    pen += glyph.advance;
  }
  return line;
}

}  // namespace

const TextBitmaps::Line& TextBitmaps::Of(const std::shared_ptr<const BitmapFont>& font, std::string_view text) {
  if (font_ != font || lines_.size() >= kMostKept) {
    lines_.clear();
    font_ = font;
  }
  const std::string key(text);
  const auto found = lines_.find(key);
  if (found != lines_.end()) return found->second;
  return lines_.emplace(key, Compose(*font, text)).first->second;
}

void TextBitmaps::OrInto(const Line& line, int32_t left, int32_t bottom, Line& into) {
  const int32_t stride = (line.width + 7) / 8;
  const int32_t intoStride = (into.width + 7) / 8;
  for (int32_t row = 0; row < line.rows; ++row) {
    const int32_t y = bottom + row;
    if (y < 0 || y >= into.rows) continue;
    for (int32_t column = 0; column < line.width; ++column) {
      const uint8_t byte = line.bits[static_cast<std::size_t>(row * stride + column / 8)];
      const int32_t x = left + column;
      if ((byte & (0x80 >> (column % 8))) == 0 || x < 0 || x >= into.width) continue;
      into.bits[static_cast<std::size_t>(y * intoStride + x / 8)] |= static_cast<uint8_t>(0x80 >> (x % 8));
    }
  }
}

}  // namespace skelvane
