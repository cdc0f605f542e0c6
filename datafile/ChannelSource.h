#pragma once
// One channel as extraction takes it: the source's path in the data source table, its timing and its
// full scale. Built from the plots by the window and the snapshot (PlotChannels), from the files it
// opens by skelvane-cli; read by ExtractionRun and, through its groups, the detection preview.

#include <cstdint>
#include <string>

namespace skelvane {

class IDataSourceManager;

struct ChannelSource {
  std::string path;                // the source's path, as the data source table knows it
  double sampleInterval = 0.0;     // microseconds per sample; 0 when the timing is unknown
  double samplingFrequency = 0.0;  // hertz, as the spike file's header states it
  int32_t adMaxValue = 0;          // full-scale A/D value, as the spike file's header states it

  /// Source `index` of `sources` with the timing and full scale ChannelTiming measures, which is
  /// what a plot of it shows.
  static ChannelSource Measured(IDataSourceManager& sources, int32_t index);
};

}  // namespace skelvane
