#pragma once
// Watches the CSC plots' summary builds from the UI thread: reports their progress while any runs
// and asks for a redraw each time one finishes, so zoomed-out traces appear as their summaries do.
// Owned by MainWindow, which feeds the status bar from it.

#include <QObject>
#include <QTimer>
#include <cstdint>
#include <functional>

namespace skelvane {

class IPlotCollection;

class SummaryWatcher final : public QObject {
  Q_OBJECT

 public:
  /// How often the builds are looked at while any runs, milliseconds.
  static constexpr int kPollMilliseconds = 200;

  /// `progress(done, total)` gets the records summarised so far over every running or finished build;
  /// `finished()` is called once per look that found another build finished.
  SummaryWatcher(const IPlotCollection& plots, std::function<void(int64_t, int64_t)> progress,
                 std::function<void()> finished, QObject* parent);

  /// Looks at the builds now and keeps looking while any runs.
  void Poll();

 private:
  const IPlotCollection& plots_;
  std::function<void(int64_t, int64_t)> progress_;
  std::function<void()> finished_;
  QTimer timer_;
  int32_t finishedSeen_ = 0;
};

}  // namespace skelvane
