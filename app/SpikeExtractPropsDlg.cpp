#include "app/SpikeExtractPropsDlg.h"

#include <QComboBox>
#include <QFontMetrics>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>

#include "display/IPlot.h"
#include "display/IPlotCollection.h"
#include "display/PlotChannels.h"
#include "extract/ChannelFilter.h"
#include "extract/ExtractionParameters.h"
#include "platform/FileChooser.h"
#include "platform/ReportError.h"
#include "platform/UserQuestions.h"

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
// Edits are at least as wide as in the classic dialog: 63 units.
constexpr int kEditWidthUnits = 63;
// An empty column between the value and the channel count, for a helper button beside the value.
constexpr int kSpareColumn = 2;
constexpr int kSpareColumnUnits = 20;
constexpr int kGridColumns = 5;

constexpr const char* kFixedSpikePointsTip = "Fixed: every spike window holds this many points per channel";
constexpr const char* kFixedAlignmentTip = "Fixed: the peak is placed at this point of every spike window";

// Numbers are shown as the classic number fields show them: up to 15 significant digits.
constexpr int kThresholdDigits = 15;

// Sizes given in dialog units, turned into pixels of the dialog's font.
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
    : QDialog(parent), params_(params), plots_(plots), opened_(params) {
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
  QGroupBox* group =
      BuildPropertiesGroup(du(0, 0, kEditWidthUnits, 0).width(), du(0, 0, kSpareColumnUnits, 0).width());
  okButton_ = new QPushButton(QStringLiteral("OK"), this);
  okButton_->setObjectName(QStringLiteral("okButton"));
  okButton_->setDefault(true);
  cancelButton_ = new QPushButton(QStringLiteral("Cancel"), this);
  cancelButton_->setObjectName(QStringLiteral("cancelButton"));
  cancelButton_->setAutoDefault(false);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  buttons->addWidget(okButton_);
  buttons->addWidget(cancelButton_);

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(group);
  layout->addStretch(1);
  layout->addLayout(buttons);
  // At least the classic size, more when the labels need it; the user may make it larger.
  resize(sizeHint().expandedTo(du(0, 0, kDialogWidthUnits, kDialogHeightUnits).size()));

  ConnectControls();
}

QGroupBox* SpikeExtractPropsDlg::BuildPropertiesGroup(int editWidth, int spareColumnWidth) {
  auto* group = new QGroupBox(QStringLiteral("Spike Extraction Properties"), this);
  auto* grid = new QGridLayout(group);
  const auto label = [&](const char* text, int row, int column) {
    grid->addWidget(new QLabel(QString::fromLatin1(text), group), row, column);
  };
  const auto edit = [&](const char* name, int row, int column) {
    auto* e = new QLineEdit(group);
    e->setObjectName(QString::fromLatin1(name));
    e->setMinimumWidth(editWidth);
    grid->addWidget(e, row, column);
    return e;
  };
  const auto fixed = [&](const char* name, int row, int column, const char* why) {
    QLineEdit* e = edit(name, row, column);
    e->setReadOnly(true);
    e->setToolTip(QString::fromLatin1(why));
    // Shown on the window's own colour, as a value to read rather than to type into.
    QPalette palette = e->palette();
    palette.setColor(QPalette::Base, palette.color(QPalette::Window));
    e->setPalette(palette);
    return e;
  };
  const auto combo = [&](const char* name, int row, int column, const QStringList& entries) {
    auto* c = new QComboBox(group);
    c->setObjectName(QString::fromLatin1(name));
    c->addItems(entries);
    grid->addWidget(c, row, column);
    return c;
  };

  label("Extraction Mode", 0, 0);
  modeCombo_ = combo("extractionModeCombo", 0, 1, {"Threshold", "Slope"});
  label("Extraction Type", 1, 0);
  typeCombo_ = combo("extractionTypeCombo", 1, 1, {"Positive", "Negative", "Both"});
  label("Extraction Value", 2, 0);
  thresholdEdit_ = edit("thresholdEdit", 2, 1);
  // Column 2 keeps room beside the value for a button that helps choose it.
  grid->setColumnMinimumWidth(kSpareColumn, spareColumnWidth);
  fromNoiseButton_ = new QPushButton(QStringLiteral("From noise..."), group);
  fromNoiseButton_->setObjectName(QStringLiteral("fromNoiseButton"));
  fromNoiseButton_->setAutoDefault(false);
  fromNoiseButton_->setEnabled(false);  // until the window says where the recordings are
  fromNoiseButton_->setToolTip(QStringLiteral("Set the value to K times the noise level of the open recordings"));
  grid->addWidget(fromNoiseButton_, 2, kSpareColumn);
  label("Number Of Channels", 0, 3);
  channelsEdit_ = edit("numChannelsEdit", 0, 4);
  label("Number Of Spike Points", 1, 3);
  spikePointsEdit_ = fixed("numSpikePointsEdit", 1, 4, kFixedSpikePointsTip);
  label("Alignment Point", 2, 3);
  alignmentEdit_ = fixed("alignmentPtEdit", 2, 4, kFixedAlignmentTip);
  label("Filter", 3, 0);
  QStringList filters;
  for (const char* entry : kFilterEntries) filters << QString::fromLatin1(entry);
  filterCombo_ = combo("filterCombo", 3, 1, filters);
  filterCombo_->setToolTip(QStringLiteral("Band the samples are filtered to before detection"));
  label("Low Cut-off (Hz)", 3, 3);
  lowCutEdit_ = edit("lowCutOffEdit", 3, 4);
  label("High Cut-off (Hz)", 4, 3);
  highCutEdit_ = edit("highCutOffEdit", 4, 4);
  for (QLineEdit* cut : {lowCutEdit_, highCutEdit_}) cut->setPlaceholderText(QStringLiteral("open"));
  signWarning_ = new QLabel(group);
  signWarning_->setObjectName(QStringLiteral("thresholdSignWarning"));
  signWarning_->setWordWrap(true);
  grid->addWidget(signWarning_, 5, 0, 1, kGridColumns);

  auto* directoryRow = new QHBoxLayout;
  directoryRow->addWidget(new QLabel(QStringLiteral("Output Directory"), group));
  browseButton_ = new QPushButton(QStringLiteral("Browse"), group);
  browseButton_->setObjectName(QStringLiteral("browseButton"));
  browseButton_->setAutoDefault(false);
  directoryRow->addWidget(browseButton_);
  directoryRow->addStretch(1);
  grid->addLayout(directoryRow, 6, 0, 1, kGridColumns);
  directoryEdit_ = new QLineEdit(group);
  directoryEdit_->setObjectName(QStringLiteral("outputDirectoryEdit"));
  grid->addWidget(directoryEdit_, 7, 0, 1, kGridColumns);
  grid->setColumnStretch(1, 1);
  grid->setColumnStretch(4, 1);

  return group;
}

