#include "datafile/PlausibleRecords.h"

#include <algorithm>
#include <cstring>

#include "datafile/CscRecord.h"
#include "datafile/DataFileReader.h"
#include "platform/StatusCodes.h"

namespace skelvane {
namespace {

// Printable text and the white space of text lines: what a text file's first bytes are made of. A
// recording's first record begins with a timestamp, whose high bytes are 0 (or 0xFF before zero).
bool IsText(const uint8_t* bytes, std::size_t count) {
  constexpr uint8_t kFirstPrintable = 0x20;
  constexpr uint8_t kLastPrintable = 0x7E;
  return std::all_of(bytes, bytes + count, [](uint8_t b) {
    return (b >= kFirstPrintable && b <= kLastPrintable) || b == '\t' || b == '\r' || b == '\n';
  });
}

struct RecordFields {
  int64_t timestamp = 0;
  uint32_t frequency = 0;
};

bool AreNeighbours(const RecordFields& earlier, const RecordFields& later) {
  if (earlier.frequency == later.frequency) return true;
  // Unsigned, so a step back or one that overflows is never small.
  const uint64_t step = static_cast<uint64_t>(later.timestamp) - static_cast<uint64_t>(earlier.timestamp);
  return step > 0 && step <= static_cast<uint64_t>(kMaxNeighbourStep);
}

}  // namespace

bool HasPlausibleCscRecords(DataFileReader& reader) {
  if (reader.HasFixedHeader()) return true;
  const int64_t count = std::min<int64_t>(reader.GetNumRecords(), kPlausibilityRecords);
  if (count == 0) return false;
  bool neighbours = count == 1;
  RecordFields previous;
  for (int64_t k = 0; k < count; ++k) {
    uint8_t fields[kCscSamplesOffset];
    if (reader.ReadRecordBytes(k, fields, sizeof fields) != static_cast<int64_t>(sizeof fields)) return false;
    if (k == 0 && IsText(fields, sizeof fields)) return false;
    RecordFields current;
    std::memcpy(&current.timestamp, fields + kCscTimestampOffset, sizeof current.timestamp);
    std::memcpy(&current.frequency, fields + kCscFrequencyOffset, sizeof current.frequency);
    if (k > 0 && AreNeighbours(previous, current)) neighbours = true;
    previous = current;
  }
  return neighbours;
}

int32_t FindTimeStandingStill(int64_t count, const TimestampSource& timestampOf, bool& standsStill) {
  standsStill = false;
  if (count < 2) return kStatusOk;
  int64_t first = 0;
  int64_t last = 0;
  if (const int32_t rc = timestampOf(0, first); rc != kStatusOk) return rc;
  if (const int32_t rc = timestampOf(count - 1, last); rc != kStatusOk) return rc;
  if (last > first) return kStatusOk;
  int64_t previous = first;
  for (int64_t k = 1; k < count; ++k) {
    int64_t timestamp = 0;
    if (const int32_t rc = timestampOf(k, timestamp); rc != kStatusOk) return rc;
    if (timestamp > previous) return kStatusOk;
    previous = timestamp;
  }
  standsStill = true;
  return kStatusOk;
}

}  // namespace skelvane
