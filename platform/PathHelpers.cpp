#include "platform/PathHelpers.h"

#include <filesystem>
#include <system_error>

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

std::string AbsolutePathOf(std::string_view path) {
  if (path.empty()) return {};
  std::error_code error;
  std::filesystem::path absolute = std::filesystem::absolute(std::filesystem::path(path), error);
  if (error) absolute = std::filesystem::path(path);
  std::string text = absolute.lexically_normal().string();
  // "/data/" names the folder "/data".
  if (text.size() > 1 && text.back() == '/') text.pop_back();
  return text;
}

}  // namespace skelvane
