#include "session/SessionPaths.h"

#include <filesystem>
#include <system_error>

namespace skelvane {
namespace {

namespace fs = std::filesystem;

bool Exists(const std::string& path) {
  std::error_code error;
  return fs::is_regular_file(path, error);
}

}  // namespace

std::string SessionPaths::Stored(const std::string& path, const std::string& sessionFolder) {
  if (path.empty()) return path;
  const fs::path absolute = fs::absolute(path).lexically_normal();
  const fs::path folder = fs::absolute(sessionFolder).lexically_normal();
  const fs::path relative = absolute.lexically_relative(folder);
  // Above the folder ("../x") the file does not move with it: kept absolute.
  if (relative.empty() || *relative.begin() == "..") return absolute.string();
  return relative.string();
}

std::string SessionPaths::Resolved(const std::string& stored, const std::string& sessionFolder) {
  if (stored.empty()) return stored;
  const fs::path path(stored);
  if (path.is_absolute()) return path.lexically_normal().string();
  return (fs::path(sessionFolder) / path).lexically_normal().string();
}

std::vector<std::string> SessionPaths::Locate(const std::vector<std::string>& stored, const std::string& sessionFolder,
                                              const FolderQuestion& ask, std::vector<std::string>& missing) {
  std::vector<std::string> paths;
  std::vector<std::size_t> gone;
  for (const std::string& entry : stored) {
    paths.push_back(Resolved(entry, sessionFolder));
    if (!Exists(paths.back())) gone.push_back(paths.size() - 1);
  }
  missing.clear();
  if (gone.empty()) return paths;
  const std::string folder = ask ? ask(paths[gone.front()]) : std::string();
  for (const std::size_t index : gone) {
    const fs::path candidate = fs::path(folder) / fs::path(paths[index]).filename();
    if (!folder.empty() && Exists(candidate.string())) {
      paths[index] = candidate.lexically_normal().string();
    } else {
      missing.push_back(paths[index]);
    }
  }
  return paths;
}

}  // namespace skelvane
