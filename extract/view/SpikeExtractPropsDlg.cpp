#include "extract/view/SpikeExtractPropsDlg.h"

#include <QComboBox>
#include <QFontMetrics>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include <algorithm>
#include <cmath>

#include "display/IPlot.h"
#include "display/IPlotCollection.h"
#include "extract/ExtractionParameters.h"
#include "platform/FileChooser.h"
#include "platform/ReportError.h"

namespace skelvane {
namespace {

// The layout is given in dialog units: a quarter of the average character width across and an
// eighth of the character height down, so it scales with the font like the classic dialog.
constexpr int kDialogWidthUnits = 370;
constexpr int kDialogHeightUnits = 113;
constexpr double kHorizontalUnitsPerChar = 4.0;
constexpr double kVerticalUnitsPerChar = 8.0;
// Used when the platform reports no font metrics (a classic 8-point dialog font: 6 x 13 pixels).
constexpr int kFallbackCharWidth = 6;
constexpr int kFallbackCharHeight = 13;
// Combo boxes are given with their drop-down list; the closed box is as tall as an edit.
constexpr int kClosedComboHeightUnits = 12;

// Numbers are shown as the classic number fields show them: up to 15 significant digits.
constexpr int kThresholdDigits = 15;

struct DialogUnits {
  double x;
  double y;
  QRect operator()(int left, int top, int width, int height) const {
    return QRect(static_cast<int>(std::lround(left * x)), static_cast<int>(std::lround(top * y)),
                 static_cast<int>(std::lround(width * x)), static_cast<int>(std::lround(height * y)));
  }
};

bool ParseInteger(const QString& text, int32_t& value) {
  bool ok = false;
  const int parsed = text.trimmed().toInt(&ok, 10);
  if (ok) value = parsed;
  return ok;
}

bool ParseNumber(const QString& text, double& value) {
  bool ok = false;
  const double parsed = text.trimmed().toDouble(&ok);
  // "nan" and "inf" parse, but no threshold can be made of them.
  if (!ok || !std::isfinite(parsed)) return false;
  value = parsed;
  return true;
}

}  // namespace

SpikeExtractPropsDlg::SpikeExtractPropsDlg(ExtractionParameters& params, IPlotCollection& plots, QWidget* parent)
    : QDialog(parent), params_(params), plots_(plots) {
  setWindowTitle(QString::fromLatin1(kTitle));
  setModal(true);
  BuildControls();
  LoadControls();
}

SpikeExtractPropsDlg::~SpikeExtractPropsDlg() = default;

void SpikeExtractPropsDlg::BuildControls() {
  const QFontMetrics metrics(font());
  const int charWidth = metrics.averageCharWidth() > 0 ? metrics.averageCharWidth() : kFallbackCharWidth;
  const int charHeight = metrics.height() > 0 ? metrics.height() : kFallbackCharHeight;
  const DialogUnits du{charWidth / kHorizontalUnitsPerChar, charHeight / kVerticalUnitsPerChar};
  setFixedSize(du(0, 0, kDialogWidthUnits, kDialogHeightUnits).size());

  // Created first so that every other control lies on top of it.
  auto* group = new QGroupBox(QStringLiteral("Spike Extraction Properties"), this);
  group->setGeometry(du(3, 1, 364, 93));

  const auto label = [&](const char* text, QRect rect) {
    auto* l = new QLabel(QString::fromLatin1(text), this);
    l->setGeometry(rect);
    return l;
  };
  const auto edit = [&](const char* name, QRect rect, bool readOnly) {
    auto* e = new QLineEdit(this);
    e->setObjectName(QString::fromLatin1(name));
    e->setGeometry(rect);
    e->setReadOnly(readOnly);
    return e;
  };
  const auto combo = [&](const char* name, QRect rect, const QStringList& entries) {
    auto* c = new QComboBox(this);
    c->setObjectName(QString::fromLatin1(name));
    c->addItems(entries);
    rect.setHeight(std::max(du(0, 0, 0, kClosedComboHeightUnits).height(), c->sizeHint().height()));
    c->setGeometry(rect);
    return c;
  };

  label("Extraction Mode", du(11, 19, 53, 8));
  modeCombo_ = combo("extractionModeCombo", du(73, 14, 64, 57), {"Threshold", "Slope"});
  label("Extraction Type", du(11, 33, 52, 8));
  typeCombo_ = combo("extractionTypeCombo", du(73, 29, 64, 53), {"Positive", "Negative", "Both"});
  label("Extraction Value", du(11, 47, 53, 8));
  thresholdEdit_ = edit("thresholdEdit", du(73, 43, 63, 12), false);
  label("Number Of Channels", du(164, 19, 67, 8));
  channelsEdit_ = edit("numChannelsEdit", du(246, 15, 63, 12), false);
  label("Number Of Spike Points", du(164, 33, 76, 8));
  spikePointsEdit_ = edit("numSpikePointsEdit", du(246, 29, 63, 12), true);
  label("Alignment Point", du(164, 46, 50, 8));
  alignmentEdit_ = edit("alignmentPtEdit", du(246, 42, 63, 12), true);
  label("Output Directory", du(11, 64, 55, 8));
  browseButton_ = new QPushButton(QStringLiteral("Browse"), this);
  browseButton_->setObjectName(QStringLiteral("browseButton"));
  browseButton_->setGeometry(du(71, 60, 52, 12));
  browseButton_->setAutoDefault(false);
  directoryEdit_ = edit("outputDirectoryEdit", du(10, 75, 351, 12), false);

  okButton_ = new QPushButton(QStringLiteral("OK"), this);
  okButton_->setObjectName(QStringLiteral("okButton"));
  okButton_->setGeometry(du(264, 96, 50, 14));
  okButton_->setDefault(true);
  cancelButton_ = new QPushButton(QStringLiteral("Cancel"), this);
  cancelButton_->setObjectName(QStringLiteral("cancelButton"));
  cancelButton_->setGeometry(du(316, 96, 50, 14));
  cancelButton_->setAutoDefault(false);

  connect(modeCombo_, &QComboBox::currentIndexChanged, this, &SpikeExtractPropsDlg::OnModeSelected);
  connect(typeCombo_, &QComboBox::currentIndexChanged, this, &SpikeExtractPropsDlg::OnTypeSelected);
  connect(browseButton_, &QPushButton::clicked, this, &SpikeExtractPropsDlg::OnBrowse);
  connect(okButton_, &QPushButton::clicked, this, &SpikeExtractPropsDlg::accept);
  connect(cancelButton_, &QPushButton::clicked, this, &SpikeExtractPropsDlg::reject);
}

void SpikeExtractPropsDlg::LoadControls() {
  // The selections are the fields already: setting them must not write anything back.
  const QSignalBlocker blockMode(modeCombo_);
  const QSignalBlocker blockType(typeCombo_);
  modeCombo_->setCurrentIndex(params_.ExtractionMode >= 0 && params_.ExtractionMode < modeCombo_->count()
                                  ? params_.ExtractionMode
                                  : -1);
  typeCombo_->setCurrentIndex(params_.ExtractionType >= 0 && params_.ExtractionType < typeCombo_->count()
                                  ? params_.ExtractionType
                                  : -1);
  thresholdEdit_->setText(QString::number(params_.Threshold, 'g', kThresholdDigits));
  channelsEdit_->setText(QString::number(params_.NumChannels));
  spikePointsEdit_->setText(QString::number(params_.NumSpikePoints));
  alignmentEdit_->setText(QString::number(params_.AlignmentPt));
  directoryEdit_->setText(QString::fromStdString(params_.OutputDirectory));
}

bool SpikeExtractPropsDlg::StoreControls() {
  // Each field is stored as soon as its own text parses; the first that does not stops the transfer.
  const auto refuse = [&](QLineEdit* edit, const char* prompt) {
    ShowMessage(prompt);
    edit->setFocus();
    edit->selectAll();
    return false;
  };
  if (!ParseNumber(thresholdEdit_->text(), params_.Threshold)) return refuse(thresholdEdit_, kNumberPrompt);
  if (!ParseInteger(channelsEdit_->text(), params_.NumChannels)) return refuse(channelsEdit_, kIntegerPrompt);
  if (!ParseInteger(spikePointsEdit_->text(), params_.NumSpikePoints)) return refuse(spikePointsEdit_, kIntegerPrompt);
  if (!ParseInteger(alignmentEdit_->text(), params_.AlignmentPt)) return refuse(alignmentEdit_, kIntegerPrompt);
  params_.OutputDirectory = directoryEdit_->text().toStdString();
  return true;
}

void SpikeExtractPropsDlg::accept() {
  if (!StoreControls()) return;
  if (params_.NumChannels != 1 && params_.NumChannels != 2 && params_.NumChannels != 4) {
    ReportError(kChannelCountMessage, 0);
    channelsEdit_->setFocus();
    return;
  }
  const int32_t count = plots_.GetNumPlots();
  for (int32_t i = 0; i < count; ++i) {
    IPlot* plot = nullptr;
    if (plots_.GetPlot(i, plot) != 0 || plot == nullptr) continue;
    plot->SetExtractionMode(params_.ExtractionMode);
    plot->SetExtractionType(params_.ExtractionType);
    plot->SetExtractionValue(params_.Threshold);
  }
  QDialog::accept();
}

void SpikeExtractPropsDlg::showEvent(QShowEvent* event) {
  LoadControls();
  QDialog::showEvent(event);
}

void SpikeExtractPropsDlg::OnModeSelected(int index) {
  if (index >= 0) params_.ExtractionMode = index;
}

void SpikeExtractPropsDlg::OnTypeSelected(int index) {
  if (index >= 0) params_.ExtractionType = index;
}

void SpikeExtractPropsDlg::OnBrowse() {
  if (!StoreControls()) return;
  const auto folder =
      FileChooser::Current().ChooseFolder(kFolderChooserTitle, params_.OutputDirectory);
  if (!folder) return;
  params_.OutputDirectory = *folder;
  LoadControls();
}

}  // namespace skelvane
