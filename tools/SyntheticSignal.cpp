#include "tools/SyntheticSignal.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <numbers>

#include "datafile/CscRecord.h"
#include "platform/ReportError.h"
#include "platform/StatusCodes.h"

namespace skelvane {
namespace {

constexpr int32_t kMaxUnits = 16;
constexpr double kMaxSamplingHz = 1'000'000.0;
// Spike times are drawn one at a time, so the work grows with the rate: faster than any neuron
// fires would only keep the generator busy (spikes closer than the minimum spacing are dropped).
constexpr double kMaxSpikeRateHz = 1000.0;
constexpr double kMicrosecondsPerSecond = 1'000'000.0;

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

// Samples beyond the 16-bit range saturate as an A/D converter would; clipping holds them at the
// full scale the header declares.
constexpr float kLowestSample = std::numeric_limits<int16_t>::min();
constexpr float kHighestSample = std::numeric_limits<int16_t>::max();
constexpr float kLowestClipped = -SyntheticSignal::kFullScale;
constexpr float kHighestClipped = SyntheticSignal::kFullScale;
// Full-scale noise: every whole count from -kFullScale to kFullScale alike.
constexpr uint64_t kFullScaleCounts = 2 * SyntheticSignal::kFullScale + 1;

// Random streams: one for the spike train and unit shapes, one per channel for its noise.
constexpr uint64_t kSpikeStream = 0;
constexpr uint64_t kFirstChannelStream = 1;

int32_t Invalid(const std::string& why) {
  ReportError("Invalid synthetic recording options: " + why, 0);
  return kStatusFailed;
}

}  // namespace

int32_t SyntheticSignal::Validate(const SynthOptions& o) {
  if (o.channels < 1 || o.channels > kMaxChannels) return Invalid("channels must be 1 to 128");
  if (!(o.samplingHz > 0.0) || o.samplingHz > kMaxSamplingHz) return Invalid("sampling rate out of range");
  if (!(o.seconds > 0.0) || !std::isfinite(o.seconds)) return Invalid("duration must be positive");
  if (o.seconds * o.samplingHz / kSamplesPerRecord < 1.0) return Invalid("too short for one record");
  if (o.seconds * o.samplingHz / kSamplesPerRecord > std::numeric_limits<int32_t>::max())
    return Invalid("too many records");
  if (o.units < 0 || o.units > kMaxUnits) return Invalid("units must be 0 to 16");
  if (!(o.spikeRateHz >= 0.0) || o.spikeRateHz > kMaxSpikeRateHz) return Invalid("spike rate must be 0 to 1000 Hz");
  if (!(o.noiseCounts >= 0.0) || !std::isfinite(o.noiseCounts)) return Invalid("noise must not be negative");
  if (!(o.oscillation.hz >= 0.0) || o.oscillation.hz > o.samplingHz / 2.0)
    return Invalid("oscillation frequency must be 0 to half the sampling rate");
  if (!(o.oscillation.counts >= 0.0) || !std::isfinite(o.oscillation.counts))
    return Invalid("oscillation amplitude must not be negative");
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

int32_t SyntheticSignal::Plan(const SynthOptions& options) {
  if (const int32_t rc = Validate(options); rc != kStatusOk) return rc;
  *this = SyntheticSignal();
  options_ = options;
  numRecords_ = static_cast<int64_t>(options.seconds * options.samplingHz / kSamplesPerRecord);
  MakeTimestamps();
  frequencyField_ = static_cast<uint32_t>(std::llround(options.samplingHz));

  GaussianNoise spikeRandom(GaussianNoise::MixSeed(options.seed, kSpikeStream));
  MakeUnits(spikeRandom);
  lead_ = static_cast<int64_t>(std::ceil(kPeakLeadSeconds * options.samplingHz));
  trail_ = static_cast<int64_t>(std::ceil(kPeakTrailSeconds * options.samplingHz));
  PlaceSpikes(spikeRandom);
  SampleShapes();

  const double sampleMicroseconds = kMicrosecondsPerSecond / options.samplingHz;
  for (const PlacedSpike& p : placed_) {
    const int64_t peak = p.sample + peakShifts_[static_cast<std::size_t>(p.unit)];
    const int64_t record = peak / kSamplesPerRecord;
    const int64_t within = peak % kSamplesPerRecord;
    spikes_.push_back({timestamps_[static_cast<std::size_t>(record)] + std::llround(within * sampleMicroseconds),
                       p.unit, units_[static_cast<std::size_t>(p.unit)].polarity});
  }
  streams_.resize(static_cast<std::size_t>(options.channels));
  return kStatusOk;
}

int64_t SyntheticSignal::TimelineSamples() const { return numRecords_ * kSamplesPerRecord; }

// Timestamps of every record of the common timeline, gaps included.
void SyntheticSignal::MakeTimestamps() {
  std::vector<int64_t> gapBefore(static_cast<std::size_t>(numRecords_) + 1, 0);
  for (const SynthGap& gap : options_.gaps) {
    if (gap.afterRecord + 1 < numRecords_) gapBefore[static_cast<std::size_t>(gap.afterRecord + 1)] += gap.microseconds;
  }
  timestamps_.resize(static_cast<std::size_t>(numRecords_));
  const double period = kSamplesPerRecord * kMicrosecondsPerSecond / options_.samplingHz;
  double elapsed = 0.0;
  int64_t gapTotal = 0;
  for (int64_t k = 0; k < numRecords_; ++k) {
    gapTotal += gapBefore[static_cast<std::size_t>(k)];
    timestamps_[static_cast<std::size_t>(k)] = options_.startTimestamp + std::llround(elapsed) + gapTotal;
    elapsed += period;
  }
}

void SyntheticSignal::MakeUnits(GaussianNoise& random) {
  for (int32_t u = 0; u < options_.units; ++u) {
    Unit unit;
    unit.polarity = u % 2 == 0 ? -1 : 1;  // alternate, so both polarities occur from two units on
    unit.amplitude = kUnitAmplitudes[static_cast<std::size_t>(u) % std::size(kUnitAmplitudes)];
    unit.widthSeconds = kMainWidthBaseSeconds + kMainWidthStepSeconds * (u % 4);
    for (int32_t c = 0; c < options_.channels; ++c) {
      unit.gains.push_back(kMinChannelGain + (kMaxChannelGain - kMinChannelGain) * random.Uniform());
    }
    units_.push_back(std::move(unit));
  }
}

// The unit's waveform, `offsetSeconds` away from its peak, at channel gain 1.
double SyntheticSignal::Waveform(const Unit& unit, double offsetSeconds) const {
  const double main = std::exp(-0.5 * std::pow(offsetSeconds / unit.widthSeconds, 2.0));
  const double rebound =
      kReboundFraction * std::exp(-0.5 * std::pow((offsetSeconds - kReboundDelaySeconds) / kReboundWidthSeconds, 2.0));
  return unit.polarity * unit.amplitude * (main - rebound);
}

void SyntheticSignal::PlaceSpikes(GaussianNoise& random) {
  const SynthOptions& o = options_;
  if (o.units == 0 || o.spikeRateHz <= 0.0) return;
  const int64_t numSamples = TimelineSamples();
  // Record boundaries followed by a pause: a waveform cut in two by it would not be one spike.
  std::vector<int64_t> pauses;
  for (const SynthGap& gap : o.gaps) {
    if (gap.microseconds > 0) pauses.push_back((gap.afterRecord + 1) * kSamplesPerRecord);
  }
  const double meanInterval = o.samplingHz / (o.spikeRateHz * o.units);
  const auto minSpacing = static_cast<int64_t>(std::ceil(kMinSpikeSpacingSeconds * o.samplingHz));
  double position = static_cast<double>(lead_);
  int64_t lastAccepted = std::numeric_limits<int64_t>::min() / 2;
  for (;;) {
    position += random.Exponential(meanInterval);
    const int32_t unit = static_cast<int32_t>(random.Below(static_cast<uint64_t>(o.units)));
    const auto sample = static_cast<int64_t>(position);
    if (sample + trail_ >= numSamples) break;
    if (sample - lastAccepted < minSpacing) continue;
    const bool nearPause = std::any_of(pauses.begin(), pauses.end(), [&](int64_t boundary) {
      return sample + trail_ >= boundary && sample - lead_ < boundary;
    });
    if (nearPause) continue;
    placed_.push_back({sample, unit});
    lastAccepted = sample;
  }
}

// The slower rebound can pull the largest sample one step early, so the truth names the sample that
// really is the largest.
void SyntheticSignal::SampleShapes() {
  for (const Unit& unit : units_) {
    std::vector<double> shape;
    for (int64_t off = -lead_; off <= trail_; ++off) shape.push_back(Waveform(unit, off / options_.samplingHz));
    const auto largest =
        std::max_element(shape.begin(), shape.end(), [](double a, double b) { return std::abs(a) < std::abs(b); });
    peakShifts_.push_back((largest - shape.begin()) - lead_);
    shapes_.push_back(std::move(shape));
  }
}

int64_t SyntheticSignal::FirstRecord(int32_t channel) const {
  return channel == options_.lateChannel ? std::min<int64_t>(options_.lateRecords, numRecords_) : 0;
}

int64_t SyntheticSignal::RecordCount(int32_t channel) const {
  const int64_t first = FirstRecord(channel);
  int64_t end = numRecords_;
  if (static_cast<std::size_t>(channel) < options_.missingTailRecords.size()) {
    end = std::max<int64_t>(first, numRecords_ - options_.missingTailRecords[static_cast<std::size_t>(channel)]);
  }
  return end - first;
}

double SyntheticSignal::NextNoise(GaussianNoise& noise) const {
  if (options_.fullScaleNoise) return static_cast<double>(noise.Below(kFullScaleCounts)) - kFullScale;
  return options_.noiseCounts * noise.Gaussian();
}

// The channel's noise is drawn in timeline order (for the whole timeline, so dropping records never
// changes the samples kept); then every spike that reaches into the batch is added in spike order, so
// each sample sums exactly as for the whole signal; then the wave, rounding and the limits.
void SyntheticSignal::Fill(int32_t channel, int64_t first, std::span<CscRecordData> batch) {
  ChannelStream& stream = streams_[static_cast<std::size_t>(channel)];
  const int64_t from = (FirstRecord(channel) + first) * kSamplesPerRecord;
  const auto length = static_cast<int64_t>(batch.size()) * kSamplesPerRecord;
  if (stream.next < 0 || from < stream.next) {
    const uint64_t streamNumber = kFirstChannelStream + static_cast<uint64_t>(channel);
    stream.noise = GaussianNoise(GaussianNoise::MixSeed(options_.seed, streamNumber));
    stream.drawn = 0;
    stream.firstSpike = 0;
  }
  stream.next = from + length;
  signal_.resize(static_cast<std::size_t>(length));
  if (options_.fullScaleNoise || options_.noiseCounts > 0.0) {
    for (; stream.drawn < from; ++stream.drawn) NextNoise(stream.noise);
    for (float& v : signal_) v = static_cast<float>(NextNoise(stream.noise));
    stream.drawn += length;
  } else {
    std::fill(signal_.begin(), signal_.end(), 0.0f);  // no noise to draw
  }

  // Spikes come in time order and their waveforms share one length: those ending before the batch
  // stay behind for good.
  const auto endOf = [&](const PlacedSpike& p) {
    return p.sample - lead_ + static_cast<int64_t>(shapes_[static_cast<std::size_t>(p.unit)].size());
  };
  while (stream.firstSpike < placed_.size() && endOf(placed_[stream.firstSpike]) <= from) ++stream.firstSpike;
  for (std::size_t s = stream.firstSpike; s < placed_.size() && placed_[s].sample - lead_ < from + length; ++s) {
    const PlacedSpike& p = placed_[s];
    const std::vector<double>& shape = shapes_[static_cast<std::size_t>(p.unit)];
    const double gain = units_[static_cast<std::size_t>(p.unit)].gains[static_cast<std::size_t>(channel)];
    for (std::size_t i = 0; i < shape.size(); ++i) {
      const int64_t at = p.sample - lead_ + static_cast<int64_t>(i) - from;
      if (at >= 0 && at < length) signal_[static_cast<std::size_t>(at)] += static_cast<float>(gain * shape[i]);
    }
  }

  if (options_.oscillation.hz > 0.0) {
    // The phase is taken from the whole cycles' remainder, so it stays exact however long the timeline.
    for (int64_t i = 0; i < length; ++i) {
      const double cycles = options_.oscillation.hz * static_cast<double>(from + i) / options_.samplingHz;
      const double phase = 2.0 * std::numbers::pi * (cycles - std::floor(cycles));
      signal_[static_cast<std::size_t>(i)] += static_cast<float>(options_.oscillation.counts * std::cos(phase));
    }
  }

  const float lowest = options_.clip ? kLowestClipped : kLowestSample;
  const float highest = options_.clip ? kHighestClipped : kHighestSample;
  for (std::size_t k = 0; k < batch.size(); ++k) {
    CscRecordData& r = batch[k];
    r.timestamp = timestamps_[static_cast<std::size_t>(FirstRecord(channel) + first) + k];
    r.samplingFrequency = frequencyField_;
    const float* samples = signal_.data() + k * kSamplesPerRecord;
    for (int32_t i = 0; i < kSamplesPerRecord; ++i) {
      const float v = std::round(samples[i]);
      r.samples[static_cast<std::size_t>(i)] = static_cast<int16_t>(std::clamp(v, lowest, highest));
    }
  }
}

}  // namespace skelvane
