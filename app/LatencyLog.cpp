#include "app/LatencyLog.h"

#include <QCoreApplication>
#include <QKeyEvent>
#include <QKeySequence>
#include <QMouseEvent>
#include <QTimer>
#include <QWheelEvent>
#include <cerrno>
#include <cinttypes>
#include <cstdlib>
#include <cstring>

namespace skelvane {
namespace {

constexpr const char* kStandardError = "1";
// Waits no longer than the stamps' own resolution are left out: the first sight is more precise.
constexpr int32_t kStampResolutionMs = 1;

// The modifiers' prefix in Qt's portable words ("Ctrl+Shift+").
QString ModifierText(Qt::KeyboardModifiers modifiers) {
  QString text;
  if (modifiers & Qt::ControlModifier) text += QStringLiteral("Ctrl+");
  if (modifiers & Qt::AltModifier) text += QStringLiteral("Alt+");
  if (modifiers & Qt::ShiftModifier) text += QStringLiteral("Shift+");
  if (modifiers & Qt::MetaModifier) text += QStringLiteral("Meta+");
  return text;
}

// What the user did, in words; empty for events that are not an action's start.
QString Describe(const QEvent& event) {
  switch (event.type()) {
    case QEvent::ShortcutOverride:
    case QEvent::KeyPress: {
      const auto& key = static_cast<const QKeyEvent&>(event);
      return QKeySequence(key.keyCombination()).toString(QKeySequence::PortableText);
    }
    case QEvent::Wheel:
      return ModifierText(static_cast<const QWheelEvent&>(event).modifiers()) + QStringLiteral("Wheel");
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick:
      return ModifierText(static_cast<const QMouseEvent&>(event).modifiers()) + QStringLiteral("Press");
    case QEvent::MouseButtonRelease:
      return ModifierText(static_cast<const QMouseEvent&>(event).modifiers()) + QStringLiteral("Release");
    default: return {};
  }
}

double Milliseconds(std::chrono::steady_clock::duration duration) {
  return std::chrono::duration<double, std::milli>(duration).count();
}

}  // namespace

std::unique_ptr<LatencyLog> LatencyLog::FromEnvironment() {
  const char* value = std::getenv(kVariable);
  if (value == nullptr || *value == '\0') return nullptr;
  if (std::strcmp(value, kStandardError) == 0) return std::make_unique<LatencyLog>(stderr, false);
  std::FILE* file = std::fopen(value, "a");
  if (file == nullptr) {
    std::fprintf(stderr, "skelvane: %s: cannot write %s: %s\n", kVariable, value, std::strerror(errno));
    return nullptr;
  }
  // Whole lines at once, so a script reading the file never sees half a line.
  std::setvbuf(file, nullptr, _IOLBF, 0);
  return std::make_unique<LatencyLog>(file, true);
}

LatencyLog::LatencyLog(std::FILE* out, bool owned) : out_(out), owned_(owned) {
  if (QCoreApplication::instance() != nullptr) QCoreApplication::instance()->installEventFilter(this);
}

LatencyLog::~LatencyLog() {
  if (owned_) std::fclose(out_);
}

// An input event arrives when the application first sees it, unless its window system time stamp
// shows that it waited in the window system's queue (while a frame was being drawn, say): then it
// arrived that much earlier. The stamp's clock is calibrated against ours by the shortest delay seen.
// One event can pass here several times (as a shortcut check, then as a key; to a widget, then to
// its parent): the same input with the same stamp is the same event.
bool LatencyLog::eventFilter(QObject* watched, QEvent* event) {
  const QString input = Describe(*event);
  if (input.isEmpty()) return QObject::eventFilter(watched, event);
  const ulong stamp = static_cast<const QInputEvent*>(event)->timestamp();
  if (current_ && stamp != 0 && current_->stamp == stamp && current_->input == input) {
    return QObject::eventFilter(watched, event);
  }
  const Clock::time_point seen = Clock::now();
  Clock::time_point arrival = seen;
  if (stamp != 0) {
    const auto now = std::chrono::duration_cast<std::chrono::milliseconds>(arrival.time_since_epoch()).count();
    // Window system stamps are 32-bit milliseconds that wrap; so are the differences.
    const uint32_t delay = static_cast<uint32_t>(now) - static_cast<uint32_t>(stamp);
    if (!calibrated_ || static_cast<int32_t>(delay - shortestDelay_) < 0) {
      shortestDelay_ = delay;
      calibrated_ = true;
    }
    const int32_t waited = static_cast<int32_t>(delay - shortestDelay_);
    if (waited > kStampResolutionMs) arrival -= std::chrono::milliseconds(waited);
  }
  current_ = Action{arrival, input, {}, stamp, ++serial_, std::nullopt, seen};
  // Input that asks for no redraw is forgotten once it is handled, so a later redraw of another
  // cause does not take it.
  const uint64_t serial = serial_;
  QTimer::singleShot(0, this, [this, serial] {
    if (current_ && current_->serial == serial) current_.reset();
  });
  return QObject::eventFilter(watched, event);
}

void LatencyLog::NameAction(const QString& name) {
  if (current_) current_->name = name;
}

void LatencyLog::RedrawAsked() {
  if (!current_) return;
  asked_.push_back(std::move(*current_));
  current_.reset();
}

void LatencyLog::FilesOpened() {
  if (current_) {
    current_->opened = Clock::now();
  } else if (!asked_.empty()) {
    asked_.back().opened = Clock::now();
  }
}

void LatencyLog::FrameStarting() { frameStart_ = Clock::now(); }

void LatencyLog::OpeningStarted() {
  opening_ = Clock::now();
  openingDrawn_ = false;
}

void LatencyLog::FrameDrawn(double milliseconds, const ProcessUsage& usage, int64_t span) {
  drawn_.insert(drawn_.end(), asked_.begin(), asked_.end());
  asked_.clear();
  frameMilliseconds_ = milliseconds;
  frameEnd_ = Clock::now();
  frameUsage_ = usage;
  span_ = span;
  if (opening_) openingDrawn_ = true;
}

// The frame's own processor time and page faults stand beside its wall time: on a machine shared with
// other work, the wall time alone cannot tell a costly frame from a frame kept waiting for a core.
void LatencyLog::Painted() {
  if (drawn_.empty() && !(opening_ && openingDrawn_)) return;
  const Clock::time_point end = Clock::now();
  // The wall clock too, so that a script can set the paint against the moment it sent a key.
  const double wallSeconds =
      std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch()).count();
  const double cpuMilliseconds = frameUsage_.cpuSeconds * 1e3;
  const int64_t faults = frameUsage_.minorFaults + frameUsage_.majorFaults;
  if (opening_ && openingDrawn_) {
    std::fprintf(out_,
                 "opened first_picture_ms=%.3f since_process_start_ms=%.0f span_us=%" PRId64
                 " frame_ms=%.3f cpu_ms=%.3f faults=%" PRId64 " major_faults=%" PRId64 "\n",
                 Milliseconds(end - *opening_), ProcessUsage::SecondsSinceStart() * 1e3, span_, frameMilliseconds_,
                 cpuMilliseconds, faults, frameUsage_.majorFaults);
    opening_.reset();
  }
  for (const Action& action : drawn_) {
    const QString name = action.name.isEmpty() ? action.input : action.name;
    // Where the time went: waiting in the window system's queue until the program saw the input,
    // until the files were open (when the action opened any), until the frame began, the frame, and
    // from its end to the picture on the screen.
    const double opened = action.opened ? Milliseconds(*action.opened - action.arrival) : 0.0;
    std::fprintf(out_,
                 "latency action=\"%s\" input=\"%s\" span_us=%" PRId64
                 " latency_ms=%.3f frame_ms=%.3f cpu_ms=%.3f thread_cpu_ms=%.3f faults=%" PRId64
                 " major_faults=%" PRId64 " actions_in_frame=%zu painted_at_s=%.6f"
                 " queued_ms=%.3f opened_ms=%.3f before_frame_ms=%.3f after_frame_ms=%.3f\n",
                 name.toUtf8().constData(), action.input.toUtf8().constData(), span_,
                 Milliseconds(end - action.arrival), frameMilliseconds_, cpuMilliseconds,
                 frameUsage_.threadCpuSeconds * 1e3, faults,
                 frameUsage_.majorFaults, drawn_.size(), wallSeconds, Milliseconds(action.seen - action.arrival), opened,
                 Milliseconds(frameStart_ - action.arrival), Milliseconds(end - frameEnd_));
  }
  std::fflush(out_);
  drawn_.clear();
}

}  // namespace skelvane
