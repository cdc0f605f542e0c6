#include "datafile/PlausibleRecords.h"

#include <algorithm>
#include <cstring>

#include "datafile/CscRecord.h"
#include "datafile/DataFileReader.h"

namespace skelvane {

bool HasPlausibleCscRecords(DataFileReader& reader) {
  const int64_t count = std::min<int64_t>(reader.GetNumRecords(), kPlausibilityRecords);
  if (count == 0) return false;
  int64_t previous = 0;
  for (int64_t k = 0; k < count; ++k) {
    uint8_t fields[kCscSamplesOffset];
    if (reader.ReadRecordBytes(k, fields, sizeof fields) != static_cast<int64_t>(sizeof fields)) return false;
    int64_t timestamp = 0;
    uint32_t frequency = 0;
    uint32_t validSamples = 0;
    std::memcpy(&timestamp, fields + kCscTimestampOffset, sizeof timestamp);
    std::memcpy(&frequency, fields + kCscFrequencyOffset, sizeof frequency);
    std::memcpy(&validSamples, fields + kCscValidSamplesOffset, sizeof validSamples);
    if (frequency < kMinPlausibleFrequency || frequency > kMaxPlausibleFrequency) return false;
    if (validSamples > static_cast<uint32_t>(kSamplesPerRecord)) return false;
    if (k > 0 && timestamp < previous) return false;
    previous = timestamp;
  }
  return true;
}

}  // namespace skelvane
