// Linked into every test program: before any test runs, XDG_CACHE_HOME points at a fresh folder of
// this process (removed at exit), so no test, and no library a test loads, writes to the user's cache.
// A death test's child takes its parent's folder (see TestScratch.h).
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <system_error>

#include "tests/support/TestScratch.h"

namespace {

using skelvane::test::TestScratch;

class IsolatedCacheHome {
 public:
  IsolatedCacheHome() {
    folder_ = TestScratch::Inherited();
    if (!folder_.empty()) return;  // the parent's, set in the environment already, removed by it
    std::string pattern = (std::filesystem::temp_directory_path() / "skelvane-cache-home-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) std::abort();  // better no tests than the user's cache
    folder_ = pattern;
    owned_ = true;
    ::setenv("XDG_CACHE_HOME", folder_.c_str(), 1);
    ::setenv(TestScratch::kFolderVariable, folder_.c_str(), 1);
    ::setenv(TestScratch::kOwnerVariable, std::to_string(::getpid()).c_str(), 1);
  }
  ~IsolatedCacheHome() {
    if (!owned_) return;
    std::error_code ignored;
    std::filesystem::remove_all(folder_, ignored);
  }

 private:
  std::string folder_;
  bool owned_ = false;
};

const IsolatedCacheHome kCacheHome;

}  // namespace
