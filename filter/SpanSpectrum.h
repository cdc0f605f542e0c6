#pragma once
// The power spectrum of one recording over a span of time, raw and through a band filter: reads the
// span's records (for a long span, pieces spread evenly over it, so the cost follows a fixed number of
// samples and not the span), cuts them where the record timestamps leave a gap and hands the stretches
// to PowerSpectrum with a segment length chosen from them. Run by the Spectrum panel's worker and the
// spectrum bench.

#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "filter/FilterSpec.h"

namespace skelvane {

class RecordReader;

class SpanSpectrum {
 public:
  /// Records read at most for one spectrum (2^21 samples, 65 s at 32 kHz): a longer span is read as
  /// kPieces runs of records spread evenly over it.
  static constexpr int64_t kMostRecords = 4096;
  static constexpr int64_t kPieces = 32;

  /// What a computation found.
  struct Result {
    enum class Status {
      kOk,
      kNoRecords,      // the span holds no sample of the recording
      kTooLittleData,  // no stretch without a gap holds PowerSpectrum::kShortestSegment samples
      kStopped,        // the caller asked to stop
      kFailed,         // a read failed (readError) or the file no longer holds its records
    };
    Status status = Status::kNoRecords;
    int32_t readError = 0;
    double samplingHz = 0.0;
    double binHz = 0.0;
    int64_t segmentLength = 0;
    int64_t segments = 0;
    /// The longest stretch without a gap, in samples.
    int64_t longestStretch = 0;
    /// Records of the span were not followed by the next without a gap: no segment spans one.
    bool gaps = false;
    /// The span was longer than kMostRecords records: the spectrum is of kPieces pieces of it.
    bool spread = false;
    /// Why the filter could not be designed for the recording's rate (only the raw curve then).
    std::string filterRefusal;
    /// The one-sided density per bin in decibels (PowerSpectrum::Decibels), raw and filtered (empty
    /// with None or a refused filter).
    std::vector<double> raw;
    std::vector<double> filtered;
  };

  /// The spectrum of the samples in [start, end) (microseconds) of the recording `reader` has open,
  /// its samples `sampleInterval` microseconds apart, raw and through `filter`. `stop`, when given, is
  /// asked between pieces of the work; when it says so, the result is kStopped.
  static Result Compute(const RecordReader& reader, double sampleInterval, int64_t start, int64_t end,
                        const FilterSpec& filter, const std::function<bool()>& stop = {});

  /// The records [first, last) whose samples may fall in [start, end), found by bisecting the record
  /// timestamps (in order, as a recording has them); a read error gives an empty run.
  static std::pair<int64_t, int64_t> RecordsIn(const RecordReader& reader, double sampleInterval, int64_t start,
                                                int64_t end);
};

}  // namespace skelvane
