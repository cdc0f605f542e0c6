#include "fuzz/FuzzScratch.h"

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <system_error>

#include "platform/File.h"
#include "platform/ReportError.h"

namespace skelvane::fuzz {

const std::string& FuzzScratch::Folder() {
  // Never destroyed: the exit handler that removes the folder runs after static destructors.
  static const std::string* const folder = [] {
    std::string pattern = (std::filesystem::temp_directory_path() / "skelvane-fuzz-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) std::abort();
    SetReportSink([](const std::string&) {});
    // Summaries the targets make are kept here, not in the user's cache.
    ::setenv("XDG_CACHE_HOME", (pattern + "/cache").c_str(), 1);
    std::atexit([] {
      std::error_code ignored;
      std::filesystem::remove_all(Folder(), ignored);
    });
    return new std::string(pattern);
  }();
  return *folder;
}

std::string FuzzScratch::WriteFile(const std::string& name, const uint8_t* data, std::size_t size) {
  const std::string path = Folder() + "/" + name;
  File out;
  if (out.Open(path, File::Mode::CreateWrite) != 0) std::abort();
  if (size > 0 && !out.Write(data, static_cast<int64_t>(size))) std::abort();
  return path;
}

std::string FuzzScratch::EmptyFolder(const std::string& name) {
  const std::filesystem::path path = std::filesystem::path(Folder()) / name;
  std::error_code ignored;
  std::filesystem::remove_all(path, ignored);
  std::filesystem::create_directories(path, ignored);
  return path.string();
}

}  // namespace skelvane::fuzz
