#include "spikes/SpikeFigure.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>
#include <string>
#include <vector>

#include "platform/MemoryBitmap.h"
#include "platform/StatusCodes.h"
#include "render/GLRenderer.h"
#include "spikes/SpikeStatistics.h"
#include "spikes/SpikeSubset.h"

namespace skelvane {
namespace {

using View = SpikeFigureLayout::View;
using ViewKind = SpikeFigureLayout::ViewKind;

// Drawing depths: larger is in front.
constexpr int32_t kDepthPaper = -19;
constexpr int32_t kDepthGrid = -17;
constexpr int32_t kDepthData = -12;
constexpr int32_t kDepthSpread = -10;
constexpr int32_t kDepthMean = -9;
constexpr int32_t kDepthHighlight = -7;
constexpr int32_t kDepthAxes = -5;
constexpr int32_t kDepthText = -3;
constexpr float kOpaque = 1.0f;

constexpr int32_t kThinLine = 1;
constexpr int32_t kMeanLine = 2;
constexpr int32_t kHighlightLine = 2;
constexpr int32_t kScatterPoint = 2;
constexpr int32_t kHighlightPoint = 6;
constexpr int64_t kWaveformsPerFinish = 2000;
// Text baselines inside a view's frame, and gaps between the axes and their labels.
constexpr int32_t kTitleBaseline = 17;
constexpr int32_t kAxisLabelBaseline = 35;
constexpr int32_t kLabelInset = SpikeFigureLayout::kLabelInset;
constexpr int32_t kXLabelFromBottom = 6;
constexpr int32_t kTitleBandBaseline = 21;
// Individual waveforms are the channel colour this far towards the paper.
constexpr double kTraceTint = 0.65;
constexpr double kFullComponent = 255.0;
constexpr uint32_t kComponentMask = 0xFFu;
constexpr int32_t kComponentBits = 8;
constexpr int32_t kComponents = 3;
constexpr double kMicrosecondsPerMillisecond = 1000.0;

int32_t Round(double value) {
  return static_cast<int32_t>(std::clamp(std::lround(value), long{std::numeric_limits<int16_t>::min()},
                                         long{std::numeric_limits<int16_t>::max()}));
}

void FillRect(GLRenderer& renderer, int32_t left, int32_t top, int32_t right, int32_t bottom, uint32_t colour,
              int32_t z) {
  const int32_t xs[4] = {left, right, right, left};
  const int32_t ys[4] = {top, top, bottom, bottom};
  renderer.DrawPolygon(xs, ys, 4, colour, z, kOpaque);
}

void DrawText(GLRenderer& renderer, const std::string& text, int32_t x, int32_t baseline, uint32_t colour) {
  renderer.DrawString(text, x, baseline, kDepthText, colour);
}

void DrawCentredText(GLRenderer& renderer, const std::string& text, int32_t left, int32_t width, int32_t baseline) {
  const int32_t x = left + std::max(0, (width - renderer.GetTextWidth(text)) / 2);
  DrawText(renderer, text, x, baseline, SpikeFigure::kInkColour);
}

void DrawGridAndAxes(GLRenderer& renderer, const View& view) {
  const SpikeFigureLayout::Rect& plot = view.plot;
  const int32_t right = plot.Right() - 1;
  const int32_t bottom = plot.Bottom() - 1;
  const int32_t tick = SpikeFigureLayout::kTickLength;
  const auto ink = [&](int32_t x1, int32_t y1, int32_t x2, int32_t y2) {
    renderer.DrawLine(x1, y1, x2, y2, SpikeFigure::kInkColour, kThinLine, kDepthAxes, kOpaque);
  };
  for (const double value : view.x.ticks) {
    const int32_t x = Round(SpikeFigureLayout::PixelX(view, value));
    renderer.DrawLine(x, plot.top, x, bottom, SpikeFigure::kGridColour, kThinLine, kDepthGrid, kOpaque);
    ink(x, bottom, x, bottom + tick);
  }
  for (const double value : view.y.ticks) {
    const int32_t y = Round(SpikeFigureLayout::PixelY(view, value));
    renderer.DrawLine(plot.left, y, right, y, SpikeFigure::kGridColour, kThinLine, kDepthGrid, kOpaque);
    ink(plot.left - tick, y, plot.left, y);
  }
  // The other scales' marks stand on the far side of the axis line from their labels' row or column.
  for (const double value : view.x.otherTicks) {
    const int32_t x = Round(SpikeFigureLayout::PixelX(view, value / view.x.otherScale));
    ink(x, bottom - tick, x, bottom);
  }
  for (const double value : view.y.otherTicks) {
    const int32_t y = Round(SpikeFigureLayout::PixelY(view, value / view.y.otherScale));
    ink(right, y, right + tick, y);
  }
  const int32_t textHeight = renderer.GetTextHeight("0");
  for (const SpikeFigureLayout::Label& label :
       SpikeFigureLayout::TickLabels(view, [&](std::string_view text) { return renderer.GetTextWidth(text); },
                                     textHeight)) {
    DrawText(renderer, label.text, label.x, label.baseline, SpikeFigure::kInkColour);
  }
  ink(plot.left, plot.top, right, plot.top);
  ink(right, plot.top, right, bottom);
  ink(right, bottom, plot.left, bottom);
  ink(plot.left, bottom, plot.left, plot.top);
}

void DrawLabels(GLRenderer& renderer, const View& view) {
  const SpikeFigureLayout::Rect& frame = view.frame;
  const bool fits = renderer.GetTextWidth(view.title) <= frame.width;
  DrawCentredText(renderer, fits ? view.title : view.shortTitle, frame.left, frame.width, frame.top + kTitleBaseline);
  DrawText(renderer, view.y.label, frame.left + kLabelInset, frame.top + kAxisLabelBaseline, SpikeFigure::kInkColour);
  if (view.y.otherScale != 0.0) {
    DrawText(renderer, view.y.otherLabel, view.plot.Right() + SpikeFigureLayout::kTickLength + kLabelInset,
             frame.top + kAxisLabelBaseline, SpikeFigure::kInkColour);
  }

  const bool labelFits = renderer.GetTextWidth(view.x.label) <= view.plot.width;
  DrawCentredText(renderer, labelFits ? view.x.label : view.x.shortLabel, view.plot.left, view.plot.width,
                  frame.Bottom() - kXLabelFromBottom);
}

// One channel's waveform `k` (or the mean, or the mean + `spread` deviations) as a polyline.
void TraceLine(const View& view, int32_t points, const auto& valueAt, std::vector<int32_t>& xs,
               std::vector<int16_t>& ys) {
  xs.clear();
  ys.clear();
  for (int32_t p = 0; p < points; ++p) {
    xs.push_back(Round(SpikeFigureLayout::PixelX(view, SpikeFigureLayout::PointValue(view, p))));
    ys.push_back(static_cast<int16_t>(Round(SpikeFigureLayout::PixelY(view, valueAt(p)))));
  }
}

void DrawWaveforms(GLRenderer& renderer, const View& view, const SpikeStatistics& statistics, const SpikeSubset& subset,
                   int64_t highlight) {
  const int32_t c = view.channel;
  std::vector<int32_t> xs;
  std::vector<int16_t> ys;
  for (int64_t k = 0; k < subset.Size(); ++k) {
    TraceLine(
        view, subset.Points(), [&](int32_t p) { return static_cast<double>(subset.Sample(k, p, c)); }, xs, ys);
    renderer.DrawPolyline(xs, ys, SpikeFigure::TraceColour(c), kThinLine, kDepthData, kOpaque);
    // The software rasteriser keeps every line of a frame until it is drawn: drawn now and then, a
    // hundred thousand waveforms take the memory of a few thousand. The pixels are the same.
    if ((k + 1) % kWaveformsPerFinish == 0) renderer.Finish();
  }
  if (!statistics.waveformMean.empty()) {
    for (const double spread : {-1.0, 1.0}) {
      TraceLine(
          view, statistics.points,
          [&](int32_t p) { return statistics.Mean(c, p) + spread * statistics.Deviation(c, p); }, xs, ys);
      renderer.DrawPolyline(xs, ys, SpikeFigure::ChannelColour(c), kThinLine, kDepthSpread, kOpaque);
    }
    TraceLine(
        view, statistics.points, [&](int32_t p) { return statistics.Mean(c, p); }, xs, ys);
    renderer.DrawPolyline(xs, ys, SpikeFigure::ChannelColour(c), kMeanLine, kDepthMean, kOpaque);
  }
  if (highlight >= 0 && highlight < subset.Size()) {
    TraceLine(
        view, subset.Points(), [&](int32_t p) { return static_cast<double>(subset.Sample(highlight, p, c)); }, xs, ys);
    renderer.DrawPolyline(xs, ys, SpikeFigure::kHighlightColour, kHighlightLine, kDepthHighlight, kOpaque);
  }
}

void DrawScatter(GLRenderer& renderer, const View& view, const SpikeSubset& subset, int64_t highlight) {
  std::vector<int32_t> xs;
  std::vector<int16_t> ys;
  xs.reserve(static_cast<std::size_t>(subset.Size()));
  ys.reserve(static_cast<std::size_t>(subset.Size()));
  for (int64_t k = 0; k < subset.Size(); ++k) {
    xs.push_back(Round(SpikeFigureLayout::PixelX(view, subset.Peak(k, view.channel))));
    ys.push_back(static_cast<int16_t>(Round(SpikeFigureLayout::PixelY(view, subset.Peak(k, view.otherChannel)))));
  }
  renderer.DrawPoints(xs, ys, SpikeFigure::kScatterColour, kScatterPoint, kDepthData, kOpaque);
  if (highlight >= 0 && highlight < subset.Size()) {
    const auto k = static_cast<std::size_t>(highlight);
    renderer.DrawPoint(xs[k], ys[k], SpikeFigure::kHighlightColour, kHighlightPoint, kDepthHighlight, kOpaque);
  }
}

void DrawIntervals(GLRenderer& renderer, const View& view, const SpikeStatistics& statistics) {
  const int32_t baseline = Round(SpikeFigureLayout::PixelY(view, 0.0));
  for (std::size_t bin = 0; bin < statistics.intervalHistogram.size(); ++bin) {
    const int64_t n = statistics.intervalHistogram[bin];
    if (n == 0) continue;
    const double start = static_cast<double>(bin) * SpikeStatistics::kIntervalBinUs / kMicrosecondsPerMillisecond;
    const double end = start + SpikeStatistics::kIntervalBinUs / kMicrosecondsPerMillisecond;
    const int32_t left = Round(SpikeFigureLayout::PixelX(view, start));
    // A pixel of paper between bars, unless the bars are thinner than that.
    const int32_t right = std::max(left + 1, Round(SpikeFigureLayout::PixelX(view, end)) - 1);
    FillRect(renderer, left, Round(SpikeFigureLayout::PixelY(view, static_cast<double>(n))), right, baseline,
             SpikeFigure::kIntervalColour, kDepthData);
  }
  const double shortMs = SpikeStatistics::kShortIntervalUs / kMicrosecondsPerMillisecond;
  const int32_t x = Round(SpikeFigureLayout::PixelX(view, shortMs));
  renderer.DrawLine(x, view.plot.top, x, view.plot.Bottom() - 1, SpikeFigure::kShortIntervalColour, kThinLine,
                    kDepthMean, kOpaque);
}

}  // namespace

uint32_t SpikeFigure::ChannelColour(int32_t channel) {
  return kChannelColours[static_cast<std::size_t>(std::max(0, channel)) % kChannelColours.size()];
}

uint32_t SpikeFigure::TraceColour(int32_t channel) {
  const uint32_t colour = ChannelColour(channel);
  uint32_t tint = 0;
  for (int32_t i = 0; i < kComponents; ++i) {
    const int32_t shift = i * kComponentBits;
    const double component = (colour >> shift) & kComponentMask;
    const auto mixed = static_cast<uint32_t>(std::lround(component + (kFullComponent - component) * kTraceTint));
    tint |= mixed << shift;
  }
  return tint;
}

void SpikeFigure::SetPixelProjection(GLRenderer& renderer, int32_t width, int32_t height) {
  // y runs downwards from the top row; the half-pixel shift puts whole coordinates on pixel centres,
  // so one-pixel lines land on one row or column.
  renderer.SetProjection(0.0, width - 1.0, height, 0.0);
  renderer.Translate(0.5f, 0.5f, 0.0f);
}

void SpikeFigure::DrawView(GLRenderer& renderer, const View& view, const SpikeStatistics& statistics,
                           const SpikeSubset& subset, int64_t highlight) {
  const SpikeFigureLayout::Rect& frame = view.frame;
  FillRect(renderer, frame.left - 1, frame.top - 1, frame.Right(), frame.Bottom(), kPaperColour, kDepthPaper);
  DrawGridAndAxes(renderer, view);
  DrawLabels(renderer, view);
  if (statistics.count == 0) {
    DrawCentredText(renderer, "no spikes", view.plot.left, view.plot.width, view.plot.top + view.plot.height / 2);
    return;
  }
  switch (view.kind) {
    case ViewKind::kWaveforms:
      DrawWaveforms(renderer, view, statistics, subset, highlight);
      break;
    case ViewKind::kScatter:
      DrawScatter(renderer, view, subset, highlight);
      break;
    case ViewKind::kIntervals:
      DrawIntervals(renderer, view, statistics);
      break;
  }
}

void SpikeFigure::Draw(GLRenderer& renderer, const SpikeFigureLayout& layout, const SpikeStatistics& statistics,
                       const SpikeSubset& subset, int64_t highlight) {
  const SpikeFigureLayout::Rect& band = layout.TitleBand();
  if (band.height > 0) {
    FillRect(renderer, band.left - 1, band.top - 1, band.Right(), band.Bottom(), kPaperColour, kDepthPaper);
    DrawCentredText(renderer, layout.Title(), band.left, band.width, band.top + kTitleBandBaseline);
  }
  for (const View& view : layout.Views()) DrawView(renderer, view, statistics, subset, highlight);
}

int32_t SpikeFigure::Render(GLRenderer& renderer, const SpikeFigureLayout& layout, const SpikeStatistics& statistics,
                            const SpikeSubset& subset, MemoryBitmap& bitmap, int64_t highlight) {
  const int32_t width = layout.Width();
  const int32_t height = layout.Height();
  if (width <= 0 || height <= 0 || width > kMaxSide || height > kMaxSide) return kStatusFailed;
  const int32_t ratio = renderer.PixelRatio();
  if (renderer.Bitmap().Width() != width * ratio || renderer.Bitmap().Height() != height * ratio) {
    renderer.RequestNewDIBSection();
  }
  if (renderer.CreateDIBSectionOGL(width, height) != 0 || renderer.SetupRenderer() != 0) return kStatusFailed;
  renderer.ClearScene();
  SetPixelProjection(renderer, width, height);
  Draw(renderer, layout, statistics, subset, highlight);
  renderer.Flush();
  if (renderer.ReadBack() != 0) return kStatusFailed;
  bitmap = renderer.Bitmap();
  return kStatusOk;
}

}  // namespace skelvane
