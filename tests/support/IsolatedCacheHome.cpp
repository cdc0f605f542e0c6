// Linked into every test program: before any test runs, XDG_CACHE_HOME points at a fresh folder of
// this process (removed at exit), so no test, and no library a test loads, writes to the user's cache.
#include <cstdlib>
#include <filesystem>
#include <string>
#include <system_error>

namespace {

class IsolatedCacheHome {
 public:
  IsolatedCacheHome() {
    std::string pattern = (std::filesystem::temp_directory_path() / "skelvane-cache-home-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) std::abort();  // better no tests than the user's cache
    folder_ = pattern;
    ::setenv("XDG_CACHE_HOME", folder_.c_str(), 1);
  }
  ~IsolatedCacheHome() {
    std::error_code ignored;
    std::filesystem::remove_all(folder_, ignored);
  }

 private:
  std::string folder_;
};

const IsolatedCacheHome kCacheHome;

}  // namespace
