#pragma once
// Display > Go To Time: a small dialog that takes a time as typed (seconds or h:mm:ss on the
// recordings' clock, or a raw timestamp in microseconds with "us"; RecordingClock reads it) and the
// command that centres the view there, keeping the span. WindowCommands runs it.

#include <QDialog>
#include <cstdint>
#include <optional>

#include "display/RecordingClock.h"

class QLineEdit;

namespace skelvane {

class IDataSourceManager;
class ViewModel;
class WindowView;
struct ViewState;

class GoToTimeDialog final : public QDialog {
  Q_OBJECT

 public:
  /// The dialog's title.
  static constexpr const char* kTitle = "Go To Time";

  /// A dialog reading times on `clock`, the text field holding `initial`.
  GoToTimeDialog(const RecordingClock& clock, const QString& initial, QWidget* parent);

  /// The time read when the dialog was accepted.
  std::optional<int64_t> Time() const { return time_; }
  /// The text field (tests type into it).
  QLineEdit* Field() const { return field_; }

  /// The whole command: asks over `parent`, then centres the view on the time. A time outside the
  /// recordings is held to their first or last record and the status bar says so.
  static void Run(const RecordingClock& clock, IDataSourceManager& sources, ViewModel& model, const ViewState& view,
                  WindowView& window, QWidget& parent);

 public slots:
  /// Takes the text; a text that is not a time is explained and the dialog stays open.
  void accept() override;

 private:
  RecordingClock clock_;
  QLineEdit* field_;
  std::optional<int64_t> time_;
};

}  // namespace skelvane
