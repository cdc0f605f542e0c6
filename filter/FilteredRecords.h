#pragma once
// The filtered samples of any run of records of one recording, read from its file: the records asked
// for and the support around them, in one read through the caller's RecordReader, cut into segments
// where the record timestamps leave a gap (or go back) and filtered per segment. The values are those
// a pass over the whole file (FilterStream) gives, wherever the run starts. For the views that draw
// filtered traces; the caller keeps the buffers so frames and workers reuse the memory.

#include <cstdint>
#include <span>
#include <vector>

#include "filter/FilterDesign.h"
#include "filter/FilterWorkspace.h"

namespace skelvane {

class RecordReader;

class FilteredRecords {
 public:
  /// The memory one Read uses, kept by the caller between reads.
  struct Buffers {
    std::vector<uint8_t> raw;
    std::vector<int16_t> samples;
    std::vector<int64_t> times;
    FilterWorkspace work;
    std::vector<FilterDesign::OutputRange> segmentOnly;  // a Read's `only` as one segment's
  };

  /// What one Read found besides the samples.
  struct Outcome {
    /// Some of the samples come from a segment shorter than the filter's support (a short
    /// recording, or records between two gaps): their values lean on the mirrored edges.
    bool shortSegment = false;
  };

  /// Filters the recording `reader` has open (it must outlive this object), its samples
  /// `sampleInterval` microseconds apart (the interval the gaps are judged by).
  FilteredRecords(const RecordReader& reader, const FilterDesign& design, double sampleInterval);

  const FilterDesign& Design() const { return design_; }
  /// Records read on each side of a run, where the recording has them: enough for the support.
  int64_t ContextRecords() const;

  /// Writes the filtered samples of records [first, end) to `out` (512 per record) and, when `times`
  /// is given, their timestamps. 0; kStatusNoData for a run outside the recording; kStatusSourceChanged
  /// when the file no longer holds the records; or the errno of a failed read. With `only` (ranges of
  /// `out`'s samples, ascending, not overlapping) only the samples in them need be written: a segment
  /// without any is not filtered, and a last FIR part weighs only theirs.
  int32_t Read(int64_t first, int64_t end, int16_t* out, Buffers& buffers, Outcome* outcome = nullptr,
               int64_t* times = nullptr, std::span<const FilterDesign::OutputRange> only = {}) const;
  /// Records [first, end) and the support around them, read into `loaded` for FilterSamples, for a
  /// few samples wanted here and there among them. Codes as Read.
  struct Loaded {
    Buffers buffers;
    int64_t first = 0;                   // the first record read
    std::vector<int64_t> segmentStarts;  // per record read, the first record (read) of its segment
    std::vector<int64_t> segmentEnds;    // per record read, one past the last record (read) of its segment
  };
  int32_t Load(int64_t first, int64_t end, Loaded& loaded) const;
  /// Writes the filtered samples [from, to) of record `record` (one of those asked for in the last
  /// Load; 0 <= from < to <= 512) to `out`: only those are filtered. 0 or kStatusNoData.
  int32_t FilterSamples(Loaded& loaded, int64_t record, int32_t from, int32_t to, int16_t* out) const;

 private:
  // Reads records [lo, hi) into the buffers' raw records, samples and times; codes as Read.
  int32_t ReadRaw(int64_t lo, int64_t hi, Buffers& buffers) const;

  const RecordReader& reader_;
  FilterDesign design_;
  double sampleInterval_;
};

}  // namespace skelvane
