#include "app/GoToTimeDialog.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>
#include <algorithm>
#include <string>

#include "app/WindowView.h"
#include "datafile/CscRecord.h"
#include "datafile/IDataSourceManager.h"
#include "display/TimeText.h"
#include "display/ViewModel.h"
#include "display/ViewState.h"
#include "platform/ReportError.h"

namespace skelvane {
namespace {

constexpr const char* kPrompt = "Time: seconds from the start (100.5), h:mm:ss (0:01:40) or a timestamp (123456789us)";
constexpr int kMinimumFieldWidth = 320;

// The latest last record of the open sources, or `fallback` without any.
int64_t RecordingEnd(IDataSourceManager& sources, int64_t fallback) {
  std::optional<int64_t> latest;
  for (int32_t i = 0; i < sources.GetNumSources(); ++i) {
    const int64_t count = sources.GetNumRecords(i);
    const uint8_t* record = nullptr;
    if (count <= 0 || sources.GetRecord(count - 1, i, record) != 0 || record == nullptr) continue;
    const int64_t last = CscRecord(record).Timestamp();
    if (!latest || last > *latest) latest = last;
  }
  return latest.value_or(fallback);
}

}  // namespace

GoToTimeDialog::GoToTimeDialog(const RecordingClock& clock, const QString& initial, QWidget* parent)
    : QDialog(parent), clock_(clock), field_(new QLineEdit(initial, this)) {
  setWindowTitle(QString::fromUtf8(kTitle));
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(new QLabel(QString::fromUtf8(kPrompt), this));
  field_->setMinimumWidth(kMinimumFieldWidth);
  field_->selectAll();
  layout->addWidget(field_);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  connect(buttons, &QDialogButtonBox::accepted, this, &GoToTimeDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &GoToTimeDialog::reject);
  layout->addWidget(buttons);
}

void GoToTimeDialog::accept() {
  std::string error;
  time_ = clock_.Parse(field_->text().toStdString(), error);
  if (!time_) {
    ShowMessage(error);
    field_->selectAll();
    field_->setFocus();
    return;
  }
  QDialog::accept();
}

void GoToTimeDialog::Run(const RecordingClock& clock, IDataSourceManager& sources, ViewModel& model,
                         const ViewState& view, WindowView& window, QWidget& parent) {
  const int64_t first = clock.Origin();
  const int64_t last = std::max(first, RecordingEnd(sources, view.DataEnd));
  // The field starts at the time in the middle of the view: Enter keeps the view where it is, and a
  // small change is a small edit.
  const int64_t offset = clock.Offset(model.MiddleTime());
  GoToTimeDialog dialog(clock, QString::fromStdString(TimeText::Seconds(offset, TimeText::ExactDecimals(offset))),
                        &parent);
  if (dialog.exec() != QDialog::Accepted || !dialog.Time()) return;
  const int64_t asked = *dialog.Time();
  const int64_t held = std::clamp(asked, first, last);
  if (held != asked) window.ShowNotice(TimeText::ClampedMessage(asked, held, first));
  model.CentreOn(held);
  window.UpdateHorizontalScroll();
  window.Redraw();
}

}  // namespace skelvane
