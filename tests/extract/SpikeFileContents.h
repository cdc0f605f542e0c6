#pragma once
// Reads a spike file back for the tests: the header's text lines and the fixed-size records.

#include <cstdint>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace skelvane::test {

inline constexpr std::size_t kSpikeHeaderSize = 16384;
inline constexpr std::size_t kSpikeRecordFixedBytes = 48;

struct SpikeRecord {
  uint64_t timestamp = 0;
  std::vector<int16_t> samples;  // point-major, channel-minor
  int16_t At(int32_t point, int32_t channel, int32_t numChannels) const { return samples[point * numChannels + channel]; }
};

struct SpikeFileContents {
  bool readable = false;
  std::size_t size = 0;
  std::vector<std::string> headerLines;  // the text before the zero padding, split at CR LF
  std::vector<SpikeRecord> records;
  std::size_t trailingBytes = 0;  // bytes after the last whole record (should be 0)
};

inline std::string ReadAllBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline SpikeFileContents ReadSpikeFile(const std::string& path, int32_t numChannels, int32_t numSpikePoints = 32) {
  SpikeFileContents contents;
  std::ifstream probe(path, std::ios::binary);
  if (!probe) return contents;
  const std::string bytes = ReadAllBytes(path);
  contents.readable = true;
  contents.size = bytes.size();
  const std::string header = bytes.substr(0, std::min(bytes.size(), kSpikeHeaderSize));
  const std::string text = header.substr(0, header.find('\0'));
  std::size_t from = 0;
  while (from < text.size()) {
    const std::size_t end = text.find("\r\n", from);
    if (end == std::string::npos) {
      contents.headerLines.push_back(text.substr(from));
      break;
    }
    contents.headerLines.push_back(text.substr(from, end - from));
    from = end + 2;
  }
  if (bytes.size() <= kSpikeHeaderSize) return contents;
  const std::size_t recordSize = kSpikeRecordFixedBytes + 2u * numChannels * numSpikePoints;
  std::size_t at = kSpikeHeaderSize;
  for (; at + recordSize <= bytes.size(); at += recordSize) {
    SpikeRecord record;
    std::memcpy(&record.timestamp, bytes.data() + at, sizeof record.timestamp);
    record.samples.resize(static_cast<std::size_t>(numChannels) * numSpikePoints);
    std::memcpy(record.samples.data(), bytes.data() + at + kSpikeRecordFixedBytes, record.samples.size() * 2);
    contents.records.push_back(std::move(record));
  }
  contents.trailingBytes = bytes.size() - at;
  return contents;
}

}  // namespace skelvane::test
