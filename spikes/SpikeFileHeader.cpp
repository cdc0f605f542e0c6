#include "spikes/SpikeFileHeader.h"

#include <algorithm>
#include <charconv>

namespace skelvane {
namespace {

constexpr std::string_view kBlanks = " \t";
constexpr std::string_view kLineEnds = "\r\n";

// Calls `line` for each line of the text without its CR LF; stops when it returns true.
template <typename Visit>
void ForEachLine(std::string_view text, Visit line) {
  while (!text.empty()) {
    const std::size_t end = text.find_first_of(kLineEnds);
    if (line(text.substr(0, end))) return;
    if (end == std::string_view::npos) return;
    text.remove_prefix(end);
    text.remove_prefix(std::min(text.find_first_not_of(kLineEnds), text.size()));
  }
}

std::vector<std::string> SplitWords(std::string_view text) {
  std::vector<std::string> words;
  while (true) {
    const std::size_t start = text.find_first_not_of(kBlanks);
    if (start == std::string_view::npos) return words;
    text.remove_prefix(start);
    const std::size_t end = std::min(text.find_first_of(kBlanks), text.size());
    words.emplace_back(text.substr(0, end));
    text.remove_prefix(end);
  }
}

}  // namespace

SpikeFileHeader::SpikeFileHeader(std::string_view bytes) : text_(bytes.substr(0, bytes.find('\0'))) {}

std::optional<std::vector<std::string>> SpikeFileHeader::Values(std::string_view key) const {
  std::optional<std::vector<std::string>> found;
  ForEachLine(text_, [&](std::string_view line) {
    std::vector<std::string> words = SplitWords(line);
    if (words.empty() || words.front() != key) return false;
    words.erase(words.begin());
    found = std::move(words);
    return true;
  });
  return found;
}

std::optional<int64_t> SpikeFileHeader::IntegerValue(std::string_view key) const {
  const auto values = Values(key);
  if (!values || values->empty()) return std::nullopt;
  return ParseInteger(values->front());
}

std::vector<std::optional<int64_t>> SpikeFileHeader::IntegerValues(std::string_view key) const {
  std::vector<std::optional<int64_t>> numbers;
  if (const auto values = Values(key)) {
    for (const std::string& value : *values) numbers.push_back(ParseInteger(value));
  }
  return numbers;
}

std::vector<std::string> SpikeFileHeader::SourceFiles() const {
  std::vector<std::string> files;
  ForEachLine(text_, [&](std::string_view line) {
    if (line.starts_with(kCreatedFromPrefix)) files.emplace_back(line.substr(kCreatedFromPrefix.size()));
    return false;
  });
  return files;
}

std::optional<int64_t> SpikeFileHeader::ParseInteger(std::string_view text) {
  if (text.size() > 1 && text[0] == '+' && text[1] >= '0' && text[1] <= '9') text.remove_prefix(1);
  int64_t value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (text.empty() || error != std::errc() || end != text.data() + text.size()) return std::nullopt;
  return value;
}

}  // namespace skelvane
