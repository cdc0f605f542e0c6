// The `synth` subcommand: writes a synthetic recording (one CSC file per channel and a truth table)
// for demos, tests and benches: spiky noise or another kind of signal, with optional pauses, late or
// short channels and partial records.
#include <CLI/CLI.hpp>

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <limits>
#include <string>
#include <vector>

#include "cli/CommandRegistry.h"
#include "cli/ExitStatus.h"
#include "tools/SignalKinds.h"
#include "tools/SyntheticRecording.h"

namespace skelvane::cli {
namespace {

// Parses "A:B" into two non-negative integers; false when the text is anything else.
bool ParsePair(const std::string& text, int64_t& first, int64_t& second) {
  const auto colon = text.find(':');
  if (colon == std::string::npos) return false;
  const char* begin = text.data();
  const char* end = text.data() + text.size();
  const auto a = std::from_chars(begin, begin + colon, first);
  if (a.ec != std::errc() || a.ptr != begin + colon || first < 0) return false;
  const auto b = std::from_chars(begin + colon + 1, end, second);
  return b.ec == std::errc() && b.ptr == end && second >= 0;
}

const CLI::Validator kPairValidator(
    [](std::string& text) {
      int64_t a = 0;
      int64_t b = 0;
      return ParsePair(text, a, b) ? std::string() : "expected two non-negative integers as A:B, got " + text;
    },
    "");

// Parses "F:A" into two non-negative decimal numbers; false when the text is anything else.
bool ParseWave(const std::string& text, SynthOscillation& wave) {
  const auto colon = text.find(':');
  if (colon == std::string::npos) return false;
  const char* begin = text.data();
  const char* end = text.data() + text.size();
  const auto f = std::from_chars(begin, begin + colon, wave.hz);
  if (f.ec != std::errc() || f.ptr != begin + colon || !(wave.hz >= 0.0)) return false;
  const auto a = std::from_chars(begin + colon + 1, end, wave.counts);
  return a.ec == std::errc() && a.ptr == end && wave.counts >= 0.0;
}

const CLI::Validator kWaveValidator(
    [](std::string& text) {
      SynthOscillation wave;
      return ParseWave(text, wave) ? std::string() : "expected a frequency and an amplitude as F:A, got " + text;
    },
    "");

const CLI::Validator kKindValidator(
    [](std::string& text) {
      return SignalKinds::Find(text) != nullptr ? std::string()
                                                : "no signal kind " + text + " (" + SignalKinds::Names() + ")";
    },
    "");

std::string KindsHelp() {
  std::string help = "Kind of signal:";
  for (const SignalKind& kind : SignalKinds::All()) {
    help += "\n  " + std::string(kind.name) + ": " + std::string(kind.description);
  }
  return help;
}

struct SynthArguments {
  SynthOptions options;
  std::string kind{SignalKinds::kDefault};
  std::string wave;
  std::vector<std::string> gaps;
  std::vector<std::string> missingTails;
  // The kind sets the noise, the units and the wave; these, when given, override it.
  CLI::Option* noise = nullptr;
  CLI::Option* units = nullptr;
  CLI::Option* oscillation = nullptr;
};

// The options as given, on the kind's noise, spikes, wave and clipping.
SynthOptions KindOptions(const SynthArguments& args) {
  SynthOptions options = args.options;
  SignalKinds::Find(args.kind)->apply(options);
  if (args.noise->count() > 0) {
    if (options.fullScaleNoise) throw CLI::ValidationError("--noise", "the noise kind is full-scale noise of its own");
    options.noiseCounts = args.options.noiseCounts;
  }
  if (args.units->count() > 0) options.units = args.options.units;
  if (args.oscillation->count() > 0) ParseWave(args.wave, options.oscillation);
  options.clip = options.clip || args.options.clip;
  return options;
}

void Run(SynthArguments& args) {
  SynthOptions options = KindOptions(args);
  for (const std::string& text : args.gaps) {
    SynthGap gap;
    ParsePair(text, gap.afterRecord, gap.microseconds);
    options.gaps.push_back(gap);
  }
  for (const std::string& text : args.missingTails) {
    int64_t channel = 0;
    int64_t records = 0;
    ParsePair(text, channel, records);
    if (channel >= options.channels) throw CLI::ValidationError("--missing-tail", "no channel " + text);
    if (options.missingTailRecords.size() <= static_cast<std::size_t>(channel)) {
      options.missingTailRecords.resize(static_cast<std::size_t>(channel) + 1, 0);
    }
    // More records than any recording has drop them all; a plain cast would wrap such a count.
    options.missingTailRecords[static_cast<std::size_t>(channel)] =
        static_cast<int32_t>(std::min<int64_t>(records, std::numeric_limits<int32_t>::max()));
  }

  SynthResult result;
  // Failures have been reported on stderr by the generator.
  if (SyntheticRecording::Generate(options, result) != 0) throw CLI::RuntimeError(kExitFailed);
  for (const std::string& path : result.paths) std::printf("%s\n", path.c_str());
  std::printf("%s (%zu spikes)\n", result.truthCsvPath.c_str(), result.spikes.size());
}

const CommandRegistry::Registration kRegistration([](CLI::App& app) {
  auto args = std::make_shared<SynthArguments>();
  SynthOptions& o = args->options;
  CLI::App* cmd = app.add_subcommand("synth", "Write a synthetic recording: one CSC file per channel and a truth CSV");
  cmd->footer(kExitStatusHelp);
  cmd->add_option("--out", o.outDir, "Output folder (created when missing)")->required();
  cmd->add_option("--prefix", o.prefix, "File name prefix; files are <prefix>a.kcs, <prefix>b.kcs, ...")
      ->capture_default_str();
  cmd->add_option("--channels", o.channels,
                  "Number of channels (1-128); up to 26 are <prefix>a.kcs, b, ..., more <prefix>000.kcs, 001, ...")
      ->capture_default_str();
  cmd->add_option("--seconds", o.seconds, "Duration in seconds")->capture_default_str();
  cmd->add_option("--rate", o.samplingHz, "Sampling rate in Hz")->capture_default_str();
  cmd->add_option("--seed", o.seed, "Random seed (same seed, same files)")->capture_default_str();
  cmd->add_option("--start", o.startTimestamp, "Timestamp of the first record in microseconds")->capture_default_str();
  cmd->add_option("--signal", args->kind, KindsHelp())->type_name("KIND")->check(kKindValidator)->capture_default_str();
  args->noise = cmd->add_option("--noise", o.noiseCounts,
                                "Gaussian noise standard deviation in A/D counts (20; flat and sine: 0)");
  args->units = cmd->add_option("--units", o.units, "Number of units, 0-16 (3; noise, flat and sine: 0)");
  cmd->add_option("--spike-rate", o.spikeRateHz, "Firing rate per unit in Hz")->capture_default_str();
  args->oscillation = cmd->add_option("--oscillation", args->wave,
                                      "A cosine of F Hz (up to half the rate) and A counts on every channel, in place "
                                      "of the kind's own wave")
                          ->type_name("F:A")
                          ->check(kWaveValidator);
  cmd->add_flag("--clip", o.clip, "Hold samples beyond the full scale (+-2047 counts) at it");
  cmd->add_option("--gap", args->gaps, "Pause of US microseconds after record REC")
      ->type_name("REC:US")
      ->check(kPairValidator);
  auto* late = cmd->add_option("--late-channel", o.lateChannel, "Channel whose file starts later");
  cmd->add_option("--late-records", o.lateRecords, "Records the late channel misses at the start")->needs(late);
  cmd->add_option("--missing-tail", args->missingTails, "Drop R records at the end of channel C")
      ->type_name("C:R")
      ->check(kPairValidator);
  cmd->add_option("--partial", o.trailingPartialBytes, "Bytes of a partial record at the end of every file");
  cmd->add_flag("--no-header", [&o](int64_t) { o.writeHeader = false; }, "Write no text header");
  cmd->callback([args]() { Run(*args); });
});

}  // namespace
}  // namespace skelvane::cli
