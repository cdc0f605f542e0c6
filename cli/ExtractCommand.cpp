// The `extract` subcommand: runs "Create Spike File" headless over CSC files, one plot per file in
// the order given, exactly as the main window would with those files open.
#include <CLI/CLI.hpp>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "cli/CommandRegistry.h"
#include "datafile/DataSourceManager.h"
#include "display/PlotCanvas.h"
#include "display/PlotCollection.h"
#include "extract/ExtractionParameters.h"
#include "extract/ExtractionRun.h"
#include "platform/PathHelpers.h"
#include "platform/ReportError.h"

namespace skelvane::cli {
namespace {

constexpr const char* kNotAllOpenedMessage =
    "Not every data file could be opened; no spike files were written, so that no group mixes channels.";
constexpr const char* kNotOpenedMessage = "This data file could not be opened: ";

// Usage errors leave with the parser's own codes (above 100); 1 is kept for runs that went wrong.
constexpr const char* kExitStatusFooter =
    "Exit status: 0 when every group's spike file was written; 1 when a data file could not be opened\n"
    "or a spike file could not be written; above 100 for a usage error (nothing is then read or written).";

const std::map<std::string, int32_t> kModes = {{"threshold", kExtractionModeThreshold},
                                               {"slope", kExtractionModeSlope}};
const std::map<std::string, int32_t> kTypes = {
    {"positive", kExtractionTypePositive}, {"negative", kExtractionTypeNegative}, {"both", kExtractionTypeBoth}};

struct ExtractArguments {
  std::vector<std::string> files;
  int32_t channels = 0;
  double threshold = 0.0;
  std::string mode = "threshold";
  std::string type = "positive";
  std::string outdir;
};

// Messages go to stderr as usual; every one but the completion message counts as a failure.
class CountingSink {
 public:
  CountingSink()
      : previous_(SetReportSink([this](const std::string& text) {
          std::fprintf(stderr, "%s: %s\n", kMessageCaption, text.c_str());
          if (text != kExtractionCompletedMessage) ++failures_;
        })) {}
  ~CountingSink() { SetReportSink(previous_); }
  CountingSink(const CountingSink&) = delete;
  CountingSink& operator=(const CountingSink&) = delete;
  int Failures() const { return failures_; }

 private:
  int failures_ = 0;
  ReportSink previous_;
};

// The plots reach their sources through the canvas's shared pointers, as in the window.
class SharedPointers {
 public:
  SharedPointers(IDataSourceManager& manager, IPlotCollection& plots)
      : manager_(PlotCanvas::dataSourceManager), plots_(PlotCanvas::plotCollection) {
    PlotCanvas::dataSourceManager = &manager;
    PlotCanvas::plotCollection = &plots;
  }
  ~SharedPointers() {
    PlotCanvas::dataSourceManager = manager_;
    PlotCanvas::plotCollection = plots_;
  }
  SharedPointers(const SharedPointers&) = delete;
  SharedPointers& operator=(const SharedPointers&) = delete;

 private:
  IDataSourceManager* manager_;
  IPlotCollection* plots_;
};

// Opens one file as the window's start-up open does: the source, then a plot for it.
bool OpenWithPlot(const std::string& path, DataSourceManager& manager, PlotCollection& plots) {
  const int32_t before = manager.GetNumSources();
  if (manager.OpenSource(path) != 0 || manager.GetNumSources() == before) return false;
  int32_t type = 0;
  std::string sourcePath;
  if (manager.GetSourceFileType(before, type) != 0 || manager.GetSourcePath(before, sourcePath) != 0) return false;
  return plots.CreatePlot(FileTitleOf(sourcePath), type, sourcePath) == 0;
}

void Run(const ExtractArguments& args) {
  CountingSink sink;
  DataSourceManager manager;
  PlotCollection plots;
  SharedPointers shared(manager, plots);

  bool allOpened = true;
  for (const std::string& path : args.files) {
    if (OpenWithPlot(path, manager, plots)) continue;
    // The reader's own message does not say which of the files it was.
    ReportError(kNotOpenedMessage + path, 0);
    allOpened = false;
  }
  if (!allOpened) {
    // A missing file would shift every later file into the wrong group.
    ReportError(kNotAllOpenedMessage, 0);
    throw CLI::RuntimeError(1);
  }

  ExtractionRun run(plots, manager);
  ExtractionParameters& p = run.Parameters();
  p.NumChannels = args.channels;
  p.Threshold = args.threshold;
  p.ExtractionMode = kModes.at(args.mode);
  p.ExtractionType = kTypes.at(args.type);
  p.OutputDirectory = args.outdir;
  run.RunCreateSpikeFileCommand();

  for (const ExtractionRun::WrittenFile& file : run.WrittenFiles()) {
    std::printf("%s: %lld spikes%s\n", file.path.c_str(), static_cast<long long>(file.spikeCount),
                file.complete ? "" : " (incomplete)");
  }
  // As in the window, files after the last full group are not extracted; in a batch that must show.
  const std::size_t groupSize = static_cast<std::size_t>(args.channels);
  for (std::size_t i = args.files.size() - args.files.size() % groupSize; i < args.files.size(); ++i) {
    std::printf("%s: not extracted, too few files left for a group of %d\n", args.files[i].c_str(), args.channels);
  }
  std::fflush(stdout);
  if (sink.Failures() > 0) throw CLI::RuntimeError(1);
}

std::vector<std::string> Keys(const std::map<std::string, int32_t>& map) {
  std::vector<std::string> keys;
  for (const auto& entry : map) keys.push_back(entry.first);
  return keys;
}

// A threshold has to be a finite number: truncated for the detector, NaN would become 0.
const CLI::Validator kFiniteNumber(
    [](std::string& text) {
      char* end = nullptr;
      const double value = std::strtod(text.c_str(), &end);
      const bool finite = end != text.c_str() && *end == '\0' && std::isfinite(value);
      return finite ? std::string() : std::string("Not a finite number: ") + text;
    },
    "FINITE");

const CommandRegistry::Registration kRegistration([](CLI::App& app) {
  auto args = std::make_shared<ExtractArguments>();
  CLI::App* cmd = app.add_subcommand(
      "extract", "Extract spikes from CSC files into spike files, grouping consecutive files by --channels");
  cmd->footer(kExitStatusFooter);
  cmd->add_option("files", args->files, "CSC files, in display order")->required()->check(CLI::ExistingFile);
  cmd->add_option("--channels", args->channels, "Channels per group: 1, 2 or 4")
      ->required()
      ->check(CLI::IsMember({1, 2, 4}));
  cmd->add_option("--threshold", args->threshold, "Threshold in A/D counts (slope: counts per sample)")
      ->required()
      ->check(kFiniteNumber);
  cmd->add_option("--mode", args->mode, "Detect by amplitude or by slope")
      ->check(CLI::IsMember(Keys(kModes)))
      ->capture_default_str();
  cmd->add_option("--type", args->type, "Which side of the threshold counts")
      ->check(CLI::IsMember(Keys(kTypes)))
      ->capture_default_str();
  cmd->add_option("--outdir", args->outdir, "Folder for the spike files (default: beside each group's first file)")
      ->check(CLI::ExistingDirectory);
  cmd->callback([args] { Run(*args); });
});

}  // namespace
}  // namespace skelvane::cli
