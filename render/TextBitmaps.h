#pragma once
// Lines of text as single 1-bit bitmaps put together from the font's glyphs, kept by text: one
// bitmap call draws a whole line with the very pixels the glyphs drawn one by one give, where the
// software rasteriser pays its set-up once per call rather than once per letter. Used by GLRenderer.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace skelvane {

class BitmapFont;

class TextBitmaps {
 public:
  /// A line's bitmap, in the form glBitmap takes: rows bottom-up, (width + 7) / 8 bytes per row,
  /// leftmost pixel in the top bit; its lower left corner lies (-xOrigin, -yOrigin) from the pen.
  struct Line {
    int32_t width = 0;
    int32_t rows = 0;
    int32_t xOrigin = 0;
    int32_t yOrigin = 0;
    int32_t advance = 0;  // the pen's move over the whole line
    std::vector<uint8_t> bits;
  };
  /// Lines kept at most; the oldest are let go all at once beyond it.
  static constexpr std::size_t kMostKept = 1024;

  /// The line of `text` in `font` (codes without a glyph, 255, drawn as nothing and not moved over,
  /// as a list call skips them).
  const Line& Of(const std::shared_ptr<const BitmapFont>& font, std::string_view text);
  /// Ors the bits of `line` into `into` (of the same form) with its lower left corner `left` columns
  /// right of and `bottom` rows above that of `into`; bits falling outside are left out.
  static void OrInto(const Line& line, int32_t left, int32_t bottom, Line& into);

 private:
  std::shared_ptr<const BitmapFont> font_;  // the font the kept lines are of, held so no other takes its place
  std::unordered_map<std::string, Line> lines_;
};

}  // namespace skelvane
