#pragma once
// Watches the CSC plots' summary builds from the UI thread: starts, behind the plots on screen, the
// summaries of the plots out of view (when they are kept on disk), reports progress while any runs,
// asks for a redraw each time one finishes, so zoomed-out traces appear as their summaries do, and
// shows the summary cache's notices in the status bar. Owned by MainWindow, which feeds the status
// bar from it.

#include <QObject>
#include <QTimer>
#include <cstdint>
#include <functional>
#include <string>

namespace skelvane {

class IPlotCollection;

class SummaryWatcher final : public QObject {
  Q_OBJECT

 public:
  /// How often the builds are looked at while any runs, milliseconds.
  static constexpr int kPollMilliseconds = 200;

  /// `progress(done, total)` gets the records summarised so far over every running or finished build;
  /// `finished()` is called once per look that found another build finished; `notice(text)` gets the
  /// summary cache's notices (on the UI thread).
  SummaryWatcher(const IPlotCollection& plots, std::function<void(int64_t, int64_t)> progress,
                 std::function<void()> finished, std::function<void(const std::string&)> notice, QObject* parent);
  /// Gives the summary cache's notices back to the report sink.
  ~SummaryWatcher() override;

  /// Looks at the builds now (starting those of the plots out of view) and keeps looking while any runs.
  void Poll();

 private:
  const IPlotCollection& plots_;
  std::function<void(int64_t, int64_t)> progress_;
  std::function<void()> finished_;
  QTimer timer_;
  int32_t finishedSeen_ = 0;
};

}  // namespace skelvane
