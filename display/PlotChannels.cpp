#include "display/PlotChannels.h"

#include "display/IPlot.h"
#include "display/IPlotCollection.h"
#include "platform/ReportError.h"
#include "platform/StatusCodes.h"

namespace skelvane {

int32_t PlotChannels::Collect(const IPlotCollection& plots, std::vector<ChannelSource>& channels, bool report) {
  const int32_t numPlots = plots.GetNumPlots();
  for (int32_t i = 0; i < numPlots; ++i) {
    IPlot* plot = nullptr;
    if (plots.GetPlot(i, plot) != kStatusOk) return kStatusFailed;
    if (plot == nullptr) {
      if (report) ReportError(kNoPlotMessage, i);
      return kStatusFailed;
    }
    channels.push_back({plot->GetPath(), plot->GetSamplePeriod(), plot->GetSamplingFrequency(), plot->GetADMaxValue()});
  }
  return kStatusOk;
}

std::vector<ChannelSource> PlotChannels::Of(const IPlotCollection& plots) {
  std::vector<ChannelSource> channels;
  Collect(plots, channels, false);
  return channels;
}

}  // namespace skelvane
