#include "filter/SegmentFilter.h"

#include <algorithm>

#include "platform/StatusCodes.h"

namespace skelvane {
namespace {

// Periods of a whole segment's mirrored extension the extended input must span at least for one
// period to be filtered instead: a period costs a few times what a sample of the plain pass costs.
constexpr int64_t kPeriodsInExtension = 2;

}  // namespace

int64_t SegmentFilter::Mirror(int64_t position, int64_t length) {
  // Mirrored about both edges the samples repeat every two lengths.
  const int64_t period = 2 * length;
  int64_t p = position % period;
  if (p < 0) p += period;
  return p < length ? p : period - 1 - p;
}

void SegmentFilter::RangesWithin(std::span<const FilterDesign::OutputRange> only, int64_t from, int64_t to,
                                 std::vector<FilterDesign::OutputRange>& into) {
  into.clear();
  for (const FilterDesign::OutputRange& range : only) {
    const int64_t first = std::max(range.from, from);
    const int64_t end = std::min(range.to, to);
    if (first < end) into.push_back({first - from, end - from});
  }
}

int32_t SegmentFilter::Filter(const FilterDesign& design, const Stretch& stretch, int64_t from, int64_t to, int16_t* out,
                              FilterWorkspace& work, bool& shortSegment,
                              std::span<const FilterDesign::OutputRange> only) {
  return Run(design, stretch, from, to, out, work, shortSegment, only, true);
}

int32_t SegmentFilter::FilterDirectly(const FilterDesign& design, const Stretch& stretch, int64_t from, int64_t to,
                                      int16_t* out, FilterWorkspace& work, bool& shortSegment,
                                      std::span<const FilterDesign::OutputRange> only) {
  return Run(design, stretch, from, to, out, work, shortSegment, only, false);
}

int32_t SegmentFilter::Run(const FilterDesign& design, const Stretch& stretch, int64_t from, int64_t to, int16_t* out,
                           FilterWorkspace& work, bool& shortSegment, std::span<const FilterDesign::OutputRange> only,
                           bool periodic) {
  const int64_t half = design.HalfSupport();
  if (from < 0 || to > stretch.count || from > to) return kStatusNoData;
  if ((!stretch.startsSegment && from - half < 0) || (!stretch.endsSegment && to + half > stretch.count)) {
    return kStatusNoData;
  }
  if (from == to) return kStatusOk;
  const int64_t count = to - from;
  const int64_t first = from - half;   // position of the extended input's first sample
  const int64_t last = to + half;      // position just past its last
  // Mirroring at both edges needs the segment's length; only a stretch holding the whole segment can
  // need it, and one that does not end it is never mirrored at its end.
  const int64_t length = stretch.count;
  if (stretch.startsSegment && stretch.endsSegment && from < half && to + half > length) {
    // The outputs whose support reaches past both ends lie in [length - half, half): are any asked for?
    const int64_t beyondStart = std::min(to, half);
    const int64_t beyondEnd = std::max(from, length - half);
    if (beyondEnd < beyondStart) shortSegment = true;
  }
  // The mirrored extension of a whole segment repeats every two lengths: when that period is well
  // shorter than the extended input, one period of it is filtered instead.
  if (periodic && stretch.startsSegment && stretch.endsSegment && kPeriodsInExtension * 2 * length <= last - first) {
    const int64_t period = 2 * length;
    int16_t* repeating = FilterWorkspace::Room(work.extended, period);
    std::copy(stretch.samples, stretch.samples + length, repeating);
    std::reverse_copy(stretch.samples, stretch.samples + length, repeating + length);
    int16_t* filtered = FilterWorkspace::Room(work.period, period);
    design.ApplyPeriodic(repeating, period, filtered, work);
    std::copy(filtered + from, filtered + to, out);
    return kStatusOk;
  }
  // A stretch that holds the whole support and the read pad after it is filtered where it lies.
  if (first >= 0 && last + FirStage::kReadPad <= length) {
    design.Apply(stretch.samples + first, count, out, work, only);
    return kStatusOk;
  }
  const int64_t extendedLength = last - first + FirStage::kReadPad;
  int16_t* extended = FilterWorkspace::Room(work.extended, extendedLength);
  const int64_t inside0 = std::max<int64_t>(first, 0);
  const int64_t inside1 = std::min<int64_t>(last, length);
  for (int64_t p = first; p < inside0; ++p) extended[p - first] = stretch.samples[Mirror(p, length)];
  if (inside1 > inside0) std::copy(stretch.samples + inside0, stretch.samples + inside1, extended + (inside0 - first));
  for (int64_t p = std::max(inside1, first); p < last; ++p) extended[p - first] = stretch.samples[Mirror(p, length)];
  std::fill(extended + extendedLength - FirStage::kReadPad, extended + extendedLength, int16_t{0});
  design.Apply(extended, count, out, work, only);
  return kStatusOk;
}

}  // namespace skelvane
