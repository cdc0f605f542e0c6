#pragma once
// Builders for small data files the datafile tests write into a temporary folder: CSC files with
// chosen timestamps, headers and trailing bytes, and records of the other kinds.

#include <cstdint>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "tools/CscFileWriter.h"

namespace skelvane::test {

/// A header with the usual acquisition keys.
inline std::string StandardHeader() {
  return CscFileWriter::MakeHeader({{"-SamplingFrequency", "32000"},
                                    {"-ADMaxValue", "32767"},
                                    {"-ADBitVolts", "0.000000030518"},
                                    {"-ADChannel", "3"}});
}

/// The bytes of CSC records with the given timestamps; sample i of record k is k + i.
inline std::string CscRecords(const std::vector<int64_t>& timestamps) {
  std::string bytes;
  for (std::size_t k = 0; k < timestamps.size(); ++k) {
    CscRecordData record;
    record.timestamp = timestamps[k];
    for (std::size_t i = 0; i < record.samples.size(); ++i) record.samples[i] = static_cast<int16_t>(k + i);
    CscFileWriter::AppendRecord(record, bytes);
  }
  return bytes;
}

/// `count` timestamps from `first` on, `step` apart.
inline std::vector<int64_t> Timestamps(int64_t count, int64_t first = 1'000'000, int64_t step = 16'000) {
  std::vector<int64_t> out;
  for (int64_t k = 0; k < count; ++k) out.push_back(first + k * step);
  return out;
}

/// Records of `recordSize` bytes, each holding its timestamp little-endian at `offset`.
inline std::string RecordsWithTimestamps(const std::vector<int64_t>& timestamps, std::size_t recordSize,
                                         std::size_t offset) {
  std::string bytes(timestamps.size() * recordSize, '\0');
  for (std::size_t k = 0; k < timestamps.size(); ++k) {
    std::memcpy(bytes.data() + k * recordSize + offset, &timestamps[k], sizeof(int64_t));
  }
  return bytes;
}

/// CSC records with the given timestamps and all samples zero: rising samples could pass for the
/// timestamps of another record layout in the content probe.
inline std::string QuietCscRecords(const std::vector<int64_t>& timestamps) {
  return RecordsWithTimestamps(timestamps, 1044, 0);
}

/// A legacy header of exactly `endAt` bytes of text before "%%ENDHEADER\n".
inline std::string LegacyHeader(std::size_t endAt) {
  std::string text = "%%BEGINHEADER\r\n";
  text.resize(endAt, '#');
  return text + "%%ENDHEADER\n";
}

}  // namespace skelvane::test
