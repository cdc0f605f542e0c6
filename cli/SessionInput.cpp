#include "cli/SessionInput.h"

#include "platform/PathHelpers.h"
#include "session/SessionFile.h"
#include "session/SessionPaths.h"

namespace skelvane::cli {

bool SessionInput::Load(const std::string& path) {
  std::vector<std::string> problems;
  if (SessionFile::Read(path, session, problems) != SessionFile::Outcome::Read) return false;
  folder = FolderOf(AbsolutePathOf(path));
  std::vector<std::string> stored;
  for (const Session::Recording& recording : session.recordings) stored.push_back(recording.path);
  std::vector<std::string> missing;
  paths = SessionPaths::Locate(stored, folder, nullptr, missing);
  for (const std::string& gone : missing) problems.push_back("missing: " + gone);
  SessionFile::ReportProblems(path, problems);
  return missing.empty();
}

}  // namespace skelvane::cli
