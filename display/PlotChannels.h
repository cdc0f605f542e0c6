#pragma once
// The channels the plots show, from the top, as extraction takes them: each plot's source path,
// timing and full scale. Used by the window's extraction commands and detected spikes, and by the
// snapshot's spike marks.

#include <cstdint>
#include <vector>

#include "datafile/ChannelSource.h"

namespace skelvane {

class IPlotCollection;

class PlotChannels {
 public:
  /// Message for a plot the collection lists but cannot hand out; its index follows.
  static constexpr const char* kNoPlotMessage = "Error retriving Plot Pointer, Pointer Is NULL, Plot Index = ";

  /// Appends the channel of every plot of `plots` in display order to `channels`; 0, or -1 at the
  /// first plot that cannot be had (after kNoPlotMessage with its index when `report` and the
  /// collection hands out no plot), the channels before it appended.
  static int32_t Collect(const IPlotCollection& plots, std::vector<ChannelSource>& channels, bool report);
  /// The channels of the plots up to the first that cannot be had, without a word.
  static std::vector<ChannelSource> Of(const IPlotCollection& plots);
};

}  // namespace skelvane
