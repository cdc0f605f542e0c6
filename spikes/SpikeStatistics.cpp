#include "spikes/SpikeStatistics.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

#include "platform/StatusCodes.h"
#include "spikes/SpikeFile.h"

namespace skelvane {
namespace {

constexpr double kMicrosecondsPerSecond = 1e6;
constexpr double kPercent = 100.0;
// Peak amplitudes are counted per value, so the median needs no copy of a million samples.
constexpr int32_t kSampleValues = 1 << 16;
constexpr int32_t kSampleOffset = 1 << 15;

// Everything the pass keeps between blocks.
class Accumulator {
 public:
  Accumulator(int32_t channels, int32_t points, int32_t alignmentIndex, SpikeStatistics& out)
      : channels_(channels),
        alignmentIndex_(alignmentIndex),
        window_(static_cast<std::size_t>(channels) * static_cast<std::size_t>(points)),
        sums_(window_, 0),
        squares_(window_, 0),
        peakCounts_(static_cast<std::size_t>(channels) * kSampleValues, 0),
        out_(out) {
    out_.intervalHistogram.assign(SpikeStatistics::kIntervalBins, 0);
  }

  void Add(const SpikeRecords& records) {
    for (int64_t i = 0; i < records.Count(); ++i) {
      AddTime(records.Timestamp(i));
      const uint8_t* bytes = records.Record(i) + SpikeRecords::kSamplesOffset;
      int16_t low = lowest_;
      int16_t high = highest_;
      for (std::size_t s = 0; s < window_; ++s) {
        int16_t v;
        std::memcpy(&v, bytes + 2 * s, sizeof v);
        sums_[s] += v;
        squares_[s] += int64_t{v} * v;
        low = std::min(low, v);
        high = std::max(high, v);
      }
      lowest_ = low;
      highest_ = high;
      for (int32_t c = 0; c < channels_; ++c) {
        const int32_t peak = records.Sample(i, alignmentIndex_, c);
        ++peakCounts_[static_cast<std::size_t>(c) * kSampleValues + static_cast<std::size_t>(peak + kSampleOffset)];
      }
    }
  }

  void Finish(int32_t points) {
    const int64_t n = out_.count;
    if (out_.intervals > 0) {
      out_.shortIntervalPercent = kPercent * static_cast<double>(out_.shortIntervals) / static_cast<double>(out_.intervals);
    }
    if (n > 0 && *out_.lastUs > *out_.firstUs) {
      const double seconds = static_cast<double>(*out_.lastUs - *out_.firstUs) / kMicrosecondsPerSecond;
      out_.rateHz = static_cast<double>(n) / seconds;
    }
    if (n == 0) return;
    out_.sampleMin = lowest_;
    out_.sampleMax = highest_;
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
    for (int32_t c = 0; c < channels_; ++c) AddAmplitudes(c, n);
  }

 private:
  void AddTime(uint64_t time) {
    if (out_.count++ == 0) {
      out_.firstUs = time;
    } else {
      ++out_.intervals;
      // An interval that goes back in time is a fault of the file, not a short interval.
      if (time >= previous_) {
        const uint64_t interval = time - previous_;
        if (interval < static_cast<uint64_t>(SpikeStatistics::kShortIntervalUs)) ++out_.shortIntervals;
        if (interval < static_cast<uint64_t>(SpikeStatistics::kIntervalRangeUs)) {
          ++out_.intervalHistogram[interval / SpikeStatistics::kIntervalBinUs];
        } else {
          ++out_.intervalsBeyondHistogram;
        }
      } else {
        ++out_.intervalsBeyondHistogram;
      }
    }
    previous_ = time;
    out_.lastUs = time;
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
  std::size_t window_;
  std::vector<int64_t> sums_;
  std::vector<int64_t> squares_;
  std::vector<uint64_t> peakCounts_;
  int16_t lowest_ = std::numeric_limits<int16_t>::max();
  int16_t highest_ = std::numeric_limits<int16_t>::min();
  uint64_t previous_ = 0;
  SpikeStatistics& out_;
};

}  // namespace

int32_t SpikeStatistics::Compute(const SpikeFile& file, SpikeStatistics& out, int64_t first, int64_t end) {
  out = SpikeStatistics();
  out.path = file.Path();
  out.channels = file.NumChannels();
  out.points = SpikeRecords::kPoints;
  out.alignmentPt = file.AlignmentPt();
  out.thresholds = file.Thresholds();
  if (end < 0) end = file.NumSpikes();
  out.firstIndex = first;
  Accumulator accumulator(out.channels, out.points, file.AlignmentIndex(), out);
  const int32_t rc = file.ForEachBlock(first, end, [&accumulator](int64_t, const SpikeRecords& records) {
    accumulator.Add(records);
    return true;
  });
  if (rc != kStatusOk) return rc;
  accumulator.Finish(out.points);
  return kStatusOk;
}

}  // namespace skelvane
