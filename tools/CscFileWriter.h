#pragma once
// Writes CSC files byte for byte in the acquisition system's layout: the padded text header, then
// 1044-byte records. Used by the synthetic recording generator and by tests that need exact files.

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "datafile/CscRecord.h"

namespace skelvane {

/// One record's contents: the timestamp, the stored frequency field and the samples.
struct CscRecordData {
  int64_t timestamp = 0;
  uint32_t samplingFrequency = 32000;
  std::array<int16_t, kSamplesPerRecord> samples{};
};

class CscFileWriter {
 public:
  /// The 16384-byte header: the line "######## Kestrelon Data File Header" (its first 18 bytes are
  /// the marker), then one "-Key value" line per entry, CR LF separated, NUL-padded to 16384 bytes.
  static std::string MakeHeader(const std::vector<std::pair<std::string, std::string>>& entries);
  /// Writes `header` (may be empty: no header) then the records, then `trailingBytes` extra bytes
  /// (a partial record). 0 or errno.
  static int32_t Write(const std::string& path, const std::string& header, const std::vector<CscRecordData>& records,
                       std::size_t trailingBytes = 0);
  /// Writes `header`, then `count` records made a batch at a time by `fill` (given the index of the
  /// batch's first record), then `trailingBytes` of a partial record, so no more than one batch is
  /// ever held in memory. The same bytes as Write with all records at once. 0 or errno.
  static int32_t WriteStreamed(const std::string& path, const std::string& header, int64_t count,
                               const std::function<void(int64_t first, std::span<CscRecordData> batch)>& fill,
                               std::size_t trailingBytes = 0);
  /// Appends the 1044 bytes of `record` to `out`.
  static void AppendRecord(const CscRecordData& record, std::string& out);
};

}  // namespace skelvane
