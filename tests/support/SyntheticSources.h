#pragma once
// Synthetic recordings of every signal kind served from memory: one fake source per channel, its
// records exactly those `synth` writes. Used by tests that must hold whatever the signal is (spiky
// noise, slow waves, clipping, full-scale noise, a flat line, a sine up to half the sampling rate).

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "tests/support/FakeDataSourceManager.h"
#include "tools/SignalKinds.h"
#include "tools/SyntheticRecording.h"
#include "tools/SyntheticSignal.h"

namespace skelvane::test {

/// Options for `seconds` of `channels` channels of the signal kind `kind` (a `synth --signal` name),
/// at 32 kHz with the given seed; the generator's defaults otherwise.
inline SynthOptions SignalKindOptions(std::string_view kind, double seconds, int32_t channels = 1, uint64_t seed = 1) {
  SynthOptions options;
  options.seconds = seconds;
  options.channels = channels;
  options.seed = seed;
  const SignalKind* found = SignalKinds::Find(kind);
  if (found == nullptr) {
    ADD_FAILURE() << "no signal kind " << kind;
    return options;
  }
  found->apply(options);
  return options;
}

/// Adds one source per channel of the recording `options` describe, named as `synth` names its files,
/// and returns their indexes; none when the options make no recording (reported). `spikes`, when
/// given, receives the truth.
inline std::vector<int32_t> AddSyntheticSources(FakeDataSourceManager& manager, const SynthOptions& options,
                                                std::vector<SynthSpike>* spikes = nullptr) {
  SyntheticSignal signal;
  if (signal.Plan(options) != 0) return {};
  std::vector<int32_t> indexes;
  for (int32_t c = 0; c < options.channels; ++c) {
    const int32_t source = manager.AddSource(SyntheticRecording::ChannelFileName(options.prefix, c, options.channels));
    std::vector<CscRecordData> records(static_cast<std::size_t>(signal.RecordCount(c)));
    signal.Fill(c, 0, records);
    for (const CscRecordData& r : records) {
      manager.AddRecord(source, r.timestamp, r.samplingFrequency,
                        std::vector<int16_t>(r.samples.begin(), r.samples.end()));
    }
    indexes.push_back(source);
  }
  if (spikes != nullptr) *spikes = signal.Spikes();
  return indexes;
}

}  // namespace skelvane::test
