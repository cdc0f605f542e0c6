#pragma once
// A file chooser for tests: answers Save As with a path the test chose (or cancels) and remembers
// the titles it was asked with.

#include <optional>
#include <string>
#include <vector>

#include "platform/FileChooser.h"

namespace skelvane::test {

class FakeFileChooser final : public FileChooser {
 public:
  std::optional<std::vector<std::string>> OpenFiles(const std::string& title, const std::string&,
                                                    const std::vector<Filter>&, bool) override {
    titles.push_back(title);
    return std::nullopt;
  }
  std::optional<std::string> SaveFile(const std::string& title, const std::string&,
                                      const std::vector<Filter>&) override {
    titles.push_back(title);
    return savePath;
  }
  std::optional<std::string> ChooseFolder(const std::string& title, const std::string&) override {
    titles.push_back(title);
    return std::nullopt;
  }

  std::optional<std::string> savePath;
  std::vector<std::string> titles;
};

}  // namespace skelvane::test
