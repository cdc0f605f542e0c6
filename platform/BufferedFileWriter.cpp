#include "platform/BufferedFileWriter.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace skelvane {

BufferedFileWriter::BufferedFileWriter(std::size_t capacity) : buffer_(std::max<std::size_t>(capacity, 1)) {}

BufferedFileWriter::~BufferedFileWriter() { Discard(); }

int32_t BufferedFileWriter::Open(const std::string& path) {
  Discard();
  used_ = 0;
  accepted_ = 0;
  error_ = 0;
  return file_.Open(path);
}

bool BufferedFileWriter::Write(const void* data, std::size_t count) {
  if (error_ != 0) return false;
  if (!file_.IsOpen()) {
    error_ = EBADF;
    return false;
  }
  accepted_ += static_cast<int64_t>(count);
  if (count <= buffer_.size() - used_) {
    std::memcpy(buffer_.data() + used_, data, count);
    used_ += count;
    return true;
  }
  if (!Flush()) return false;
  if (count >= buffer_.size()) return WriteThrough(data, count);
  std::memcpy(buffer_.data(), data, count);
  used_ = count;
  return true;
}

bool BufferedFileWriter::Flush() {
  if (error_ != 0) return false;
  if (used_ == 0) return true;
  const std::size_t pending = used_;
  used_ = 0;
  return WriteThrough(buffer_.data(), pending);
}

int32_t BufferedFileWriter::Close() {
  if (!file_.IsOpen()) return error_;
  Flush();
  used_ = 0;
  if (error_ != 0) {
    file_.Discard();
    return error_;
  }
  error_ = file_.Commit();
  return error_;
}

void BufferedFileWriter::Discard() {
  used_ = 0;
  file_.Discard();
}

bool BufferedFileWriter::WriteThrough(const void* data, std::size_t count) {
  if (file_.Write(data, static_cast<int64_t>(count))) return true;
  error_ = file_.LastError() != 0 ? file_.LastError() : EIO;
  return false;
}

}  // namespace skelvane
