#pragma once
// Reads a spike file back for the tests: the 16384-byte header and the records decoded from their
// little-endian bytes. Used by the spike detector and spike file tests.

#include <algorithm>
#include <cstdint>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace skelvane::test {

struct StoredSpike {
  int64_t Timestamp = 0;  // signed, as in the data files
  uint32_t Word1 = 0;
  uint32_t Word2 = 0;
  std::vector<int32_t> Features;
  std::vector<int16_t> Samples;  // point-major, channel-minor, as in the file
};

struct SpikeFileContents {
  std::string Bytes;  // the whole file
  std::string Header;
  std::vector<StoredSpike> Spikes;
  bool WholeRecords = false;  // false when the file ends inside a record
};

/// The spike file's bytes with the text of its "## Time Opened" line blanked: the one line in which two
/// runs over the same recordings may differ.
inline std::string WithoutTimeLine(const std::string& bytes) {
  constexpr const char* kTimeLineStart = "\r\n## Time Opened: ";
  constexpr std::size_t kHeaderBytes = 16384;
  std::string result = bytes;
  const std::size_t from = bytes.find(kTimeLineStart);
  if (from == std::string::npos || from >= kHeaderBytes) return result;
  const std::size_t end = bytes.find("\r\n", from + 2);
  if (end == std::string::npos) return result;
  std::fill(result.begin() + static_cast<std::ptrdiff_t>(from + 2), result.begin() + static_cast<std::ptrdiff_t>(end),
            '*');
  return result;
}

inline std::string ReadWholeFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline uint64_t LittleEndianAt(const std::string& bytes, std::size_t offset, int size) {
  uint64_t value = 0;
  for (int b = size - 1; b >= 0; --b) value = (value << 8) | static_cast<uint8_t>(bytes[offset + b]);
  return value;
}

/// Decodes a spike file with `headerSize` header bytes and records of `points` x `channels` samples.
inline SpikeFileContents ReadSpikeFile(const std::string& path, int points, int channels,
                                       std::size_t headerSize = 16384) {
  SpikeFileContents contents;
  contents.Bytes = ReadWholeFile(path);
  contents.Header = contents.Bytes.substr(0, std::min(headerSize, contents.Bytes.size()));
  const std::size_t recordSize = 48 + 2 * static_cast<std::size_t>(points) * channels;
  std::size_t offset = headerSize;
  while (offset + recordSize <= contents.Bytes.size()) {
    StoredSpike spike;
    spike.Timestamp = static_cast<int64_t>(LittleEndianAt(contents.Bytes, offset, 8));
    spike.Word1 = static_cast<uint32_t>(LittleEndianAt(contents.Bytes, offset + 8, 4));
    spike.Word2 = static_cast<uint32_t>(LittleEndianAt(contents.Bytes, offset + 12, 4));
    for (int w = 0; w < 8; ++w) {
      spike.Features.push_back(static_cast<int32_t>(LittleEndianAt(contents.Bytes, offset + 16 + 4 * w, 4)));
    }
    for (std::size_t s = 0; s < static_cast<std::size_t>(points) * channels; ++s) {
      spike.Samples.push_back(static_cast<int16_t>(LittleEndianAt(contents.Bytes, offset + 48 + 2 * s, 2)));
    }
    contents.Spikes.push_back(std::move(spike));
    offset += recordSize;
  }
  contents.WholeRecords = contents.Bytes.size() >= headerSize && offset == contents.Bytes.size();
  return contents;
}

}  // namespace skelvane::test
