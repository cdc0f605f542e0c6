// Fuzzes the header lookup over the whole 16 KiB header: the first byte gives the key's length, the
// key follows, and the rest is laid over the header from its start or against its end (so keys at
// the very last bytes are reached), or repeated to fill all of it.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "datafile/FileHeader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using skelvane::kFileHeaderSize;
  if (size == 0) return 0;
  const std::size_t keyLength = std::min<std::size_t>(data[0] & 0x3F, size - 1);
  const std::string key(reinterpret_cast<const char*>(data + 1), keyLength);
  const uint8_t* body = data + 1 + keyLength;
  const std::size_t bodySize = std::min(size - 1 - keyLength, kFileHeaderSize);
  skelvane::FileHeader header;
  const int layout = data[0] >> 6;
  if (layout == 3 && bodySize > 0) {
    for (std::size_t at = 0; at < kFileHeaderSize; at += bodySize) {
      std::memcpy(header.Data() + at, body, std::min(bodySize, kFileHeaderSize - at));
    }
  } else {
    const std::size_t at = layout == 1 ? kFileHeaderSize - bodySize : 0;
    std::memcpy(header.Data() + at, body, bodySize);
  }
  std::string value = "unchanged";
  const int32_t rc = header.GetHeaderValue(key, value);
  if (rc != 0 && value != "unchanged") __builtin_trap();
  if (rc == 0 && value.size() >= kFileHeaderSize) __builtin_trap();
  return 0;
}
