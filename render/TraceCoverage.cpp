#include "render/TraceCoverage.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <optional>

#include "render/LineRaster.h"
#include "render/VerticalChain.h"

namespace skelvane {
namespace {

constexpr int64_t kSubpixels = LineRaster::kSubpixels;
constexpr int32_t kSubpixelBits = 8;
constexpr int64_t kHalfPixel = kSubpixels / 2;
constexpr int32_t kWordBits = 64;
// Runs of at least this many points go through the vector form.
constexpr std::size_t kVectorRun = 4;
// Which edge of the clip volume a point lies past.
constexpr uint8_t kWithin = 0;
constexpr uint8_t kAbove = 1;
constexpr uint8_t kBelow = 2;
// Segments with both ends near the clip volume are rasterised whole and cut at the viewport's edge
// where their column allows; further out the clipper's rounding could move their ends too far.
constexpr float kNearClip = WindowTransform::kNearClip;
constexpr float kClipMargin = WindowTransform::kClipMargin;

// The first pixel row (or column) whose centre lies at or above a fixed-point edge.
int32_t FirstCentreFrom(int64_t edge) { return static_cast<int32_t>((edge + kSubpixels - 1) >> kSubpixelBits); }

// Bits first..last of a word (0 <= first <= last < 64).
uint64_t BitRange(int32_t first, int32_t last) {
  const uint64_t upTo = last == kWordBits - 1 ? ~uint64_t{0} : (uint64_t{1} << (last + 1)) - 1;
  return upTo & ~((uint64_t{1} << first) - 1);
}

}  // namespace

bool TraceCoverage::SetTransform(const std::array<float, 16>& matrix, int32_t viewportX, int32_t viewportY,
                                int32_t viewportWidth, int32_t viewportHeight) {
  const std::optional<WindowTransform> transform =
      WindowTransform::From(matrix, viewportX, viewportY, viewportWidth, viewportHeight);
  valid_ = transform.has_value();
  if (!valid_) return false;
  t_ = *transform;
  return true;
}

// The vertex stage rounds the product and the sum apart (this file is built without contraction);
// the viewport step is one fused multiply-add.
TraceCoverage::Point TraceCoverage::Window(int32_t x, int16_t y) const {
  const float productX = t_.scaleX * static_cast<float>(x);
  const float clipX = productX + t_.offsetX;
  const float productY = t_.scaleY * static_cast<float>(y);
  const float clipY = productY + t_.offsetY;
  const bool insideX = clipX > -1.0f && clipX < 1.0f;
  const uint8_t side = clipY > 1.0f ? kAbove : (clipY < -1.0f ? kBelow : kWithin);
  return {std::fmaf(clipX, t_.halfWidth, t_.centreX), std::fmaf(clipY, t_.halfHeight, t_.centreY),
          insideX && clipY > -1.0f && clipY < 1.0f, insideX, side, std::fabs(clipY) < kNearClip};
}

// Clipping drops a segment wholly past one edge of the volume. One that runs past the top or bottom
// ends where it leaves the volume, give or take the clipper's rounding: a vertical segment whose
// column lies well off its pixels' centres lights the same rows wherever in that margin its end
// lands, those of the whole segment inside the viewport. Other crossing segments are left to the
// rasteriser (`crossingCuts` false).
TraceCoverage::Reach TraceCoverage::SegmentReach(const Point& a, const Point& b, bool crossingCuts) {
  if (a.side != kWithin && a.side == b.side) return Reach::kNothing;
  if (a.inside && b.inside) return Reach::kCut;
  return crossingCuts && a.insideX && b.insideX && a.near && b.near ? Reach::kCut : Reach::kUndecided;
}

TraceCoverage::Rows TraceCoverage::CutToViewport(int32_t firstRow, int32_t lastRow) const {
  return {std::max(firstRow, t_.viewportY), std::min(lastRow, t_.viewportY + t_.viewportHeight - 1)};
}

bool TraceCoverage::ColumnInViewport(int32_t column) const {
  return column >= t_.viewportX && column - t_.viewportX < t_.viewportWidth;
}

// A vertical segment lights the rows whose centres lie from its lower end up to (not including) its
// upper end, each end in fixed point. An end stays where it is, or moves to the bottom or the top
// edge of its pixel, depending on whether it lies inside its pixel's diamond, on which half of the
// pixel, and on the direction the segment runs.
TraceCoverage::Rows TraceCoverage::VerticalRows(const Point& from, const Point& to) const {
  if (from.y == to.y) return {1, 0};
  const float offCentreX = std::fabs((from.x - std::floor(from.x)) - 0.5f);
  struct End {
    int64_t unmoved, bottom, top;
    float d;
    bool inside;
  };
  auto end = [&](float y) {
    const float row = std::floor(y);
    const float d = (y - row) - 0.5f;
    const auto base = static_cast<int64_t>(row) * kSubpixels;
    return End{LineRaster::Snap(y - 0.5f), base - kHalfPixel, base + kHalfPixel, d, offCentreX + std::fabs(d) < 0.5f};
  };
  const End a = end(from.y);
  const End b = end(to.y);
  int64_t low = 0;
  int64_t high = 0;
  if (to.y > from.y) {
    // Upwards: an end in its diamond's upper half, or on the centre row of an edge column, moves down.
    low = a.d >= 0.0f && (a.inside || a.d == 0.0f) ? a.bottom : a.unmoved;
    high = b.d >= 0.0f && (b.inside || b.d == 0.0f) ? b.bottom : b.unmoved;
  } else {
    // Downwards: the lower end moves up from its diamond's lower half; the upper end from the lower
    // half too, or from the centre row of an edge column.
    low = b.inside && b.d <= 0.0f ? b.top : b.unmoved;
    high = (a.inside ? a.d < 0.0f : a.d == 0.0f) ? a.top : a.unmoved;
  }
  return {FirstCentreFrom(low), FirstCentreFrom(high) - 1};
}

// The union of one column's vertical segments, as runs of rows.
void TraceCoverage::AddColumn(int32_t column, std::span<const Rows> rows,
                              std::vector<ColumnBarCoverage::Span>& spans) {
  if (rows.empty()) return;
  int32_t low = rows.front().first;
  int32_t high = rows.front().last;
  for (const Rows& r : rows) {
    low = std::min(low, r.first);
    high = std::max(high, r.last);
  }
  bits_.assign(static_cast<std::size_t>((high - low) / kWordBits + 1), 0);
  for (const Rows& r : rows) {
    for (int32_t from = r.first - low; from <= r.last - low;) {
      const int32_t word = from / kWordBits;
      const int32_t to = std::min(r.last - low, word * kWordBits + kWordBits - 1);
      bits_[static_cast<std::size_t>(word)] |= BitRange(from % kWordBits, to % kWordBits);
      from = to + 1;
    }
  }
  // Runs of set bits, across words.
  int32_t runStart = -1;
  for (int32_t row = 0; row <= high - low; ++row) {
    const bool set = (bits_[static_cast<std::size_t>(row / kWordBits)] >> (row % kWordBits)) & 1;
    if (set && runStart < 0) runStart = row;
    if (!set && runStart >= 0) {
      spans.push_back({column, low + runStart, low + row - 1});
      runStart = -1;
    }
  }
  if (runStart >= 0) spans.push_back({column, low + runStart, high});
}

void TraceCoverage::Compute(std::span<const int32_t> xs, std::span<const int32_t> counts, std::span<const int16_t> ys,
                            std::vector<ColumnBarCoverage::Span>& spans, std::vector<uint32_t>& undecided) {
  spans.clear();
  undecided.clear();
  const std::size_t runs = std::min(xs.size(), counts.size());
  uint32_t first = 0;
  const auto points = static_cast<uint32_t>(ys.size());
  // The step from one column to the next waits for the next column's own rows: where both columns
  // light all the rows it could, it adds nothing.
  struct Step {
    Point a, b;
    uint32_t index;
    std::size_t firstSpan, endSpan;  // the spans of the column it leaves
  };
  std::optional<Step> step;
  for (std::size_t k = 0; k < runs && first < points; ++k) {
    const uint32_t end = first + std::min<uint32_t>(static_cast<uint32_t>(std::max(counts[k], 0)), points - first);
    if (!valid_) {
      for (uint32_t i = first; i < end && i + 1 < points; ++i) undecided.push_back(i);
    } else {
      const std::size_t runSpans = spans.size();
      const std::size_t runUndecided = undecided.size();
      AddRun(xs[k], ys.subspan(first, end - first), first, spans, undecided);
      const std::size_t ownCount = spans.size() - runSpans;
      // The step into this column goes before the column's own spans and segments, in the strip's
      // order, unless the two columns light all it could.
      if (step && !Covered(step->a, step->b, std::span(spans).subspan(step->firstSpan, step->endSpan - step->firstSpan),
                           std::span(spans).subspan(runSpans))) {
        AddStep(step->a, step->b, step->index, spans, undecided, runSpans, runUndecided);
      }
      step.reset();
      if (end < points && k + 1 < runs) {
        step = Step{Window(xs[k], ys[end - 1]), Window(xs[k + 1], ys[end]), end - 1, spans.size() - ownCount, spans.size()};
      }
    }
    first = end;
  }
  if (step) AddStep(step->a, step->b, step->index, spans, undecided, spans.size(), undecided.size());
}

// Whether the step from `a` to `b` lights no pixel besides those of `from` (its first column's
// spans) and `to` (the next column's, left or right of it): it lies within those two columns, off
// their edges, and each lights every row the step could reach.
bool TraceCoverage::Covered(const Point& a, const Point& b, std::span<const ColumnBarCoverage::Span> from,
                            std::span<const ColumnBarCoverage::Span> to) {
  if (!a.inside || !b.inside || from.empty() || to.empty()) return false;
  // A pixel the step lights has a diamond the step passes through: its column's and its row's
  // open extents meet the step's (ends snapped to the rasteriser's subpixels: a margin of two).
  constexpr float kMargin = 2.0f / static_cast<float>(kSubpixels);
  const float columnA = std::floor(a.x);
  const float columnB = std::floor(b.x);
  if (std::fabs(columnB - columnA) != 1.0f || a.x - columnA < kMargin || columnA + 1.0f - a.x < kMargin ||
      b.x - columnB < kMargin || columnB + 1.0f - b.x < kMargin) {
    return false;
  }
  const int32_t low = static_cast<int32_t>(std::floor(std::min(a.y, b.y) - kMargin));
  const int32_t high = static_cast<int32_t>(std::ceil(std::max(a.y, b.y) + kMargin)) - 1;
  const auto lights = [&](std::span<const ColumnBarCoverage::Span> spans, int32_t x) {
    return std::any_of(spans.begin(), spans.end(), [&](const ColumnBarCoverage::Span& s) {
      return s.column == x && s.firstRow <= low && s.lastRow >= high;
    });
  };
  return lights(from, static_cast<int32_t>(columnA)) && lights(to, static_cast<int32_t>(columnB));
}

// The vertical segments of one run, as the vector form finds them when it can, else one by one.
void TraceCoverage::AddRun(int32_t x, std::span<const int16_t> ys, uint32_t first,
                           std::vector<ColumnBarCoverage::Span>& spans, std::vector<uint32_t>& undecided) {
  const Point top = Window(x, 0);
  const int32_t column = FirstCentreFrom(LineRaster::Snap(top.x - 0.5f) - kHalfPixel);
  const bool inColumns = top.insideX && ColumnInViewport(column);
  const float offCentreX = std::fabs((top.x - std::floor(top.x)) - 0.5f);
  const bool crossingCuts = offCentreX >= kClipMargin;
  if (vectorForm_ && inColumns && ys.size() >= kVectorRun && VerticalChain::Available()) {
    if (chain_.Compute(ys.data(), static_cast<int32_t>(ys.size()), offCentreX,
                       {t_.scaleY, t_.offsetY, t_.halfHeight, t_.centreY}, chainRows_)) {
      for (const VerticalChain::RowRun& run : chainRows_) {
        const Rows r = CutToViewport(run.first, run.last);
        if (r.first <= r.last) spans.push_back({column, r.first, r.last});
      }
      return;
    }
  }
  rows_.clear();
  Point from = Window(x, ys[0]);
  for (std::size_t i = 0; i + 1 < ys.size(); ++i) {
    const Point to = Window(x, ys[i + 1]);
    const Reach reach = inColumns ? SegmentReach(from, to, crossingCuts) : Reach::kUndecided;
    if (reach == Reach::kUndecided) {
      undecided.push_back(first + static_cast<uint32_t>(i));
    } else if (reach == Reach::kCut) {
      const Rows whole = VerticalRows(from, to);
      const Rows r = CutToViewport(whole.first, whole.last);
      if (whole.first <= whole.last && r.first <= r.last) rows_.push_back(r);
    }
    from = to;
  }
  AddColumn(column, rows_, spans);
}

// The segment from one column's last point to the next column's first, its spans put in at
// `spanAt` and its index, when left to the rasteriser, at `undecidedAt`.
void TraceCoverage::AddStep(const Point& a, const Point& b, uint32_t index, std::vector<ColumnBarCoverage::Span>& spans,
                            std::vector<uint32_t>& undecided, std::size_t spanAt, std::size_t undecidedAt) {
  const Reach reach = SegmentReach(a, b, false);
  if (reach == Reach::kNothing) return;
  segmentSpans_.clear();
  if (reach == Reach::kCut) LineRaster::Segment(a.x, a.y, b.x, b.y, segmentSpans_);
  const bool fits = std::all_of(segmentSpans_.begin(), segmentSpans_.end(),
                                [&](const ColumnBarCoverage::Span& s) { return ColumnInViewport(s.column); });
  if (reach == Reach::kUndecided || !fits) {
    undecided.insert(undecided.begin() + static_cast<std::ptrdiff_t>(undecidedAt), index);
    return;
  }
  std::erase_if(segmentSpans_, [&](ColumnBarCoverage::Span& s) {
    const Rows r = CutToViewport(s.firstRow, s.lastRow);
    s.firstRow = r.first;
    s.lastRow = r.last;
    return r.first > r.last;
  });
  spans.insert(spans.begin() + static_cast<std::ptrdiff_t>(spanAt), segmentSpans_.begin(), segmentSpans_.end());
}

}  // namespace skelvane
