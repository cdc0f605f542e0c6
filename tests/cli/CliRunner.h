#pragma once
// Runs the built skelvane-cli with arguments and collects its exit status, stdout and stderr, so the
// command tests check what a user would see.

#include <sys/wait.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "tests/support/TempDir.h"

namespace skelvane::test {

struct CliRun {
  int status = -1;
  std::string out;
  std::string err;
};

/// Quotes `text` for the shell.
inline std::string ShellQuote(const std::string& text) {
  std::string quoted = "'";
  for (const char c : text) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
}

/// Runs skelvane-cli with `args`; its stdout and stderr go to files in `dir`.
inline CliRun RunCli(const std::vector<std::string>& args, const TempDir& dir) {
  std::string command = ShellQuote(SKELVANE_CLI_PATH);
  for (const std::string& a : args) command += " " + ShellQuote(a);
  command += " >" + ShellQuote(dir.File("cli.out")) + " 2>" + ShellQuote(dir.File("cli.err"));
  CliRun run;
  const int raw = std::system(command.c_str());
  run.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  const auto slurp = [](const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  };
  run.out = slurp(dir.File("cli.out"));
  run.err = slurp(dir.File("cli.err"));
  return run;
}

}  // namespace skelvane::test
