#include "display/CscPlot.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <limits>
#include <optional>
#include <utility>
#include <vector>

#include "datafile/CscRecord.h"
#include "datafile/IDataSourceManager.h"
#include "display/DisplayConstants.h"
#include "display/GLRenderer.h"
#include "display/PlotCanvas.h"
#include "display/SaturatingTime.h"
#include "platform/ReportError.h"
#include "platform/StatusCodes.h"

namespace skelvane {
namespace {

constexpr double kMicrosecondsPerSecond = 1'000'000.0;
constexpr double kSampleMicroseconds = 512'000'000.0;  // 512 samples x 1,000,000 us
constexpr const char* kADMaxValueKey = "-ADMaxValue";
constexpr const char* kSourceIndexMessage = "Error retrieving Data Source Index, err = ";
constexpr const char* kCountsUnit = "  AD Counts";
constexpr const char* kMicrovoltUnit = "  uV";
constexpr int32_t kRecordQuarter = 4;  // every sample is drawn while a column covers at most a quarter record

template <typename T>
T Saturate(double value) {
  if (!(value > std::numeric_limits<T>::min())) return std::numeric_limits<T>::min();
  if (!(value < std::numeric_limits<T>::max())) return std::numeric_limits<T>::max();
  return static_cast<T>(value);
}

// Walks the records that cover [start, end] from the last one backwards, calling visit(record) on
// each. Returns -1 when the very first lookup finds no record (the span ends before the source's
// first record), else 0. `stopBeforeStart` ends the walk as soon as the next cursor lies before start.
template <typename Visit>
int32_t WalkRecordsBackwards(IDataSourceManager& manager, int32_t source, int64_t start, int64_t end,
                             int32_t recordDuration, bool stopBeforeStart, Visit&& visit) {
  int64_t cursor = end;
  // A repeated timestamp means the lookup handed back the record before; the first record seen
  // has none to repeat, even when it is stamped 0.
  std::optional<int64_t> previousTimestamp;
  const uint8_t* bytes = nullptr;  // set once: the lookup leaves it alone at the source's first record
  for (;;) {
    if (manager.FindRecordForTime(cursor, source, bytes) != 0) return kStatusOk;
    if (bytes == nullptr) return kStatusFailed;
    const CscRecord record(bytes);
    const int64_t timestamp = record.Timestamp();
    if (timestamp == previousTimestamp) return kStatusOk;
    previousTimestamp = timestamp;
    if (SaturatingAdd(timestamp, recordDuration) < start) return kStatusOk;
    visit(record);
    if (timestamp == std::numeric_limits<int64_t>::min()) return kStatusOk;  // nothing can lie before it
    cursor = timestamp - 1;
    if (stopBeforeStart && cursor < start) return kStatusOk;
  }
}

}  // namespace

CscPlot::CscPlot(std::string path, std::string displayName, int32_t dataType)
    : Plot(std::move(path), std::move(displayName)), dataType_(dataType) {
  PlotCanvas::colorAllocator.GetNextColor(properties_.traceColour);
}

double CscPlot::GetSamplingFrequency() const { return properties_.samplingFrequency; }
double CscPlot::GetSamplePeriod() const { return samplePeriod_; }
int32_t CscPlot::GetADMaxValue() const { return properties_.ADMaxValue; }
int32_t CscPlot::ReadProperties(File& file) { return properties_.Read(file); }
int32_t CscPlot::WriteProperties(File& file) { return properties_.Write(file); }

double CscPlot::MeanRecordInterval(std::span<const int64_t> intervals) {
  int64_t shortest = 0;
  for (int64_t d : intervals) {
    if (d > 0 && (shortest == 0 || d < shortest)) shortest = d;
  }
  if (shortest == 0) return 0.0;
  const double longest = kGapFactor * static_cast<double>(shortest);
  double sum = 0.0;
  int32_t count = 0;
  for (int64_t d : intervals) {
    if (d > 0 && static_cast<double>(d) <= longest) {
      sum += static_cast<double>(d);
      ++count;
    }
  }
  return sum / count;
}

int32_t CscPlot::ParseHeaderInteger(const std::string& text) {
  std::size_t i = 0;
  while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i]))) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  int64_t value = 0;
  while (i < text.size() && std::isdigit(static_cast<unsigned char>(text[i]))) {
    value = std::min<int64_t>(value * 10 + (text[i++] - '0'), int64_t{std::numeric_limits<int32_t>::max()} + 1);
  }
  if (negative) value = -value;
  return static_cast<int32_t>(
      std::clamp<int64_t>(value, std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::max()));
}

