#pragma once
// Tells a CSC recording from another file that merely carries the name (a text file, random bytes)
// by the values in its first records. The data source manager refuses sources that fail it.

#include <cstdint>

namespace skelvane {

class DataFileReader;

/// Records looked at, from the first on.
inline constexpr int64_t kPlausibilityRecords = 8;
/// Stored sampling frequencies a recording can have, in hertz.
inline constexpr uint32_t kMinPlausibleFrequency = 1;
inline constexpr uint32_t kMaxPlausibleFrequency = 1'000'000;

/// True when each of the first records of a CSC reader (read with pread) stores a sampling frequency
/// of 1 Hz to 1 MHz and at most 512 valid samples, and their timestamps do not decrease. A reader
/// without records or whose first records cannot be read is not plausible.
bool HasPlausibleCscRecords(DataFileReader& reader);

}  // namespace skelvane
