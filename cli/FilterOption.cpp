#include "cli/FilterOption.h"

#include <CLI/CLI.hpp>


namespace skelvane::cli {
namespace {

const CLI::Validator kFilterText(
    [](std::string& text) {
      std::string refusal;
      return FilterChoice::Parse(text, refusal) ? std::string() : refusal;
    },
    FilterOption::kSpelling);

}  // namespace

CLI::Option* FilterOption::AddTo(CLI::App* cmd, const std::string& name, const std::string& description) {
  option = cmd->add_option(name, text, description)->check(kFilterText);
  return option;
}

FilterChoice FilterOption::Choice() const {
  std::string refusal;
  return FilterChoice::Parse(text, refusal).value_or(FilterChoice());
}

}  // namespace skelvane::cli
