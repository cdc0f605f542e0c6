#pragma once
// Generates a synthetic multi-channel recording (noise plus spikes of a few units with known times,
// or another kind of signal) as one CSC file per channel and a truth table. Used by the demo, the
// CLI, the benches and other subsystems' tests.

#include <cstdint>
#include <string>
#include <vector>

#include "tools/SyntheticSignal.h"

namespace skelvane {

struct SynthResult {
  std::vector<std::string> paths;  // one per channel, in channel order, which is also name order
  std::string truthCsvPath;
  std::vector<SynthSpike> spikes;  // in time order
};

class SyntheticRecording {
 public:
  /// Channels up to this many are named by one letter each, a..z; more by a number.
  static constexpr int32_t kMaxLetteredChannels = 26;

  /// Writes the files described by `options` (the same seed gives the same bytes); 0, -1 for
  /// options that make no recording (reported), or the errno of a failed write.
  static int32_t Generate(const SynthOptions& options, SynthResult& result);
  /// The file name of channel `channel` of `channels`: <prefix>a.kcs ... <prefix>z.kcs for up to 26
  /// channels, else <prefix>000.kcs ... <prefix>127.kcs (zero-based, three digits, so they sort).
  static std::string ChannelFileName(const std::string& prefix, int32_t channel, int32_t channels);
};

}  // namespace skelvane
