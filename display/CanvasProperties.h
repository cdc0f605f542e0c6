#pragma once
// The canvas's display settings (what is shown, axis sizes, zoom and paging steps) and their
// 104-byte section of the settings file. Embedded in PlotCanvas; read and written through it.

#include <cstddef>
#include <cstdint>
#include <limits>
#include <string>
#include <vector>

namespace skelvane {

class File;

class CanvasProperties {
 public:
  /// Size of the settings section: 16 four-byte and 5 eight-byte fields, no padding.
  static constexpr std::size_t kSectionSize = 104;
  /// Number of fields in the section.
  static constexpr int32_t kFieldCount = 21;
  /// Default height of the time labels; the time axis band is 5 pixels taller.
  static constexpr int32_t kDefaultTimeLabelHeight = 12;

  /// Largest header height, data-axis margin and time-axis height a settings file may set, pixels.
  static constexpr int32_t kMaxBandPixels = 1000;
  /// Largest data-axis width and time-tick spacing, pixels (the widest canvas).
  static constexpr int32_t kMaxAxisPixels = 10000;
  /// Zoom and paging steps must be positive; any positive value is safe (the view's arithmetic
  /// saturates): a factor of 1 only leaves zooming without effect, a page above 100 % pages further.
  static constexpr int32_t kMinZoomFactor = 1;
  static constexpr int32_t kMaxZoomFactor = std::numeric_limits<int32_t>::max();
  /// Paging steps are whole percentages of a page.
  static constexpr int32_t kMinPagePercent = 1;
  static constexpr int32_t kMaxPagePercent = std::numeric_limits<int32_t>::max();

  virtual ~CanvasProperties() = default;

  /// Puts every field outside its range back to its default; returns the names of those fields.
  std::vector<std::string> ResetOutOfRange();

  /// Lays the 21 fields out little-endian in field order.
  void Encode(uint8_t (&section)[kSectionSize]) const;
  /// Takes the complete fields found in the first `size` bytes, in order; returns how many it took.
  int32_t Decode(const uint8_t* bytes, std::size_t size);

  /// Reads the section at the file's position; 0, -1 after a short read, or the errno of a failed read.
  /// Fields out of range take their defaults, reported once with their names and the file's path.
  int32_t Read(File& file);
  /// Writes the section at the file's position; 0 or the errno of the failed write.
  int32_t Write(File& file) const;

  int32_t showPlotNames = 1;
  int32_t showPlotIcons = 1;
  int32_t plotHeaderHeight = 20;
  int32_t showDataAxis = 1;
  int32_t storedFlag5 = 1;  // stored and restored; nothing reads it
  int32_t dataAxisMargin = 10;
  int32_t dataAxisWidth = 40;
  int32_t showTimeAxis = 1;
  int32_t timeTickSpacing = 100;
  int32_t storedFlag10 = 1;  // stored and restored; nothing reads it
  int32_t timeAxisHeight = kDefaultTimeLabelHeight + 5;
  int32_t timeLabelHeight = kDefaultTimeLabelHeight;  // stored and restored; nothing reads it
  double timeLabelScale = 1.0;
  int32_t storedColour14 = 0xFFFFFF;  // stored and restored; nothing reads it
  int64_t minimumVisibleSpan = 0;
  int64_t storedSpan16 = 0;  // fields 16-18: stored and restored; nothing reads them
  int64_t storedSpan17 = 0;
  int64_t storedSpan18 = 0;
  int32_t zoomFactor = 2;
  int32_t horizontalPagePercent = 50;
  int32_t verticalPagePercent = 50;
};

}  // namespace skelvane
