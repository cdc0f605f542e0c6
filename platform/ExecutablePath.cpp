#include "platform/ExecutablePath.h"

#include <unistd.h>

#include <vector>

#include "platform/PathHelpers.h"

namespace skelvane {
namespace {

constexpr const char* kSelfLink = "/proc/self/exe";
constexpr std::size_t kFirstBufferSize = 256;
constexpr std::size_t kLargestBufferSize = 1 << 16;

}  // namespace

std::string ExecutablePath::Path() {
  // readlink does not say how long the target is: grow the buffer until the text fits.
  for (std::size_t size = kFirstBufferSize; size <= kLargestBufferSize; size *= 2) {
    std::vector<char> buffer(size);
    const ssize_t n = ::readlink(kSelfLink, buffer.data(), buffer.size());
    if (n < 0) return {};
    if (static_cast<std::size_t>(n) < buffer.size()) return std::string(buffer.data(), static_cast<std::size_t>(n));
  }
  return {};
}

std::string ExecutablePath::Folder() { return FolderOf(Path()); }

}  // namespace skelvane
