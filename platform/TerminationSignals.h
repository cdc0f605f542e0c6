#pragma once
// What the signals that end a process do to Skelvane: the temporary files of unfinished outputs are
// removed, then the process ends by the same signal. Installed by skelvane-cli and the window at start.

#include <signal.h>

#include <array>

namespace skelvane {

class TerminationSignals {
 public:
  /// The signals that end a process by default and that a process can catch.
  static constexpr std::array<int, 7> kSignals = {SIGHUP, SIGINT, SIGQUIT, SIGTERM, SIGALRM, SIGUSR1, SIGUSR2};

  /// Gives each of kSignals not ignored from the start (as under nohup) a handler that removes the
  /// pending temporary files and ends the process by that signal, as if it had never been caught.
  /// Writing to a closed pipe (stdout read by `head`) then fails instead of ending the process.
  static void Install();
  /// Adds to `set` each of kSignals not ignored: those a signal watcher may take.
  static void AddHandled(sigset_t& set);
  /// Removes the pending temporary files and ends the process by `signalNumber` with its default
  /// action (a shell reports 128 + the number). For a signal taken by a watcher instead of a handler.
  [[noreturn]] static void EndBy(int signalNumber);
};

}  // namespace skelvane
