#pragma once
// The named kinds of signal the generator makes, each a setting of its noise, spikes, wave and
// clipping: `synth --signal`, the benches' SKELVANE_BENCH_SIGNAL and the tests over signal kinds.

#include <span>
#include <string>
#include <string_view>

#include "tools/SyntheticSignal.h"

namespace skelvane {

struct SignalKind {
  std::string_view name;
  std::string_view description;          // one line for --help
  void (*apply)(SynthOptions& options);  // sets the noise, units, oscillation and clipping
};

class SignalKinds {
 public:
  /// The default kind: Gaussian noise with the units' spikes.
  static constexpr std::string_view kDefault = "spiky";

  /// Every kind, the default first.
  static std::span<const SignalKind> All();
  /// The kind called `name`, or nullptr.
  static const SignalKind* Find(std::string_view name);
  /// The names, separated by '|', for usage texts.
  static std::string Names();
};

}  // namespace skelvane
