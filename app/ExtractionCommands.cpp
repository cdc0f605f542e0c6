#include "app/ExtractionCommands.h"

#include "app/ExtractionProgressDialog.h"
#include "app/Preferences.h"
#include "extract/ExtractionRun.h"
#include "extract/view/SpikeExtractPropsDlg.h"

namespace skelvane {

ExtractionCommands::ExtractionCommands(IPlotCollection& plots, IDataSourceManager& sources)
    : plots_(plots), run_(std::make_unique<ExtractionRun>(plots, sources)) {
  Preferences::LoadExtractionParameters(run_->Parameters());
}

ExtractionCommands::~ExtractionCommands() = default;

void ExtractionCommands::CreateSpikeFile(QWidget& parent) { ExtractionProgressDialog::RunCommand(*run_, &parent); }

void ExtractionCommands::ShowProperties(QWidget& parent) {
  SpikeExtractPropsDlg dialog(run_->Parameters(), plots_, &parent);
  dialog.SetNoiseEstimate(
      [this](double factor, double& noiseLevel) { return run_->NoiseThresholdOfPlots(factor, noiseLevel); });
  dialog.exec();
}

}  // namespace skelvane
