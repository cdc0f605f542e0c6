#include "spikes/SpikeStatistics.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

#include "platform/Saturating.h"
#include "platform/StatusCodes.h"
#include "spikes/SpikeFile.h"

namespace skelvane {
namespace {

constexpr double kMicrosecondsPerSecond = 1e6;
constexpr double kPercent = 100.0;
// Peak amplitudes are counted per value, so the median needs no copy of a million samples.
constexpr int32_t kSampleValues = 1 << 16;
constexpr int32_t kSampleOffset = 1 << 15;

// A block's sums of samples must stay inside 32 bits.
static_assert(SpikeFile::kReadBlockBytes / SpikeRecords::RecordSizeFor(1) * kSampleOffset <
              std::numeric_limits<int32_t>::max());

// Adds the windows of `count` records (`window` samples each, `stride` bytes apart from `samples`) to
// per-position sums: the sums of a block stay exact in 32 bits, the squares (each below 2^30) go
// into 64-bit sums. A plain loop the compiler vectorises; with AVX2 where the machine has it.
__attribute__((target_clones("avx2", "default"))) void AddWindowSums(const uint8_t* samples, int64_t count,
                                                                     int32_t stride, std::size_t window,
                                                                     int32_t* __restrict sums,
                                                                     int64_t* __restrict squares) {
  for (int64_t i = 0; i < count; ++i) {
    const uint8_t* record = samples + i * stride;
    for (std::size_t s = 0; s < window; ++s) {
      int16_t v;
      std::memcpy(&v, record + 2 * s, sizeof v);
      sums[s] += v;
      squares[s] += int32_t{v} * v;
    }
  }
}

// Everything the pass keeps between blocks.
class Accumulator {
 public:
  Accumulator(int32_t channels, int32_t points, int32_t alignmentIndex, bool waveforms, SpikeStatistics& out)
      : channels_(channels),
        alignmentIndex_(alignmentIndex),
        window_(waveforms ? static_cast<std::size_t>(channels) * static_cast<std::size_t>(points) : 0),
        blockSums_(window_),
        sums_(window_, 0),
        squares_(window_, 0),
        peakCounts_(static_cast<std::size_t>(channels) * kSampleValues, 0),
        out_(out) {
    out_.intervalHistogram.assign(SpikeStatistics::kIntervalBins, 0);
  }

  void Add(const SpikeRecords& records) {
    for (int64_t i = 0; i < records.Count(); ++i) {
      AddTime(records.Timestamp(i));
      for (int32_t c = 0; c < channels_; ++c) {
        const int32_t peak = records.Sample(i, alignmentIndex_, c);
        ++peakCounts_[static_cast<std::size_t>(c) * kSampleValues + static_cast<std::size_t>(peak + kSampleOffset)];
      }
    }
    if (window_ > 0) AddWindows(records);
  }

  void Finish(int32_t points) {
    const int64_t n = out_.count;
    if (out_.intervals > 0) {
      out_.shortIntervalPercent =
          kPercent * static_cast<double>(out_.shortIntervals) / static_cast<double>(out_.intervals);
    }
    if (n > 0 && *out_.lastUs > *out_.firstUs) {
      // In 128 bits: the earliest and the latest may lie further apart than 64 bits hold.
      const double seconds =
          static_cast<double>(static_cast<__int128>(*out_.lastUs) - *out_.firstUs) / kMicrosecondsPerSecond;
      out_.rateHz = static_cast<double>(n) / seconds;
    }
    if (n == 0) return;
    for (int32_t c = 0; c < channels_; ++c) AddAmplitudes(c, n);
    if (window_ == 0) return;
    // Records hold point-major samples; the result is channel-major.
    out_.waveformMean.assign(window_, 0.0);
    out_.waveformDeviation.assign(window_, 0.0);
    for (int32_t p = 0; p < points; ++p) {
      for (int32_t c = 0; c < channels_; ++c) {
        const std::size_t s = static_cast<std::size_t>(p) * channels_ + c;
        const std::size_t r = static_cast<std::size_t>(c) * points + p;
        const double mean = static_cast<double>(sums_[s]) / static_cast<double>(n);
        const double meanSquare = static_cast<double>(squares_[s]) / static_cast<double>(n);
        out_.waveformMean[r] = mean;
        out_.waveformDeviation[r] = std::sqrt(std::max(0.0, meanSquare - mean * mean));
      }
    }
  }

