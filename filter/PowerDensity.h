#pragma once
// Welch's estimate of a recording's power spectral density: half-overlapping Hann-windowed segments,
// each taken only from samples without a gap between them, their periodograms averaged. SpanDensity
// feeds it the raw and the filtered samples of a span; the Spectrum panel shows what it gives.

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <vector>

struct kiss_fftr_state;

namespace skelvane {

class PowerDensity {
 public:
  /// Segment lengths in samples: powers of two up to this (bins 0.98 Hz apart at 32 kHz) ...
  static constexpr int64_t kLongestSegment = 32768;
  /// ... and no shorter than this: a span whose longest stretch without a gap holds fewer samples has
  /// too little data for a spectrum.
  static constexpr int64_t kShortestSegment = 256;
  /// Segments the length is chosen to give at least, where the stretches allow it: their average
  /// keeps the estimate's scatter near +-1.5 dB.
  static constexpr int64_t kSegmentsWanted = 8;
  /// The floor of the decibel values: a flat line's zero power.
  static constexpr double kFloorDb = -150.0;

  /// The segment length for stretches of these lengths: the longest power of two from
  /// kShortestSegment to kLongestSegment that fits in the longest stretch and lets them hold at least
  /// kSegmentsWanted segments; failing that, the longest that fits at all; nullopt when not even the
  /// shortest fits.
  static std::optional<int64_t> SegmentLengthFor(std::span<const int64_t> stretchLengths);
  /// How many half-overlapping segments of `length` fit in a stretch of `count` samples.
  static int64_t SegmentsIn(int64_t count, int64_t length);

  /// An empty estimate with segments of `segmentLength` samples (even) taken `samplingHz` apart.
  PowerDensity(int64_t segmentLength, double samplingHz);
  ~PowerDensity();
  PowerDensity(const PowerDensity&) = delete;
  PowerDensity& operator=(const PowerDensity&) = delete;

  /// Forgets the segments added: the estimate starts again.
  void Clear();
  double RateHz() const { return rate_; }
  /// Adds every segment that fits in `count` consecutive samples without a gap.
  void AddStretch(const int16_t* samples, int64_t count);

  int64_t SegmentLength() const { return length_; }
  /// The segments averaged so far.
  int64_t Segments() const { return segments_; }
  /// The distance between bins, in hertz.
  double BinHz() const;
  /// The one-sided density at bins 0 .. SegmentLength() / 2, in counts squared per hertz: its sum
  /// times BinHz() is the variance of the samples about each segment's mean. Empty without a segment.
  std::vector<double> Density() const;
  /// The density in decibels re 1 count squared per hertz, no lower than kFloorDb.
  static std::vector<double> Decibels(const std::vector<double>& density);

 private:
  struct FftFree {
    void operator()(kiss_fftr_state* state) const;
  };

  int64_t length_;
  double rate_;
  std::unique_ptr<kiss_fftr_state, FftFree> fft_;
  std::vector<float> window_;
  std::vector<float> input_;
  std::vector<float> spectrum_;  // the FFT's complex output, re and im interleaved
  std::vector<double> sum_;      // the periodograms' sum, |X|^2 per bin
  double windowPower_ = 0.0;     // the sum of the window's squares
  int64_t segments_ = 0;
};

}  // namespace skelvane