void SpikeExtractPropsDlg::ConnectControls() {
  connect(modeCombo_, &QComboBox::currentIndexChanged, this, &SpikeExtractPropsDlg::OnModeSelected);
  connect(typeCombo_, &QComboBox::currentIndexChanged, this, &SpikeExtractPropsDlg::OnTypeSelected);
  connect(thresholdEdit_, &QLineEdit::textChanged, this, &SpikeExtractPropsDlg::UpdateSignWarning);
  connect(filterCombo_, &QComboBox::currentIndexChanged, this, &SpikeExtractPropsDlg::OnFilterSelected);
  connect(browseButton_, &QPushButton::clicked, this, &SpikeExtractPropsDlg::OnBrowse);
  connect(fromNoiseButton_, &QPushButton::clicked, this, &SpikeExtractPropsDlg::OnFromNoise);
  connect(okButton_, &QPushButton::clicked, this, &SpikeExtractPropsDlg::accept);
  connect(cancelButton_, &QPushButton::clicked, this, &SpikeExtractPropsDlg::reject);
}

void SpikeExtractPropsDlg::SetNoiseEstimate(NoiseEstimate estimate) {
  noiseEstimate_ = std::move(estimate);
  fromNoiseButton_->setEnabled(static_cast<bool>(noiseEstimate_));
}

// The same threshold `skelvane-cli extract --noise-threshold K` would use, for all the open recordings.
void SpikeExtractPropsDlg::OnFromNoise() {
  if (!noiseEstimate_) return;
  // The noise of what detection will see: the band chosen now, not the one the dialog opened with.
  const std::optional<FilterChoice> filter = FilterOfControls();
  if (!filter) return;
  params_.Filter = *filter;
  const std::optional<double> factor = UserQuestions::Current().AskNumber(kNoiseFactorQuestion, noiseFactor_);
  if (!factor || !(*factor > 0.0)) return;
  noiseFactor_ = *factor;
  double noiseLevel = 0.0;
  std::string refusal;
  const int32_t threshold = noiseEstimate_(*factor, noiseLevel, refusal);
  if (threshold < 0) {
    ReportError(refusal.empty() ? std::string(kNoNoiseMessage) : std::string(kNoiseBandRefusedMessage) + " " + refusal, 0);
    return;
  }
  thresholdEdit_->setText(QString::number(threshold));
}

