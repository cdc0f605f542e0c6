#pragma once
// The measuring cursors as the user handles them: the A and B keys put cursor A or B at the time
// under the mouse, Escape removes both, and the status bar's readout follows the cursors and the plot
// under the mouse (its sample under B less its sample under A). The canvas keeps the cursors' times
// and draws them. Owned by MainWindow, which hands it the mouse; WindowCommands runs the keys.

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "display/TimeCursors.h"

namespace skelvane {

class IPlotCanvas;
class PlotLocator;
class WindowView;

class MeasuringCursors {
 public:
  /// Gets each new readout (empty when no cursor is set).
  using ReadoutShown = std::function<void(const std::string& readout)>;

  MeasuringCursors(IPlotCanvas& canvas, const PlotLocator& locator, WindowView& window, ReadoutShown shown);

  /// The mouse is at client (x, y).
  void PointerAt(int32_t x, int32_t y);
  /// The mouse left the canvas.
  void PointerLeft();
  /// Puts `cursor` at the time under the mouse and redraws; false (nothing changes) when the mouse
  /// is not over the plots' columns.
  bool Place(TimeCursors::Cursor cursor);
  /// Removes both cursors and redraws; false when none was set.
  bool Clear();
  /// The readout as it stands: the cursors' times and, for the plot under the mouse, B - A.
  std::string Readout() const;

 private:
  std::optional<TimeCursors::PlotDifference> DifferenceUnderPointer(const TimeCursors& cursors) const;
  void ShowReadout() const;

  IPlotCanvas& canvas_;
  const PlotLocator& locator_;
  WindowView& window_;
  ReadoutShown shown_;
  std::optional<int32_t> x_;  // the mouse, while it is over the client area
  int32_t y_ = 0;
};

}  // namespace skelvane
