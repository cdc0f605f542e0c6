// Fuzzes the header lookup: the first byte gives the key's length, the key follows, the rest is
// the header's bytes.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "datafile/FileHeader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const std::size_t keyLength = std::min<std::size_t>(data[0], size - 1);
  const std::string key(reinterpret_cast<const char*>(data + 1), keyLength);
  const std::size_t headerBytes = std::min(size - 1 - keyLength, skelvane::kFileHeaderSize);
  skelvane::FileHeader header;
  // Place the bytes at the end of the header so keys near the last byte get exercised too.
  const std::size_t at = data[0] % 2 == 0 ? 0 : skelvane::kFileHeaderSize - headerBytes;
  std::memcpy(header.Data() + at, data + 1 + keyLength, headerBytes);
  std::string value = "unchanged";
  const int32_t rc = header.GetHeaderValue(key, value);
  if (rc != 0 && value != "unchanged") __builtin_trap();
  if (rc == 0 && value.size() >= skelvane::kFileHeaderSize) __builtin_trap();
  return 0;
}
