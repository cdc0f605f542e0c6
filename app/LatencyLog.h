#pragma once
// When SKELVANE_LATENCY_LOG asks for it, the window logs each user action (a key, a menu item, the
// wheel, a click) with the time from the arrival of its input event to the end of the paint that
// showed its outcome, the visible span and the canvas frame time of that paint: one line
// per action; and the first picture after the files given at start were opened. MainWindow and
// FramePacer feed it; scripts/latency-xvfb.sh and bench/cold-start-xvfb.sh read it.

#include <QObject>
#include <QString>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <optional>
#include <vector>

#include "platform/ProcessUsage.h"

namespace skelvane {

class LatencyLog final : public QObject {
  Q_OBJECT

 public:
  /// The environment variable: "1" logs to standard error, anything else names a file to append to.
  static constexpr const char* kVariable = "SKELVANE_LATENCY_LOG";

  /// The log the environment asks for, or null when it asks for none (or the file cannot be opened,
  /// which is said on standard error).
  static std::unique_ptr<LatencyLog> FromEnvironment();

  /// Writes lines to `out`, closing it at the end when `owned`; watches the application's input.
  LatencyLog(std::FILE* out, bool owned);
  ~LatencyLog() override;

  /// Names the action the input being handled asks for ("Page Right"), instead of the input's own name.
  void NameAction(const QString& name);
  /// A redraw was asked for: the input being handled is shown by the next frame.
  void RedrawAsked();
  /// The action last asked for has opened its files: its line says how long that took.
  void FilesOpened();
  /// The canvas begins a frame: the lines say how long each action waited for it.
  void FrameStarting();
  /// The files given at start are being opened: the first picture after this is logged.
  void OpeningStarted();
  /// The canvas drew a frame of `span` microseconds in `milliseconds`, using `usage` (processor time
  /// of every thread, page faults) meanwhile.
  void FrameDrawn(double milliseconds, const ProcessUsage& usage, int64_t span);
  /// The window handed a painted picture to the screen: one line for each action its frame showed.
  void Painted();

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  using Clock = std::chrono::steady_clock;
  struct Action {
    Clock::time_point arrival;
    QString input;   // the key or gesture
    QString name;    // the command it ran, when one did
    unsigned long stamp = 0;  // the window system's time of the event, 0 when it gave none
    uint64_t serial = 0;
    std::optional<Clock::time_point> opened;  // when the files it opened were open, if it opened any
    Clock::time_point seen;                   // when the program first saw it
  };

  std::FILE* out_;
  bool owned_;
  std::optional<Action> current_;  // the input being handled, until a redraw takes it or it is done
  uint64_t serial_ = 0;
  bool calibrated_ = false;
  uint32_t shortestDelay_ = 0;     // from a window system stamp to our clock, milliseconds
  std::vector<Action> asked_;      // waiting for the next frame
  std::vector<Action> drawn_;      // shown by the frame drawn last, waiting for the paint to end
  double frameMilliseconds_ = 0.0;
  Clock::time_point frameStart_{};
  Clock::time_point frameEnd_{};
  ProcessUsage frameUsage_;
  int64_t span_ = 0;
  std::optional<Clock::time_point> opening_;  // until the first picture after it is painted
  bool openingDrawn_ = false;                 // a frame was drawn since the opening started
};

}  // namespace skelvane
