#include "display/CanvasOverlays.h"

#include <cmath>
#include <cstdio>
#include <algorithm>
#include <limits>

#include "display/DisplayConstants.h"
#include "display/TimeCursors.h"
#include "columns/TimeColumns.h"
#include "display/MarkerSet.h"

namespace skelvane {
namespace {

constexpr int32_t kEndMark = 3;        // the short strokes closing a bar's ends
constexpr int32_t kTextGap = 4;        // between a bar and its label
constexpr int32_t kCursorTextGap = 3;  // between a cursor line and its letter
constexpr int32_t kMinBarLength = 2;   // a shorter bar would read as a dot
constexpr int64_t kMicrosecondsPerMs = 1'000;
constexpr int64_t kMicrosecondsPerSecond = 1'000'000;
constexpr double kRoundingSlack = 1e-9;  // 10^k in doubles is a hair off for negative k
constexpr int32_t kPlateMargin = 2;      // background kept around a bar's label
// Texts are the dear part of an overlay (a glyph costs a raster operation): a crowded view shows the
// first of its markers' texts, as many as can be read at once, and the panel lists the rest.
constexpr std::size_t kMaxMarkerTexts = 32;

// The label's plate: its text's box (a quarter of the text height below the baseline, the rest
// above) and a margin.
CanvasOverlays::Plate PlateBehind(const CanvasOverlays::Text& text, int32_t width, int32_t textHeight) {
  return {text.x - kPlateMargin, text.y - textHeight / 4 - kPlateMargin, text.x + width + kPlateMargin,
          text.y + textHeight - textHeight / 4 + kPlateMargin, kColourBlack};
}

std::string Number(double value, const char* unit) {
  char text[64];
  std::snprintf(text, sizeof text, "%.6g %s", value, unit);
  return text;
}

}  // namespace

double CanvasOverlays::RoundDown(double limit) {
  if (!(limit > 0.0) || !std::isfinite(limit)) return 0.0;
  const double decade = std::pow(10.0, std::floor(std::log10(limit)));
  for (const double mantissa : {5.0, 2.0, 1.0}) {
    if (mantissa * decade <= limit * (1.0 + kRoundingSlack)) return mantissa * decade;
  }
  return decade / 2.0;  // log10 rounded up at a decade's edge
}

std::string CanvasOverlays::DurationText(int64_t microseconds) {
  const double us = static_cast<double>(microseconds);
  if (microseconds < kMicrosecondsPerMs) return Number(us, "us");
  if (microseconds < kMicrosecondsPerSecond) return Number(us / kMicrosecondsPerMs, "ms");
  return Number(us / kMicrosecondsPerSecond, "s");
}

std::string CanvasOverlays::AmplitudeText(double value, const std::string& unit) { return Number(value, unit.c_str()); }

CanvasOverlays::Layout CanvasOverlays::Cursors(const TimeCursors& cursors, int64_t start, int64_t span, int32_t width,
                                               int32_t x0, int32_t yLow, int32_t yTop, int32_t textHeight) {
  Layout layout;
  if (width <= 0 || span <= 0) return layout;
  for (const TimeCursors::Cursor cursor : {TimeCursors::Cursor::A, TimeCursors::Cursor::B}) {
    const std::optional<int64_t> time = cursors.TimeOf(cursor);
    if (!time || *time < start || *time - start >= span) continue;
    int32_t pixel = 0;
    if (TimeColumns::PixelForTime(*time, start, width, span, pixel) != 0 || pixel >= width) continue;
    const uint32_t colour = cursor == TimeCursors::Cursor::A ? kColourCursorA : kColourCursorB;
    const int32_t x = x0 + pixel;
    layout.lines.push_back({x, yLow, x, yTop, colour});
    layout.texts.push_back({TimeCursors::Name(cursor), x + kCursorTextGap, yTop - textHeight, colour});
  }
  return layout;
}

CanvasOverlays::Layout CanvasOverlays::Markers(const MarkerSet& markers, int64_t start, int64_t span, int32_t width,
                                               int32_t x0, int32_t yLow, int32_t yTop,
                                               const std::vector<PlotRows>& plots, int32_t textHeight,
                                               const TextMeasure& textWidth) {
  Layout layout;
  if (width <= 0 || span <= 0 || markers.Empty()) return layout;
  // Per scope (every plot, or one plot by its index + 1): its columns in the layout, the last column
  // drawn and where its text ends.
  constexpr std::size_t kNone = std::numeric_limits<std::size_t>::max();
  std::vector<std::size_t> columnsOf(plots.size() + 1, kNone);
  std::vector<int32_t> lastColumn(plots.size() + 1, -1);
  std::vector<int32_t> textEnd(plots.size() + 1, std::numeric_limits<int32_t>::min());
  const int64_t end = start > std::numeric_limits<int64_t>::max() - span ? std::numeric_limits<int64_t>::max()
                                                                          : start + span;
  const auto [first, last] = markers.Within(start, end);
  // A plot's marker in a column that a marker on every plot fills adds no pixel: a crowded view
  // would otherwise draw each plot's columns over the stack's.
  std::vector<bool> everyPlot(static_cast<std::size_t>(width), false);
  for (std::size_t i = first; i < last; ++i) {
    int32_t pixel = 0;
    const MarkerSet::Marker& marker = markers.All()[i];
    if (!marker.plot.empty() || TimeColumns::PixelForTime(marker.timestamp, start, width, span, pixel) != 0 ||
        pixel < 0 || pixel >= width) {
      continue;
    }
    everyPlot[static_cast<std::size_t>(pixel)] = true;
  }
  for (std::size_t i = first; i < last; ++i) {
    const MarkerSet::Marker& marker = markers.All()[i];
    std::size_t scope = 0;
    int32_t low = yLow;
    int32_t top = yTop;
    if (!marker.plot.empty()) {
      const auto row = std::find_if(plots.begin(), plots.end(), [&](const PlotRows& r) { return r.name == marker.plot; });
      if (row == plots.end()) continue;  // its plot is not on screen
      scope = static_cast<std::size_t>(row - plots.begin()) + 1;
      low = row->yLow;
      top = row->yTop;
    }
    int32_t pixel = 0;
    if (TimeColumns::PixelForTime(marker.timestamp, start, width, span, pixel) != 0 || pixel >= width) continue;
    const int32_t x = x0 + pixel;
    const bool covered = scope != 0 && everyPlot[static_cast<std::size_t>(pixel)] && low >= yLow && top <= yTop;
    if (pixel != lastColumn[scope] && !covered) {
      if (columnsOf[scope] == kNone) {
        columnsOf[scope] = layout.columns.size();
        layout.columns.push_back({low, top, kColourMarker, {}});
      }
      layout.columns[columnsOf[scope]].xs.push_back(x);
    }
    lastColumn[scope] = pixel;
    if (marker.text.empty() || x + kCursorTextGap <= textEnd[scope] || layout.texts.size() >= kMaxMarkerTexts) continue;
    const int32_t textX = x + kCursorTextGap;
    const int32_t textWidthPixels = textWidth(marker.text);
    const int32_t textY = top - textHeight;
    layout.texts.push_back({marker.text, textX, textY, kColourMarker});
    layout.plates.push_back(PlateBehind(layout.texts.back(), textWidthPixels, textHeight));
    textEnd[scope] = textX + textWidthPixels + kPlateMargin;
  }
  return layout;
}

CanvasOverlays::Layout CanvasOverlays::TimeBar(int64_t span, int32_t width, int32_t right, int32_t y,
                                               int32_t textHeight, const TextMeasure& textWidth) {
  Layout layout;
  if (width <= 0 || span <= 0) return layout;
  const auto value = static_cast<int64_t>(RoundDown(static_cast<double>(span) * kTimeBarShare));
  if (value < 1) return layout;
  const auto length = static_cast<int32_t>(std::lround(static_cast<double>(value) * width / static_cast<double>(span)));
  if (length < kMinBarLength) return layout;
  const int32_t x2 = right - kBarInset;
  const int32_t x1 = x2 - length;
  layout.lines.push_back({x1, y, x2, y, kColourLight});
  layout.lines.push_back({x1, y, x1, y + kEndMark, kColourLight});
  layout.lines.push_back({x2, y, x2, y + kEndMark, kColourLight});
  std::string text = DurationText(value);
  const int32_t labelWidth = textWidth(text);
  layout.texts.push_back({std::move(text), (x1 + x2) / 2 - labelWidth / 2, y + kTextGap, kColourLight});
  layout.plates.push_back(PlateBehind(layout.texts.back(), labelWidth, textHeight));
  return layout;
}

CanvasOverlays::Layout CanvasOverlays::AmplitudeBar(double unitsPerPixel, const std::string& unit, int32_t height,
                                                    int32_t right, int32_t yCentre, int32_t textHeight,
                                                    const TextMeasure& textWidth) {
  Layout layout;
  if (!(unitsPerPixel > 0.0) || !std::isfinite(unitsPerPixel) || height <= 0) return layout;
  const double value = RoundDown(unitsPerPixel * height * kAmplitudeBarShare);
  const double pixels = value / unitsPerPixel;
  if (!(pixels >= kMinBarLength) || pixels > height) return layout;
  const auto length = static_cast<int32_t>(std::lround(pixels));
  const int32_t x = right - kBarInset;
  const int32_t y1 = yCentre - length / 2;
  const int32_t y2 = y1 + length;
  layout.lines.push_back({x, y1, x, y2, kColourLight});
  layout.lines.push_back({x - kEndMark, y1, x, y1, kColourLight});
  layout.lines.push_back({x - kEndMark, y2, x, y2, kColourLight});
  std::string text = AmplitudeText(value, unit);
  const int32_t labelWidth = textWidth(text);
  const int32_t textX = x - kEndMark - kTextGap - labelWidth;
  layout.texts.push_back({std::move(text), textX, yCentre - textHeight / 4, kColourLight});
  layout.plates.push_back(PlateBehind(layout.texts.back(), labelWidth, textHeight));
  return layout;
}

}  // namespace skelvane
