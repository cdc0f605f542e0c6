#pragma once
// Lays out what the canvas draws over the plots on request: the lines of the measuring cursors with
// their letters, the user's markers with their texts, and the scale bars (a round amplitude per plot, a round time for the view) with their
// labels on plates of the background's colour. Only positions and texts, no drawing: PlotCanvas draws
// the layouts, tests read them.

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace skelvane {

class MarkerSet;
class TimeCursors;

class CanvasOverlays {
 public:
  /// Measures a text in pixels.
  using TextMeasure = std::function<int32_t(std::string_view)>;

  /// Cursor A's colour (yellow) and cursor B's (cyan), 0x00BBGGRR.
  static constexpr uint32_t kColourCursorA = 0x00FFFF;
  static constexpr uint32_t kColourCursorB = 0xFFFF00;
  /// Markers and their texts (orange).
  static constexpr uint32_t kColourMarker = 0x0080FF;
  /// A scale bar is at most this share of the trace's width (time) or height (amplitude).
  static constexpr double kTimeBarShare = 0.2;
  static constexpr double kAmplitudeBarShare = 0.4;
  /// Bars keep this far from the canvas's right edge and the time axis.
  static constexpr int32_t kBarInset = 10;

  struct Line {
    int32_t x1, y1, x2, y2;
    uint32_t colour;
  };
  /// A text with the raster position of its baseline's left end.
  struct Text {
    std::string text;
    int32_t x, y;
    uint32_t colour;
  };
  /// A filled rectangle (y grows upwards), drawn behind the texts and over the traces.
  struct Plate {
    int32_t left, bottom, right, top;
    uint32_t colour;
  };
  /// Where a plot's rows lie, for the markers put on that plot alone.
  struct PlotRows {
    std::string name;
    int32_t yLow, yTop;
  };
  /// Lines from (x, yLow) to (x, yTop) for each x of `xs`, one per pixel column: many of them are drawn
  /// as a few rectangles.
  struct Columns {
    int32_t yLow, yTop;
    uint32_t colour;
    std::vector<int32_t> xs;
  };
  /// Drawn in this order: plates, lines and columns, texts.
  struct Layout {
    std::vector<Plate> plates;
    std::vector<Line> lines;
    std::vector<Columns> columns;
    std::vector<Text> texts;
  };

  /// The largest 1, 2 or 5 x 10^k (k may be negative) not above `limit`; 0 for a limit of 0 or
  /// less or not finite.
  static double RoundDown(double limit);
  /// A round duration as its bar is labelled: "500 us", "20 ms", "2 s".
  static std::string DurationText(int64_t microseconds);
  /// A round amplitude with its unit: "100 uV", "0.5 uV", "2000 counts".
  static std::string AmplitudeText(double value, const std::string& unit);

  /// The line of each set cursor whose time lies in the view of `span` from `start` over `width`
  /// columns from x0, from yLow up to yTop, with its letter at the top right of it.
  static Layout Cursors(const TimeCursors& cursors, int64_t start, int64_t span, int32_t width, int32_t x0,
                        int32_t yLow, int32_t yTop, int32_t textHeight);
  /// The line of each marker in the view of `span` from `start` over `width` columns from x0: through
  /// the whole stack (yLow up to yTop) or through its plot's rows, its text right of it at the top on a
  /// plate of the background's colour. One column per pixel and scope (the columns of a scope share
  /// their ends), a text only where the one before it has ended and 32 texts at most, so a crowded
  /// view costs what its columns cost.
  static Layout Markers(const MarkerSet& markers, int64_t start, int64_t span, int32_t width, int32_t x0,
                        int32_t yLow, int32_t yTop, const std::vector<PlotRows>& plots, int32_t textHeight,
                        const TextMeasure& textWidth);
  /// The time bar of a view of `span` over `width` columns: at the right edge `right`, its
  /// label (`textHeight` tall) above it on a black plate, on the line y; nothing when no round time fits.
  static Layout TimeBar(int64_t span, int32_t width, int32_t right, int32_t y, int32_t textHeight,
                        const TextMeasure& textWidth);
  /// The amplitude bar of a trace `height` pixels tall centred at yCentre, with `unitsPerPixel` of
  /// `unit` per pixel: at the right edge `right`, its label left of it on a black plate (readable over
  /// a trace of any colour); nothing when none fits.
  static Layout AmplitudeBar(double unitsPerPixel, const std::string& unit, int32_t height, int32_t right,
                             int32_t yCentre, int32_t textHeight, const TextMeasure& textWidth);
};

}  // namespace skelvane
