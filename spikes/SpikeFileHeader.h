#pragma once
// The text header of a spike file, read line by line: the per-source values of a key (one per
// channel) and the data files the spikes came from. Used by SpikeFile and, through it, the panel.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "spikes/SpikeFileFormat.h"

namespace skelvane {

class SpikeFileHeader {
 public:
  /// The line that names each data file of the group, in channel order.
  static constexpr std::string_view kCreatedFromPrefix = SpikeFileFormat::kCreatedFromPrefix;

  /// An empty header (no file read yet).
  SpikeFileHeader() = default;
  /// Keeps the header bytes up to the first NUL (the writer pads the block with zeros).
  explicit SpikeFileHeader(std::string_view bytes);

  /// The header text as kept.
  const std::string& Text() const { return text_; }
  /// The blank-separated values after `key` on the first line whose first word is `key`; nullopt
  /// when no line starts with it.
  std::optional<std::vector<std::string>> Values(std::string_view key) const;
  /// The first value of `key` as a whole decimal number; nullopt when absent or not a number.
  std::optional<int64_t> IntegerValue(std::string_view key) const;
  /// Every value of `key` as a number, nullopt for one that is not a number (empty when absent).
  std::vector<std::optional<int64_t>> IntegerValues(std::string_view key) const;
  /// The data files named on the "Created From File" lines, in order.
  std::vector<std::string> SourceFiles() const;

  /// `text` as a whole decimal number (an optional sign, digits and nothing else).
  static std::optional<int64_t> ParseInteger(std::string_view text);

 private:
  std::string text_;
};

}  // namespace skelvane
