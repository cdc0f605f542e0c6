#include "tools/SyntheticRecording.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <limits>
#include <new>
#include <system_error>

#include "datafile/CscRecord.h"
#include "platform/File.h"
#include "platform/ReportError.h"
#include "platform/StatusCodes.h"
#include "tools/CscFileWriter.h"
#include "tools/GaussianNoise.h"

namespace skelvane {
namespace {

constexpr int32_t kMaxChannels = 26;  // one file letter each, a..z
constexpr int32_t kMaxUnits = 16;
constexpr double kMaxSamplingHz = 1'000'000.0;
// Spike times are drawn one at a time, so the work grows with the rate: faster than any neuron
// fires would only keep the generator busy (spikes closer than the minimum spacing are dropped).
constexpr double kMaxSpikeRateHz = 1000.0;
constexpr double kMicrosecondsPerSecond = 1'000'000.0;
constexpr const char* kFileExtension = ".kcs";
constexpr const char* kTruthSuffix = "_truth.csv";
constexpr const char* kTruthColumns = "peak_timestamp,unit,polarity\n";

// Header values of a plausible acquisition set-up: a full scale of +-2047 counts over +-1 mV, so the
// spikes (a few hundred counts) fill a good part of a plot at the displayed scale.
constexpr int32_t kAdMaxValue = 2047;
constexpr const char* kAdBitVolts = "0.00000048852";
constexpr const char* kAdGain = "1";
constexpr const char* kAmpGain = "10000";
constexpr const char* kAmpLowCut = "600";
constexpr const char* kAmpHiCut = "6000";

// Spike shape: a main lobe with the unit's polarity, then a slower lobe of the other sign.
constexpr double kPeakLeadSeconds = 0.0005;   // waveform drawn from 0.5 ms before the peak
constexpr double kPeakTrailSeconds = 0.0012;  // to 1.2 ms after it
constexpr double kReboundDelaySeconds = 0.00045;
constexpr double kReboundWidthSeconds = 0.00025;
constexpr double kReboundFraction = 0.3;
constexpr double kMainWidthBaseSeconds = 0.00011;
constexpr double kMainWidthStepSeconds = 0.00003;
// Peak amplitudes in counts, cycled through by unit; all far above the default noise.
constexpr double kUnitAmplitudes[] = {420.0, 650.0, 300.0, 900.0, 520.0, 760.0, 360.0, 820.0};
constexpr double kMinChannelGain = 0.4;
constexpr double kMaxChannelGain = 1.0;
// No two spikes of the recording are closer than this.
constexpr double kMinSpikeSpacingSeconds = 0.002;

// Samples beyond the 16-bit range saturate as an A/D converter would.
constexpr float kLowestSample = std::numeric_limits<int16_t>::min();
constexpr float kHighestSample = std::numeric_limits<int16_t>::max();

// Random streams: one for the spike train and unit shapes, one per channel for its noise.
constexpr uint64_t kSpikeStream = 0;
constexpr uint64_t kFirstChannelStream = 1;

struct Unit {
  int32_t polarity;
  double amplitude;
  double widthSeconds;
  std::vector<double> gains;  // per channel
};

int32_t Invalid(const std::string& why) {
  ReportError("Invalid synthetic recording options: " + why, 0);
  return kStatusFailed;
}

int32_t Validate(const SynthOptions& o) {
  if (o.channels < 1 || o.channels > kMaxChannels) return Invalid("channels must be 1 to 26");
  if (!(o.samplingHz > 0.0) || o.samplingHz > kMaxSamplingHz) return Invalid("sampling rate out of range");
  if (!(o.seconds > 0.0) || !std::isfinite(o.seconds)) return Invalid("duration must be positive");
  if (o.seconds * o.samplingHz / kSamplesPerRecord < 1.0) return Invalid("too short for one record");
  if (o.seconds * o.samplingHz / kSamplesPerRecord > std::numeric_limits<int32_t>::max())
    return Invalid("too many records");
  if (o.units < 0 || o.units > kMaxUnits) return Invalid("units must be 0 to 16");
  if (!(o.spikeRateHz >= 0.0) || o.spikeRateHz > kMaxSpikeRateHz) return Invalid("spike rate must be 0 to 1000 Hz");
  if (!(o.noiseCounts >= 0.0) || !std::isfinite(o.noiseCounts)) return Invalid("noise must not be negative");
  if (o.lateChannel >= o.channels || o.lateChannel < -1) return Invalid("late channel out of range");
  if (o.lateRecords < 0) return Invalid("late records must not be negative");
  if (o.missingTailRecords.size() > static_cast<std::size_t>(o.channels))
    return Invalid("missing tail given for a channel that does not exist");
  for (const int32_t n : o.missingTailRecords) {
    if (n < 0) return Invalid("missing tail records must not be negative");
  }
  if (o.trailingPartialBytes < 0 || o.trailingPartialBytes >= kCscRecordSize)
    return Invalid("partial record must be 0 to 1043 bytes");
  for (const SynthGap& gap : o.gaps) {
    if (gap.afterRecord < 0 || gap.microseconds < 0) return Invalid("gaps must not be negative");
  }
  if (o.prefix.find('/') != std::string::npos) return Invalid("prefix must not contain '/'");
  return kStatusOk;
}

std::string FormatNumber(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%.10g", value);
  return text;
}

// Timestamps of every record of the common timeline, gaps included.
std::vector<int64_t> RecordTimestamps(const SynthOptions& o, int64_t numRecords) {
  std::vector<int64_t> gapBefore(static_cast<std::size_t>(numRecords) + 1, 0);
  for (const SynthGap& gap : o.gaps) {
    if (gap.afterRecord + 1 < numRecords) gapBefore[static_cast<std::size_t>(gap.afterRecord + 1)] += gap.microseconds;
  }
  std::vector<int64_t> timestamps(static_cast<std::size_t>(numRecords));
  const double period = kSamplesPerRecord * kMicrosecondsPerSecond / o.samplingHz;
  double elapsed = 0.0;
  int64_t gapTotal = 0;
  for (int64_t k = 0; k < numRecords; ++k) {
    gapTotal += gapBefore[static_cast<std::size_t>(k)];
    timestamps[static_cast<std::size_t>(k)] = o.startTimestamp + std::llround(elapsed) + gapTotal;
    elapsed += period;
  }
  return timestamps;
}

std::vector<Unit> MakeUnits(const SynthOptions& o, GaussianNoise& random) {
  std::vector<Unit> units;
  for (int32_t u = 0; u < o.units; ++u) {
    Unit unit;
    unit.polarity = u % 2 == 0 ? -1 : 1;  // alternate, so both polarities occur from two units on
    unit.amplitude = kUnitAmplitudes[static_cast<std::size_t>(u) % std::size(kUnitAmplitudes)];
    unit.widthSeconds = kMainWidthBaseSeconds + kMainWidthStepSeconds * (u % 4);
    for (int32_t c = 0; c < o.channels; ++c) {
      unit.gains.push_back(kMinChannelGain + (kMaxChannelGain - kMinChannelGain) * random.Uniform());
    }
    units.push_back(std::move(unit));
  }
  return units;
}

// The unit's waveform, sample `offset` away from its peak, at channel gain 1.
double Waveform(const Unit& unit, double offsetSeconds) {
  const double main = std::exp(-0.5 * std::pow(offsetSeconds / unit.widthSeconds, 2.0));
  const double rebound =
      kReboundFraction * std::exp(-0.5 * std::pow((offsetSeconds - kReboundDelaySeconds) / kReboundWidthSeconds, 2.0));
  return unit.polarity * unit.amplitude * (main - rebound);
}

struct PlacedSpike {
  int64_t sample;  // global sample index of the peak
  int32_t unit;
};

std::vector<PlacedSpike> PlaceSpikes(const SynthOptions& o, int64_t numSamples, int64_t lead, int64_t trail,
                                     GaussianNoise& random) {
  std::vector<PlacedSpike> spikes;
  if (o.units == 0 || o.spikeRateHz <= 0.0) return spikes;
  // Record boundaries followed by a pause: a waveform cut in two by it would not be one spike.
  std::vector<int64_t> pauses;
  for (const SynthGap& gap : o.gaps) {
    if (gap.microseconds > 0) pauses.push_back((gap.afterRecord + 1) * kSamplesPerRecord);
  }
  const double meanInterval = o.samplingHz / (o.spikeRateHz * o.units);
  const auto minSpacing = static_cast<int64_t>(std::ceil(kMinSpikeSpacingSeconds * o.samplingHz));
  double position = static_cast<double>(lead);
  int64_t lastAccepted = std::numeric_limits<int64_t>::min() / 2;
  for (;;) {
    position += random.Exponential(meanInterval);
    const int32_t unit = static_cast<int32_t>(random.Below(static_cast<uint64_t>(o.units)));
    const auto sample = static_cast<int64_t>(position);
    if (sample + trail >= numSamples) break;
    if (sample - lastAccepted < minSpacing) continue;
    const bool nearPause = std::any_of(pauses.begin(), pauses.end(), [&](int64_t boundary) {
      return sample + trail >= boundary && sample - lead < boundary;
    });
    if (nearPause) continue;
    spikes.push_back({sample, unit});
    lastAccepted = sample;
  }
  return spikes;
}

int32_t WriteTruth(const std::string& path, const std::vector<SynthSpike>& spikes) {
  std::string text = kTruthColumns;
  for (const SynthSpike& s : spikes) {
    text += std::to_string(s.peakTimestamp) + ',' + std::to_string(s.unit) + ',' + std::to_string(s.polarity) + '\n';
  }
  File file;
  if (const int32_t rc = file.Open(path, File::Mode::CreateWrite); rc != 0) return rc;
  if (!file.Write(text.data(), static_cast<int64_t>(text.size()))) return file.LastError() != 0 ? file.LastError() : EIO;
  return file.Close();
}

// What every channel of one recording shares: the timeline, the spikes and the units' waveforms.
struct RecordingPlan {
  explicit RecordingPlan(const SynthOptions& o) : options(o) {}
  const SynthOptions& options;
  int64_t numRecords = 0;
  std::vector<int64_t> timestamps;
  uint32_t frequencyField = 0;
  std::vector<Unit> units;
  int64_t lead = 0;
  int64_t trail = 0;
  std::vector<PlacedSpike> placed;
  // Every unit's waveform, sampled once around its main lobe, and how far its largest sample lies
  // from the placed peak.
  std::vector<std::vector<double>> shapes;
  std::vector<int64_t> peakShifts;
};

// The slower rebound can pull the largest sample one step early, so the truth names the sample that
// really is the largest.
void SampleShapes(RecordingPlan& plan) {
  for (const Unit& unit : plan.units) {
    std::vector<double> shape;
    for (int64_t off = -plan.lead; off <= plan.trail; ++off) {
      shape.push_back(Waveform(unit, off / plan.options.samplingHz));
    }
    const auto largest = std::max_element(shape.begin(), shape.end(),
                                          [](double a, double b) { return std::abs(a) < std::abs(b); });
    plan.peakShifts.push_back((largest - shape.begin()) - plan.lead);
    plan.shapes.push_back(std::move(shape));
  }
}

std::string ChannelHeader(const SynthOptions& options, int32_t channel) {
  if (!options.writeHeader) return {};
  return CscFileWriter::MakeHeader({
      {"-SamplingFrequency", FormatNumber(options.samplingHz)},
      {"-ADMaxValue", std::to_string(kAdMaxValue)},
      {"-ADBitVolts", kAdBitVolts},
      {"-ADChannel", std::to_string(channel)},
      {"-ADGain", kAdGain},
      {"-AmpGain", kAmpGain},
      {"-AmpLowCut", kAmpLowCut},
      {"-AmpHiCut", kAmpHiCut},
  });
}

// Writes channel `c` to `path`; 0 or the writer's code.
int32_t WriteChannel(const RecordingPlan& plan, int32_t c, const std::string& path) {
  const SynthOptions& options = plan.options;
  const int64_t numRecords = plan.numRecords;
  const int64_t first = c == options.lateChannel ? std::min<int64_t>(options.lateRecords, numRecords) : 0;
  int64_t end = numRecords;
  if (static_cast<std::size_t>(c) < options.missingTailRecords.size()) {
    end = std::max<int64_t>(first, numRecords - options.missingTailRecords[static_cast<std::size_t>(c)]);
  }
  // The channel's signal is made a batch of records at a time: its noise in timeline order (drawn
  // for the whole timeline, so dropping records never changes the samples kept), then every spike
  // that reaches into the batch, in spike order, so each sample sums exactly as for the whole signal.
  GaussianNoise noise(GaussianNoise::MixSeed(options.seed, kFirstChannelStream + static_cast<uint64_t>(c)));
  int64_t noiseDrawn = 0;  // samples of the timeline whose noise has been drawn
  std::size_t firstSpike = 0;
  std::vector<float> signal;
  const std::vector<PlacedSpike>& placed = plan.placed;
  const auto fill = [&](int64_t batchFirst, std::span<CscRecordData> batch) {
    const int64_t from = (first + batchFirst) * kSamplesPerRecord;
    const auto length = static_cast<int64_t>(batch.size()) * kSamplesPerRecord;
    for (; noiseDrawn < from; ++noiseDrawn) noise.Gaussian();
    signal.resize(static_cast<std::size_t>(length));
    for (float& v : signal) v = static_cast<float>(options.noiseCounts * noise.Gaussian());
    noiseDrawn += length;
    // Spikes come in time order and their waveforms share one length: those ending before the batch
    // stay behind for good.
    const auto endOf = [&](const PlacedSpike& p) {
      return p.sample - plan.lead + static_cast<int64_t>(plan.shapes[static_cast<std::size_t>(p.unit)].size());
    };
    while (firstSpike < placed.size() && endOf(placed[firstSpike]) <= from) ++firstSpike;
    for (std::size_t s = firstSpike; s < placed.size() && placed[s].sample - plan.lead < from + length; ++s) {
      const PlacedSpike& p = placed[s];
      const std::vector<double>& shape = plan.shapes[static_cast<std::size_t>(p.unit)];
      const double gain = plan.units[static_cast<std::size_t>(p.unit)].gains[static_cast<std::size_t>(c)];
      for (std::size_t i = 0; i < shape.size(); ++i) {
        const int64_t at = p.sample - plan.lead + static_cast<int64_t>(i) - from;
        if (at >= 0 && at < length) signal[static_cast<std::size_t>(at)] += static_cast<float>(gain * shape[i]);
      }
    }
    for (std::size_t k = 0; k < batch.size(); ++k) {
      CscRecordData& r = batch[k];
      r.timestamp = plan.timestamps[static_cast<std::size_t>(first + batchFirst) + k];
      r.samplingFrequency = plan.frequencyField;
      const float* samples = signal.data() + k * kSamplesPerRecord;
      for (int32_t i = 0; i < kSamplesPerRecord; ++i) {
        const float v = std::round(samples[i]);
        r.samples[static_cast<std::size_t>(i)] = static_cast<int16_t>(std::clamp(v, kLowestSample, kHighestSample));
      }
    }
  };
  return CscFileWriter::WriteStreamed(path, ChannelHeader(options, c), end - first, fill,
                                      static_cast<std::size_t>(options.trailingPartialBytes));
}

// Generates a recording from options that passed Validate.
int32_t GenerateValid(const SynthOptions& options, SynthResult& result) {
  const std::string outDir = options.outDir.empty() ? std::string(".") : options.outDir;
  std::error_code ec;
  std::filesystem::create_directories(outDir, ec);
  if (ec) {
    ReportError("Unable to create the output folder for the synthetic recording; error code:", ec.value());
    return ec.value();
  }

  RecordingPlan plan(options);
  plan.numRecords = static_cast<int64_t>(options.seconds * options.samplingHz / kSamplesPerRecord);
  const int64_t numSamples = plan.numRecords * kSamplesPerRecord;
  plan.timestamps = RecordTimestamps(options, plan.numRecords);
  const double sampleMicroseconds = kMicrosecondsPerSecond / options.samplingHz;
  plan.frequencyField = static_cast<uint32_t>(std::llround(options.samplingHz));

  GaussianNoise spikeRandom(GaussianNoise::MixSeed(options.seed, kSpikeStream));
  plan.units = MakeUnits(options, spikeRandom);
  plan.lead = static_cast<int64_t>(std::ceil(kPeakLeadSeconds * options.samplingHz));
  plan.trail = static_cast<int64_t>(std::ceil(kPeakTrailSeconds * options.samplingHz));
  plan.placed = PlaceSpikes(options, numSamples, plan.lead, plan.trail, spikeRandom);
  SampleShapes(plan);

  SynthResult made;
  for (const PlacedSpike& p : plan.placed) {
    const int64_t peak = p.sample + plan.peakShifts[static_cast<std::size_t>(p.unit)];
    const int64_t record = peak / kSamplesPerRecord;
    const int64_t within = peak % kSamplesPerRecord;
    made.spikes.push_back({plan.timestamps[static_cast<std::size_t>(record)] + std::llround(within * sampleMicroseconds),
                           p.unit, plan.units[static_cast<std::size_t>(p.unit)].polarity});
  }

  for (int32_t c = 0; c < options.channels; ++c) {
    const std::string path = outDir + "/" + options.prefix + static_cast<char>('a' + c) + kFileExtension;
    if (const int32_t rc = WriteChannel(plan, c, path); rc != 0) {
      ReportError("Unable to write synthetic recording file; error code:", rc);
      return rc;
    }
    made.paths.push_back(path);
  }

  made.truthCsvPath = outDir + "/" + options.prefix + kTruthSuffix;
  if (const int32_t rc = WriteTruth(made.truthCsvPath, made.spikes); rc != 0) {
    ReportError("Unable to write synthetic recording truth file; error code:", rc);
    return rc;
  }
  result = std::move(made);
  return kStatusOk;
}

}  // namespace

int32_t SyntheticRecording::Generate(const SynthOptions& options, SynthResult& result) {
  if (const int32_t rc = Validate(options); rc != kStatusOk) return rc;
  // Only the timeline's timestamps and spikes are held whole; samples are made a batch at a time.
  try {
    return GenerateValid(options, result);
  } catch (const std::bad_alloc&) {
    const int64_t samples =
        static_cast<int64_t>(options.seconds * options.samplingHz / kSamplesPerRecord) * kSamplesPerRecord;
    ReportError("Not enough memory for the synthetic recording; samples per channel:", samples);
    return ENOMEM;
  }
}

}  // namespace skelvane
