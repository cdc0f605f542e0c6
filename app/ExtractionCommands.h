#pragma once
// The Spike Extraction menu's two commands over the window's extraction run: Create Spike File runs
// it behind a progress dialog, Properties edits its parameters. The parameters are remembered
// between runs of the program (Preferences). Owned by MainWindow; WindowCommands calls it.

#include <memory>

class QWidget;

namespace skelvane {

class ExtractionRun;
class IDataSourceManager;
class IPlotCollection;

class ExtractionCommands {
 public:
  /// A run over `plots` and their `sources`, with the parameters remembered last time.
  ExtractionCommands(IPlotCollection& plots, IDataSourceManager& sources);
  ~ExtractionCommands();

  /// The run, with the parameters the Properties dialog edits.
  ExtractionRun& Extraction() { return *run_; }

  /// Runs the extraction on other threads behind a progress dialog over `parent`, which ends with
  /// its completion message.
  void CreateSpikeFile(QWidget& parent);
  /// Shows the extraction properties dialog modally over `parent`; the plots' threshold overlays
  /// take the values it hands them.
  void ShowProperties(QWidget& parent);

 private:
  IPlotCollection& plots_;
  std::unique_ptr<ExtractionRun> run_;
};

}  // namespace skelvane
