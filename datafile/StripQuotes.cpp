#include "datafile/StripQuotes.h"

namespace skelvane {

std::string StripQuotes(std::string_view text) {
  if (text.empty() || text.front() != '"') return std::string(text);
  // Whatever the last character is, it goes with the opening quote; a lone quote leaves nothing.
  if (text.size() == 1) return std::string();
  return std::string(text.substr(1, text.size() - 2));
}

}  // namespace skelvane
