#include "columns/TimeColumns.h"

#include "platform/ReportError.h"
#include "platform/Saturating.h"
#include "platform/StatusCodes.h"

namespace skelvane {

int32_t TimeColumns::PixelForTime(int64_t time, int64_t start, int32_t width, int64_t span, int32_t& pixel) {
  if (width <= 0) {
    ReportError("Invalid value passed to GetPixelForTime(), width = ", width);
    return kStatusFailed;
  }
  const int64_t offset = SaturatingSubtract(time, start);
  if (offset < 0) {
    ReportError("Invalid value calculated GetPixelForTime(), timeOffset = ", offset);
    return kStatusFailed;
  }
  if (span <= 0) {
    ReportError("Invalid value passed to GetPixelForTime(), span = ", span);
    return kStatusFailed;
  }
  pixel = ColumnForOffset(offset, static_cast<double>(span) / width);
  return kStatusOk;
}

int32_t TimeColumns::TimeRangeForPixel(int32_t pixel, int32_t width, int64_t span, int64_t start, int64_t& first,
                                       int64_t& last) {
  if (width <= 0) return kStatusFailed;
  const double timePerPixel = static_cast<double>(span) / width;
  first = SaturatingAdd(start, TruncToInt64(pixel * timePerPixel));
  last = SaturatingAdd(start, TruncToInt64((int64_t{pixel} + 1) * timePerPixel) - 1);
  return kStatusOk;
}

int32_t TimeColumns::TimeForPixel(int32_t pixel, int32_t width, int64_t span, int64_t start, int64_t& time) {
  int64_t first = 0;
  int64_t last = 0;
  if (TimeRangeForPixel(pixel, width, span, start, first, last) != 0) return kStatusFailed;
  time = static_cast<int64_t>((static_cast<__int128>(first) + last) / 2);  // no overflow at the range's ends
  return kStatusOk;
}

}  // namespace skelvane
