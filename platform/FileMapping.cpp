#include "platform/FileMapping.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

namespace skelvane {

FileMapping::~FileMapping() { Unmap(); }

int32_t FileMapping::Map(int descriptor) {
  Unmap();
  struct stat st {};
  if (::fstat(descriptor, &st) != 0) return errno;
  if (st.st_size <= 0) return EINVAL;  // nothing to map
  if (static_cast<uint64_t>(st.st_size) > SIZE_MAX) return EFBIG;
  void* view = ::mmap(nullptr, static_cast<size_t>(st.st_size), PROT_READ, MAP_SHARED, descriptor, 0);
  if (view == MAP_FAILED) return errno;
  data_ = static_cast<const uint8_t*>(view);
  size_ = static_cast<std::size_t>(st.st_size);
  return 0;
}

int32_t FileMapping::MapPath(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return errno;
  const int32_t rc = Map(fd);
  ::close(fd);
  return rc;
}

void FileMapping::Unmap() {
  if (data_ != nullptr) ::munmap(const_cast<uint8_t*>(data_), size_);
  data_ = nullptr;
  size_ = 0;
}

}  // namespace skelvane
