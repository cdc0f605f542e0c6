#include "display/SpikeTicks.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "display/DisplayConstants.h"
#include "display/PlotFrame.h"
#include "render/GLRenderer.h"
#include "columns/PixelCache.h"
#include "columns/TimeColumns.h"

namespace skelvane {
namespace {

constexpr int32_t kNoTrace = std::numeric_limits<int32_t>::min();
constexpr int32_t kLineWidth = 1;
constexpr double kHalfPixel = 0.5;

}  // namespace

std::vector<int32_t> SpikeTicks::ColumnTops(const PixelCache& cache, int32_t width) {
  std::vector<int32_t> tops(static_cast<std::size_t>(width), kNoTrace);
  const auto raise = [&](int32_t from, int32_t to, int32_t value) {
    for (int32_t x = std::max(from, 0); x <= std::min(to, width - 1); ++x) {
      tops[static_cast<std::size_t>(x)] = std::max(tops[static_cast<std::size_t>(x)], value);
    }
  };
  const std::size_t points = std::min(cache.xs.size(), cache.mins.size());
  if (!cache.maxs.empty()) {
    for (std::size_t i = 0; i < points && i < cache.maxs.size(); ++i) raise(cache.xs[i], cache.xs[i], cache.maxs[i]);
    return tops;
  }
  // A line through every sample: the columns between two samples see the higher of the two.
  for (std::size_t i = 0; i < points; ++i) {
    raise(cache.xs[i], cache.xs[i], cache.mins[i]);
    if (i == 0) continue;
    const int32_t a = cache.xs[i - 1];
    const int32_t b = cache.xs[i];
    raise(std::min(a, b), std::max(a, b), std::max(cache.mins[i - 1], cache.mins[i]));
  }
  return tops;
}

bool SpikeTicks::CrossesOverlay(const Trace& trace, int32_t x, int32_t low, int32_t high) {
  const int32_t middle = trace.height / 2;
  for (const Plot::OverlayLine& line : trace.overlay) {
    // The pixels the line can be drawn in: its bounding box, out to whole pixels.
    const double rowA = middle + line.y1 * trace.pixelsPerCount;
    const double rowB = middle + line.y2 * trace.pixelsPerCount;
    const bool columnsMeet = std::min(line.x1, line.x2) - 1 <= x + 1 && x - 1 <= std::max(line.x1, line.x2);
    const bool rowsMeet = std::floor(std::min(rowA, rowB)) <= high && low <= std::ceil(std::max(rowA, rowB));
    if (columnsMeet && rowsMeet) return true;
  }
  return false;
}

std::vector<SpikeTicks::Tick> SpikeTicks::Layout(std::span<const int64_t> peaks, const Trace& trace,
                                                 const PlotFrame& frame) {
  std::vector<Tick> ticks;
  const int32_t width = trace.width;
  const int32_t height = trace.height;
  if (width <= 0 || height <= 0 || frame.visibleSpan <= 0) return ticks;
  const auto first = std::lower_bound(peaks.begin(), peaks.end(), frame.start);
  const auto last = std::lower_bound(first, peaks.end(), frame.end);
  if (first == last) return ticks;
  const std::vector<int32_t> tops = ColumnTops(trace.cache, width);
  const double timePerColumn = static_cast<double>(frame.visibleSpan) / width;
  const int32_t middle = height / 2;
  // Rows a tick keeps clear above the trace's highest point before it needs edges: the trace's
  // line reaches about half its width above that point.
  const int32_t clearance = std::max(trace.lineWidth, 1);
  for (auto peak = first; peak != last; ++peak) {
    // The same column the trace puts the peak's sample in.
    const int32_t x = TimeColumns::ColumnForOffset(*peak - frame.start, timePerColumn);
    if (x < 0 || x >= width || (!ticks.empty() && ticks.back().x == x)) continue;
    int32_t top = kNoTrace;
    for (int32_t c = std::max(x - 1, 0); c <= std::min(x + 1, width - 1); ++c) top = std::max(top, tops[static_cast<std::size_t>(c)]);
    const double traceRow = middle + (top == kNoTrace ? 0.0 : top * trace.pixelsPerCount);
    const int32_t highest = height - 1;
    int32_t low = static_cast<int32_t>(std::clamp(std::ceil(traceRow) + kGap, 0.0, static_cast<double>(highest)));
    int32_t high = std::min(low + kLength - 1, highest);
    low = std::max(high - kLength + 1, 0);  // a trace reaching the top still gets a whole tick, over it
    const bool overTrace = top != kNoTrace && low - std::ceil(traceRow) <= clearance;
    ticks.push_back({x, low, high, overTrace || CrossesOverlay(trace, x, low, high)});
  }
  return ticks;
}

// The canvas's projection spans a unit more than its pixels, so canvas x lies in pixel x - 1, ever
// nearer that pixel's left edge towards the right: in the last columns the rasteriser's 1/256-pixel
// snapping puts it on the edge, and a line there in the pixel before (the trace's points, its peaks'
// tips, stay in theirs). The ticks are drawn on pixel centres instead, each in its column's pixel.
void SpikeTicks::Draw(const std::vector<Tick>& ticks, const PlotFrame& frame, int32_t x0, int32_t y0) {
  GLRenderer* renderer = frame.renderer;
  if (renderer == nullptr || ticks.empty()) return;
  renderer->SetProjection(-kHalfPixel, frame.canvasWidth - 1 - kHalfPixel, frame.scrollBottom, frame.scrollTop);
  renderer->Translate(0.0f, static_cast<float>(y0), 0.0f);
  const auto pixel = [x0](int32_t column) { return std::max(x0 + column - 1, 0); };
  std::vector<int32_t> xs, lefts, rights;
  std::vector<int16_t> lows, highs, edgeLows, edgeHighs;
  for (const Tick& tick : ticks) {
    xs.push_back(pixel(tick.x));
    lows.push_back(static_cast<int16_t>(tick.low));
    highs.push_back(static_cast<int16_t>(tick.high));
    if (!tick.edged) continue;
    lefts.push_back(pixel(tick.x - 1));
    rights.push_back(pixel(tick.x + 1));
    edgeLows.push_back(static_cast<int16_t>(tick.low));
    edgeHighs.push_back(static_cast<int16_t>(tick.high));
  }
  // Edges first: a white tick in the next column stays whole.
  if (!lefts.empty()) {
    renderer->DrawColumnPairs(lefts, edgeLows, edgeHighs, kEdgeColour, kLineWidth, kDepthSpikeMarks, kOpaque);
    renderer->DrawColumnPairs(rights, edgeLows, edgeHighs, kEdgeColour, kLineWidth, kDepthSpikeMarks, kOpaque);
  }
  renderer->DrawColumnPairs(xs, lows, highs, kColour, kLineWidth, kDepthSpikeMarks, kOpaque);
}

}  // namespace skelvane
