#pragma once
// The 16384-byte text header at the start of a data file, kept as it stands, and the lookup of a
// dash-prefixed key's value in it. Held by each record reader; read through the data source manager.

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace skelvane {

/// Size of the fixed header; records of a file with the marker start right after it.
inline constexpr std::size_t kFileHeaderSize = 16384;
/// The first bytes of a file that has a fixed header.
inline constexpr std::string_view kHeaderMarker = "######## Kestrelon";

class FileHeader {
 public:
  /// An all-zero header (what a file without the marker keeps).
  FileHeader() { bytes_.fill(0); }

  /// Looks up `key` (first occurrence anywhere, case-sensitive, no trimming) and stores its value
  /// with every blank, tab, CR and LF removed; 0, -603 when absent, -606 when the value would begin
  /// past the header's last byte. `value` is untouched on failure.
  int32_t GetHeaderValue(const std::string& key, std::string& value);

  /// The raw header bytes (always kFileHeaderSize of them).
  char* Data() { return bytes_.data(); }
  const char* Data() const { return bytes_.data(); }

 private:
  std::array<char, kFileHeaderSize> bytes_;
};

}  // namespace skelvane
