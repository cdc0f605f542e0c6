#include "spikes/SpikeFigureLayout.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>

#include "platform/PathHelpers.h"
#include "spikes/SpikeFileHeader.h"
#include "spikes/SpikeStatistics.h"
#include "spikes/SpikeSubset.h"

namespace skelvane {
namespace {

// Relative heights of the rows: waveforms, scatter, interval histogram.
constexpr double kWaveformRowWeight = 3.0;
constexpr double kScatterRowWeight = 2.2;
constexpr double kIntervalRowWeight = 1.6;
// Room left above and below the data so no trace touches the frame.
constexpr double kPadding = 0.05;
constexpr double kHistogramHeadroom = 1.1;
constexpr int32_t kMostTicksX = 6;
constexpr int32_t kMostTicksY = 6;
constexpr double kMicrosecondsPerMillisecond = 1000.0;
constexpr double kMillisecondsPerSecond = 1000.0;
constexpr double kMicrovoltsPerVolt = 1e6;
// A range with nothing in it still gets an axis.
constexpr double kEmptyHalfRange = 100.0;
// The baseline of the first row of labels under a horizontal axis, below its data area's last row.
constexpr int32_t kTickLabelDrop = SpikeFigureLayout::kTickLength + 16;
constexpr int32_t kLineGap = 2;  // between vertically stacked tick labels
constexpr const char* kBitVoltsKey = "-ADBitVolts";
constexpr const char* kSamplingKey = "-SamplingFrequency";
constexpr const char* kMicrovoltUnit = "uV";

using Rect = SpikeFigureLayout::Rect;
using Axis = SpikeFigureLayout::Axis;

std::string Format(const char* format, double value) {
  char text[64];
  std::snprintf(text, sizeof text, format, value);
  return text;
}

Axis MakeAxis(double low, double high, int32_t most, std::string label) {
  if (!(high > low)) {
    low -= 1.0;
    high += 1.0;
  }
  Axis axis;
  axis.low = low;
  axis.high = high;
  axis.ticks = SpikeFigureLayout::Ticks(low, high, most);
  axis.label = std::move(label);
  return axis;
}

Axis PaddedAxis(double low, double high, int32_t most, std::string label) {
  const double pad = (high - low) * kPadding;
  return MakeAxis(low - pad, high + pad, most, std::move(label));
}

// An amplitude axis in counts gets microvolts beside it when the channel's are known.
void AddMicrovolts(Axis& axis, std::optional<double> microvoltsPerCount, int32_t most) {
  if (!microvoltsPerCount) return;
  axis.otherScale = *microvoltsPerCount;
  axis.otherTicks = SpikeFigureLayout::Ticks(axis.low * axis.otherScale, axis.high * axis.otherScale, most);
  axis.otherLabel = kMicrovoltUnit;
}

// A number from the header, where it is one and above zero.
std::optional<double> PositiveNumber(const std::string& text) {
  char* end = nullptr;
  const double value = std::strtod(text.c_str(), &end);
  if (end == text.c_str() || !(value > 0.0) || !std::isfinite(value)) return std::nullopt;
  return value;
}

// The labels of one row or column of ticks at `positions` (pixels along the axis, increasing), each
// `extents` long along it: those of every k-th tick, the smallest k from 1, 2, 5, 10, ... that keeps
// them kLabelGap apart, counted in steps from zero so that zero keeps its label.
std::vector<std::size_t> SpacedLabels(const std::vector<double>& ticks, const std::vector<double>& positions,
                                      const std::vector<int32_t>& extents, int32_t gap) {
  std::vector<std::size_t> kept;
  if (ticks.empty()) return kept;
  const double step = ticks.size() > 1 ? ticks[1] - ticks[0] : 1.0;
  for (int64_t power = 1;; power *= 10) {
    for (const int64_t factor : {1, 2, 5}) {
      const int64_t k = power * factor;
      kept.clear();
      double lastEnd = -std::numeric_limits<double>::infinity();
      bool fits = true;
      for (std::size_t i = 0; i < ticks.size(); ++i) {
        const auto multiple = static_cast<int64_t>(std::llround(ticks[i] / step));
        if (((multiple % k) + k) % k != 0) continue;
        const double begin = positions[i] - extents[i] / 2.0;
        if (begin < lastEnd + gap) fits = false;
        lastEnd = begin + extents[i];
        kept.push_back(i);
      }
      if (fits || kept.size() <= 1) return kept;
    }
  }
}

// The sample range every waveform view shares, so channels compare at a glance.
std::pair<double, double> WaveformRange(const SpikeStatistics& statistics, const SpikeSubset& subset) {
  if (statistics.count == 0 || subset.Size() == 0) return {-kEmptyHalfRange, kEmptyHalfRange};
  double low = std::numeric_limits<double>::max();
  double high = std::numeric_limits<double>::lowest();
  for (int64_t k = 0; k < subset.Size(); ++k) {
    for (int32_t p = 0; p < subset.Points(); ++p) {
      for (int32_t c = 0; c < subset.Channels(); ++c) {
        low = std::min<double>(low, subset.Sample(k, p, c));
        high = std::max<double>(high, subset.Sample(k, p, c));
      }
    }
  }
  for (int32_t c = 0; c < statistics.channels && !statistics.waveformMean.empty(); ++c) {
    for (int32_t p = 0; p < statistics.points; ++p) {
      low = std::min(low, statistics.Mean(c, p) - statistics.Deviation(c, p));
      high = std::max(high, statistics.Mean(c, p) + statistics.Deviation(c, p));
    }
  }
  return {low, high};
}

std::pair<double, double> PeakRange(const SpikeStatistics& statistics) {
  if (statistics.amplitudeMin.empty()) return {-kEmptyHalfRange, kEmptyHalfRange};
  return {*std::min_element(statistics.amplitudeMin.begin(), statistics.amplitudeMin.end()),
          *std::max_element(statistics.amplitudeMax.begin(), statistics.amplitudeMax.end())};
}

std::string FigureTitle(const SpikeStatistics& statistics, const SpikeSubset& subset) {
  std::string title = FileNameOf(statistics.path) + ": ";
  if (statistics.count == 0) return title + "no spikes";
  title += std::to_string(statistics.count) + (statistics.count == 1 ? " spike, " : " spikes, ");
  title += std::to_string(statistics.channels) + (statistics.channels == 1 ? " channel, " : " channels, ");
  title += statistics.rateHz ? Format("%.2f Hz", *statistics.rateHz) : std::string("no rate");
  title += "; drawn: " + std::to_string(subset.Size()) + " of " + std::to_string(subset.ChosenFrom());
  return title;
}

}  // namespace

SpikeFigureLayout::View SpikeFigureLayout::MakeView(ViewKind kind, int32_t channel, int32_t otherChannel,
                                                    const Rect& frame, const SpikeStatistics& statistics,
                                                    const SpikeSubset& subset, const Channels& channels) {
  View view;
  view.kind = kind;
  view.channel = channel;
  view.otherChannel = otherChannel;
  view.frame = frame;
  switch (kind) {
    case ViewKind::kWaveforms: {
      const auto [low, high] = WaveformRange(statistics, subset);
      const int32_t peak = std::max(statistics.alignmentPt, 1) - 1;
      std::string xLabel = "point (peak at " + std::to_string(statistics.alignmentPt) + ")";
      if (channels.samplingHz) {
        view.pointOrigin = peak;
        view.pointScale = kMillisecondsPerSecond / *channels.samplingHz;
        xLabel = "time from peak (ms)";
      }
      view.x = MakeAxis(PointValue(view, 0.0), PointValue(view, std::max(statistics.points, 1) - 1.0), kMostTicksX,
                        std::move(xLabel));
      if (channels.samplingHz) view.x.shortLabel = "ms";
      view.y = PaddedAxis(low, high, kMostTicksY, "A/D counts");
      AddMicrovolts(view.y, channels.MicrovoltsPerCount(channel), kMostTicksY);
      const std::string name = channels.Name(channel);
      view.title = name + ": " + std::to_string(subset.Size()) + " of " + std::to_string(subset.ChosenFrom()) +
                   " drawn, mean \xB1 SD";
      view.shortTitle = name + ": " + std::to_string(subset.Size()) + " of " + std::to_string(subset.ChosenFrom());
      break;
    }
    case ViewKind::kScatter: {
      const auto [low, high] = PeakRange(statistics);
      const std::string across = channels.Name(channel);
      const std::string up = channels.Name(otherChannel);
      view.x = PaddedAxis(low, high, kMostTicksX, across + " peak (A/D counts)");
      view.y = PaddedAxis(low, high, kMostTicksY, up + " peak");
      AddMicrovolts(view.x, channels.MicrovoltsPerCount(channel), kMostTicksX);
      AddMicrovolts(view.y, channels.MicrovoltsPerCount(otherChannel), kMostTicksY);
      view.x.shortLabel = across + " peak";
      view.title = "Peaks: " + across + " vs " + up;
      view.shortTitle = across + " vs " + up;
      break;
    }
    case ViewKind::kIntervals: {
      int64_t tallest = 1;
      for (const int64_t n : statistics.intervalHistogram) tallest = std::max(tallest, n);
      view.x = MakeAxis(0.0, SpikeStatistics::kIntervalRangeUs / kMicrosecondsPerMillisecond, 2 * kMostTicksX,
                        "interval (ms)");
      view.y = MakeAxis(0.0, static_cast<double>(tallest) * kHistogramHeadroom, kMostTicksY, "intervals");
      const std::string shortOnes = statistics.shortIntervalPercent
                                        ? Format("%.3g %% under 2 ms", *statistics.shortIntervalPercent)
                                        : std::string("none, fewer than two spikes");
      view.title = "Intervals 0 to 50 ms (bins of 0.5 ms): " + shortOnes;
      view.shortTitle = "Intervals: " + shortOnes;
      break;
    }
  }
  // The second scales where they leave the data room enough.
  if (frame.width - kMarginLeft - kMarginRight - kOtherScaleWidth < kSmallestDataWithScale) view.y.otherScale = 0.0;
  if (frame.height - kMarginTop - kMarginBottom - kLabelRow < kSmallestDataWithScale) view.x.otherScale = 0.0;
  for (Axis* axis : {&view.x, &view.y}) {
    if (axis->otherScale != 0.0) continue;
    axis->otherTicks.clear();
    axis->otherLabel.clear();
  }
  if (view.x.shortLabel.empty()) view.x.shortLabel = view.x.label;
  const int32_t right = kMarginRight + (view.y.otherScale != 0.0 ? kOtherScaleWidth : 0);
  const int32_t bottom = kMarginBottom + (view.x.otherScale != 0.0 ? kLabelRow : 0);
  view.plot = Rect{frame.left + kMarginLeft, frame.top + kMarginTop, std::max(1, frame.width - kMarginLeft - right),
                   std::max(1, frame.height - kMarginTop - bottom)};
  return view;
}

SpikeFigureLayout::Channels SpikeFigureLayout::ChannelsOf(const SpikeFileHeader& header) {
  Channels channels;
  for (const std::string& file : header.SourceFiles()) {
    const std::string title = FileTitleOf(file);
    channels.names.push_back(title.empty() ? FileNameOf(file) : title);
  }
  if (const auto values = header.Values(kBitVoltsKey)) {
    for (const std::string& value : *values) {
      const std::optional<double> volts = PositiveNumber(value);
      channels.microvoltsPerCount.push_back(volts ? std::optional<double>(*volts * kMicrovoltsPerVolt) : std::nullopt);
    }
  }
  if (const auto values = header.Values(kSamplingKey); values && !values->empty()) {
    channels.samplingHz = PositiveNumber(values->front());
  }
  return channels;
}

std::string SpikeFigureLayout::Channels::Name(int32_t channel) const {
  const auto index = static_cast<std::size_t>(channel);
  if (channel >= 0 && index < names.size() && !names[index].empty()) return names[index];
  return "ch " + std::to_string(channel + 1);
}

std::optional<double> SpikeFigureLayout::Channels::MicrovoltsPerCount(int32_t channel) const {
  const auto index = static_cast<std::size_t>(channel);
  return channel >= 0 && index < microvoltsPerCount.size() ? microvoltsPerCount[index] : std::nullopt;
}

SpikeFigureLayout SpikeFigureLayout::ForFigure(int32_t width, int32_t height, const SpikeStatistics& statistics,
                                               const SpikeSubset& subset, const Channels& channels) {
  SpikeFigureLayout layout;
  layout.width_ = width;
  layout.height_ = height;
  layout.title_ = FigureTitle(statistics, subset);
  layout.titleBand_ = Rect{0, 0, width, std::min(height, kTitleBand)};

  const int32_t count = std::max(0, statistics.channels);
  const int32_t waveformColumns = std::clamp(count, 1, kMaxWaveformColumns);
  const int32_t waveformRows = (count + kMaxWaveformColumns - 1) / kMaxWaveformColumns;
  const auto pairs = ChannelPairs(count);
  // A single pair shares its row with the histogram: alone it would stretch across the figure.
  const bool sharedRow = pairs.size() == 1;
  const double totalWeight = waveformRows * kWaveformRowWeight + (pairs.empty() ? 0.0 : kScatterRowWeight) +
                             (sharedRow ? 0.0 : kIntervalRowWeight);
  const int32_t available = std::max(0, height - layout.titleBand_.height);
  int32_t top = layout.titleBand_.height;
  double weightAbove = 0.0;
  // Rows end on rounded fractions of the height, so they tile it exactly.
  auto nextRow = [&](double weight) {
    weightAbove += weight;
    const int32_t bottom =
        layout.titleBand_.height + static_cast<int32_t>(std::lround(available * weightAbove / totalWeight));
    const int32_t rowTop = top;
    top = bottom;
    return std::pair<int32_t, int32_t>{rowTop, bottom - rowTop};
  };
  auto cell = [width](int32_t index, int32_t columns, std::pair<int32_t, int32_t> row) {
    const int32_t left = static_cast<int32_t>(int64_t{width} * index / columns);
    const int32_t right = static_cast<int32_t>(int64_t{width} * (index + 1) / columns);
    return Rect{left, row.first, right - left, row.second};
  };

  for (int32_t r = 0; r < waveformRows; ++r) {
    const auto row = nextRow(kWaveformRowWeight);
    for (int32_t c = 0; c < waveformColumns && r * kMaxWaveformColumns + c < count; ++c) {
      const int32_t channel = r * kMaxWaveformColumns + c;
      layout.views_.push_back(
          MakeView(ViewKind::kWaveforms, channel, -1, cell(c, waveformColumns, row), statistics, subset, channels));
    }
  }
  if (sharedRow) {
    const auto row = nextRow(kScatterRowWeight);
    // The scatter's data area about square, the histogram in the rest of the row.
    const int32_t square = row.second - kMarginTop - kMarginBottom + kMarginLeft + kMarginRight;
    const int32_t scatterWidth = std::clamp(square, width / 4, width / 2);
    const Rect scatter{0, row.first, scatterWidth, row.second};
    const Rect intervals{scatterWidth, row.first, width - scatterWidth, row.second};
    layout.views_.push_back(
        MakeView(ViewKind::kScatter, pairs[0].first, pairs[0].second, scatter, statistics, subset, channels));
    layout.views_.push_back(MakeView(ViewKind::kIntervals, -1, -1, intervals, statistics, subset, channels));
    return layout;
  }
  if (!pairs.empty()) {
    const auto row = nextRow(kScatterRowWeight);
    const auto columns = static_cast<int32_t>(pairs.size());
    for (int32_t i = 0; i < columns; ++i) {
      const auto [a, b] = pairs[static_cast<std::size_t>(i)];
      layout.views_.push_back(MakeView(ViewKind::kScatter, a, b, cell(i, columns, row), statistics, subset, channels));
    }
  }
  layout.views_.push_back(
      MakeView(ViewKind::kIntervals, -1, -1, cell(0, 1, nextRow(kIntervalRowWeight)), statistics, subset, channels));
  return layout;
}

SpikeFigureLayout SpikeFigureLayout::ForView(int32_t width, int32_t height, ViewKind kind, int32_t channel,
                                             int32_t otherChannel, const SpikeStatistics& statistics,
                                             const SpikeSubset& subset, const Channels& channels) {
  SpikeFigureLayout layout;
  layout.width_ = width;
  layout.height_ = height;
  layout.views_.push_back(
      MakeView(kind, channel, otherChannel, Rect{0, 0, width, height}, statistics, subset, channels));
  return layout;
}

int32_t SpikeFigureLayout::ViewAt(int32_t x, int32_t y) const {
  for (std::size_t i = 0; i < views_.size(); ++i) {
    if (views_[i].frame.Contains(x, y)) return static_cast<int32_t>(i);
  }
  return -1;
}

double SpikeFigureLayout::PixelX(const View& view, double value) {
  return view.plot.left + (value - view.x.low) / (view.x.high - view.x.low) * (view.plot.width - 1);
}

double SpikeFigureLayout::PixelY(const View& view, double value) {
  return view.plot.top + (view.y.high - value) / (view.y.high - view.y.low) * (view.plot.height - 1);
}

double SpikeFigureLayout::DataX(const View& view, double x) {
  return view.x.low + (x - view.plot.left) / std::max(1, view.plot.width - 1) * (view.x.high - view.x.low);
}

double SpikeFigureLayout::DataY(const View& view, double y) {
  return view.y.high - (y - view.plot.top) / std::max(1, view.plot.height - 1) * (view.y.high - view.y.low);
}

double SpikeFigureLayout::PointValue(const View& view, double point) {
  return (point - view.pointOrigin) * view.pointScale;
}

double SpikeFigureLayout::PointAt(const View& view, double value) { return value / view.pointScale + view.pointOrigin; }

std::string SpikeFigureLayout::TickText(double value, const std::vector<double>& ticks) {
  const double step = ticks.size() > 1 ? ticks[1] - ticks[0] : 1.0;
  const int decimals = step >= 1.0 ? 0 : static_cast<int>(std::ceil(-std::log10(step) - 1e-9));
  char text[64];
  std::snprintf(text, sizeof text, "%.*f", decimals, value);
  return text;
}

int32_t SpikeFigureLayout::OtherRowBaseline(const View& view) {
  return view.plot.Bottom() - 1 + kTickLabelDrop + kLabelRow;
}

std::vector<SpikeFigureLayout::Label> SpikeFigureLayout::TickLabels(const View& view, const TextMeasure& width,
                                                                    int32_t textHeight) {
  std::vector<Label> labels;
  const int32_t bottom = view.plot.Bottom() - 1;
  const int32_t right = view.plot.Right() - 1;
  // Under the horizontal axis: the ticks' row, then the other scale's row.
  const auto row = [&](const std::vector<double>& ticks, double scale, int32_t baseline) {
    std::vector<std::string> texts;
    std::vector<double> positions;
    std::vector<int32_t> widths;
    for (const double tick : ticks) {
      texts.push_back(TickText(tick, ticks));
      positions.push_back(PixelX(view, tick / scale));
      widths.push_back(width(texts.back()));
    }
    for (const std::size_t i : SpacedLabels(ticks, positions, widths, kLabelGap)) {
      const auto x = static_cast<int32_t>(std::lround(positions[i])) - widths[i] / 2;
      labels.push_back({texts[i], x, baseline, widths[i]});
    }
  };
  // Beside the vertical axis, left-aligned (right of the data) or right-aligned (left of it); the
  // pixels run downwards, so the ticks are taken from the top.
  const auto column = [&](const std::vector<double>& ticks, double scale, bool onTheRight) {
    std::vector<double> descending(ticks.rbegin(), ticks.rend());
    std::vector<std::string> texts;
    std::vector<double> positions;
    std::vector<int32_t> heights;
    for (const double tick : descending) {
      texts.push_back(TickText(tick, ticks));
      positions.push_back(PixelY(view, tick / scale));
      heights.push_back(textHeight);
    }
    for (const std::size_t i : SpacedLabels(descending, positions, heights, kLineGap)) {
      const int32_t textWidth = width(texts[i]);
      const int32_t x = onTheRight ? right + kTickLength + kLabelInset
                                   : std::max(view.frame.left, view.plot.left - kTickLength - kLabelInset - textWidth);
      const auto baseline = static_cast<int32_t>(std::lround(positions[i])) + textHeight / 3;
      labels.push_back({texts[i], x, baseline, textWidth});
    }
  };
  row(view.x.ticks, 1.0, bottom + kTickLabelDrop);
  if (view.x.otherScale != 0.0) {
    const std::size_t first = labels.size();
    row(view.x.otherTicks, view.x.otherScale, OtherRowBaseline(view));
    // The row's unit before its first label, or after its last where the frame ends first.
    const int32_t unitWidth = width(view.x.otherLabel);
    if (first < labels.size()) {
      const int32_t before = labels[first].x - kLabelGap - unitWidth;
      const int32_t after = labels.back().x + labels.back().width + kLabelGap;
      if (before >= view.frame.left) {
        labels.push_back({view.x.otherLabel, before, OtherRowBaseline(view), unitWidth});
      } else if (after + unitWidth <= view.frame.Right()) {
        labels.push_back({view.x.otherLabel, after, OtherRowBaseline(view), unitWidth});
      }
    }
  }
  column(view.y.ticks, 1.0, false);
  if (view.y.otherScale != 0.0) column(view.y.otherTicks, view.y.otherScale, true);
  return labels;
}

int64_t SpikeFigureLayout::NearestSpike(int32_t viewIndex, int32_t x, int32_t y, const SpikeSubset& subset,
                                        int32_t radius) const {
  if (viewIndex < 0 || viewIndex >= static_cast<int32_t>(views_.size())) return -1;
  const View& view = views_[static_cast<std::size_t>(viewIndex)];
  int64_t nearest = -1;
  double best = static_cast<double>(radius) * radius;
  if (view.kind == ViewKind::kScatter) {
    for (int64_t k = 0; k < subset.Size(); ++k) {
      const double dx = PixelX(view, subset.Peak(k, view.channel)) - x;
      const double dy = PixelY(view, subset.Peak(k, view.otherChannel)) - y;
      if (dx * dx + dy * dy <= best) {
        best = dx * dx + dy * dy;
        nearest = k;
      }
    }
  } else if (view.kind == ViewKind::kWaveforms && subset.Points() > 0) {
    // The trace is straight between its points.
    const double point = std::clamp(PointAt(view, DataX(view, x)), 0.0, static_cast<double>(subset.Points() - 1));
    const auto before = static_cast<int32_t>(std::floor(point));
    const int32_t after = std::min(before + 1, subset.Points() - 1);
    const double fraction = point - before;
    for (int64_t k = 0; k < subset.Size(); ++k) {
      const double value =
          subset.Sample(k, before, view.channel) * (1.0 - fraction) + subset.Sample(k, after, view.channel) * fraction;
      const double dy = PixelY(view, value) - y;
      if (dy * dy <= best) {
        best = dy * dy;
        nearest = k;
      }
    }
  }
  return nearest;
}

std::vector<std::pair<int32_t, int32_t>> SpikeFigureLayout::ChannelPairs(int32_t channels) {
  std::vector<std::pair<int32_t, int32_t>> pairs;
  if (int64_t{channels} * (channels - 1) / 2 <= kMaxPairs) {
    for (int32_t a = 0; a < channels; ++a) {
      for (int32_t b = a + 1; b < channels; ++b) pairs.emplace_back(a, b);
    }
    return pairs;
  }
  for (int32_t a = 0; a + 1 < channels && static_cast<int32_t>(pairs.size()) < kMaxPairs; ++a) {
    pairs.emplace_back(a, a + 1);
  }
  return pairs;
}

std::vector<double> SpikeFigureLayout::Ticks(double low, double high, int32_t most) {
  std::vector<double> ticks;
  if (!(high > low) || most < 1 || !std::isfinite(high - low)) return ticks;
  const double rough = (high - low) / most;
  const double power = std::pow(10.0, std::floor(std::log10(rough)));
  double step = power;
  for (const double factor : {1.0, 2.0, 5.0, 10.0}) {
    step = factor * power;
    if (step >= rough) break;
  }
  // Each tick is a whole multiple of the step, so no rounding piles up along the axis.
  for (double multiple = std::ceil(low / step); multiple * step <= high; multiple += 1.0) {
    ticks.push_back(multiple == 0.0 ? 0.0 : multiple * step);
  }
  return ticks;
}

}  // namespace skelvane
