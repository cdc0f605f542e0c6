#include "cli/FilterOption.h"

#include <CLI/CLI.hpp>

#include "platform/ReportError.h"

namespace skelvane::cli {
namespace {

const CLI::Validator kFilterText(
    [](std::string& text) {
      std::string refusal;
      return FilterSpec::Parse(text, refusal) ? std::string() : refusal;
    },
    FilterOption::kSpelling);

}  // namespace

CLI::Option* FilterOption::AddTo(CLI::App* cmd, const std::string& name, const std::string& description) {
  option = cmd->add_option(name, text, description)->check(kFilterText);
  return option;
}

FilterSpec FilterOption::Spec() const {
  std::string refusal;
  return FilterSpec::Parse(text, refusal).value_or(FilterSpec());
}

std::optional<FilterDesign> FilterOption::DesignFor(double samplingHz) const {
  std::string refusal;
  std::optional<FilterDesign> design = FilterDesign::For(Spec(), samplingHz, refusal);
  if (!design) ReportError(refusal, 0);
  return design;
}

}  // namespace skelvane::cli
