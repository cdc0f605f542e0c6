#pragma once
// The ordered, owning list of plots as the canvas, the main window and PlotChannels see it.
// Index 0 is drawn at the top.

#include <cstdint>
#include <string>

namespace skelvane {

class IPlot;

class IPlotCollection {
 public:
  virtual ~IPlotCollection() = default;
  /// Makes a plot for a source of file type `dataType` (only CSC, 5); 0 or -1.
  virtual int32_t CreatePlot(const std::string& name, int32_t dataType, const std::string& path) = 0;
  /// Removes a plot and closes its source; 0 or -1.
  virtual int32_t RemovePlot(int32_t index) = 0;
  virtual int32_t RemoveAllPlots() = 0;
  virtual int32_t GetNumPlots() const = 0;
  /// 0 with the plot, or -1 for an index outside the list.
  virtual int32_t GetPlot(int32_t index, IPlot*& plot) const = 0;
  /// Sum over the plots of height + 3.
  virtual int32_t GetTotalHeight() const = 0;
  virtual int32_t MovePlotUp(int32_t index) = 0;
  virtual int32_t MovePlotDown(int32_t index) = 0;
  /// Acts on a click on a header icon at canvas (x, y); 1 when one was hit, else 0.
  virtual int32_t HandleClick(int32_t x, int32_t y) = 0;
};

}  // namespace skelvane
