#pragma once
// The markers as the user handles them: M puts one at the time under the mouse on every plot, Shift+M
// on the plot under the mouse, its text typed at once in a small field there (Enter keeps it, Esc
// leaves it empty); [ and ] centre the previous and next; the Markers panel lists them. The canvas
// keeps the markers and draws them. Owned by MainWindow, which hands it the mouse; WindowCommands
// runs the keys.

#include <QLineEdit>
#include <QPointer>
#include <cstdint>
#include <optional>

#include "app/MarkersPanel.h"

class QMainWindow;
class QWidget;

namespace skelvane {

class IPlotCanvas;
class MarkerSet;
class PlotLocator;
class ViewModel;
class WindowView;
struct ViewState;

class MarkerCommands {
 public:
  MarkerCommands(IPlotCanvas& canvas, ViewState& view, ViewModel& model, const PlotLocator& locator,
                 WindowView& windowView, QMainWindow& window, QWidget& client);
  ~MarkerCommands();

  /// The mouse is at client (x, y).
  void PointerAt(int32_t x, int32_t y);
  /// The mouse left the canvas.
  void PointerLeft();
  /// Puts a marker at the time under the mouse, on the plot there (`onePlot`) or on every plot, and
  /// opens the field for its text; false (nothing changes) when the mouse is not over the plots.
  bool Place(bool onePlot);
  /// Centres the traces on the next (forward) or previous marker; false when there is none.
  bool Step(bool forward);
  /// Centres the traces on `time`.
  void GoTo(int64_t time);
  /// Shows or hides the Markers panel.
  void ShowPanel(bool shown);
  bool PanelShown() const;
  /// The markers changed elsewhere (a session opened, files closed): the panel and the traces follow.
  void MarkersChanged();

  /// The canvas's markers (never null in the window).
  MarkerSet* Markers() const;
  /// The Markers panel (made at the first use).
  MarkersPanel* Panel();
  /// The field the text of a new marker is typed into, while it is open.
  QLineEdit* Editor() const { return editor_; }

 private:
  void OpenEditor(std::size_t index, int32_t x, int32_t y);

  IPlotCanvas& canvas_;
  ViewState& view_;
  ViewModel& model_;
  const PlotLocator& locator_;
  WindowView& windowView_;
  QMainWindow& window_;
  QWidget& client_;
  std::optional<int32_t> x_;
  int32_t y_ = 0;
  QPointer<MarkersPanel> panel_;
  QPointer<QLineEdit> editor_;
  std::optional<int64_t> stepped_;  // the marker the last step went to, while the view stays there
  int64_t steppedStart_ = 0;
};

}  // namespace skelvane
