#include "datafile/FileHeader.h"

#include <algorithm>
#include <cstring>

#include "platform/StatusCodes.h"

namespace skelvane {
namespace {

constexpr std::size_t kLast = kFileHeaderSize - 1;
// Read for an empty header, as far as anyone compares its first bytes.
constexpr char kNoText[kHeaderMarker.size()] = {};

// The end of the last nonzero byte of `bytes`. A real header is some hundred bytes of text and then
// NULs: whole words of zeros are passed over from the end before the bytes of the last one are looked at.
std::size_t EndOfText(const char* bytes, std::size_t count) {
  std::size_t end = count;
  while (end >= sizeof(uint64_t)) {
    uint64_t word = 0;
    std::memcpy(&word, bytes + end - sizeof word, sizeof word);
    if (word != 0) break;
    end -= sizeof word;
  }
  while (end > 0 && bytes[end - 1] == '\0') --end;
  return end;
}

}  // namespace

void FileHeader::Assign(const char* bytes, std::size_t count) {
  const std::size_t end = EndOfText(bytes, std::min(count, kFileHeaderSize));
  if (end == 0) {
    text_.clear();
    return;
  }
  text_.assign(bytes, end);
  if (text_.size() < kHeaderMarker.size()) text_.resize(kHeaderMarker.size(), '\0');
}

char* FileHeader::Data() {
  text_.resize(kFileHeaderSize, '\0');
  return text_.data();
}

const char* FileHeader::Data() const { return text_.empty() ? kNoText : text_.data(); }

int32_t FileHeader::GetHeaderValue(const std::string& key, std::string& value) {
  // The last byte is forced to NUL so the text always ends inside the header, whatever the file held.
  if (text_.size() > kLast) text_[kLast] = '\0';
  const std::string_view text(text_);
  if (key.size() > kFileHeaderSize) return kStatusNoData;

  // The key may sit anywhere, not only at the start of a line: the first byte-for-byte match wins,
  // so a key that is a prefix of an earlier, longer key finds that longer key. Past the kept text
  // every byte is NUL, so only a key holding a NUL can match there; and where an all-NUL stretch
  // matches past the text, one starting right at its end matches first.
  std::size_t found = std::string_view::npos;
  if (key.find('\0') == std::string::npos) {
    found = text.find(key);
  } else {
    std::string padded(text);
    padded.resize(std::min(kFileHeaderSize, text.size() + key.size()), '\0');
    found = std::string_view(padded).find(key);
  }
  if (found == std::string_view::npos) return kStatusNoData;

  // A value starting on the forced terminator is empty; only one that would start past the last
  // byte (a key matched through the terminator) has no place in the header.
  const std::size_t start = found + key.size();
  if (start > kLast) return kStatusKeyAtEnd;

  std::string result;
  for (std::size_t i = start; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '\r' || c == '\n' || c == '\0') break;
    if (c == ' ' || c == '\t') continue;
    result.push_back(c);
  }
  value = std::move(result);
  return kStatusOk;
}

}  // namespace skelvane
