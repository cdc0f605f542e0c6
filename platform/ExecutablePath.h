#pragma once
// Where the running program lives (the link /proc/self/exe points at). The settings file is kept
// beside the executable.

#include <string>

namespace skelvane {

class ExecutablePath {
 public:
  /// Full path of the running executable; empty when it cannot be read.
  static std::string Path();
  /// The executable's folder: its path up to, not including, the last '/'.
  static std::string Folder();
};

}  // namespace skelvane
