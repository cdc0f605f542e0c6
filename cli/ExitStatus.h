#pragma once
// The exit status every skelvane-cli command keeps, and the one text that describes it in every
// --help and in the README. Each command's callback throws CLI::RuntimeError(kExitFailed).

namespace skelvane::cli {

/// Every output was written (warnings on stderr do not change that).
inline constexpr int kExitSucceeded = 0;
/// An input was refused or an output could not be written.
inline constexpr int kExitFailed = 1;

/// The exit status as every --help and the README describe it; usage errors keep CLI11's own codes,
/// which all lie above 100.
inline constexpr const char* kExitStatusHelp =
    "Exit status: 0 when every output was written, warnings included; 1 when an input was refused or an\n"
    "output could not be written; above 100 for a usage error (nothing is then read or written).";

}  // namespace skelvane::cli
