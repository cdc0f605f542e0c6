#pragma once
// What a CSC plot's column builders need to know about one redraw: the span, the width and the
// source's timing. Filled by CscPlot, read by LiteralColumns and SummaryColumns.

#include <array>
#include <cstdint>

#include "datafile/CscRecord.h"

namespace skelvane {

struct ColumnSpan {
  int64_t start = 0;           // first visible time, microseconds
  int64_t end = 0;             // last visible time (start + span)
  int32_t width = 0;           // pixel columns
  int32_t recordDuration = 0;  // mean record interval, whole microseconds
  double samplePeriod = 0.0;   // microseconds
  double scale = 1.0;          // display units per A/D count

  /// Microseconds per column, as the canvas converts times to columns.
  double TimePerPixel() const { return static_cast<double>(end - start) / width; }
  /// Offsets of every sample from its record's timestamp, truncated as the plot has always done.
  std::array<int64_t, kSamplesPerRecord> SampleOffsets() const {
    std::array<int64_t, kSamplesPerRecord> offsets{};
    for (int32_t i = 0; i < kSamplesPerRecord; ++i)
      offsets[static_cast<std::size_t>(i)] = static_cast<int64_t>(i * samplePeriod);
    return offsets;
  }
};

}  // namespace skelvane
