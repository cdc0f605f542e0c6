#pragma once
// How a session names its files: relative to the session file's folder when they lie below it (so the
// folder can move as a whole), else absolute; and where they are looked for when they moved. Used by
// SessionFile's callers: the window's session commands and the CLI.

#include <functional>
#include <string>
#include <vector>

namespace skelvane {

class SessionPaths {
 public:
  /// `path` as a session in `sessionFolder` stores it.
  static std::string Stored(const std::string& path, const std::string& sessionFolder);
  /// A stored path as a path to open: relative ones from `sessionFolder`.
  static std::string Resolved(const std::string& stored, const std::string& sessionFolder);

  /// Asked once, with the first missing file, for the folder the files moved to; empty: none.
  using FolderQuestion = std::function<std::string(const std::string& firstMissing)>;
  /// Resolves every stored path; when some are missing, asks `ask` (when given) for their new folder
  /// once and looks for each missing one there by its name. The paths to open, in order, and in
  /// `missing` those still not found (they keep their resolved paths in the result).
  static std::vector<std::string> Locate(const std::vector<std::string>& stored, const std::string& sessionFolder,
                                         const FolderQuestion& ask, std::vector<std::string>& missing);
};

}  // namespace skelvane
