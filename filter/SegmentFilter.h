#pragma once
// Filters a stretch of one segment of a recording (samples without a gap in time between them). Past a
// segment's first or last sample the samples are its own mirrored: the one before the first is the
// first, the one before that the second, and so on (half-sample symmetric extension, repeated for a
// segment shorter than the filter's support), so a segment's edges are handled the same wherever its
// stretch is taken from. FilteredRecords and FilterStream cut recordings into segments and call it.

#include <cstdint>
#include <span>
#include <vector>

#include "filter/FilterDesign.h"
#include "filter/FilterWorkspace.h"

namespace skelvane {

class SegmentFilter {
 public:
  /// Consecutive samples of one segment; positions count from the first of them.
  struct Stretch {
    const int16_t* samples = nullptr;
    int64_t count = 0;
    bool startsSegment = false;  // the first sample is the segment's first
    bool endsSegment = false;    // the last sample is the segment's last
  };

  /// Writes the filtered samples at positions [from, to) of `stretch` to `out`. The stretch must hold
  /// the support of every one of them: from - HalfSupport() samples before (unless it starts the
  /// segment) and to + HalfSupport() after (unless it ends the segment). 0, or kStatusNoData when it
  /// does not (nothing written). `shortSegment` is set when the support of some of them reaches past
  /// both ends of the segment: the segment is shorter than the support. With `only` (ranges of `out`,
  /// ascending) the outputs outside them may be left unwritten, as FilterDesign::Apply says.
  /// A segment much shorter than the support is filtered over one period of its mirrored extension
  /// (FilterDesign::ApplyPeriodic), at a cost that follows its length; the outputs are the same.
  static int32_t Filter(const FilterDesign& design, const Stretch& stretch, int64_t from, int64_t to, int16_t* out,
                        FilterWorkspace& work, bool& shortSegment,
                        std::span<const FilterDesign::OutputRange> only = {});
  /// As Filter, always over the whole support of the outputs, extended as it lies: the plain
  /// computation the period of a short segment is checked against.
  static int32_t FilterDirectly(const FilterDesign& design, const Stretch& stretch, int64_t from, int64_t to,
                                int16_t* out, FilterWorkspace& work, bool& shortSegment,
                                std::span<const FilterDesign::OutputRange> only = {});

  /// The position of the sample that stands at `position` of a segment of `length` samples (any
  /// position, before or past the segment): itself inside, mirrored outside.
  static int64_t Mirror(int64_t position, int64_t length);

  /// The parts of `only` (ascending) that fall in [from, to), counted from `from`: the `only` of one
  /// segment's Filter when `only` counts from the start of a run of segments. `into` is cleared first.
  static void RangesWithin(std::span<const FilterDesign::OutputRange> only, int64_t from, int64_t to,
                           std::vector<FilterDesign::OutputRange>& into);

 private:
  static int32_t Run(const FilterDesign& design, const Stretch& stretch, int64_t from, int64_t to, int16_t* out,
                     FilterWorkspace& work, bool& shortSegment, std::span<const FilterDesign::OutputRange> only,
                     bool periodic);
};

}  // namespace skelvane
