#pragma once
// A private temporary folder for the fuzz targets: each input is written there as a file, because the
// code under test reads files, and reports are silenced so a run prints only the fuzzer's findings.

#include <cstddef>
#include <cstdint>
#include <string>

namespace skelvane::fuzz {

class FuzzScratch {
 public:
  /// The folder, made on first use (aborts when it cannot be: nothing could be tested).
  static const std::string& Folder();
  /// Writes `size` bytes as `name` in the folder, replacing it, and returns its path.
  static std::string WriteFile(const std::string& name, const uint8_t* data, std::size_t size);
  /// A fresh empty subfolder `name` (its old contents removed) and its path.
  static std::string EmptyFolder(const std::string& name);
};

}  // namespace skelvane::fuzz
