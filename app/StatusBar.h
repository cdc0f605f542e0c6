#pragma once
// The line under the canvas: the time and the plot's value under the mouse, the measuring cursors'
// readout, the visible span, the detected spikes in it and the progress of summary building.
// MainWindow feeds it; the texts are built by its static formatters and by TimeCursors.

#include <QStatusBar>
#include <cstdint>
#include <optional>
#include <string>

class QLabel;

namespace skelvane {

class StatusBar final : public QStatusBar {
  Q_OBJECT

 public:
  /// What lies under the mouse.
  struct Pointer {
    int64_t time = 0;         // a timestamp, microseconds
    int64_t clockOrigin = 0;  // what the recordings' clock counts from (RecordingClock)
    std::string plotName;     // empty: not over a plot
    std::optional<int16_t> counts;
    std::optional<double> microvolts;
    std::string band;  // the band the plot draws through (its value is the filtered one); empty: as recorded
  };

  explicit StatusBar(QWidget* parent);

  /// Shows the reading under the mouse.
  void ShowPointer(const Pointer& pointer);
  /// Clears the reading (the mouse left the plots).
  void ClearPointer();
  /// Shows the measuring cursors' readout (empty: no cursor set), once no notice stands there.
  void ShowCursors(const std::string& readout);
  /// Shows the visible time span.
  void ShowSpan(int64_t span);
  /// Shows how far summary building has come; hidden once done reaches total.
  void ShowSummaryProgress(int64_t done, int64_t total);
  /// Shows how many detected spikes lie in the visible span (`complete`: all are known yet).
  void ShowSpikeCount(int64_t spikes, bool complete);
  /// Hides the spike count (the spikes are not shown).
  void HideSpikeCount();

  /// The clock's reading ("2.345678 s  (0:00:02.345678)  timestamp 3345678 us"), then
  /// "  TT1a: -120 counts = -36.6 uV" over a plot.
  static std::string PointerText(const Pointer& pointer);
  /// "Span 2.500000 s".
  static std::string SpanText(int64_t span);
  /// "Summaries 40%" while building, empty when done.
  static std::string ProgressText(int64_t done, int64_t total);
  /// "12 spikes in view", "1 spike in view", and "at least 12 spikes in view" while they fill in.
  static std::string SpikeCountText(int64_t spikes, bool complete);

  /// The labels' texts, in order: pointer, cursors, span, progress.
  QString PointerLabelText() const;
  QString CursorsLabelText() const;
  QString SpanLabelText() const;
  QString ProgressLabelText() const;
  /// Whether the cursors' readout is on show (it gives way to a notice).
  bool CursorsShown() const;
  /// The spike count's text (empty while hidden).
  QString SpikeCountLabelText() const;

 private:
  void FitCursors();

  QLabel* pointer_;
  QLabel* cursors_;
  QLabel* span_;
  QLabel* progress_;
  QLabel* spikes_;
};

}  // namespace skelvane
