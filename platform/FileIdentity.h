#pragma once
// Which file a name leads to (device and inode, links followed), so a command can tell that an
// output would replace one of its own inputs under another name. Used by the snapshot and extraction.

#include <sys/types.h>

#include <optional>
#include <string>
#include <vector>

namespace skelvane {

/// Reported, with the output's path, when an output is one of the inputs; nothing is then written.
inline constexpr const char* kOutputIsInputMessage = "This output is one of the input files; nothing written:";

class FileIdentity {
 public:
  /// The file `path` leads to, or none when nothing is there.
  static std::optional<FileIdentity> Of(const std::string& path);
  /// True when `output` leads to the same file as one of `inputs` (whatever the names).
  static bool IsOneOf(const std::string& output, const std::vector<std::string>& inputs);

  /// True for the same device and inode.
  bool operator==(const FileIdentity& other) const = default;

 private:
  FileIdentity(dev_t device, ino_t inode) : device_(device), inode_(inode) {}

  dev_t device_;
  ino_t inode_;
};

}  // namespace skelvane
