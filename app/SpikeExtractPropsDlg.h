#pragma once
// The modal "Spike Extraction Properties Dialog": edits the extraction parameters of later runs and
// hands mode, type and threshold to every plot. Opened by the main window's Properties command.

#include <QDialog>
#include <cstdint>
#include <functional>
#include <optional>

#include "extract/ExtractionParameters.h"

class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace skelvane {

class IPlotCollection;

/// K offered when the threshold is first set from the noise level.
inline constexpr double kDefaultNoiseFactor = 5.0;

class SpikeExtractPropsDlg : public QDialog {
  Q_OBJECT

 public:
  /// Prompts of the framework's number fields, shown when an edit does not parse.
  static constexpr const char* kIntegerPrompt = "Please enter an integer.";
  static constexpr const char* kNumberPrompt = "Please enter a number.";
  /// Report for a channel count other than 1, 2 or 4.
  static constexpr const char* kChannelCountMessage = "Please Set The Number Of Channels Equall To 1, 2, Or 4";
  /// Window title and the folder chooser's title.
  static constexpr const char* kTitle = "Spike Extraction Properties Dialog";
  static constexpr const char* kFolderChooserTitle = "Select a directory";
  /// Shown under the value while its sign contradicts the type (nothing is refused).
  static constexpr const char* kNegativeWithPositive =
      "Warning: the value is negative but the type is Positive: nearly every sample lies above it.";
  static constexpr const char* kPositiveWithNegative =
      "Warning: the value is positive but the type is Negative: nearly every sample lies below it.";

  /// Asked for K when the threshold is set from the noise level.
  static constexpr const char* kNoiseFactorQuestion =
      "Threshold = K x noise level (median |x| / 0.6745 over the first 10 s of each channel, the largest "
      "channel counts). K:";
  /// The band filter's entries, in the order of its list.
  static constexpr const char* kFilterEntries[] = {"None", "Spike Band", "LFP Band", "Custom"};
  /// Reported when no channel has samples to estimate the noise from.
  static constexpr const char* kNoNoiseMessage = "No samples to estimate the noise level from";
  /// Reported, with why, when the band chosen cannot apply to a recording: no noise is measured then.
  static constexpr const char* kNoiseBandRefusedMessage =
      "The noise level was not measured: the band filter cannot apply to a recording:";
  /// Gives the threshold K x noise level of the open recordings (and the level), or -1 without
  /// samples or, with `refusal` saying why, when the band cannot apply.
  using NoiseEstimate = std::function<int32_t(double factor, double& noiseLevel, std::string& refusal)>;

  /// Builds the dialog over `params`, which it edits in place; `plots` receive mode, type and threshold on OK.
  SpikeExtractPropsDlg(ExtractionParameters& params, IPlotCollection& plots, QWidget* parent = nullptr);
  /// The fields keep their values: they belong to the caller.
  ~SpikeExtractPropsDlg() override;

  /// Enables "From noise...", which fills the value from `estimate` with a K the user enters.
  void SetNoiseEstimate(NoiseEstimate estimate);

  /// Copies the fields into the controls (done whenever the dialog is shown).
  void LoadControls();
  /// Copies the controls into the fields, one by one; false after the prompt of the first that does not parse.
  bool StoreControls();

 public slots:
  /// Stores the fields, checks the channel count and that every plot's recording can take the band
  /// filter, updates every plot and closes; stays open on a refusal.
  void accept() override;
  /// Puts every field back as it was when the dialog opened and closes.
  void reject() override;

 protected:
  void showEvent(QShowEvent* event) override;

 private slots:
  void OnModeSelected(int index);
  void OnTypeSelected(int index);
  void OnBrowse();
  void OnFromNoise();
  void OnFilterSelected(int index);
  void UpdateSignWarning();

 private:
  void BuildControls();
  /// The group of labelled fields, edits `editWidth` pixels wide at least.
  QGroupBox* BuildPropertiesGroup(int editWidth, int spareColumnWidth);
  /// Wires the controls to their handlers.
  void ConnectControls();
  /// Shows `filter` in the filter's list and cut-off edits (editable for Custom only).
  void ShowFilter(const FilterChoice& filter);
  /// The filter the controls name; nullopt after the message naming the field that does not parse.
  std::optional<FilterChoice> FilterOfControls();

  ExtractionParameters& params_;
  IPlotCollection& plots_;
  ExtractionParameters opened_;  // the fields as they were when the dialog was shown
  QComboBox* modeCombo_ = nullptr;
  QComboBox* typeCombo_ = nullptr;
  QLineEdit* thresholdEdit_ = nullptr;
  QLineEdit* channelsEdit_ = nullptr;
  QLineEdit* spikePointsEdit_ = nullptr;
  QLineEdit* alignmentEdit_ = nullptr;
  QLineEdit* directoryEdit_ = nullptr;
  QComboBox* filterCombo_ = nullptr;
  QLineEdit* lowCutEdit_ = nullptr;
  QLineEdit* highCutEdit_ = nullptr;
  QString customLow_;   // the Custom band's cut-offs as last typed, kept while another band is chosen
  QString customHigh_;
  QLabel* signWarning_ = nullptr;
  QPushButton* browseButton_ = nullptr;
  QPushButton* fromNoiseButton_ = nullptr;
  NoiseEstimate noiseEstimate_;
  double noiseFactor_ = kDefaultNoiseFactor;
  QPushButton* okButton_ = nullptr;
  QPushButton* cancelButton_ = nullptr;
};

}  // namespace skelvane
