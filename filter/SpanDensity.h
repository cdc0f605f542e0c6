#pragma once
// The power spectrum of one recording over a span of time, raw and through a band filter: reads the
// span's records (for a long span, pieces spread evenly over it, so the cost follows a fixed number of
// samples and not the span), cuts them where the record timestamps leave a gap and hands the stretches
// to PowerDensity with a segment length chosen from them. Run by the Spectrum panel's worker and the
// spectrum bench.

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "filter/FilterChoice.h"
#include "filter/FilterDesign.h"
#include "filter/FilteredRecords.h"
#include "filter/PowerDensity.h"

namespace skelvane {

class RecordReader;

class SpanDensity {
 public:
  /// Records read at most for one spectrum (2^19 samples, 16 s at 32 kHz): a longer span is read as
  /// kPieces runs of records spread evenly over it, each long enough for three of the longest segments.
  static constexpr int64_t kMostRecords = 1024;
  static constexpr int64_t kPieces = 8;

  /// What a computation found.
  struct Result {
    enum class Status {
      kOk,
      kNoRecords,      // the span holds no sample of the recording
      kTooLittleData,  // no stretch without a gap holds PowerDensity::kShortestSegment samples
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
    /// The one-sided density per bin in decibels (PowerDensity::Decibels), raw and filtered (empty
    /// with None or a refused filter).
    std::vector<double> raw;
    std::vector<double> filtered;
  };

  /// The spectrum of the samples in [start, end) (microseconds) of the recording `reader` has open,
  /// its samples `sampleInterval` microseconds apart, raw and through `filter`. `stop`, when given, is
  /// asked between pieces of the work; when it says so, the result is kStopped. The design of the
  /// filter, the estimates' FFT plans and the memory are kept for the next call: making them anew can
  /// cost more than the spectrum.
  Result Compute(const RecordReader& reader, double sampleInterval, int64_t start, int64_t end,
                        const FilterChoice& filter, const std::function<bool()>& stop = {});

  /// The records [first, last) whose samples may fall in [start, end), found by bisecting the record
  /// timestamps (in order, as a recording has them); a read error gives an empty run.
  static std::pair<int64_t, int64_t> RecordsIn(const RecordReader& reader, double sampleInterval, int64_t start,
                                                int64_t end);

 private:
  // The filter designed last, for a rate: none when it was refused (with the refusal kept).
  struct Designed {
    FilterChoice chosen;
    double rate = 0.0;
    std::optional<FilterDesign> design;
    std::string refusal;
  };
  // Consecutive samples without a gap, as an offset and a count into the samples gathered.
  struct Stretch {
    int64_t offset = 0;
    int64_t count = 0;
  };
  // The samples of the span gathered from its pieces, raw and filtered alike, and their stretches.
  struct Gathered {
    std::vector<int16_t> raw;
    std::vector<int16_t> filtered;
    std::vector<Stretch> stretches;
    bool gaps = false;
  };

  int32_t GatherPiece(const RecordReader& reader, const FilteredRecords* filter, double interval, int64_t first,
                      int64_t end, int64_t start, int64_t stop);
  // An estimate with `length` samples a segment, emptied (the one kept when it fits).
  PowerDensity& Emptied(std::unique_ptr<PowerDensity>& kept, int64_t length, double rate);

  std::optional<Designed> designed_;
  Gathered gathered_;
  FilteredRecords::Buffers buffers_;
  std::vector<uint8_t> bytes_;
  std::vector<int16_t> filteredPiece_;
  std::unique_ptr<PowerDensity> raw_;
  std::unique_ptr<PowerDensity> through_;
};

}  // namespace skelvane
