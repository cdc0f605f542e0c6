#pragma once
// Display > Show Detected Spikes: marks on the traces the spikes Create Spike File would write with
// the current extraction properties, counts those in the visible span for the status bar, and steps
// the view to the next or previous one (N, P). A DetectionPreviewWorker finds them off the window's
// thread and asks for a frame as they fill in. Owned by MainWindow; the command table and the
// window's redraws call it.

#include <QObject>
#include <cstdint>
#include <memory>
#include <optional>

namespace skelvane {

class DetectionPreviewWorker;
class ExtractionRun;
class IDataSourceManager;
class IPlotCanvas;
class IPlotCollection;
class ViewModel;
class WindowView;
struct ViewState;

class DetectedSpikes final : public QObject {
 public:
  /// What the marks follow and act on; all outlive it.
  struct Parts {
    IPlotCanvas& canvas;
    ViewState& view;
    ViewModel& model;
    ExtractionRun& run;  // its parameters and groups are what Create Spike File would write
    IPlotCollection& plots;  // the channels Create Spike File would take
    IDataSourceManager& sources;
    WindowView& window;
  };
  /// The spikes counted in the visible span, and whether every one of them is known yet.
  struct Count {
    int64_t spikes = 0;
    bool complete = false;
  };

  explicit DetectedSpikes(const Parts& parts);
  ~DetectedSpikes() override;

  /// True while the spikes are shown.
  bool Shown() const { return worker_ != nullptr; }
  /// Shows the spikes, or stops showing them.
  void Toggle();
  /// Follows the visible span, the extraction properties and the plots (called with every redraw
  /// asked for) and hands the canvas the marks found so far.
  void Follow();
  /// The spikes in the visible span; none while not shown.
  std::optional<Count> InView() const;
  /// Centres the view on the next (or previous) spike after the one it was centred on last, or
  /// after the middle of the view; as soon as it is known.
  void Step(bool forward);
  /// Blocks until the visible span's marks are complete (for tests).
  void WaitForMarks();

 private:
  void CentreOnSpike(int64_t time);

  IPlotCanvas& canvas_;
  ViewState& view_;
  ViewModel& model_;
  ExtractionRun& run_;
  IPlotCollection& plots_;
  IDataSourceManager& sources_;
  WindowView& window_;
  std::unique_ptr<DetectionPreviewWorker> worker_;  // made when shown
  std::optional<int64_t> stepped_;  // the spike the last step centred, while the view stays there
  int64_t steppedStart_ = 0;
};

}  // namespace skelvane
