#pragma once
// The timing and full scale of one CSC source, measured from its first records and its header: what
// its trace is drawn with and what a spike file cut from it states. Used by CscPlot and ChannelSource.

#include <cstdint>
#include <span>
#include <string>

namespace skelvane {

class IDataSourceManager;

class ChannelTiming {
 public:
  /// Records after the first whose intervals estimate the sampling rate.
  static constexpr int32_t kTimingRecords = 4;
  /// Intervals longer than this many times the shortest one are recording gaps.
  static constexpr double kGapFactor = 1.5;
  /// The sampling frequency of a source without a first record.
  static constexpr double kUnknownSamplingFrequency = 1.0;
  /// Full-scale A/D value assumed until the source's header says otherwise.
  static constexpr int32_t kDefaultADMaxValue = 2047;

  /// Measures source `source` of `sources`: the first record's frequency field, replaced by the rate the
  /// intervals of the first records give when they give one; the header's -ADMaxValue.
  static ChannelTiming Measure(IDataSourceManager& sources, int32_t source);
  /// Mean record interval over the positive intervals no longer than 1.5 times the shortest one,
  /// so a recording gap does not distort it; 0 when no interval is usable.
  static double MeanRecordInterval(std::span<const int64_t> intervals);
  /// Reads a decimal integer as the header stores it: leading blanks, optional sign, digits; 0 without
  /// (held inside the int32 range).
  static int32_t ParseHeaderInteger(const std::string& text);

  double samplingFrequency = kUnknownSamplingFrequency;  // hertz
  double samplePeriod = 0.0;   // microseconds per sample; 0 while no record interval could be measured
  int32_t recordDuration = 0;  // whole microseconds per record; 0 likewise
  int32_t adMaxValue = kDefaultADMaxValue;
};

}  // namespace skelvane
