#include "platform/Utf8Text.h"

#include <cstdio>

namespace skelvane {
namespace {

constexpr char32_t kFirstPrintable = 0x20;
constexpr char32_t kDelete = 0x7F;
constexpr char32_t kLastC1Control = 0x9F;
constexpr char32_t kFirstSurrogate = 0xD800;
constexpr char32_t kLastSurrogate = 0xDFFF;
constexpr char32_t kLastCodePoint = 0x10FFFF;
constexpr const char* kReplacementCharacter = "\\ufffd";

// The lead byte of a character of each length: its fixed bits, their value and the payload bits.
struct LeadForm {
  unsigned char mask, value, payload;
  std::size_t length;
};
constexpr LeadForm kLeadForms[] = {{0x80, 0x00, 0x7F, 1}, {0xE0, 0xC0, 0x1F, 2}, {0xF0, 0xE0, 0x0F, 3}, {0xF8, 0xF0, 0x07, 4}};
constexpr unsigned char kContinuationMask = 0xC0;
constexpr unsigned char kContinuationValue = 0x80;
constexpr unsigned char kContinuationPayload = 0x3F;
constexpr int kContinuationBits = 6;

// Smallest code point each length may encode: anything below is an overlong form.
constexpr char32_t kSmallestOfLength[] = {0, 0, 0x80, 0x800, 0x10000};

bool IsControl(char32_t c) { return c < kFirstPrintable || (c >= kDelete && c <= kLastC1Control); }

std::string Hex(unsigned char byte, const char* format) {
  char text[8];
  std::snprintf(text, sizeof text, format, byte);
  return text;
}

}  // namespace

std::size_t Utf8Text::CharacterAt(std::string_view text, char32_t& codePoint) {
  if (text.empty()) return 0;
  const auto lead = static_cast<unsigned char>(text[0]);
  const LeadForm* form = nullptr;
  for (const LeadForm& candidate : kLeadForms) {
    if ((lead & candidate.mask) == candidate.value) form = &candidate;
  }
  if (form == nullptr || text.size() < form->length) return 0;
  char32_t value = lead & form->payload;
  for (std::size_t i = 1; i < form->length; ++i) {
    const auto byte = static_cast<unsigned char>(text[i]);
    if ((byte & kContinuationMask) != kContinuationValue) return 0;
    value = (value << kContinuationBits) | (byte & kContinuationPayload);
  }
  if (value < kSmallestOfLength[form->length] || value > kLastCodePoint ||
      (value >= kFirstSurrogate && value <= kLastSurrogate)) {
    return 0;
  }
  codePoint = value;
  return form->length;
}

std::string Utf8Text::ForTerminal(std::string_view text) {
  std::string shown;
  while (!text.empty()) {
    char32_t c = 0;
    const std::size_t length = CharacterAt(text, c);
    if (length == 0 || IsControl(c)) {
      shown += Hex(static_cast<unsigned char>(text[0]), "\\x%02x");
      if (length > 1) {  // a C1 control: each of its two bytes
        shown += Hex(static_cast<unsigned char>(text[1]), "\\x%02x");
      }
      text.remove_prefix(length > 1 ? length : 1);
      continue;
    }
    if (c == '\\') shown += '\\';
    shown.append(text.substr(0, length));
    text.remove_prefix(length);
  }
  return shown;
}

std::string Utf8Text::JsonQuoted(std::string_view text) {
  std::string quoted = "\"";
  while (!text.empty()) {
    char32_t c = 0;
    const std::size_t length = CharacterAt(text, c);
    if (length == 0) {
      quoted += kReplacementCharacter;
      text.remove_prefix(1);
      continue;
    }
    if (c == '"' || c == '\\') {
      quoted += '\\';
      quoted += static_cast<char>(c);
    } else if (c < kFirstPrintable) {
      quoted += Hex(static_cast<unsigned char>(c), "\\u%04x");
    } else {
      quoted.append(text.substr(0, length));
    }
    text.remove_prefix(length);
  }
  return quoted + "\"";
}

}  // namespace skelvane
