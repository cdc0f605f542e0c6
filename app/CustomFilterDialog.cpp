#include "app/CustomFilterDialog.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLineEdit>
#include <utility>

#include "platform/ReportError.h"

namespace skelvane {
namespace {

constexpr const char* kLowLabel = "Low Cut-off (Hz)";
constexpr const char* kHighLabel = "High Cut-off (Hz)";
constexpr const char* kOpenHint = "open";
// How a refusal that concerns the high cut-off begins; any other names the low one or both.
constexpr const char* kHighRefusal = "Filter high";

QString CutOffText(const std::optional<double>& hz) {
  return hz ? QString::fromStdString(FilterChoice::FormatHz(*hz)) : QString();
}

}  // namespace

CustomFilterDialog::CustomFilterDialog(const FilterChoice& initial, Check check, QWidget* parent)
    : QDialog(parent), check_(std::move(check)), low_(new QLineEdit(this)), high_(new QLineEdit(this)) {
  setWindowTitle(QString::fromUtf8(kTitle));
  if (initial.GetBand() == FilterChoice::Band::kCustom) {
    low_->setText(CutOffText(initial.LowHz()));
    high_->setText(CutOffText(initial.HighHz()));
  }
  low_->setPlaceholderText(QString::fromUtf8(kOpenHint));
  high_->setPlaceholderText(QString::fromUtf8(kOpenHint));
  auto* layout = new QFormLayout(this);
  layout->addRow(QString::fromUtf8(kLowLabel), low_);
  layout->addRow(QString::fromUtf8(kHighLabel), high_);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  connect(buttons, &QDialogButtonBox::accepted, this, &CustomFilterDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &CustomFilterDialog::reject);
  layout->addRow(buttons);
}

void CustomFilterDialog::accept() {
  std::string refusal;
  const std::string text = low_->text().toStdString() + ":" + high_->text().toStdString();
  std::optional<FilterChoice> filter = FilterChoice::Parse(text, refusal);
  if (filter && check_ && !check_(*filter, refusal)) filter.reset();
  if (!filter) {
    ReportError(refusal, 0);
    QLineEdit* field = refusal.starts_with(kHighRefusal) ? high_ : low_;
    field->setFocus();
    field->selectAll();
    return;
  }
  filter_ = std::move(filter);
  QDialog::accept();
}

}  // namespace skelvane
