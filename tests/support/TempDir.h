#pragma once
// A fresh directory under the system temp folder, removed with everything in it at the end of a test.

#include <string>

namespace skelvane::test {

class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::string& Path() const { return path_; }
  /// The path of `name` inside the directory.
  std::string File(const std::string& name) const { return path_ + "/" + name; }
  /// Writes `bytes` to `name` and returns its path.
  std::string Write(const std::string& name, const std::string& bytes) const;

 private:
  std::string path_;
};

}  // namespace skelvane::test
