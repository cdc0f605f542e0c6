#include "platform/File.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <utility>

namespace skelvane {

File::~File() { Close(); }

File::File(File&& other) noexcept
    : fd_(std::exchange(other.fd_, -1)),
      status_(other.status_),
      lastError_(other.lastError_),
      path_(std::move(other.path_)) {}

File& File::operator=(File&& other) noexcept {
  if (this != &other) {
    Close();
    fd_ = std::exchange(other.fd_, -1);
    status_ = other.status_;
    lastError_ = other.lastError_;
    path_ = std::move(other.path_);
  }
  return *this;
}

int32_t File::Open(const std::string& path, Mode mode, bool sequential) {
  Close();
  int flags = O_CLOEXEC;
  switch (mode) {
    // Without O_NONBLOCK, opening a FIFO waits for a writer: the check below must get its chance.
    case Mode::Read: flags |= O_RDONLY | O_NONBLOCK; break;
    case Mode::CreateWrite: flags |= O_WRONLY | O_CREAT | O_TRUNC; break;
    case Mode::CreateReadWrite: flags |= O_RDWR | O_CREAT | O_TRUNC; break;
  }
  int fd;
  do {
    fd = ::open(path.c_str(), flags, 0666);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) {
    lastError_ = errno;
    return lastError_;
  }
  struct stat st {};
  if (::fstat(fd, &st) != 0) {
    lastError_ = errno;
    ::close(fd);
    return lastError_;
  }
  // A directory opens read-only on Linux but is no file to read records from; a FIFO, socket or
  // device would block reads or cannot be mapped, so only regular files are read.
  if (mode == Mode::Read && !S_ISREG(st.st_mode)) {
    ::close(fd);
    lastError_ = S_ISDIR(st.st_mode) ? EISDIR : kErrorNotRegularFile;
    return lastError_;
  }
  // The status flags are the ones opened with, so clearing O_NONBLOCK needs no F_GETFL first.
  if (mode == Mode::Read && ::fcntl(fd, F_SETFL, flags & ~(O_NONBLOCK | O_CLOEXEC)) != 0) {
    lastError_ = errno;
    ::close(fd);
    return lastError_;
  }
  if (sequential) ::posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);
  fd_ = fd;
  status_ = st;
  path_ = path;
  lastError_ = 0;
  return 0;
}

void File::Adopt(int descriptor, const std::string& path) {
  Close();
  fd_ = descriptor;
  status_ = {};
  path_ = path;
  lastError_ = 0;
}

int32_t File::Close() {
  if (fd_ < 0) return 0;
  const int rc = ::close(fd_);
  fd_ = -1;
  status_ = {};
  if (rc != 0 && errno != EINTR) {
    lastError_ = errno;
    return lastError_;
  }
  return 0;
}

int64_t File::Read(void* buffer, int64_t count) {
  if (fd_ < 0) {
    lastError_ = EBADF;
    return -1;
  }
  auto* out = static_cast<char*>(buffer);
  int64_t done = 0;
  while (done < count) {
    const ssize_t n = ::read(fd_, out + done, static_cast<size_t>(count - done));
    if (n < 0) {
      if (errno == EINTR) continue;
      lastError_ = errno;
      return done > 0 ? done : -1;
    }
    if (n == 0) break;
    done += n;
  }
  return done;
}

int64_t File::ReadFullyAt(int descriptor, void* buffer, int64_t count, int64_t offset) {
  auto* out = static_cast<char*>(buffer);
  int64_t done = 0;
  while (done < count) {
    const ssize_t n =
        ::pread(descriptor, out + done, static_cast<size_t>(count - done), static_cast<off_t>(offset + done));
    if (n < 0) {
      if (errno == EINTR) continue;
      return -errno;
    }
    if (n == 0) break;
    done += n;
  }
  return done;
}

int64_t File::ReadAt(int64_t offset, void* buffer, int64_t count) {
  if (fd_ < 0) {
    lastError_ = EBADF;
    return -1;
  }
  const int64_t got = ReadFullyAt(fd_, buffer, count, offset);
  if (got < 0) lastError_ = static_cast<int>(-got);
  return got < 0 ? -1 : got;
}

bool File::Write(const void* buffer, int64_t count) {
  if (fd_ < 0) {
    lastError_ = EBADF;
    return false;
  }
  const auto* in = static_cast<const char*>(buffer);
  int64_t done = 0;
  while (done < count) {
    const ssize_t n = ::write(fd_, in + done, static_cast<size_t>(count - done));
    if (n < 0) {
      if (errno == EINTR) continue;
      lastError_ = errno;
      return false;
    }
    if (n == 0) {  // no progress: the device is full
      lastError_ = ENOSPC;
      return false;
    }
    done += n;
  }
  return true;
}

int64_t File::Seek(int64_t offset, Origin origin) {
  if (fd_ < 0) {
    lastError_ = EBADF;
    return -1;
  }
  const int whence = origin == Origin::Begin ? SEEK_SET : origin == Origin::Current ? SEEK_CUR : SEEK_END;
  const off_t pos = ::lseek(fd_, static_cast<off_t>(offset), whence);
  if (pos < 0) {
    lastError_ = errno;
    return -1;
  }
  return pos;
}

int64_t File::Position() const {
  if (fd_ < 0) return -1;
  return ::lseek(fd_, 0, SEEK_CUR);
}

int64_t File::Length() const {
  struct stat st {};
  if (fd_ < 0) {
    lastError_ = EBADF;
    return -1;
  }
  if (::fstat(fd_, &st) != 0) {
    lastError_ = errno;
    return -1;
  }
  return st.st_size;
}

}  // namespace skelvane
