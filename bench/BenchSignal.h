#pragma once
// The kind of signal in the recordings the benches synthesise: SKELVANE_BENCH_SIGNAL names one of
// `synth --signal`'s kinds (spiky when unset), so a figure can be had on slow waves, full-scale noise
// or a flat line as well as on spiky noise. Used by every bench that makes its own recording.

#include <cstdio>
#include <cstdlib>

#include "tools/SignalKinds.h"

namespace skelvane::bench {

/// Gives `options` the kind SKELVANE_BENCH_SIGNAL names and says which on stderr; false, with a line
/// naming the kinds, when the variable names none.
inline bool ApplyBenchSignal(SynthOptions& options) {
  const char* name = std::getenv("SKELVANE_BENCH_SIGNAL");
  const std::string_view wanted = name != nullptr && *name != '\0' ? std::string_view(name) : SignalKinds::kDefault;
  const SignalKind* kind = SignalKinds::Find(wanted);
  if (kind == nullptr) {
    std::fprintf(stderr, "SKELVANE_BENCH_SIGNAL=%s is no signal kind (%s)\n", name, SignalKinds::Names().c_str());
    return false;
  }
  kind->apply(options);
  std::fprintf(stderr, "synthesised signal: %.*s\n", static_cast<int>(kind->name.size()), kind->name.data());
  return true;
}

}  // namespace skelvane::bench
