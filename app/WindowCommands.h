#pragma once
// The main window's command table and the one dispatcher for it. Each row (CommandRow) gives a
// command's number, where its item stands, its text, its keys, its check mark, what Help > Keys and
// Mouse says it does and its handler; CommandMenus builds the menus and keys from the table and
// hands every chosen command to Run. A new command is one row plus its handler. Owned by MainWindow.

#include <QPointer>
#include <QString>
#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "app/CommandRow.h"
#include "app/KeysAndMouseDialog.h"
#include "display/IPlotCanvas.h"
#include "display/ViewModel.h"
#include "filter/FilterChoice.h"

class QMenuBar;
class QWidget;

namespace skelvane {

class CommandMenus;
class DetectedSpikes;
class ExtractionCommands;
class FileSession;
class IDataSourceManager;
class LatencyLog;
class MarkerCommands;
class MeasuringCursors;
class PlotActions;
class SessionCommands;
class PowerDensityPanel;
class SpikePanels;
class WindowView;
struct ViewState;

class WindowCommands {
 public:
  /// What the commands work on; all outlive the commands.
  struct Parts {
    IPlotCanvas& canvas;
    ViewState& view;
    ViewModel& model;
    WindowView& window;
    FileSession& session;
    PlotActions& plots;
    ExtractionCommands& extraction;
    DetectedSpikes& detectedSpikes;
    SpikePanels& spikePanels;
    MeasuringCursors& cursors;
    MarkerCommands& markers;
    SessionCommands& sessions;
    IDataSourceManager& sources;  // the recordings Go To Time goes within
    QWidget& widget;            // the main window: dialogs open over it, Exit closes it
    LatencyLog* log = nullptr;  // names each command's action when the latency is logged
    PowerDensityPanel* spectrum = nullptr;  // Display > Spectrum shows and hides it
  };

  explicit WindowCommands(const Parts& parts);
  ~WindowCommands();

  /// The command table: the menu bar's menus, their items, separators and submenus in order, then
  /// the keys without an item.
  static std::span<const CommandRow> Table();
  /// Help > Keys and Mouse's lines: the table's keys, then the mouse gestures.
  static std::vector<KeysAndMouseDialog::Line> KeysAndMouseLines();

  /// Builds the menus and keys into `bar` and the window, with the check marks as things stand.
  void BuildMenus(QMenuBar& bar);
  /// The menus built from the table (null before BuildMenus).
  CommandMenus* Menus() const { return menus_.get(); }
  /// Runs a command by its number (CommandIds.h), then brings the check marks up to date.
  void Run(int32_t command);
  /// Puts a check mark on each item whose switch is on.
  void UpdateChecks();
  /// Takes the time label style and the data axis unit the user chose last time.
  void ApplyRememberedDisplay();
  /// The Keys and Mouse dialog while it is open.
  QWidget* KeysAndMouse() const { return keysAndMouse_; }

 private:
  void ZoomTime(bool in);
  void ScrollTime(ViewModel::Scroll action);
  void PageStack(bool up);
  void Toggle(int32_t (IPlotCanvas::*get)() const, void (IPlotCanvas::*set)(int32_t));
  void LabelTime(IPlotCanvas::TimeLabelStyle style);
  void ToggleMicrovolts();
  static void ToggleKeepSummaries();
  void ShowWholeRecording();
  void SaveDisplayAsBitmap();
  void ShowAboutBox();
  void ShowExtractionProperties();
  void ShowKeysAndMouse();
  void GoToTime();
  void FitPlotsToWindow();
  void ToggleScaleBars();
  void ToggleSpectrum();
  /// Whether every plot draws through a filter of `band` (Display > Filter's marks).
  bool FiltersAre(FilterChoice::Band band) const;

  IPlotCanvas& canvas_;
  ViewState& view_;
  ViewModel& model_;
  WindowView& window_;
  FileSession& session_;
  PlotActions& plots_;
  ExtractionCommands& extraction_;
  DetectedSpikes& detectedSpikes_;
  SpikePanels& spikePanels_;
  MeasuringCursors& cursors_;
  MarkerCommands& markers_;
  SessionCommands& sessions_;
  IDataSourceManager& sources_;
  QWidget& widget_;
  LatencyLog* log_;
  PowerDensityPanel* spectrum_;
  std::unique_ptr<CommandMenus> menus_;
  QPointer<QWidget> keysAndMouse_;
};

}  // namespace skelvane