void CscPlot::LoadSourceInfo() {
  IDataSourceManager* manager = PlotCanvas::dataSourceManager;
  if (manager == nullptr) return;
  int32_t source = -1;
  if (const int32_t rc = manager->FindSourceByPath(GetPath(), source); rc != 0) {
    ReportError(kSourceIndexMessage, rc);
    return;
  }
  const uint8_t* bytes = nullptr;
  if (manager->GetRecord(0, source, bytes) == 0 && bytes != nullptr) {
    const CscRecord first(bytes);
    properties_.samplingFrequency = first.SamplingFrequency();
    // Only records that exist are asked for, so a short file raises no past-the-end report.
    const int64_t available = std::min<int64_t>(manager->GetNumRecords(source), kTimingRecords + 1);
    std::vector<int64_t> intervals;
    int64_t previous = first.Timestamp();
    for (int64_t i = 1; i < available; ++i) {
      if (manager->GetRecord(i, source, bytes) != 0 || bytes == nullptr) break;
      const int64_t timestamp = CscRecord(bytes).Timestamp();
      intervals.push_back(SaturatingSubtract(timestamp, previous));
      previous = timestamp;
    }
    // Without a usable interval the timing stays unknown (0) and the trace is not drawn.
    const double mean = MeanRecordInterval(intervals);
    if (mean > 0.0) {
      properties_.samplingFrequency = kSampleMicroseconds / mean;
      recordDuration_ = Saturate<int32_t>(std::floor(mean));
      samplePeriod_ = (1.0 / properties_.samplingFrequency) * kMicrosecondsPerSecond;
    }
  }
  std::string value;
  if (manager->GetHeaderValue(source, kADMaxValueKey, value) == 0) {
    properties_.ADMaxValue = ParseHeaderInteger(value);
  }
}

int16_t CscPlot::ScaledSample(int16_t sample) const {
  if (properties_.scale == 1.0) return sample;
  return Saturate<int16_t>(std::trunc(sample * properties_.scale));
}

int32_t CscPlot::Draw(int64_t start, int64_t end, int32_t width, int32_t height, int32_t x0, int32_t y0) {
  IDataSourceManager* manager = PlotCanvas::dataSourceManager;
  if (manager == nullptr) return kStatusFailed;
  int32_t source = -1;
  if (const int32_t rc = manager->FindSourceByPath(GetPath(), source); rc != 0) {
    ReportError(kSourceIndexMessage, rc);
    return kStatusFailed;
  }
  ClearIconPositions();
  // Nothing can be drawn into no columns, over an empty span or with a zero full scale.
  const double fullScale = properties_.ADMaxValue * properties_.scale;
  if (width <= 0 || end <= start || fullScale == 0.0) return kStatusOk;

  GLRenderer* renderer = PlotCanvas::renderer;
  if (renderer != nullptr) {
    renderer->Translate(static_cast<float>(x0), static_cast<float>(y0 + height / 2), 0.0f);
    const double gain = PlotCanvas::canvas != nullptr ? PlotCanvas::canvas->GetAmplitudeGain(GetPath()) : 1.0;
    renderer->Scale(1.0f, static_cast<float>((height / 2.0) / fullScale * gain), 1.0f);
  }
  if (recordDuration_ > 0 && samplePeriod_ > 0.0) {
    if (recordDuration_ / kRecordQuarter >= PlotCanvas::viewState.VisibleSpan / width) {
      DrawSamples(source, start, end, width);
    } else {
      DrawMinMax(source, start, end, width);
    }
  }
  DrawThresholdOverlay(width, 0, kColourLight);
  return kStatusOk;
}

int32_t CscPlot::DrawSamples(int32_t source, int64_t start, int64_t end, int32_t width) {
  constexpr bool kMinMax = false;
  if (!cache_.Matches(start, end, width, kMinMax)) {
    cache_.Clear();
    const int64_t span = end - start;
    const int32_t rc = WalkRecordsBackwards(
        *PlotCanvas::dataSourceManager, source, start, end, recordDuration_, true, [&](const CscRecord& record) {
          const int64_t timestamp = record.Timestamp();
          for (int32_t i = kSamplesPerRecord - 1; i >= 0; --i) {
            const int64_t time = SaturatingAdd(timestamp, static_cast<int64_t>(i * samplePeriod_));
            if (time < start) break;
            int32_t x = 0;
            if (PlotCanvas::GetPixelForTime(time, start, width, span, x) != 0) continue;
            cache_.xs.push_back(x);
            cache_.mins.push_back(ScaledSample(record.Sample(i)));
          }
        });
    if (rc != 0) {
      cache_.Clear();
      return kStatusFailed;
    }
    cache_.SetKey(start, end, width, kMinMax);
  }

  GLRenderer* renderer = PlotCanvas::renderer;
  if (renderer == nullptr) return kStatusOk;
  if (properties_.drawTrace) {
    renderer->DrawPolyline(cache_.xs, cache_.mins, properties_.traceColour, properties_.traceLineWidth, kDepthTrace,
                           kOpaque);
  }
  // Points only where neighbouring samples lie more than two pixels apart.
  const int64_t timePerColumn = PlotCanvas::viewState.VisibleSpan / width;
  if (properties_.drawPoints && static_cast<double>(timePerColumn) < samplePeriod_ / 2.0) {
    renderer->DrawPoints(cache_.xs, cache_.mins, kColourLight, properties_.pointSize, kDepthTrace, kOpaque);
  }
  return kStatusOk;
}

