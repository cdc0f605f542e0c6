#include "datafile/FileHeader.h"

#include <cstring>

#include "platform/StatusCodes.h"

namespace skelvane {

int32_t FileHeader::GetHeaderValue(const std::string& key, std::string& value) {
  // The last byte is forced to NUL so the text always ends inside the buffer, whatever the file held.
  constexpr std::size_t kLast = kFileHeaderSize - 1;
  bytes_[kLast] = '\0';

  // The key may sit anywhere, not only at the start of a line: the first byte-for-byte match wins,
  // so a key that is a prefix of an earlier, longer key finds that longer key.
  std::size_t found = kFileHeaderSize;
  if (key.size() <= kFileHeaderSize) {
    for (std::size_t i = 0; i + key.size() <= kFileHeaderSize; ++i) {
      if (std::memcmp(bytes_.data() + i, key.data(), key.size()) == 0) {
        found = i;
        break;
      }
    }
  }
  if (found == kFileHeaderSize) return kStatusNoData;

  // A value starting on the forced terminator is empty; only one that would start past the last
  // byte (a key matched through the terminator) has no place in the header.
  const std::size_t start = found + key.size();
  if (start > kLast) return kStatusKeyAtEnd;

  std::string result;
  for (std::size_t i = start; i < kLast; ++i) {
    const char c = bytes_[i];
    if (c == '\r' || c == '\n' || c == '\0') break;
    if (c == ' ' || c == '\t') continue;
    result.push_back(c);
  }
  value = std::move(result);
  return kStatusOk;
}

}  // namespace skelvane
