// The `markers` subcommand: prints the markers of a saved session, times on the one clock (from the
// first record of the session's recordings), as a list or as the CSV the window's panel exports.
#include <CLI/CLI.hpp>

#include <cstdio>
#include <memory>
#include <string>

#include "cli/CommandRegistry.h"
#include "cli/ExitStatus.h"
#include "cli/SessionInput.h"
#include "datafile/DataSourceManager.h"
#include "display/RecordingClock.h"
#include "platform/ReportError.h"
#include "session/MarkerCsv.h"

namespace skelvane::cli {
namespace {

struct MarkersArguments {
  std::string session;
  bool csv = false;
};

void Run(const MarkersArguments& args) {
  SessionInput input;
  if (!input.Load(args.session)) throw CLI::RuntimeError(kExitFailed);
  // The clock counts from the first record of the recordings, as the window's does with them open.
  DataSourceManager manager;
  for (const std::string& path : input.paths) {
    if (manager.OpenSource(path) != 0) {
      ReportError("This data file could not be opened: " + path, 0);
      throw CLI::RuntimeError(kExitFailed);
    }
  }
  const RecordingClock clock = RecordingClock::Of(manager, 0);
  if (args.csv) {
    std::fputs(MarkerCsv::Text(input.session.markers, clock).c_str(), stdout);
    return;
  }
  for (const MarkerSet::Marker& marker : input.session.markers) {
    std::printf("%s  %s  %s\n", clock.Clock(marker.timestamp, RecordingClock::kReadingDecimals).c_str(),
                marker.plot.empty() ? "(all)" : marker.plot.c_str(), marker.text.c_str());
  }
}

const CommandRegistry::Registration kRegistration([](CLI::App& app) {
  auto args = std::make_shared<MarkersArguments>();
  CLI::App* cmd = app.add_subcommand("markers", "Print the markers of a saved session (.skvs)");
  cmd->footer(kExitStatusHelp);
  cmd->add_option("session", args->session, "Session file")->required()->check(CLI::ExistingFile);
  cmd->add_flag("--csv", args->csv,
                "CSV as the window exports it: timestamp_us,time_s,plot,text (time_s on the recordings' clock)");
  cmd->callback([args] { Run(*args); });
});

}  // namespace
}  // namespace skelvane::cli
