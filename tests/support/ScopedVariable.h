#pragma once
// Sets an environment variable for the life of a scope and puts the earlier value (or its absence)
// back afterwards. Used by tests that point the user's folders into their own temporary folder.

#include <cstdlib>
#include <optional>
#include <string>

namespace skelvane::test {

class ScopedVariable {
 public:
  ScopedVariable(const char* name, const std::string& value) : name_(name) {
    if (const char* old = std::getenv(name)) previous_ = old;
    ::setenv(name, value.c_str(), 1);
  }
  ~ScopedVariable() {
    if (previous_) {
      ::setenv(name_, previous_->c_str(), 1);
    } else {
      ::unsetenv(name_);
    }
  }
  ScopedVariable(const ScopedVariable&) = delete;
  ScopedVariable& operator=(const ScopedVariable&) = delete;

 private:
  const char* name_;
  std::optional<std::string> previous_;
};

}  // namespace skelvane::test
