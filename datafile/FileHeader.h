#pragma once
// The 16384-byte text header at the start of a data file, kept as its text up to the last nonzero
// byte (the rest of a real header is NULs), and the lookup of a dash-prefixed key's value in it.
// Held by each record reader; read through the data source manager.

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
  FileHeader() = default;

  /// Keeps the header whose first `count` bytes (at most kFileHeaderSize) are `bytes`, the rest zeros:
  /// only the bytes up to the last nonzero one are copied.
  void Assign(const char* bytes, std::size_t count);

  /// Looks up `key` (first occurrence anywhere, case-sensitive, no trimming) and stores its value
  /// with every blank, tab, CR and LF removed; 0, -603 when absent, -606 when the value would begin
  /// past the header's last byte. `value` is untouched on failure. The header's last byte reads as NUL.
  int32_t GetHeaderValue(const std::string& key, std::string& value);

  /// All kFileHeaderSize bytes, writable, for building a header in place (tests, fuzzing): the kept
  /// text grows to the full size, zero-padded.
  char* Data();
  /// The kept bytes, NUL-padded to at least the marker's length, so comparing the marker is safe.
  const char* Data() const;

 private:
  // The header's bytes up to its last nonzero one; every byte past them is NUL. Empty: all zeros.
  std::string text_;
};

}  // namespace skelvane
