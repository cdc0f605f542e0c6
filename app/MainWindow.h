#pragma once
// The program's one top-level window: menu, keys, the overview strip, two scrollbars and the canvas
// image. It owns the helpers that turn commands (WindowCommands), mouse gestures (CanvasMouse), files
// (FileSession), plot actions (PlotActions), the measuring cursors (MeasuringCursors), the overview
// (OverviewStrip) and the wheel into changes of the view state, the plots or the display switches,
// keeps the scrollbars in step with the view and draws the canvas once per paint (FramePacer).
// Created by main().

#include <QMainWindow>
#include <QPoint>
#include <cstdint>
#include <cstdlib>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/CanvasPicture.h"
#include "app/ClientArea.h"
#include "app/ClientLayout.h"
#include "app/ExtractionCommands.h"
#include "app/FileSession.h"
#include "app/FramePacer.h"
#include "app/IdleWork.h"
#include "app/PagedScrollBar.h"
#include "app/PlotLocator.h"
#include "app/WheelNavigator.h"
#include "app/WindowView.h"
#include "display/ColumnsAhead.h"
#include "display/ViewModel.h"

class QPainter;

namespace skelvane {

class CanvasMouse;
class CommandMenus;
class DetectedSpikes;
class ExtractionRun;
class GLRenderer;
class IDataSourceManager;
class IPlotCanvas;
class IPlotCollection;
class LatencyLog;
class MarkerCommands;
class MeasuringCursors;
class OverviewStrip;
class PlotActions;
class SessionCommands;
class PowerDensityPanel;
class SpikePanels;
class StatusBar;
class SummaryWatcher;
class WindowCommands;
struct ViewState;

class MainWindow final : public QMainWindow,
                         public WindowView,
                         public ClientArea::Handler,
                         public WheelNavigator::Target {
  Q_OBJECT

 public:
  /// Height of the horizontal scrollbar and width of the vertical one.
  static constexpr int32_t kScrollBarSize = ClientLayout::kScrollBarSize;

  /// Keeps the collaborators; nothing is shown before Create. The latency is logged when the
  /// environment asks for it (LatencyLog).
  MainWindow(IPlotCanvas& canvas, ViewState& view, IPlotCollection& plots, IDataSourceManager& sources,
             GLRenderer& renderer);
  ~MainWindow() override;

  /// Builds the window: title, menu, scrollbars, settings, the files to open at start and the
  /// source listener; 0, or -1 after a report.
  int32_t Create();
  /// Remembers the files named on the command line, to open at start in order (FileSession).
  void SetFilesToOpen(const std::vector<std::string>& paths) { session_.SetFilesToOpen(paths); }
  /// Keeps the settings file in `folder` instead of beside the program (before Create).
  void SetSettingsFolder(const std::string& folder) { settingsFolder_ = folder; }

  void UpdateTimeRange() override;
  void UpdateHorizontalScroll() override;
  void UpdateVerticalScroll() override;
  /// Asks for a frame (drawn at the next paint) and shows the new span in the status bar.
  void Redraw() override;
  void ScrollTime(ViewModel::Scroll action, int64_t position) override;
  MemoryBitmap DisplayedImage() override;
  void ShowNotice(const std::string& text) override;
  void AfterNextPicture(std::function<void()> task) override;

  /// Scrolls the time span after a horizontal scrollbar action.
  void OnHScroll(PagedScrollBar::Code code, int32_t position);
  /// Scrolls the plot stack after a vertical scrollbar action.
  void OnVScroll(PagedScrollBar::Code code, int32_t position);
  /// Writes the settings (once); the window then closes and the application ends.
  void OnClose();

  void OnPaint(QPainter& painter) override;
  /// Lays out the client area of the given size and redraws; unusable sizes are ignored.
  void OnSize(int32_t clientWidth, int32_t clientHeight) override;
  void OnMouseMove(Qt::MouseButtons buttons, int32_t x, int32_t y) override;
  void OnLButtonDown(Qt::KeyboardModifiers modifiers, int32_t x, int32_t y) override;
  void OnLButtonDblClk(Qt::KeyboardModifiers modifiers, int32_t x, int32_t y) override;
  void OnLButtonUp(Qt::KeyboardModifiers modifiers, int32_t x, int32_t y) override;
  /// Opens dropped files as new sources, in order, each with its plot.
  void OnDropFiles(const std::vector<std::string>& paths) override;
  void OnWheel(QPoint position, QPoint angleDelta, Qt::KeyboardModifiers modifiers) override;
  void OnContextMenu(int32_t x, int32_t y) override;
  void OnMouseLeave() override;
  QString ToolTipAt(int32_t x, int32_t y) const override;

  void ScrollStackBy(int32_t pixels) override;
  void PageTime(int32_t steps) override;
  void ZoomTimeAbout(int32_t x, int32_t steps) override;
  void ZoomAmplitudeAt(int32_t y, int32_t steps) override;

  /// Shows the progress of summary building in the status bar.
  void ShowSummaryProgress(int64_t done, int64_t total);

  /// The client area (the canvas image and both scrollbars live in it); null before Create.
  ClientArea* Client() const { return client_; }
  /// The scrollbar along the top (time); null before Create.
  PagedScrollBar* HorizontalScrollBar() const { return horizontal_; }
  /// The scrollbar along the right edge (plot stack); null before Create.
  PagedScrollBar* VerticalScrollBar() const { return vertical_; }
  /// The menu item (or key action) of a command; null before Create.
  QAction* CommandAction(int32_t command) const;
  /// The command table's dispatcher; null before Create.
  WindowCommands* Commands() const { return commands_.get(); }
  /// The menus built from the command table; null before Create.
  CommandMenus* Menus() const;
  /// The mouse gestures on the canvas; null before Create.
  CanvasMouse* Mouse() const { return mouse_.get(); }
  /// The right-click menu, tooltips and amplitude zoom; null before Create.
  PlotActions* Plots() const { return plotActions_.get(); }
  /// The canvas image the client area shows.
  const CanvasPicture& Picture() const { return picture_; }
  /// The frame pacer: frames asked for and drawn.
  const FramePacer& Pacer() const { return pacer_; }
  /// The extraction run of Create Spike File, with the parameters the Properties dialog edits.
  ExtractionRun& Extraction() { return extraction_.Extraction(); }
  /// The status bar under the canvas; null before Create.
  StatusBar* Status() const { return status_; }
  /// Show Detected Spikes and its N and P keys; null before Create.
  DetectedSpikes* Detected() const { return detectedSpikes_.get(); }
  /// The Spikes panels; null before Create.
  SpikePanels* SpikeFilePanels() const { return spikePanels_.get(); }
  /// The Spectrum panel (hidden until Display > Spectrum); null before Create.
  PowerDensityPanel* Spectrum() const { return spectrum_; }
  /// The overview strip above the canvas; null before Create.
  OverviewStrip* Overview() const { return overview_; }
  /// The measuring cursors; null before Create.
  MeasuringCursors* Cursors() const { return cursors_.get(); }
  /// The markers' keys and panel; null before Create.
  MarkerCommands* Markers() const { return markers_.get(); }
  /// Save and Open Session; null before Create.
  SessionCommands* Sessions() const { return sessions_.get(); }
  /// The Keys and Mouse dialog while it is open.
  QWidget* KeysAndMouse() const;

 signals:
  /// Sent once the settings are written at close; main() ends the event loop on it.
  void Closed();

 protected:
  void closeEvent(QCloseEvent* event) override;
  bool event(QEvent* event) override;

 private:
  class SourcesChanged;

  void UpdatePointer(int32_t x, int32_t y);
  // What the canvas and the panels show of the pointer at (x, y), and the status bar's reading of it.
  void PointerOverPlots(int32_t x, int32_t y);
  void ShowPointerReading(int32_t x, int32_t y);
  // The status bar's span and reading and the overview's view box, for the view as it is now.
  void FollowViewBesideCanvas();
  void SetScrollBar(PagedScrollBar& bar, const ViewModel::ScrollBarSetting& setting);
  void FollowSpikes();
  void FollowPixelRatio();
  void RunAfterPicture();

  IPlotCanvas& canvas_;
  ViewState& view_;
  IPlotCollection& plots_;
  IDataSourceManager& sources_;
  GLRenderer& renderer_;
  ViewModel model_;  // the view arithmetic; the window adds the scrollbars and the redraws
  std::unique_ptr<SourcesChanged> listener_;
  ColumnsAhead ahead_;              // the columns of the views one more step would likely show
  std::unique_ptr<IdleWork> idle_;  // runs ahead_ only while the window waits for input
  // SKELVANE_COLUMNS_AHEAD=0 leaves the views ahead to their frames, to measure what ahead_ saves.
  bool aheadWanted_ = std::getenv("SKELVANE_COLUMNS_AHEAD") == nullptr || std::string(std::getenv("SKELVANE_COLUMNS_AHEAD")) != "0";
  std::unique_ptr<LatencyLog> latency_;
  FramePacer pacer_;
  CanvasPicture picture_;
  FileSession session_;
  ExtractionCommands extraction_;
  PlotLocator locator_;
  std::string settingsFolder_;  // empty: beside the program
  std::optional<QPoint> pointer_;  // the mouse, while it is over the client area
  bool closed_ = false;
  bool heapWarmed_ = false;  // the frames' heap was given its pages after the first frame
  bool pollQueued_ = false;  // the summaries are followed once the frame just drawn is on the screen
  bool besideDue_ = false;   // the status bar and the overview follow the view after the next picture
  std::vector<std::function<void()>> afterPicture_;  // tasks waiting for the next picture, oldest first

  ClientArea* client_ = nullptr;
  PagedScrollBar* horizontal_ = nullptr;
  PagedScrollBar* vertical_ = nullptr;
  StatusBar* status_ = nullptr;
  OverviewStrip* overview_ = nullptr;
  PowerDensityPanel* spectrum_ = nullptr;
  SummaryWatcher* summaries_ = nullptr;
  std::unique_ptr<CanvasMouse> mouse_;
  std::unique_ptr<PlotActions> plotActions_;
  std::unique_ptr<DetectedSpikes> detectedSpikes_;
  std::unique_ptr<SpikePanels> spikePanels_;
  std::unique_ptr<MeasuringCursors> cursors_;
  std::unique_ptr<MarkerCommands> markers_;
  std::unique_ptr<SessionCommands> sessions_;
  std::unique_ptr<WindowCommands> commands_;
  WheelNavigator wheel_{*this};
};

}  // namespace skelvane
