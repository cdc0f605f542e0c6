#pragma once
// A session file named on the command line (`snapshot --session`, `extract --session`, `markers`): read,
// its recordings found, and what could not be restored reported as the window reports it. Batch runs
// ask nobody for a moved folder: a recording that is missing fails the command.

#include <string>
#include <vector>

#include "session/Session.h"

namespace skelvane::cli {

struct SessionInput {
  Session session;
  std::string folder;               // the session file's folder, relative paths start there
  std::vector<std::string> paths;   // the recordings to open, in order

  /// Reads the session at `path`; false when it could not be read or a recording is missing (every
  /// problem has been reported, one message naming the file).
  bool Load(const std::string& path);
};

}  // namespace skelvane::cli