int32_t CscPlot::DrawMinMax(int32_t source, int64_t start, int64_t end, int32_t width) {
  constexpr bool kMinMax = true;
  if (!cache_.Matches(start, end, width, kMinMax)) {
    cache_.Clear();
    const int64_t span = end - start;
    const double timePerPixel = static_cast<double>(span) / width;
    int32_t lastColumn = -1;
    const int32_t rc = WalkRecordsBackwards(
        *PlotCanvas::dataSourceManager, source, start, end, recordDuration_, false, [&](const CscRecord& record) {
          const int64_t timestamp = record.Timestamp();
          auto timeOf = [&](int32_t i) {
            return SaturatingAdd(timestamp, static_cast<int64_t>(i * samplePeriod_));
          };
          int32_t i = kSamplesPerRecord - 1;
          while (i >= 0) {
            const int64_t time = timeOf(i);
            if (time < start) break;
            // The column test is the pixel conversion itself, per sample: the truncated first time of
            // a column can lie in the column before it, which would move an edge sample into the
            // wrong bar. (Width and span are positive here, so the conversion cannot fail.)
            const int32_t x = PlotCanvas::ColumnForOffset(SaturatingSubtract(time, start), timePerPixel);
            int16_t low = ScaledSample(record.Sample(i));
            int16_t high = low;
            int32_t j = i - 1;
            for (; j >= 0; --j) {
              const int64_t earlier = timeOf(j);
              if (earlier < start) break;
              if (PlotCanvas::ColumnForOffset(SaturatingSubtract(earlier, start), timePerPixel) != x) break;
              const int16_t v = ScaledSample(record.Sample(j));
              low = std::min(low, v);
              high = std::max(high, v);
            }
            if (x == lastColumn) {
              cache_.mins.back() = std::min(cache_.mins.back(), low);
              cache_.maxs.back() = std::max(cache_.maxs.back(), high);
            } else {
              cache_.xs.push_back(x);
              cache_.mins.push_back(low);
              cache_.maxs.push_back(high);
              lastColumn = x;
            }
            i = j;
          }
        });
    if (rc != 0) {
      cache_.Clear();
      return kStatusFailed;
    }
    cache_.SetKey(start, end, width, kMinMax);
  }

  if (GLRenderer* renderer = PlotCanvas::renderer) {
    const uint32_t colour = properties_.traceColour;
    const int32_t lineWidth = properties_.traceLineWidth;
    renderer->DrawColumnPairs(cache_.xs, cache_.mins, cache_.maxs, colour, lineWidth, kDepthTrace, kOpaque);
    // A bar shorter than a pixel rasterises to nothing, so a quiet channel would vanish when zoomed
    // out: its ends are also drawn as points, which always light the pixel they fall in.
    renderer->DrawPoints(cache_.xs, cache_.mins, colour, lineWidth, kDepthTrace, kOpaque);
    renderer->DrawPoints(cache_.xs, cache_.maxs, colour, lineWidth, kDepthTrace, kOpaque);
  }
  return kStatusOk;
}

int32_t CscPlot::DrawDataAxisLabel(int32_t axisWidth, int32_t plotHeight, int32_t unused, int32_t plotY) {
  if (PlotCanvas::canvas == nullptr) return kStatusOk;
  const int32_t top = Saturate<int32_t>(std::trunc(properties_.ADMaxValue * properties_.scale));
  PlotCanvas::canvas->DrawDataAxis(axisWidth, plotHeight, unused, plotY, 0, top,
                                   properties_.scale == 1.0 ? kCountsUnit : kMicrovoltUnit);
  return kStatusOk;
}

}  // namespace skelvane
