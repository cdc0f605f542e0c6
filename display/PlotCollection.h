#pragma once
// The ordered, owning list of plots: makes a CSC plot for each new source, removes plots together
// with their sources, reorders and resizes them and acts on clicks on their header icons. The canvas
// draws it top-down; the main window and PlotChannels (for the extraction) walk it in display order.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "display/IPlot.h"
#include "display/IPlotCollection.h"

namespace skelvane {

class ColorTable;
class IDataSourceManager;

class PlotCollection : public IPlotCollection {
 public:
  /// File type code of a CSC file, the only kind that gets a plot.
  static constexpr int32_t kCscDataType = 5;

  /// An empty collection whose plots read from `sources` and take their trace colours, in turn, from
  /// `colours`; both outlive it.
  PlotCollection(IDataSourceManager& sources, ColorTable& colours);
  ~PlotCollection() override = default;
  PlotCollection(const PlotCollection&) = delete;
  PlotCollection& operator=(const PlotCollection&) = delete;

  /// Makes a CSC plot for a source of type 5, loads its source info and appends it; 0 or -1.
  int32_t CreatePlot(const std::string& name, int32_t dataType, const std::string& path) override;
  /// Closes the plot's source and deletes the plot; later plots move up. 0 or -1.
  int32_t RemovePlot(int32_t index) override;
  /// Removes every plot from the last to the first; 0 or -1 at the first failure.
  int32_t RemoveAllPlots() override;
  /// Number of plots.
  int32_t GetNumPlots() const override;
  /// 0 with the plot at `index`, or -1 outside the list.
  int32_t GetPlot(int32_t index, IPlot*& plot) const override;
  /// Sum over the plots of height + 3.
  int32_t GetTotalHeight() const override;
  /// Swaps the plot with the one above it; -1 for the first or an invalid index.
  int32_t MovePlotUp(int32_t index) override;
  /// Swaps the plot with the one below it; -1 for the last or an invalid index.
  int32_t MovePlotDown(int32_t index) override;
  /// Acts on a click at canvas (x, y) on a header icon; 1 when one was hit, else 0.
  int32_t HandleClick(int32_t x, int32_t y) override;

  /// Appends an already made plot (tests and other plot kinds); the collection owns it.
  void AppendPlot(std::unique_ptr<IPlot> plot);

 private:
  IDataSourceManager& sources_;
  ColorTable& colours_;
  std::vector<std::unique_ptr<IPlot>> plots_;
};

}  // namespace skelvane
