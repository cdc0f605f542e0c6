#pragma once
// Generates a synthetic multi-channel recording (noise plus spikes of a few units with known times)
// as one CSC file per channel and a truth table. Used by the demo, the CLI and other subsystems' tests.

#include <cstdint>
#include <string>
#include <vector>

namespace skelvane {

/// Extra time inserted before record afterRecord + 1 (a pause in the recording).
struct SynthGap {
  int64_t afterRecord = 0;
  int64_t microseconds = 0;
};

struct SynthOptions {
  std::string outDir;
  std::string prefix = "TT1";
  int32_t channels = 4;
  double seconds = 60.0;
  double samplingHz = 32000.0;
  uint64_t seed = 1;
  int64_t startTimestamp = 1'000'000;
  double noiseCounts = 20.0;
  int32_t units = 3;
  double spikeRateHz = 8.0;  // per unit
  std::vector<SynthGap> gaps;
  int32_t lateChannel = -1;  // this channel's file starts lateRecords records later
  int32_t lateRecords = 0;
  std::vector<int32_t> missingTailRecords;  // per channel, records dropped at the end (unequal counts)
  int32_t trailingPartialBytes = 0;         // a partial record at the end of every file
  bool writeHeader = true;
};

/// One spike as generated: the timestamp of its peak sample, its unit and the sign of its peak.
struct SynthSpike {
  int64_t peakTimestamp;
  int32_t unit;
  int32_t polarity;  // +1 or -1
};

struct SynthResult {
  std::vector<std::string> paths;  // one per channel: <prefix>a.kcs, <prefix>b.kcs, ...
  std::string truthCsvPath;
  std::vector<SynthSpike> spikes;  // in time order
};

class SyntheticRecording {
 public:
  /// Writes the files described by `options` (the same seed gives the same bytes); 0, -1 for
  /// options that make no recording (reported), or the errno of a failed write.
  static int32_t Generate(const SynthOptions& options, SynthResult& result);
};

}  // namespace skelvane
