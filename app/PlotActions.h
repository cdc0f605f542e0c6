#pragma once
// What the user does to one plot or to all of them outside the header icons: the plot's right-click
// menu (close, move, resize, amplitude, autoscale), the names of the header icons as tooltips, and
// amplitude zoom and autoscale of one plot or of every plot. Owned by MainWindow; the commands and
// the wheel use it.

#include <QPointer>
#include <QString>
#include <cstdint>

class QMenu;
class QWidget;

namespace skelvane {

class IPlotCanvas;
class IPlotCollection;
class PlotLocator;
class WindowView;
struct ViewState;

class PlotActions {
 public:
  /// One amplitude step doubles or halves the gain.
  static constexpr double kAmplitudeStep = 2.0;

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

 private:
  IPlotCanvas& canvas_;
  const ViewState& view_;
  IPlotCollection& plots_;
  const PlotLocator& locator_;
  WindowView& window_;
  QWidget& client_;
  QPointer<QMenu> plotMenu_;
};

}  // namespace skelvane
