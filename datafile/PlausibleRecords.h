#pragma once
// Tells a CSC recording from another file that merely carries the name (a text file, random bytes),
// and finds recordings whose time never moves on. The data source manager refuses sources that fail
// the first and warns about the second; the extraction run refuses the second.

#include <cstdint>
#include <functional>

namespace skelvane {

class DataFileReader;

/// Records looked at, from the first on.
inline constexpr int64_t kPlausibilityRecords = 8;
/// Largest step forward between neighbouring records' timestamps that marks them as neighbours of a
/// recording: a day, in microseconds.
inline constexpr int64_t kMaxNeighbourStep = 86'400'000'000;

/// False only for a file that plainly holds no recording. A file with the header marker always passes,
/// whatever values its whole records hold. Without it, a file fails when its first record begins with
/// text, or when no two neighbours among its first records store the same sampling frequency or step
/// forward in time by at most a day. A reader whose first records cannot be read fails too.
bool HasPlausibleCscRecords(DataFileReader& reader);

/// The timestamp of record `index`: 0 or a read error.
using TimestampSource = std::function<int32_t(int64_t index, int64_t& timestamp)>;

/// Sets `standsStill` when there are at least two of the `count` records and none is stamped later
/// than the one before it (all equal, all zero, only going back): such a recording has no time to cut
/// spikes in. Reads the first and the last record, and all of them only when the last is not the
/// later. 0 or a read error.
int32_t FindTimeStandingStill(int64_t count, const TimestampSource& timestampOf, bool& standsStill);

}  // namespace skelvane
