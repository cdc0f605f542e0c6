#pragma once
// The samples of a synthetic recording: its timeline, noise, units and spike times, an optional wave
// under them and clipping, made a batch of records at a time. SyntheticRecording writes them to files;
// tests that serve records from memory take them from here.

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "tools/CscFileWriter.h"
#include "tools/GaussianNoise.h"

namespace skelvane {

/// Extra time inserted before record afterRecord + 1 (a pause in the recording).
struct SynthGap {
  int64_t afterRecord = 0;
  int64_t microseconds = 0;
};

/// A cosine added to every channel alike: counts * cos(2 pi hz t), t counted in samples from the
/// first sample of the timeline. 0 Hz: none.
struct SynthOscillation {
  double hz = 0.0;
  double counts = 0.0;
};

struct SynthOptions {
  std::string outDir;
  std::string prefix = "TT1";
  int32_t channels = 4;
  double seconds = 60.0;
  double samplingHz = 32000.0;
  uint64_t seed = 1;
  int64_t startTimestamp = 1'000'000;
  double noiseCounts = 20.0;    // standard deviation of the Gaussian noise
  bool fullScaleNoise = false;  // every sample drawn uniformly over the full scale instead
  int32_t units = 3;
  double spikeRateHz = 8.0;  // per unit
  SynthOscillation oscillation;
  bool clip = false;  // samples beyond the full scale are held at it
  std::vector<SynthGap> gaps;
  int32_t lateChannel = -1;  // this channel's file starts lateRecords records later
  int32_t lateRecords = 0;
  std::vector<int32_t> missingTailRecords;  // per channel, records dropped at the end (unequal counts)
  int32_t trailingPartialBytes = 0;         // a partial record at the end of every file
  bool writeHeader = true;
};

/// One spike as generated: the timestamp of its peak sample, its unit and the sign of its peak.
struct SynthSpike {
  int64_t peakTimestamp;
  int32_t unit;
  int32_t polarity;  // +1 or -1
};

class SyntheticSignal {
 public:
  /// The A/D full scale of the recordings in counts (their "-ADMaxValue"): where full-scale noise
  /// ends and clipping holds the signal.
  static constexpr int32_t kFullScale = 2047;
  static constexpr int32_t kMaxChannels = 128;

  /// Plans the recording `options` describe (the same seed gives the same samples): 0, or -1 for
  /// options that make no recording (reported). May throw std::bad_alloc for a timeline too long to
  /// hold its record times.
  int32_t Plan(const SynthOptions& options);

  /// The records channel `channel` holds: the timeline less its late start and missing tail.
  int64_t RecordCount(int32_t channel) const;
  /// Fills `batch` with channel `channel`'s records from its record `first` on (all of them below
  /// RecordCount). Batches that follow each other are cheapest; any order gives the same records.
  void Fill(int32_t channel, int64_t first, std::span<CscRecordData> batch);
  /// The spikes of every channel, in time order.
  const std::vector<SynthSpike>& Spikes() const { return spikes_; }

 private:
  struct Unit {
    int32_t polarity;
    double amplitude;
    double widthSeconds;
    std::vector<double> gains;  // per channel
  };
  struct PlacedSpike {
    int64_t sample;  // timeline index of the waveform's main lobe
    int32_t unit;
  };
  // Where a channel stands, so that a batch following the last one need not draw its noise or pass
  // its spikes again.
  struct ChannelStream {
    GaussianNoise noise{0};
    int64_t next = -1;  // the timeline sample after the last batch; -1 before the first
    int64_t drawn = 0;  // timeline samples whose noise has been drawn
    std::size_t firstSpike = 0;
  };

  static int32_t Validate(const SynthOptions& o);
  void MakeTimestamps();
  void MakeUnits(GaussianNoise& random);
  void PlaceSpikes(GaussianNoise& random);
  void SampleShapes();
  double Waveform(const Unit& unit, double offsetSeconds) const;
  int64_t FirstRecord(int32_t channel) const;
  int64_t TimelineSamples() const;
  double NextNoise(GaussianNoise& noise) const;

  SynthOptions options_;
  int64_t numRecords_ = 0;
  std::vector<int64_t> timestamps_;
  uint32_t frequencyField_ = 0;
  std::vector<Unit> units_;
  int64_t lead_ = 0;
  int64_t trail_ = 0;
  std::vector<PlacedSpike> placed_;
  // Every unit's waveform, sampled once around its main lobe, and how far its largest sample lies
  // from the placed main lobe.
  std::vector<std::vector<double>> shapes_;
  std::vector<int64_t> peakShifts_;
  std::vector<SynthSpike> spikes_;
  std::vector<ChannelStream> streams_;
  std::vector<float> signal_;  // one batch's samples before rounding
};

}  // namespace skelvane
