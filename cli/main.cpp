// skelvane-cli: the headless entry to Skelvane (inspect, generate, render and extract recordings).
#include <CLI/CLI.hpp>

#include "cli/CommandRegistry.h"
#include "cli/ExitStatus.h"
#include "platform/TerminationSignals.h"

int main(int argc, char** argv) {
  // A signal that ends the tool leaves no temporary file behind; a closed stdout stops only the printing.
  skelvane::TerminationSignals::Install();
  CLI::App app{"Skelvane command-line tool: inspect, generate, render and extract CSC recordings"};
  app.set_version_flag("--version", "skelvane-cli 3.01");
  app.require_subcommand(1);
  app.footer(skelvane::cli::kExitStatusHelp);
  for (const auto& setup : skelvane::cli::CommandRegistry::Setups()) setup(app);
  CLI11_PARSE(app, argc, argv);
  return skelvane::cli::kExitSucceeded;
}
