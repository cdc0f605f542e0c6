#pragma once
// The whole recording of one plot at a glance: for each column of the overview strip the smallest
// and largest stored sample of the records in that column's time, and the typical range there (the
// middle of its 128-sample blocks' extremes, which spikes barely move: the extremes of a spiking
// recording are its spikes in every column, one solid band), taken from the plot's summary (no file
// read). The main window's overview strip builds one when its width or the summary changes.

#include <cstdint>
#include <optional>
#include <vector>

namespace skelvane {

class CscPlot;
class SourceSummary;

class OverviewEnvelope {
 public:
  /// Blocks a column's typical range is taken from at most (those of records spread evenly over it):
  /// the time to build grows with the strip's width, not with the recording.
  static constexpr int64_t kMostBlocksPerColumn = 48;

  /// The extremes of `summary` over `width` equal columns from `start` to `end` (microseconds). A
  /// column no record reaches into (before, after or in a gap of the recording) is empty.
  static OverviewEnvelope Build(const SourceSummary& summary, int64_t start, int64_t end, int32_t width,
                                int64_t recordDuration);
  /// The envelope of a CSC plot once its summary is built, else none.
  static std::optional<OverviewEnvelope> FromPlot(const CscPlot& plot, int64_t start, int64_t end, int32_t width);

  /// Number of columns.
  int32_t Width() const { return static_cast<int32_t>(mins_.size()); }
  /// Whether any record reaches into column `column`.
  bool HasColumn(int32_t column) const { return mins_[Index(column)] <= maxs_[Index(column)]; }
  /// Smallest and largest sample of a column that has one.
  int16_t Min(int32_t column) const { return mins_[Index(column)]; }
  int16_t Max(int32_t column) const { return maxs_[Index(column)]; }
  /// The typical range of a column that has samples: the medians of its blocks' minima and maxima.
  int16_t TypicalMin(int32_t column) const { return typicalMins_[Index(column)]; }
  int16_t TypicalMax(int32_t column) const { return typicalMaxs_[Index(column)]; }

 private:
  static std::size_t Index(int32_t column) { return static_cast<std::size_t>(column); }
  std::vector<int16_t> mins_;
  std::vector<int16_t> maxs_;
  std::vector<int16_t> typicalMins_;
  std::vector<int16_t> typicalMaxs_;
};

}  // namespace skelvane
