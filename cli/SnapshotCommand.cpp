// The `snapshot` subcommand: renders CSC files as the main window would show them at a given size
// and writes the picture as a bitmap file (or PNG for a .png name), without a screen.
#include <CLI/CLI.hpp>

#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "cli/CommandRegistry.h"
#include "cli/ExitStatus.h"
#include "cli/ExtractionOptions.h"
#include "cli/FilterOption.h"
#include "cli/OutputName.h"
#include "cli/SessionInput.h"
#include "display/CanvasSnapshot.h"
#include "display/PlotChannels.h"
#include "display/ViewState.h"
#include "extract/ChannelFilter.h"
#include "extract/DetectionPreviewWorker.h"
#include "extract/ExtractionRun.h"
#include "platform/BitmapFileWriter.h"
#include "platform/FileIdentity.h"
#include "platform/MemoryBitmap.h"
#include "platform/PngFileWriter.h"
#include "platform/ReportError.h"
#include "session/SessionRestore.h"
#include "spikes/DataFileGuard.h"
#include "spikes/SpikeMarks.h"

namespace skelvane::cli {
namespace {

struct SnapshotArguments {
  SnapshotOptions options;
  std::string output;
  int64_t start = 0;
  int64_t span = 0;
  bool noCache = false;
  bool showSpikes = false;
  std::string session;
  ExtractionOptions detection;
  FilterOption filter;
};

// The marks of the spikes a run with the detection options would write from the snapshot's plots,
// found by the same preview the window uses.
// A band filter some recording cannot take sets `refused` (after its message) and marks nothing.
SnapshotSpikeMarks MarksFor(const ExtractionOptions& detection, const FilterChoice& filter,
                            std::shared_ptr<bool> refused) {
  return [detection, filter, refused](IPlotCollection& plots, IDataSourceManager& sources, int64_t start,
                                      int64_t end) {
    ExtractionRun run(sources);
    detection.ApplyTo(run.Parameters());
    run.Parameters().Filter = filter;
    if (std::string refusal; !ChannelFilter::ForChannels(filter, PlotChannels::Of(plots), refusal)) {
      ReportError(refusal, 0);
      *refused = true;
      return std::make_shared<const SpikeMarks>();
    }
    DetectionPreviewWorker worker;
    worker.Configure(run.Parameters(),
                     DetectionPreviewWorker::Locate(sources, run.GroupsToWrite(PlotChannels::Of(plots))));
    worker.Show(start, end);
    worker.Wait();
    std::shared_ptr<const SpikeMarks> marks = worker.Marks();
    return marks != nullptr ? marks : std::make_shared<const SpikeMarks>();
  };
}

void Run(const SnapshotArguments& args, const CLI::App& cmd) {
  SnapshotOptions options = args.options;
  if (cmd.count("--start") > 0) options.visibleStart = args.start;
  if (cmd.count("--span") > 0) options.visibleSpan = args.span;
  options.keepSummaries = !args.noCache;
  if (!args.session.empty()) {
    // The session's recordings, looks and view, drawn on its canvas's size unless one is given.
    auto input = std::make_shared<SessionInput>();
    if (!input->Load(args.session)) throw CLI::RuntimeError(kExitFailed);
    options.files = input->paths;
    if (cmd.count("--width") == 0) options.width = input->session.view.canvasWidth;
    if (cmd.count("--height") == 0) options.height = input->session.view.canvasHeight;
    if (options.width <= 0 || options.height <= 0) {
      throw CLI::ValidationError("--width/--height", "the session holds no canvas size: give both");
    }
    options.arrange = [input](IPlotCanvas& canvas, ViewState& view, IPlotCollection& plots) {
      std::vector<std::string> problems;
      SessionRestore::ApplyDisplay(input->session, input->paths, canvas, view, plots, problems);
      for (const std::string& problem : problems) ReportError("snapshot: " + problem, 0);
    };
  } else if (options.files.empty() || options.width <= 0 || options.height <= 0) {
    throw CLI::RequiredError("files, --width and --height (or --session)");
  }
  options.filter = args.filter.Choice();
  auto refused = std::make_shared<bool>(false);
  if (args.showSpikes) options.spikeMarks = MarksFor(args.detection, args.filter.Choice(), refused);
  // Replacing an input would destroy the very recording the picture is of.
  std::vector<std::string> inputs = options.files;
  if (!args.session.empty()) inputs.push_back(args.session);
  if (FileIdentity::IsOneOf(args.output, inputs)) {
    ReportFileError(kOutputIsInputMessage, 0, args.output, 0);
    throw CLI::RuntimeError(kExitFailed);
  }
  // Nor may it take the place of any other recording or spike file (a typo in a pattern).
  if (!DataFileGuard::MayWrite(args.output)) throw CLI::RuntimeError(kExitFailed);
  MemoryBitmap frame;
  ViewState view;
  // Files that cannot be opened, or that changed while they were drawn, have been reported.
  if (CanvasSnapshot::Render(options, frame, &view) != 0) {
    ReportError("snapshot: nothing written", 0);
    throw CLI::RuntimeError(kExitFailed);
  }
  if (*refused) throw CLI::RuntimeError(kExitFailed);
  // As the window's scrollbar does, the view is held within the data: a start outside it is said.
  if (options.visibleStart && view.VisibleStart != *options.visibleStart) {
    ReportError("snapshot: --start " + std::to_string(*options.visibleStart) + " us would show " +
                    (*options.visibleStart < view.VisibleStart ? "before" : "after") + " the data (" +
                    std::to_string(view.DataStart) + " to " + std::to_string(view.DataEnd) +
                    " us with its margins); the picture starts at " + std::to_string(view.VisibleStart) + " us",
                0);
  }
  const int32_t rc = PngFileWriter::HasPngSuffix(args.output) ? PngFileWriter::WritePngFile(args.output, frame)
                                                               : BitmapFileWriter::WriteBitmapFile(args.output, frame);
  if (rc != 0) throw CLI::RuntimeError(kExitFailed);
  std::printf("%s (%d x %d)\n", args.output.c_str(), frame.Width(), frame.Height());
}

const CommandRegistry::Registration kRegistration([](CLI::App& app) {
  auto args = std::make_shared<SnapshotArguments>();
  CLI::App* cmd = app.add_subcommand("snapshot", "Render CSC files as the main window shows them into a .bmp or .png file");
  cmd->footer(kExitStatusHelp);
  CLI::Option* files = cmd->add_option("files", args->options.files, "CSC files, one plot each, top to bottom")
                           ->check(CLI::ExistingFile);
  cmd->add_option("--width", args->options.width, "Canvas width in pixels (with --session: the session's)")
      ->check(CLI::Range(1, CanvasSnapshot::kMaxSide));
  cmd->add_option("--height", args->options.height, "Canvas height in pixels (with --session: the session's)")
      ->check(CLI::Range(1, CanvasSnapshot::kMaxSide));
  cmd->add_option("-o,--output", args->output, "Image to write: PNG for a .png name, else BMP (replaced when it exists, unless it is a recording or a "
                 "spike file)")
      ->required()
      ->check(OutputName::Check());
  CLI::Option* start =
      cmd->add_option("--start", args->start,
                      "Time at the left edge in microseconds (default: start of the data); held within the data, as the "
                      "window's scrollbar holds it, and said on stderr when that moves it");
  CLI::Option* span = cmd->add_option("--span", args->span, "Visible span in microseconds (default: all the data)")
                          ->check(CLI::PositiveNumber);
  cmd->add_option("--session", args->session,
                  "Draw a saved session (.skvs): its recordings, plots, view, axes, cursors and markers, as the "
                  "window shows it after opening it")
      ->check(CLI::ExistingFile)
      ->excludes(files)
      ->excludes(start)
      ->excludes(span);
  cmd->add_flag("--no-cache", args->noCache,
                "Build the summaries of long spans in memory: neither read nor keep them in the summary cache "
                "($XDG_CACHE_HOME/skelvane)");
  CLI::Option* showSpikes = cmd->add_flag(
      "--show-spikes", args->showSpikes,
      "Mark the spikes that extract with the options below would write, at their peaks (nothing else changes)");
  args->detection.AddTo(cmd, false);
  args->filter.AddTo(cmd, "--filter",
                     std::string("Band filter the traces are drawn through: ") + FilterOption::kSpelling +
                         " (cut-offs in Hz; default none). With --show-spikes the spikes are detected on the "
                         "filtered samples, as extract --filter detects them");
  args->detection.Need(showSpikes);
  cmd->callback([args, cmd] {
    if (args->showSpikes) args->detection.RequireDetection();
    Run(*args, *cmd);
  });
});

}  // namespace
}  // namespace skelvane::cli
