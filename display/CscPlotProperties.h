#pragma once
// How one CSC plot draws its trace (colour, switches, widths) and how it scales its samples. Embedded
// in CscPlot; the first five fields form the plot's 20-byte properties record.

#include <cstdint>

#include "datafile/ChannelTiming.h"

namespace skelvane {

class File;

class CscPlotProperties {
 public:
  /// Bytes of the properties record: five 32-bit fields.
  static constexpr int32_t kRecordSize = 20;
  /// Full-scale A/D value assumed until the source's header says otherwise.
  static constexpr int32_t kDefaultADMaxValue = ChannelTiming::kDefaultADMaxValue;

  virtual ~CscPlotProperties() = default;

  /// Reads the record's five fields at the file's position; 0, -1 after a short read, or an errno.
  int32_t Read(File& file);
  /// Writes the record's five fields at the file's position; 0 or an errno.
  int32_t Write(File& file) const;

  uint32_t traceColour = 0xFFFFFF;  // 0x00BBGGRR; replaced by the allocator's next colour
  int32_t drawTrace = 1;
  int32_t drawPoints = 1;
  int32_t traceLineWidth = 1;
  int32_t pointSize = 2;
  int32_t ADMaxValue = kDefaultADMaxValue;
  double scale = 1.0;               // display units per A/D count
  double samplingFrequency = ChannelTiming::kUnknownSamplingFrequency;  // estimated, hertz
};

}  // namespace skelvane
