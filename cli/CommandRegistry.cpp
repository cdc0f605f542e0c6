#include "cli/CommandRegistry.h"

namespace skelvane::cli {

std::vector<CommandSetup>& CommandRegistry::Setups() {
  static std::vector<CommandSetup> setups;
  return setups;
}

}  // namespace skelvane::cli
