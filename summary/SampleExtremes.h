#pragma once
// The smallest and largest of a run of 16-bit samples as a record stores them, with vector
// instructions (AVX2 where the machine has it, SSE2 otherwise, chosen once at run time). Used by
// SourceSummary for the sub-blocks of each record it summarises and by the column builders for one pixel column.

#include <cstdint>

namespace skelvane {

class SampleExtremes {
 public:
  /// Smallest and largest of the `count` (at least 1) little-endian samples stored from `bytes` on.
  static void Of(const uint8_t* bytes, int32_t count, int16_t& low, int16_t& high);
  /// The same in the SSE2 form every x86-64 machine runs (what Of does without AVX2).
  static void OfPortable(const uint8_t* bytes, int32_t count, int16_t& low, int16_t& high);
  /// Samples in each run OfRuns takes.
  static constexpr int32_t kRunSamples = 32;
  /// The smallest and largest of each of `runs` consecutive runs of kRunSamples samples stored from
  /// `bytes` on, into lows[r] and highs[r]: a record's sub-blocks at once, each reduced by the
  /// instruction that finds the smallest of eight words where the machine has AVX2.
  static void OfRuns(const uint8_t* bytes, int32_t runs, int16_t* lows, int16_t* highs);
  /// The same through OfPortable, run by run.
  static void OfRunsPortable(const uint8_t* bytes, int32_t runs, int16_t* lows, int16_t* highs);
};

}  // namespace skelvane
