#include "platform/FileIdentity.h"

#include <sys/stat.h>

namespace skelvane {

std::optional<FileIdentity> FileIdentity::Of(const std::string& path) {
  struct stat status {};
  if (::stat(path.c_str(), &status) != 0) return std::nullopt;
  return FileIdentity(status.st_dev, status.st_ino);
}

bool FileIdentity::IsOneOf(const std::string& output, const std::vector<std::string>& inputs) {
  const std::optional<FileIdentity> written = Of(output);
  if (!written) return false;
  for (const std::string& input : inputs) {
    if (Of(input) == written) return true;
  }
  return false;
}

}  // namespace skelvane
