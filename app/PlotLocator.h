#pragma once
// Finds what lies under a point of the client area: the time of its column, the plot of its row and
// that plot's sample there. The status bar, the wheel, the right-click menu and the tooltips use it.

#include <cstdint>
#include <optional>
#include <string>

namespace skelvane {

class IDataSourceManager;
class IPlotCanvas;
class IPlotCollection;
struct ViewState;

class PlotLocator {
 public:
  /// A plot's recorded value at a time.
  struct Sample {
    int16_t counts = 0;
    std::optional<double> microvolts;  // when the header gives "-ADBitVolts"
    std::string band;                  // the band it was filtered through, as the header names it; empty: as recorded
  };

  PlotLocator(const IPlotCanvas& canvas, const ViewState& view, const IPlotCollection& plots,
              IDataSourceManager& sources);

  /// The time under client x (the middle of its column), or nothing left of or beyond the plot area.
  std::optional<int64_t> TimeAt(int32_t x) const;
  /// The index of the plot whose strip (header included) holds client y, or -1.
  int32_t PlotAt(int32_t y) const;
  /// The sample of plot `index` nearest before `time` within its record, or nothing in a gap.
  std::optional<Sample> SampleAt(int32_t index, int64_t time) const;
  /// The name a plot shows in its header.
  std::string NameOf(int32_t index) const;
  /// The path of a plot's source (empty for a bad index).
  std::string PathOf(int32_t index) const;

 private:
  const IPlotCanvas& canvas_;
  const ViewState& view_;
  const IPlotCollection& plots_;
  IDataSourceManager& sources_;
};

}  // namespace skelvane
