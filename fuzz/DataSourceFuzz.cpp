// Fuzzes a whole file through the data source manager: open, the time range, records by index and by
// time (around the ends, at and beside the records' own timestamps, anywhere), layout, the check that
// the file is still whole, header values.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <limits>
#include <string>

#include "datafile/CscRecord.h"
#include "datafile/DataSourceManager.h"
#include "fuzz/FuzzChoices.h"
#include "fuzz/FuzzScratch.h"
#include "platform/Saturating.h"

namespace {

constexpr int kTimeProbes = 64;
constexpr const char* kKeys[] = {"-SamplingFrequency", "-ADMaxValue", "-ADBitVolts", "-ADChannel", "-", ""};

// Touches every byte of a record handed out, so a pointer past the mapping shows under the sanitizer.
uint64_t Touch(const uint8_t* record) {
  uint64_t sum = 0;
  for (std::size_t i = 0; i < skelvane::kCscRecordSize; ++i) sum += record[i];
  return sum;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using skelvane::DataSourceManager;
  const std::string path = skelvane::fuzz::FuzzScratch::WriteFile("input.kcs", data, size);
  skelvane::fuzz::FuzzChoices choose(data, size);
  DataSourceManager manager;
  int64_t start = 0, end = 0;
  manager.GetTimeRange(start, end);
  if (manager.OpenSource(path) != 0 || manager.GetNumSources() != 1) return 0;
  manager.GetTimeRange(start, end);

  uint64_t touched = 0;
  const int64_t count = manager.GetNumRecords(0);
  const uint8_t* record = nullptr;
  for (const int64_t index : {int64_t{-1}, int64_t{0}, count / 2, count - 1, count, choose.Between(0, count)}) {
    if (manager.GetRecord(index, 0, record) == 0) {
      if (record == nullptr || index < 0 || index >= count) __builtin_trap();
      touched += Touch(record);
    }
  }
  // The records' own timestamps, and one either side, from a few records anywhere in the file.
  for (int k = 0; k < kTimeProbes / 4 && count > 0; ++k) {
    if (manager.GetRecord(choose.Between(0, count - 1), 0, record) != 0 || record == nullptr) continue;
    const int64_t timestamp = skelvane::CscRecord(record).Timestamp();
    for (const int64_t delta : {int64_t{-1}, int64_t{0}, int64_t{1}}) {
      int64_t time = 0;
      if (__builtin_add_overflow(timestamp, delta, &time)) continue;
      if (manager.FindRecordForTime(time, 0, record) == 0 && record != nullptr) touched += Touch(record);
    }
  }
  // The range may reach either end of the 64-bit times (it is padded, saturating).
  const int64_t probes[] = {std::numeric_limits<int64_t>::min(), std::numeric_limits<int64_t>::max(), start, end,
                            skelvane::SaturatingSubtract(start, int64_t{1}), skelvane::SaturatingAdd(end, int64_t{1})};
  for (const int64_t time : probes) {
    if (manager.FindRecordForTime(time, 0, record) == 0 && record != nullptr) touched += Touch(record);
  }
  for (int k = 0; k < kTimeProbes; ++k) {
    const int64_t time = k % 2 == 0 ? choose.Any() : choose.Between(std::min(start, end), std::max(start, end));
    if (manager.FindRecordForTime(time, 0, record) == 0 && record != nullptr) touched += Touch(record);
  }
  // Invalid source indexes are refused, never followed.
  if (manager.GetRecord(0, 1, record) == 0 || manager.FindRecordForTime(start, -1, record) == 0) __builtin_trap();

  skelvane::RecordLayout layout;
  manager.GetRecordLayout(0, layout);
  manager.CheckSource(0);
  const char* header = nullptr;
  if (manager.GetHeader(0, header) == 0 && header != nullptr) touched += static_cast<uint8_t>(header[0]);
  for (const char* key : kKeys) {
    std::string value;
    manager.GetHeaderValue(0, key, value);
    touched += value.size();
  }
  if (manager.CloseSource(0) != 0 || manager.GetNumSources() != 0) __builtin_trap();
  return touched == 1 ? 1 : 0;  // keeps the reads; libFuzzer ignores the value
}
