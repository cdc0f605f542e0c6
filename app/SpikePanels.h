#pragma once
// The spike files the window shows, each in a Spikes panel docked beside the traces (sharing the
// height there while each has room for its views, in tabs past that): opened from File > Open Spike
// Files (which starts where Create Spike File writes), the command line or a drop, told the span the
// traces show, and centring the traces on a spike clicked in a panel when one of its recordings is
// open. Owned by MainWindow.

#include <QPointer>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

class QDockWidget;
class QMainWindow;

namespace skelvane {

class IDataSourceManager;
class IPlotCanvas;
class SpikesPanel;
class ViewModel;
class WindowView;
struct ViewState;

class SpikePanels {
 public:
  /// The extraction's output folder as set now (empty: beside each group's first data file).
  using OutputFolder = std::function<std::string()>;

  /// Panels docked on `window`, centring the view of `model` among the recordings of `sources` and
  /// reading times on the canvas's clock; the chooser starts in `outputFolder`.
  SpikePanels(const IPlotCanvas& canvas, IDataSourceManager& sources, ViewState& view, ViewModel& model,
              WindowView& windowView, QMainWindow& window, OutputFolder outputFolder);

  /// Opens a spike file in a new panel; false after a message naming the file and what is wrong.
  bool Open(const std::string& path);
  /// File > Open Spike Files: each file chosen in a panel of its own.
  void OpenWithChooser();
  /// Tells every panel the span the traces show now.
  void FollowView();
  /// Centres the traces on `time` when a recording of the spike file is open: one named by its
  /// header (`sourceFiles`), else any open recording that holds the time; false when none is.
  bool CentreOn(const std::vector<std::string>& sourceFiles, int64_t time);
  /// The panels open now.
  std::vector<SpikesPanel*> Panels() const;
  /// Where the spike files of Create Spike File go: the output folder, else the folder of the first
  /// open recording; empty with neither.
  std::string SpikeFileFolder() const;

 private:
  bool RecordingOpen(const std::vector<std::string>& sourceFiles, int64_t time);
  /// The panels docked beside the traces one under another (one for each group of tabs).
  std::vector<QDockWidget*> Stacked() const;
  void Arrange(SpikesPanel* added, const std::vector<QDockWidget*>& before);

  const IPlotCanvas& canvas_;
  IDataSourceManager& sources_;
  ViewState& view_;
  ViewModel& model_;
  WindowView& windowView_;
  QMainWindow& window_;
  OutputFolder outputFolder_;
  std::vector<QPointer<SpikesPanel>> panels_;  // a panel closed by the user deletes itself
};

}  // namespace skelvane
