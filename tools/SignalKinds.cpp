#include "tools/SignalKinds.h"

#include <algorithm>
#include <array>

namespace skelvane {
namespace {

// The slow wave of a wideband recording: field potentials of hundreds of counts under the spikes.
constexpr SynthOscillation kFieldPotential{3.0, 600.0};
// A wave well past the full scale, so the signal spends long stretches held at either end.
constexpr SynthOscillation kOverdriven{3.0, 3000.0};
constexpr SynthOscillation kTone{1000.0, 1000.0};

void Quiet(SynthOptions& o) {
  o.noiseCounts = 0.0;
  o.units = 0;
}

constexpr std::array kKinds = {
    SignalKind{"spiky", "Gaussian noise (--noise) with the spikes of --units units", [](SynthOptions&) {}},
    SignalKind{"oscillation", "spiky on a 3 Hz wave of 600 counts (a wideband recording)",
               [](SynthOptions& o) { o.oscillation = kFieldPotential; }},
    SignalKind{"clipped", "spiky on a 3 Hz wave of 3000 counts, held at the full scale (+-2047)",
               [](SynthOptions& o) {
                 o.oscillation = kOverdriven;
                 o.clip = true;
               }},
    SignalKind{"noise", "full-scale noise: every sample uniform over +-2047, no spikes",
               [](SynthOptions& o) {
                 o.fullScaleNoise = true;
                 o.units = 0;
               }},
    SignalKind{"flat", "a flat line at 0: no noise, no spikes", Quiet},
    SignalKind{"sine", "a 1 kHz sine of 1000 counts alone",
               [](SynthOptions& o) {
                 Quiet(o);
                 o.oscillation = kTone;
               }},
};

}  // namespace

std::span<const SignalKind> SignalKinds::All() { return kKinds; }

const SignalKind* SignalKinds::Find(std::string_view name) {
  const auto found = std::find_if(kKinds.begin(), kKinds.end(), [name](const SignalKind& k) { return k.name == name; });
  return found == kKinds.end() ? nullptr : &*found;
}

std::string SignalKinds::Names() {
  std::string names;
  for (const SignalKind& kind : kKinds) {
    if (!names.empty()) names += '|';
    names += kind.name;
  }
  return names;
}

}  // namespace skelvane
