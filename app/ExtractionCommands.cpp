#include "app/ExtractionCommands.h"

#include "app/ExtractionProgressDialog.h"
#include "app/Preferences.h"
#include "app/SpikeExtractPropsDlg.h"
#include "display/PlotChannels.h"
#include "extract/ExtractionRun.h"

namespace skelvane {

ExtractionCommands::ExtractionCommands(IPlotCollection& plots, IDataSourceManager& sources)
    : plots_(plots), run_(std::make_unique<ExtractionRun>(sources)) {
  Preferences::LoadExtractionParameters(run_->Parameters());
}

ExtractionCommands::~ExtractionCommands() = default;

void ExtractionCommands::CreateSpikeFile(QWidget& parent) {
  std::vector<ChannelSource> channels;
  PlotChannels::Collect(plots_, channels, true);  // a plot that cannot be had ends the list there
  ExtractionProgressDialog::RunCommand(*run_, channels, &parent);
}

void ExtractionCommands::ShowProperties(QWidget& parent) {
  SpikeExtractPropsDlg dialog(run_->Parameters(), plots_, &parent);
  dialog.SetNoiseEstimate(
      [this](double factor, double& noiseLevel, std::string& refusal) {
        return run_->NoiseThresholdOfChannels(PlotChannels::Of(plots_), factor, noiseLevel, refusal);
      });
  dialog.exec();
}

}  // namespace skelvane