 private:
  void AddWindows(const SpikeRecords& records) {
    std::fill(blockSums_.begin(), blockSums_.end(), 0);
    AddWindowSums(records.Record(0) + SpikeFileFormat::kSamplesOffset, records.Count(),
                  SpikeRecords::RecordSizeFor(channels_), window_, blockSums_.data(), squares_.data());
    for (std::size_t s = 0; s < window_; ++s) sums_[s] += blockSums_[s];
  }

  void AddTime(int64_t time) {
    if (out_.count++ == 0) {
      out_.firstUs = time;
      out_.lastUs = time;
    } else {
      ++out_.intervals;
      // An interval that goes back in time is a fault of the file, not a short interval.
      if (time >= previous_) {
        // Held at the 64-bit limit: two absurd timestamps far apart must not wrap into a short interval.
        const int64_t interval = SaturatingSubtract(time, previous_);
        if (interval < SpikeStatistics::kShortIntervalUs) ++out_.shortIntervals;
        if (interval < SpikeStatistics::kIntervalRangeUs) {
          ++out_.intervalHistogram[static_cast<std::size_t>(interval / SpikeStatistics::kIntervalBinUs)];
        } else {
          ++out_.intervalsBeyondHistogram;
        }
      } else {
        ++out_.intervalsBeyondHistogram;
        ++out_.intervalsBack;
      }
      out_.firstUs = std::min(*out_.firstUs, time);
      out_.lastUs = std::max(*out_.lastUs, time);
    }
    previous_ = time;
  }

  // The value of rank `rank` (0-based) among the channel's peaks.
  int32_t ValueOfRank(const uint64_t* counts, int64_t rank) const {
    uint64_t seen = 0;
    for (int32_t v = 0; v < kSampleValues; ++v) {
      seen += counts[v];
      if (seen > static_cast<uint64_t>(rank)) return v - kSampleOffset;
    }
    return std::numeric_limits<int16_t>::max();
  }

  void AddAmplitudes(int32_t channel, int64_t n) {
    const uint64_t* counts = peakCounts_.data() + static_cast<std::size_t>(channel) * kSampleValues;
    out_.amplitudeMin.push_back(ValueOfRank(counts, 0));
    out_.amplitudeMax.push_back(ValueOfRank(counts, n - 1));
    const double lower = ValueOfRank(counts, (n - 1) / 2);
    const double upper = ValueOfRank(counts, n / 2);
    out_.amplitudeMedian.push_back((lower + upper) / 2.0);
  }

  int32_t channels_;
  int32_t alignmentIndex_;
  std::size_t window_;  // samples per record, 0 when the waveforms are not wanted
  std::vector<int32_t> blockSums_;
  std::vector<int64_t> sums_;
  std::vector<int64_t> squares_;
  std::vector<uint64_t> peakCounts_;
  int64_t previous_ = 0;
  SpikeStatistics& out_;
};

}  // namespace

int32_t SpikeStatistics::Compute(const SpikeFile& file, SpikeStatistics& out, int64_t first, int64_t end,
                                 Detail detail) {
  out = SpikeStatistics();
  out.path = file.Path();
  out.channels = file.NumChannels();
  out.points = SpikeFileFormat::kPoints;
  out.alignmentPt = file.AlignmentPt();
  out.thresholds = file.Thresholds();
  if (end < 0) end = file.NumSpikes();
  out.firstIndex = first;
  Accumulator accumulator(out.channels, out.points, file.AlignmentIndex(), detail == Detail::kWithWaveforms, out);
  const int32_t rc = file.ForEachBlock(first, end, [&accumulator](int64_t, const SpikeRecords& records) {
    accumulator.Add(records);
    return true;
  });
  if (rc != kStatusOk) return rc;
  accumulator.Finish(out.points);
  return kStatusOk;
}

}  // namespace skelvane
