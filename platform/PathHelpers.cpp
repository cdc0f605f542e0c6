#include "platform/PathHelpers.h"

namespace skelvane {

std::string FileNameOf(std::string_view path) {
  const auto slash = path.rfind('/');
  return std::string(slash == std::string_view::npos ? path : path.substr(slash + 1));
}

std::string FileTitleOf(std::string_view path) {
  const std::string name = FileNameOf(path);
  const auto dot = name.find('.');
  return dot == std::string::npos ? std::string() : name.substr(0, dot);
}

std::string FolderOf(std::string_view path) {
  const auto slash = path.rfind('/');
  return slash == std::string_view::npos ? std::string() : std::string(path.substr(0, slash));
}

}  // namespace skelvane
