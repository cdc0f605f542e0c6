#include "cli/ExtractionOptions.h"

#include <CLI/CLI.hpp>

#include <cmath>
#include <cstdlib>
#include <map>
#include <vector>

#include "extract/ExtractionParameters.h"

namespace skelvane::cli {
namespace {

const std::map<std::string, int32_t> kModes = {{"threshold", kExtractionModeThreshold},
                                               {"slope", kExtractionModeSlope}};
const std::map<std::string, int32_t> kTypes = {
    {"positive", kExtractionTypePositive}, {"negative", kExtractionTypeNegative}, {"both", kExtractionTypeBoth}};

std::vector<std::string> Keys(const std::map<std::string, int32_t>& map) {
  std::vector<std::string> keys;
  for (const auto& entry : map) keys.push_back(entry.first);
  return keys;
}

// A threshold has to be a finite number: truncated for the detector, NaN would become 0.
const CLI::Validator kFiniteNumber(
    [](std::string& text) {
      char* end = nullptr;
      const double value = std::strtod(text.c_str(), &end);
      const bool finite = end != text.c_str() && *end == '\0' && std::isfinite(value);
      return finite ? std::string() : std::string("Not a finite number: ") + text;
    },
    "FINITE");

}  // namespace

void ExtractionOptions::AddTo(CLI::App* cmd, bool channelsRequired) {
  channelsOption =
      cmd->add_option("--channels", channels, "Channels per group: 1, 2 or 4")->check(CLI::IsMember({1, 2, 4}));
  if (channelsRequired) channelsOption->required();
  thresholdOption = cmd->add_option("--threshold", threshold, "Threshold in A/D counts (slope: counts per sample)")
                        ->check(kFiniteNumber);
  noiseOption = cmd->add_option("--noise-threshold", noiseFactor,
                                "Threshold as K times each group's noise level (median |x| / 0.6745 over "
                                "the first 10 s, largest channel)")
                    ->check(kFiniteNumber & CLI::PositiveNumber);
  thresholdOption->excludes(noiseOption);
  noiseOption->excludes(thresholdOption);
  modeOption = cmd->add_option("--mode", mode, "Detect by amplitude or by slope")
                   ->check(CLI::IsMember(Keys(kModes)))
                   ->capture_default_str();
  typeOption = cmd->add_option("--type", type, "Which side of the threshold counts")
                   ->check(CLI::IsMember(Keys(kTypes)))
                   ->capture_default_str();
}

void ExtractionOptions::Need(CLI::Option* option) {
  for (CLI::Option* own : {channelsOption, thresholdOption, noiseOption, modeOption, typeOption}) own->needs(option);
}

void ExtractionOptions::Exclude(CLI::Option* option) {
  for (CLI::Option* own : {channelsOption, thresholdOption, noiseOption, modeOption, typeOption}) own->excludes(option);
}

void ExtractionOptions::RequireDetection() const {
  if (channelsOption->count() == 0) throw CLI::RequiredError("--channels");
  if (thresholdOption->count() == 0 && noiseOption->count() == 0) {
    throw CLI::RequiredError("--threshold or --noise-threshold");
  }
}

void ExtractionOptions::ApplyTo(ExtractionParameters& parameters) const {
  parameters.NumChannels = channels;
  parameters.Threshold = threshold;
  parameters.ExtractionMode = kModes.at(mode);
  parameters.ExtractionType = kTypes.at(type);
  parameters.NoiseThresholdFactor = noiseFactor;
}

}  // namespace skelvane::cli
