#pragma once
// The check every option that names an output file takes: an empty name is a usage error said as
// such (it would otherwise reach the writer as a folder). Used by snapshot, spikes, filter and extract.

#include <CLI/CLI.hpp>

namespace skelvane::cli {

/// The words of the refusal, after the option's name.
inline constexpr const char* kEmptyOutputNameMessage = "The output file name is empty";

class OutputName {
 public:
  /// The validator to add with CLI::Option::check.
  static const CLI::Validator& Check();
};

}  // namespace skelvane::cli
