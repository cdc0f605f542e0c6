#pragma once
// The program's one top-level window: menu, accelerators, two scrollbars and the canvas image. It
// turns every command, key, scroll, resize, mouse gesture and dropped file into a change of the view
// state, the plots or the display switches, then redraws the canvas. Created by main().

#include <QImage>
#include <QMainWindow>
#include <QPoint>
#include <QPointer>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "app/PagedScrollBar.h"
#include "app/WheelNavigator.h"
#include "datafile/SourceListener.h"
#include "display/IPlotCanvas.h"
#include "display/ViewModel.h"
#include "platform/BitmapPresenter.h"
#include "platform/MemoryBitmap.h"

class QMenu;
class QPainter;
class QRubberBand;

namespace skelvane {

class ClientArea;
class ExtractionRun;
class GLRenderer;
class IDataSourceManager;
class IPlotCollection;
class MainMenu;
class MenuAdditions;
class PlotLocator;
class StatusBar;
class SummaryWatcher;
struct ViewState;

class MainWindow final : public QMainWindow, public BitmapPresenter, public WheelNavigator::Target {
  Q_OBJECT

 public:
  /// Height of the horizontal scrollbar and width of the vertical one; the canvas image starts this
  /// far below the top of the client area.
  static constexpr int32_t kScrollBarSize = 15;

  /// Keeps the collaborators; nothing is built before Create.
  MainWindow(IPlotCanvas& canvas, ViewState& view, IPlotCollection& plots, IDataSourceManager& sources,
             GLRenderer& renderer);
  ~MainWindow() override;

  /// Builds the window: title, menu, scrollbars, settings, the files to open at start and the
  /// source listener; 0, or -1 after a report.
  int32_t Create();
  /// Remembers one file named on the command line (one pair of surrounding quotes is removed when
  /// it is opened); an empty text is ignored.
  void SetFileToOpen(const std::string& text);
  /// Remembers several files to open at start, in order.
  void SetFilesToOpen(const std::vector<std::string>& paths);
  /// Keeps the settings file in `folder` instead of beside the program (before Create).
  void SetSettingsFolder(const std::string& folder) { settingsFolder_ = folder; }

  /// Rebuilds the canvas image under the wait cursor and asks for a repaint.
  void Redraw();
  /// Puts a check mark on each display item whose canvas switch is on.
  void UpdateMenuChecks();
  /// Takes the data time range from the sources, widened to at least the canvas width.
  void UpdateTimeRange();
  /// Keeps the visible span inside the data and sets the horizontal scrollbar from it.
  void UpdateHorizontalScroll();
  /// Keeps the vertical scroll inside the plot stack and sets the vertical scrollbar from it.
  void UpdateVerticalScroll();

  /// Runs a menu or accelerator command by its number (CommandIds.h).
  void OnCommand(int32_t command);
  /// Scrolls the time span after a horizontal scrollbar action.
  void OnHScroll(PagedScrollBar::Code code, int32_t position);
  /// Scrolls the plot stack after a vertical scrollbar action.
  void OnVScroll(PagedScrollBar::Code code, int32_t position);
  /// Lays out the client area of the given size and redraws; unusable sizes are ignored.
  void OnSize(int32_t clientWidth, int32_t clientHeight);
  /// Paints the canvas image into the client area.
  void OnPaint(QPainter& painter);
  /// Mouse moved to (x, y) of the client area with `buttons` held.
  void OnMouseMove(Qt::MouseButtons buttons, int32_t x, int32_t y);
  /// Left button pressed at (x, y).
  void OnLButtonDown(Qt::KeyboardModifiers modifiers, int32_t x, int32_t y);
  /// Second press of a double click at (x, y): a canvas press that acts on no icon or border.
  void OnLButtonDblClk(Qt::KeyboardModifiers modifiers, int32_t x, int32_t y);
  /// Left button released at (x, y).
  void OnLButtonUp(Qt::KeyboardModifiers modifiers, int32_t x, int32_t y);
  /// Opens dropped files as new sources, in order, each with its plot.
  void OnDropFiles(const std::vector<std::string>& paths);
  /// Writes the settings file; the window then closes and the application ends.
  void OnClose();

  /// Keeps the frame the canvas hands over and shows it at (x, y) of the client area.
  bool Present(const MemoryBitmap& bitmap, int32_t width, int32_t height, int32_t x, int32_t y) override;

