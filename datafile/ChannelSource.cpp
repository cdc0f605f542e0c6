#include "datafile/ChannelSource.h"

#include "datafile/ChannelTiming.h"
#include "datafile/IDataSourceManager.h"

namespace skelvane {

ChannelSource ChannelSource::Measured(IDataSourceManager& sources, int32_t index) {
  ChannelSource channel;
  if (sources.GetSourcePath(index, channel.path) != 0) channel.path.clear();
  const ChannelTiming timing = ChannelTiming::Measure(sources, index);
  channel.sampleInterval = timing.samplePeriod;
  channel.samplingFrequency = timing.samplingFrequency;
  channel.adMaxValue = timing.adMaxValue;
  return channel;
}

}  // namespace skelvane
