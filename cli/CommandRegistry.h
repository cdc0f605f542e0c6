#pragma once
// Subcommands of skelvane-cli register themselves here at start-up (one *Command.cpp each), so a new
// command is a new file and main() never changes.

#include <functional>
#include <vector>

namespace CLI {
class App;
}

namespace skelvane::cli {

/// Adds one subcommand (options and callback) to the application.
using CommandSetup = std::function<void(CLI::App& app)>;

class CommandRegistry {
 public:
  /// Every registered setup, in registration order.
  static std::vector<CommandSetup>& Setups();
  /// Registers a setup; use through a static Registration object.
  struct Registration {
    explicit Registration(CommandSetup setup) { Setups().push_back(std::move(setup)); }
  };
};

}  // namespace skelvane::cli
