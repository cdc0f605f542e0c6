#pragma once
// How the display turns a time into a pixel column of a span and a column back into times: a span of
// `span` microseconds over `width` columns has span / width microseconds per column (a double), and
// every conversion truncates towards zero. The column walks, the canvas and the view model share it.

#include <cstdint>

#include "platform/Saturating.h"

namespace skelvane {

class TimeColumns {
 public:
  /// Column of `time` in a span of `span` microseconds from `start` over `width` columns; 0, or -1
  /// after a report for a width or span of 0 or less, or a time before start.
  static int32_t PixelForTime(int64_t time, int64_t start, int32_t width, int64_t span, int32_t& pixel);
  /// Column of a time `offset` us after the span's start at `timePerPixel` us per column, truncated
  /// and kept in the int32 range; the arithmetic PixelForTime and the plots' column walks share.
  static int32_t ColumnForOffset(int64_t offset, double timePerPixel) {
    return SaturateTo<int32_t>(static_cast<double>(offset) / timePerPixel);
  }
  /// First and last time a pixel column covers; 0, or -1 for a width of 0 or less.
  static int32_t TimeRangeForPixel(int32_t pixel, int32_t width, int64_t span, int64_t start, int64_t& first,
                                   int64_t& last);
  /// Middle time of a pixel column; 0, or -1 for a width of 0 or less.
  static int32_t TimeForPixel(int32_t pixel, int32_t width, int64_t span, int64_t start, int64_t& time);
};

}  // namespace skelvane
