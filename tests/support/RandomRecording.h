#pragma once
// Random CSC records with what real recordings hold and worse, laid out in the fake data source
// manager. Shared by the tests of the summaries and of the column builders that walk them.

#include <algorithm>
#include <cstdint>
#include <random>
#include <vector>

#include "datafile/CscRecord.h"
#include "tests/support/FakeDataSourceManager.h"

namespace skelvane::test {

/// The usual time between two records' timestamps: 512 samples at 32 kHz.
inline constexpr int32_t kRandomRecordMicros = 16'000;

/// Appends `count` records to `source`: jittered intervals, runs of equal timestamps, pauses,
/// overlapping records, quiet stretches, ramps (whose extremes sit at column edges) and spikes.
/// `opening` 1 stamps record 1 one microsecond after record 0, 2 stamps record 1 like record 0 and
/// record 2 one after: the time lookups then never step back to the first records. `increasing`
/// leaves out the equal timestamps, so long runs of records are folded from the coarser nodes.
/// `goingBack` stamps now and then a record seconds late, or steps back a little or a lot.
inline void AddRandomRecords(FakeDataSourceManager& manager, int32_t source, int32_t count, std::mt19937_64& random,
                             int32_t opening = 0, bool increasing = false, bool goingBack = false) {
  constexpr int32_t kRecordMicros = kRandomRecordMicros;
  auto uniform = [&](int64_t low, int64_t high) { return std::uniform_int_distribution<int64_t>(low, high)(random); };
  int64_t timestamp = uniform(0, 3) == 0 ? 0 : uniform(1, 50'000'000);
  int64_t sampleIndex = 0;
  for (int32_t r = 0; r < count; ++r) {
    std::vector<int16_t> samples(kSamplesPerRecord);
    const int64_t style = r < 2 ? 9 : uniform(0, 9);
    for (int32_t i = 0; i < kSamplesPerRecord; ++i, ++sampleIndex) {
      int64_t v = 0;
      if (style < 5)
        v = uniform(-60, 60);
      else if (style < 7)
        v = (sampleIndex % 3000) - 1500;
      else if (style < 8)
        v = 7;
      else
        v = uniform(-60, 60) + (uniform(0, r < 2 ? 20 : 200) == 0 ? uniform(-32768, 32767) : 0);
      samples[static_cast<std::size_t>(i)] = static_cast<int16_t>(std::clamp<int64_t>(v, -32768, 32767));
    }
    const int64_t stamp = goingBack && r >= 2 && uniform(0, 150) == 0 ? timestamp + uniform(1, 5'000'000) : timestamp;
    manager.AddRecord(source, stamp, 32'000, samples);
    if (goingBack && r >= 2 && uniform(0, 150) == 0) {
      timestamp -= uniform(0, 1) == 0 ? uniform(1, 2 * kRecordMicros) : uniform(kRecordMicros, 300 * kRecordMicros);
      continue;
    }
    int64_t step = uniform(0, 99);
    if (increasing && step >= 80 && step < 88) step = 0;
    if (r < opening)
      timestamp += r + 1 == opening ? 1 : 0;
    else if (step < 80)
      timestamp += kRecordMicros + uniform(-2, 2);
    else if (step < 88)
      timestamp += 0;  // a run of equal timestamps
    else if (step < 92)
      timestamp += uniform(1, 3);  // records nearly on top of each other
    else if (step < 96)
      timestamp += uniform(kRecordMicros / 3, kRecordMicros);
    else
      timestamp += uniform(kRecordMicros, 200 * kRecordMicros);  // a pause
  }
}

}  // namespace skelvane::test