  /// The client area (the canvas image and both scrollbars live in it).
  ClientArea* Client() const { return client_; }
  /// The scrollbar along the top (time); null before Create.
  PagedScrollBar* HorizontalScrollBar() const { return horizontal_; }
  /// The scrollbar along the right edge (plot stack); null before Create.
  PagedScrollBar* VerticalScrollBar() const { return vertical_; }
  /// The menu item of a command; null before Create.
  QAction* CommandAction(int32_t command) const;
  /// The frame shown in the client area, top row first (null before the first paint).
  const QImage& Frame() const { return frame_; }
  /// The canvas image as the window shows it, as a bottom-up bitmap (empty before the first paint).
  MemoryBitmap DisplayedImage() const;
  /// The rubber band while one is being drawn.
  bool IsRubberBandActive() const { return rubberBandActive_; }
  /// The rubber band rectangle in client coordinates.
  QRect RubberBandRect() const;
  /// A plot border is being dragged.
  bool IsBorderDragActive() const { return borderDragActive_; }
  /// The extraction run of Create Spike File, with the parameters the Properties dialog edits.
  ExtractionRun& Extraction() { return *extraction_; }

  /// Wheel turned over the client area at `position` (see WheelNavigator).
  void OnWheel(QPoint position, QPoint angleDelta, Qt::KeyboardModifiers modifiers);
  /// Right button at client (x, y): over a plot, pops up the plot's menu.
  void OnContextMenu(int32_t x, int32_t y);
  /// The tooltip for client (x, y): the name of a header icon under it, else empty.
  QString ToolTipAt(int32_t x, int32_t y) const;
  /// The mouse left the client area: the status bar forgets the reading.
  void OnMouseLeave();
  /// Shows the progress of summary building in the status bar.
  void ShowSummaryProgress(int64_t done, int64_t total);
  /// Multiplies the amplitude gain of plot `index` by 2^steps.
  void ZoomAmplitudeOf(int32_t index, int32_t steps);
  /// Multiplies the amplitude gain of every plot by 2^steps.
  void ZoomAllAmplitudes(int32_t steps);

  void ScrollStackBy(int32_t pixels) override;
  void PageTime(int32_t steps) override;
  void ZoomTimeAbout(int32_t x, int32_t steps) override;
  void ZoomAmplitudeAt(int32_t y, int32_t steps) override;

  /// The status bar under the canvas; null before Create.
  StatusBar* Status() const { return status_; }
  /// The commands added to the original menus; null before Create.
  MenuAdditions* Additions() const { return additions_.get(); }
  /// The plot menu the last right-click popped up (null when none is open).
  QMenu* PlotMenu() const;
  /// The Keys and Mouse dialog while it is open.
  QWidget* KeysAndMouse() const;

 signals:
  /// Sent once the settings are written at close; main() ends the event loop on it.
  void Closed();

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  class SourcesChanged;

  void OpenFilesAtStart();
  int32_t CreatePlotsForSources(int32_t firstIndex);
  int32_t CanvasYForWindowY(int32_t y) const;
  void PageUp();
  void PageDown();
  void ToggleSwitch(int32_t command);
  void StartRubberBand(int32_t x, int32_t y);
  void EndRubberBand();
  void ZoomToRubberBand();
  void ShowAboutBox();
  void CreateSpikeFile();
  void ShowExtractionProperties();
  void SaveDisplayAsBitmap();
  void OnAddedCommand(int32_t command);
  void RememberOpenedSince(int32_t firstSource);
  void OpenRecentSet(int32_t index);
  void ApplyTimeLabelStyle(IPlotCanvas::TimeLabelStyle style);
  void ShowWholeRecording();
  void UpdatePointer(int32_t x, int32_t y);
  void ShowKeysAndMouse();
  void FollowPixelRatio();

  IPlotCanvas& canvas_;
  ViewState& view_;
  IPlotCollection& plots_;
  IDataSourceManager& sources_;
  GLRenderer& renderer_;
  ViewModel model_;  // the view arithmetic; the window adds the scrollbars and the redraws

  std::unique_ptr<SourcesChanged> listener_;
  ClientArea* client_ = nullptr;
  PagedScrollBar* horizontal_ = nullptr;
  PagedScrollBar* vertical_ = nullptr;
  std::unique_ptr<MainMenu> menu_;
  QRubberBand* rubberBand_ = nullptr;

  bool rubberBandActive_ = false;
  bool leftButtonDown_ = false;
  QPoint rubberBandCurrent_;
  QPoint rubberBandAnchor_;
  QPoint pressPoint_;
  std::vector<std::string> filesToOpen_;
  std::string settingsFolder_;  // empty: beside the program
  int32_t borderPlot_ = -1;
  bool borderDragActive_ = false;
  int32_t borderDragStartY_ = 0;
  bool lastPressStartedBand_ = false;  // the last press was on the canvas, away from icons and borders
  bool closed_ = false;
  std::unique_ptr<ExtractionRun> extraction_;

  QImage frame_;
  QPoint framePosition_;

  StatusBar* status_ = nullptr;
  std::unique_ptr<MenuAdditions> additions_;
  std::unique_ptr<PlotLocator> locator_;
  WheelNavigator wheel_{*this};
  QPointer<QMenu> plotMenu_;
  SummaryWatcher* summaries_ = nullptr;
  QPointer<QWidget> keysAndMouse_;
};

}  // namespace skelvane
