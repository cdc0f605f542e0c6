#pragma once
// What the user does to one plot or to all of them outside the header icons: the plot's right-click
// menu (close, move, resize, amplitude, autoscale, filter), the names of the header icons as tooltips,
// and amplitude zoom, autoscale and the band filter of one plot or of every plot. Owned by MainWindow; the commands and
// the wheel use it.

#include <QPointer>
#include <QString>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "app/CustomFilterDialog.h"
#include "filter/FilterChoice.h"

class QMenu;
class QWidget;

namespace skelvane {

class CscPlot;
class IPlotCanvas;
class IPlotCollection;
class PlotLocator;
class WindowView;
struct ViewState;

class PlotActions {
 public:
  /// One amplitude step doubles or halves the gain.
  static constexpr double kAmplitudeStep = 2.0;
  /// The status bar's words for a plot opened later that cannot take the band set for every plot;
  /// why follows.
  static constexpr const char* kUnfilteredNotice = "Drawn unfiltered: ";

  /// Menus pop up over `client`, whose points `locator` turns into plots.
  PlotActions(IPlotCanvas& canvas, const ViewState& view, IPlotCollection& plots, const PlotLocator& locator,
              WindowView& window, QWidget& client);

  /// Right button at client (x, y): over a plot, pops up the plot's menu.
  void OnContextMenu(int32_t x, int32_t y);
  /// The plot menu the last right-click popped up (null when none is open).
  QMenu* PlotMenu() const { return plotMenu_; }
  /// The tooltip for client (x, y): the name of a header icon under it, else empty.
  QString ToolTipAt(int32_t x, int32_t y) const;

  /// Multiplies the amplitude gain of the plot at client y by 2^steps.
  void ZoomAmplitudeAt(int32_t y, int32_t steps);
  /// Multiplies the amplitude gain of plot `index` by 2^steps.
  void ZoomAmplitudeOf(int32_t index, int32_t steps);
  /// Multiplies the amplitude gain of every plot by 2^steps.
  void ZoomAllAmplitudes(int32_t steps);
  /// Gives every plot the gain 1 again.
  void ResetAmplitudes();
  /// Sets the gain of plot `index` so that its signal in view fills most of its height (Autoscale);
  /// a plot with nothing to show there keeps its gain. False when it kept it.
  bool AutoscaleOf(int32_t index);
  /// Autoscales every plot.
  void AutoscaleAll();

  /// Draws every plot (`index` < 0) or plot `index` through `filter`. When a recording cannot take it,
  /// the refusal is reported and no plot changes; a recording too short for its support is filtered
  /// as far as it goes and the status bar says so. False when refused. A band set for every plot is
  /// also the one plots opened later start with.
  bool SetFilter(int32_t index, const FilterChoice& filter);
  /// Gives the plots from index `first` on, just made for newly opened recordings, the band last set
  /// for every plot; a recording that cannot take it is drawn unfiltered and the status bar says why.
  void StartNewPlots(int32_t first);
  /// Asks for a Custom band's cut-offs (the dialog refuses what the plots cannot take), then filters
  /// every plot (`index` < 0) or plot `index` through it.
  void AskCustomFilter(int32_t index);
  /// The filter every open plot draws through; nullopt while they differ. Without plots, the one
  /// plots opened next start with.
  std::optional<FilterChoice> SharedFilter() const;
  /// Each plot's band (None left out) with its recording's sampling rate, in stacking order.
  std::vector<std::pair<FilterChoice, double>> BandsShown() const;
  /// The Custom Filter dialog while it is open (null otherwise).
  CustomFilterDialog* CustomDialog() const { return customDialog_; }

 private:
  IPlotCanvas& canvas_;
  const ViewState& view_;
  IPlotCollection& plots_;
  const PlotLocator& locator_;
  WindowView& window_;
  QWidget& client_;
  /// The CSC plots `index` stands for (every plot when below 0).
  std::vector<CscPlot*> FilterTargets(int32_t index) const;
  /// Whether every plot of `targets` can take `filter`; false with the refusal for the first that cannot.
  static bool CanTake(const std::vector<CscPlot*>& targets, const FilterChoice& filter, std::string& refusal);

  FilterChoice newPlotsFilter_;  // the band last set for every plot
  QPointer<QMenu> plotMenu_;
  QPointer<CustomFilterDialog> customDialog_;
};

}  // namespace skelvane
