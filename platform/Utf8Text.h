#pragma once
// Text of unknown origin (file names, header values) made safe to show: control characters and bytes
// that are no UTF-8 never reach a terminal or a JSON file as they are. Used by the CLI and the summary.

#include <string>
#include <string_view>

namespace skelvane {

class Utf8Text {
 public:
  /// The text with every control character (C0, DEL and C1) and every byte outside a valid UTF-8
  /// character written as \xNN, and a backslash as \\; valid printable characters stay as they are.
  static std::string ForTerminal(std::string_view text);
  /// The text as a quoted JSON string: quote, backslash and control characters escaped, every byte
  /// outside a valid UTF-8 character replaced by U+FFFD, so the result is always valid Unicode.
  static std::string JsonQuoted(std::string_view text);
  /// Bytes of the valid UTF-8 character at the start of `text` (1 to 4), or 0 when it begins with
  /// none; `codePoint` receives the character.
  static std::size_t CharacterAt(std::string_view text, char32_t& codePoint);
};

}  // namespace skelvane
