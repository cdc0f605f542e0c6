#pragma once
// The detection options `extract` and `snapshot --show-spikes` share: channels per group, threshold or
// noise threshold, mode and type, spelled, checked and turned into run parameters alike.

#include <cstdint>
#include <string>

namespace CLI {
class App;
class Option;
}  // namespace CLI

namespace skelvane {
class ExtractionParameters;
}

namespace skelvane::cli {

struct ExtractionOptions {
  int32_t channels = 0;
  double threshold = 0.0;
  double noiseFactor = 0.0;
  std::string mode = "threshold";
  std::string type = "positive";
  CLI::Option* channelsOption = nullptr;
  CLI::Option* thresholdOption = nullptr;
  CLI::Option* noiseOption = nullptr;
  CLI::Option* modeOption = nullptr;
  CLI::Option* typeOption = nullptr;

  /// Adds --channels (required when `channelsRequired`), --threshold, --noise-threshold, --mode and
  /// --type to `cmd`, in that order.
  void AddTo(CLI::App* cmd, bool channelsRequired);
  /// Makes every one of them need `option` (they mean nothing without it).
  void Need(CLI::Option* option);
  /// Makes every one of them exclude `option` (it brings its own).
  void Exclude(CLI::Option* option);
  /// Throws the usage error for a missing --threshold or --noise-threshold (and --channels).
  void RequireDetection() const;
  /// Writes them into a run's parameters (the other parameters keep their values).
  void ApplyTo(ExtractionParameters& parameters) const;
};

}  // namespace skelvane::cli