void SpikeExtractPropsDlg::UpdateSignWarning() {
  double threshold = 0.0;
  QString warning;
  if (ParseNumber(thresholdEdit_->text(), threshold)) {
    const int type = typeCombo_->currentIndex();
    if (threshold < 0.0 && type == kExtractionTypePositive) warning = QString::fromLatin1(kNegativeWithPositive);
    if (threshold > 0.0 && type == kExtractionTypeNegative) warning = QString::fromLatin1(kPositiveWithNegative);
  }
  signWarning_->setText(warning);
  signWarning_->setVisible(!warning.isEmpty());
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
  ShowFilter(params_.Filter);
  UpdateSignWarning();
}

void SpikeExtractPropsDlg::ShowFilter(const FilterChoice& filter) {
  const QSignalBlocker blockFilter(filterCombo_);
  const auto hz = [](const std::optional<double>& cut) {
    return cut ? QString::fromStdString(FilterChoice::FormatHz(*cut)) : QString();
  };
  if (filter.GetBand() == FilterChoice::Band::kCustom) {
    customLow_ = hz(filter.LowHz());
    customHigh_ = hz(filter.HighHz());
  }
  filterCombo_->setCurrentIndex(static_cast<int>(filter.GetBand()));
  const bool custom = filter.GetBand() == FilterChoice::Band::kCustom;
  lowCutEdit_->setText(custom ? customLow_ : hz(filter.LowHz()));
  highCutEdit_->setText(custom ? customHigh_ : hz(filter.HighHz()));
  // The named bands' cut-offs are fixed: shown, not edited.
  for (QLineEdit* cut : {lowCutEdit_, highCutEdit_}) cut->setReadOnly(!custom);
}

void SpikeExtractPropsDlg::OnFilterSelected(int index) {
  // The Custom band's cut-offs stay as typed while a named band is shown.
  if (!lowCutEdit_->isReadOnly()) {
    customLow_ = lowCutEdit_->text();
    customHigh_ = highCutEdit_->text();
  }
  if (index == static_cast<int>(FilterChoice::Band::kCustom)) {
    lowCutEdit_->setText(customLow_);
    highCutEdit_->setText(customHigh_);
    for (QLineEdit* cut : {lowCutEdit_, highCutEdit_}) cut->setReadOnly(false);
    lowCutEdit_->setFocus();
    return;
  }
  const FilterChoice bands[] = {FilterChoice(), FilterChoice::Spike(), FilterChoice::Lfp()};
  if (index >= 0 && index < static_cast<int>(std::size(bands))) ShowFilter(bands[index]);
}

std::optional<FilterChoice> SpikeExtractPropsDlg::FilterOfControls() {
  const int index = filterCombo_->currentIndex();
  if (index != static_cast<int>(FilterChoice::Band::kCustom)) {
    const FilterChoice bands[] = {FilterChoice(), FilterChoice::Spike(), FilterChoice::Lfp()};
    return index >= 0 && index < static_cast<int>(std::size(bands)) ? bands[index] : FilterChoice();
  }
  const std::string text = lowCutEdit_->text().toStdString() + ":" + highCutEdit_->text().toStdString();
  std::string refusal;
  std::optional<FilterChoice> filter = FilterChoice::Parse(text, refusal);
  if (!filter) {
    ReportError(refusal, 0);
    // The field the message names, or the low one when it names neither.
    QLineEdit* field = refusal.starts_with("Filter high") ? highCutEdit_ : lowCutEdit_;
    field->setFocus();
    field->selectAll();
  }
  return filter;
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
  const std::optional<FilterChoice> filter = FilterOfControls();
  if (!filter) return false;
  params_.Filter = *filter;
  return true;
}

void SpikeExtractPropsDlg::accept() {
  if (!StoreControls()) return;
  if (params_.NumChannels != 1 && params_.NumChannels != 2 && params_.NumChannels != 4) {
    ReportError(kChannelCountMessage, 0);
    channelsEdit_->setFocus();
    return;
  }
  // A band some open recording cannot take (a cut-off at or above half its sampling rate) would stop
  // every run: said now, with the field and the recording.
  if (std::string refusal; !ChannelFilter::ForChannels(params_.Filter, PlotChannels::Of(plots_), refusal)) {
    ReportError(refusal, 0);
    (refusal.starts_with("Filter high") ? highCutEdit_ : lowCutEdit_)->setFocus();
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

void SpikeExtractPropsDlg::reject() {
  // Whatever was stored while the dialog was open, a refused value included, is undone.
  params_ = opened_;
  QDialog::reject();
}

void SpikeExtractPropsDlg::showEvent(QShowEvent* event) {
  opened_ = params_;
  LoadControls();
  QDialog::showEvent(event);
}

void SpikeExtractPropsDlg::OnModeSelected(int index) {
  if (index >= 0) params_.ExtractionMode = index;
}

void SpikeExtractPropsDlg::OnTypeSelected(int index) {
  if (index >= 0) params_.ExtractionType = index;
  UpdateSignWarning();
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
