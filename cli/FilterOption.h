#pragma once
// A band filter as the commands take it, spelled none|spike|lfp|LO:HI (LO: or :HI for one open side):
// checked while the command line is parsed, so text that does not parse is a usage error whose
// message names the field. Used by `filter --response` and by the commands' --filter.

#include <string>

#include "filter/FilterChoice.h"

namespace CLI {
class App;
class Option;
}  // namespace CLI

namespace skelvane::cli {

struct FilterOption {
  /// The spelling every command's help gives.
  static constexpr const char* kSpelling = "none|spike|lfp|LO:HI";

  std::string text = "none";
  CLI::Option* option = nullptr;

  /// Adds the option `name` (e.g. "--filter") to `cmd` with `description`, checked as it is parsed.
  CLI::Option* AddTo(CLI::App* cmd, const std::string& name, const std::string& description);
  /// The filter given (the text has passed the check).
  FilterChoice Choice() const;
};

}  // namespace skelvane::cli
