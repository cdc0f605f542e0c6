#pragma once
// The scratch folder of a test program: made for it before any test runs (see IsolatedCacheHome.cpp)
// and removed when it exits. A death test runs the program again in a child process that dies without
// unwinding; such a child uses its parent's folder, so whatever it makes goes when the parent does.

#include <string>

namespace skelvane::test {

class TestScratch {
 public:
  /// Environment variables naming the folder and the process that made it.
  static constexpr const char* kFolderVariable = "SKELVANE_TEST_SCRATCH";
  static constexpr const char* kOwnerVariable = "SKELVANE_TEST_SCRATCH_OWNER";

  /// The folder this process inherited from the test program that started it, or "" when it was not
  /// started by one.
  static std::string Inherited();
  /// Where a temporary folder of a test goes: the inherited scratch folder in a child of a test
  /// program, else the system's temporary folder.
  static std::string TemporaryRoot();
};

}  // namespace skelvane::test
