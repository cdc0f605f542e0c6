#pragma once
// What one pass over a spike file (or a run of its spikes) tells: count, time range, rate, peak
// amplitudes per channel, short intervals, the interval histogram and the mean waveform with its
// spread. Used by `skelvane-cli spikes`, the figure and the Spikes panel.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace skelvane {

class SpikeFile;

class SpikeStatistics {
 public:
  /// Intervals shorter than this count as refractory violations.
  static constexpr int64_t kShortIntervalUs = 2000;
  /// The interval histogram covers [0, kIntervalRangeUs) in bins of kIntervalBinUs.
  static constexpr int64_t kIntervalRangeUs = 50'000;
  static constexpr int64_t kIntervalBinUs = 500;
  static constexpr int32_t kIntervalBins = static_cast<int32_t>(kIntervalRangeUs / kIntervalBinUs);

  /// What a pass works out: the summary alone, or also the mean waveform and its spread (what a
  /// figure draws; it costs about as much again as the summary).
  enum class Detail { kSummary, kWithWaveforms };

  /// Reads spikes [first, end) of `file` (end -1: to the last spike) once, in blocks, and fills `out`;
  /// 0, or the reader's status after its report.
  static int32_t Compute(const SpikeFile& file, SpikeStatistics& out, int64_t first = 0, int64_t end = -1,
                         Detail detail = Detail::kSummary);

  std::string path;
  int32_t channels = 0;
  int32_t points = 0;                              // samples per channel in each window
  int32_t alignmentPt = 0;                         // 1-based, from the header
  std::vector<std::optional<int64_t>> thresholds;  // the header's, one per data file
  int64_t firstIndex = 0;                          // the spikes counted: [firstIndex, firstIndex + count)
  int64_t count = 0;

  // Times are signed (a recording may start before zero). First and last are the earliest and the
  // latest spike, which are the file's first and last spike unless its times go back somewhere.
  std::optional<int64_t> firstUs;  // none without spikes
  std::optional<int64_t> lastUs;
  std::optional<double> rateHz;  // count over (last - first) in seconds; none unless last > first

  // Per channel, the sample at the alignment point (the peak the detector aligned on); empty
  // without spikes.
  std::vector<double> amplitudeMedian;  // the middle value, or the mean of the two middle values
  std::vector<int32_t> amplitudeMin;
  std::vector<int32_t> amplitudeMax;

  int64_t intervals = 0;                       // count - 1 successive intervals
  int64_t shortIntervals = 0;                  // of them, rising by less than kShortIntervalUs
  std::optional<double> shortIntervalPercent;  // none without an interval
  std::vector<int64_t> intervalHistogram;      // kIntervalBins counts
  int64_t intervalsBeyondHistogram = 0;        // at or past kIntervalRangeUs, or going back in time
  int64_t intervalsBack = 0;                   // of them, going back in time (a fault of the file)

  // With Detail::kWithWaveforms, per channel and point (index channel * points + point): mean and
  // standard deviation (over n) of the samples of every spike counted; empty without spikes.
  std::vector<double> waveformMean;
  std::vector<double> waveformDeviation;

  /// Mean of `point` on `channel`.
  double Mean(int32_t channel, int32_t point) const { return waveformMean[Index(channel, point)]; }
  /// Standard deviation of `point` on `channel`.
  double Deviation(int32_t channel, int32_t point) const { return waveformDeviation[Index(channel, point)]; }

 private:
  std::size_t Index(int32_t channel, int32_t point) const {
    return static_cast<std::size_t>(channel) * static_cast<std::size_t>(points) + static_cast<std::size_t>(point);
  }
};

}  // namespace skelvane
