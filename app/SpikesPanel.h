#pragma once
// A Spikes panel: one spike file docked beside the traces, shown as the views of its figure (the
// waveforms of a chosen channel, the peak scatter of a chosen pair, the interval histogram) over at
// most SpikePanelViews::kDrawnSpikes spikes. Pointing at a spike shows its time on the window's clock
// and its timestamp, a click centres the
// traces on it, and a switch limits the panel to the spikes of the span the traces show. The file's
// statistics are worked out on a thread of the panel's own. Made and owned by SpikePanels.

#include <QDockWidget>
#include <QImage>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "display/RecordingClock.h"
#include "render/GLRenderer.h"
#include "spikes/SpikePanelViews.h"

class QCheckBox;
class QComboBox;
class QLabel;

namespace skelvane {

class SpikeFile;
class SpikesPicture;

class SpikesPanel final : public QDockWidget {
 public:
  /// Asked to centre the traces on a spike of the file: the data files its header names and the
  /// spike's time; false when no recording of it is open.
  using CentreOnSpike = std::function<bool(const std::vector<std::string>& sourceFiles, int64_t time)>;
  /// The clock the window reads times on now (it follows the recordings opened and closed).
  using ClockNow = std::function<RecordingClock()>;
  /// What the info line says when a click finds no recording of the spike open.
  static constexpr const char* kNotOpenText = "None of its recordings is open: nothing to centre";

  /// A panel over `parent` for the spike file `path`; null, after the reader's message naming the file
  /// and what is wrong with it, when it is no sound spike file.
  static SpikesPanel* Open(const std::string& path, CentreOnSpike centre, ClockNow clock, QWidget* parent);
  /// Waits for a load still running.
  ~SpikesPanel() override;

  /// The span the traces show; with the switch on, the panel shows the spikes in it.
  void FollowSpan(int64_t start, int64_t end);
  /// True once the first load has ended and the views can be drawn.
  bool Loaded() const { return views_ != nullptr; }
  /// Blocks until the load running (if any) has ended and its views are shown (for tests).
  void WaitForLoad();

  /// The spike file shown.
  const SpikeFile& File() const { return *file_; }
  /// The views shown (valid once Loaded()).
  const SpikePanelViews& Views() const { return *views_; }
  /// The channel chooser, the pair chooser, the visible-span switch and the picture.
  QComboBox* ChannelChooser() const { return channel_; }
  QComboBox* PairChooser() const { return pair_; }
  QCheckBox* SpanSwitch() const { return spanOnly_; }
  SpikesPicture* Picture() const { return picture_; }
  /// The line under the picture: what is drawn, the spike pointed at, or why a click did nothing.
  QString InfoText() const;

 private:
  SpikesPanel(std::unique_ptr<SpikeFile> file, CentreOnSpike centre, ClockNow clock, QWidget* parent);

  void BuildWidgets();
  void FillChoosers();
  void Load();
  void TakeLoaded(uint64_t serial);
  void Draw();
  void ScheduleDraw();
  void Pointed(int x, int y);
  void Clicked(int x, int y);
  void ShowDrawnCount();
  SpikePanelViews::Choice CurrentChoice() const;
  std::pair<int64_t, int64_t> WantedRange() const;

  std::unique_ptr<SpikeFile> file_;
  CentreOnSpike centre_;
  ClockNow clock_;
  GLRenderer renderer_;
  std::unique_ptr<SpikePanelViews> views_;  // what is shown
  std::optional<std::pair<int64_t, int64_t>> triedRange_;  // the range of the last load started
  int64_t highlight_ = -1;
  bool drawScheduled_ = false;  // a redraw waits for the events queued before it (mouse moves, resizes)
  std::optional<std::pair<int64_t, int64_t>> span_;  // the traces' span, once told

  // The loader: one thread at a time works out the views of a range of spikes; a range asked for
  // meanwhile is loaded when it is done.
  std::thread loader_;
  std::mutex mutex_;
  std::unique_ptr<SpikePanelViews> loaded_;  // guarded by mutex_: handed over on the window's thread
  bool loading_ = false;
  uint64_t loadSerial_ = 0;  // counts loads; a hand-over is taken only for the load running

  QComboBox* channel_ = nullptr;
  QComboBox* pair_ = nullptr;
  QCheckBox* spanOnly_ = nullptr;
  SpikesPicture* picture_ = nullptr;
  QLabel* info_ = nullptr;
};

}  // namespace skelvane
