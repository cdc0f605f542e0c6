#include "display/Autoscale.h"

#include <algorithm>
#include <cstdlib>

#include "display/CscPlot.h"
#include "display/PlotFrame.h"
#include "columns/SampleScaling.h"

namespace skelvane {
namespace {

// The cached columns of exactly this span, drawn either way (every sample, a run of points per
// column, or min-max bars). The walks keep a few points past the span's ends for the line to run
// off the edge: only columns in view count.
std::optional<int32_t> FromColumns(CscPlot& plot, const PlotFrame& frame) {
  const PixelCache& cache = plot.SettledCache();
  if (cache.mins.empty() || !cache.Matches(frame.start, frame.end, frame.traceWidth, cache.minMax)) {
    return std::nullopt;
  }
  std::optional<int32_t> peak;
  std::size_t point = 0;
  for (std::size_t i = 0; i < cache.xs.size(); ++i) {
    // A bar is one point with its maximum beside it; a run of the trace is counts[i] points.
    const std::size_t points = cache.minMax ? 1 : static_cast<std::size_t>(cache.counts[i]);
    const bool inView = cache.xs[i] >= 0 && cache.xs[i] < frame.traceWidth;
    for (std::size_t end = std::min(point + points, cache.mins.size()); point < end; ++point) {
      if (!inView) continue;
      int32_t magnitude = std::abs(int32_t{cache.mins[point]});
      if (cache.minMax) magnitude = std::max(magnitude, std::abs(int32_t{cache.maxs[point]}));
      peak = std::max(peak.value_or(0), magnitude);
    }
  }
  return peak;
}

// The records touching the span, from the summary's record extremes: no file read.
std::optional<int32_t> FromSummary(const CscPlot& plot, const PlotFrame& frame) {
  const SourceSummary* summary = plot.Summary() != nullptr ? plot.Summary()->Summary() : nullptr;
  if (summary == nullptr || summary->NumRecords() == 0) return std::nullopt;
  const auto& timestamps = summary->Timestamps();
  const auto begin = timestamps.begin();
  const auto end = timestamps.end();
  // The record the span starts in, and the last one stamped before the span ends.
  const int64_t first = std::max<int64_t>(std::upper_bound(begin, end, frame.start) - begin - 1, 0);
  const int64_t last = std::lower_bound(begin, end, frame.end) - begin - 1;
  if (last < first) return std::nullopt;
  int16_t low = 0;
  int16_t high = 0;
  summary->RangeExtremes(first, last, low, high);
  if (summary->Damaged()) return std::nullopt;  // cut short while read: the columns are worked out afresh
  const double scale = plot.Properties().scale;
  return std::max(std::abs(int32_t{ScaleSample(low, scale)}), std::abs(int32_t{ScaleSample(high, scale)}));
}

}  // namespace

std::optional<int32_t> Autoscale::Peak(CscPlot& plot, const PlotFrame& frame) {
  if (std::optional<int32_t> peak = FromColumns(plot, frame)) return peak;
  if (std::optional<int32_t> peak = FromSummary(plot, frame)) return peak;
  // Neither: the plot works its columns out as a draw would, without drawing anything.
  PlotFrame layoutOnly = frame;
  layoutOnly.renderer = nullptr;
  layoutOnly.canvas = nullptr;
  plot.Draw(layoutOnly, frame.traceWidth, 0, 0, 0);
  return FromColumns(plot, frame);
}

std::optional<double> Autoscale::GainFor(CscPlot& plot, const PlotFrame& frame) {
  const double fullScale = plot.GetADMaxValue() * plot.Properties().scale;
  if (!(fullScale > 0.0)) return std::nullopt;
  const std::optional<int32_t> peak = Peak(plot, frame);
  if (!peak || *peak == 0) return std::nullopt;
  return kFill * fullScale / *peak;
}

}  // namespace skelvane
