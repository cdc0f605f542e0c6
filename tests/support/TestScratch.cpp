#include "tests/support/TestScratch.h"

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <system_error>

namespace skelvane::test {

std::string TestScratch::Inherited() {
  const char* folder = std::getenv(kFolderVariable);
  const char* owner = std::getenv(kOwnerVariable);
  if (folder == nullptr || owner == nullptr || std::to_string(::getppid()) != owner) return {};
  std::error_code ec;
  return std::filesystem::is_directory(folder, ec) ? folder : std::string();
}

std::string TestScratch::TemporaryRoot() {
  const std::string inherited = Inherited();
  return inherited.empty() ? std::filesystem::temp_directory_path().string() : inherited;
}

}  // namespace skelvane::test
