#pragma once
// A file chooser for tests: answers Open and Save As with paths the test chose (or cancels) and
// remembers the titles, initial names and filters it was asked with.

#include <deque>
#include <optional>
#include <string>
#include <vector>

#include "platform/FileChooser.h"

namespace skelvane::test {

class FakeFileChooser final : public FileChooser {
 public:
  std::optional<std::vector<std::string>> OpenFiles(const std::string& title, const std::string& initialName,
                                                    const std::vector<Filter>&, bool) override {
    titles.push_back(title);
    openInitialNames.push_back(initialName);
    return openPaths;
  }
  std::optional<std::string> SaveFile(const std::string& title, const std::string&,
                                      const std::vector<Filter>& filters) override {
    titles.push_back(title);
    saveFilters = filters;
    if (!saveAnswers.empty()) {
      savePath = saveAnswers.front();
      saveAnswers.pop_front();
    }
    return savePath;
  }
  std::optional<std::string> ChooseFolder(const std::string& title, const std::string&) override {
    titles.push_back(title);
    return folderAnswer;
  }

  std::optional<std::string> savePath;
  std::deque<std::optional<std::string>> saveAnswers;  // the next answers to Save As, then savePath
  std::optional<std::vector<std::string>> openPaths;  // the answer to Open (cancel when empty)
  std::optional<std::string> folderAnswer;            // the answer to a folder chooser (cancel when empty)
  std::vector<Filter> saveFilters;                    // the filters Save As offered last
  std::vector<std::string> titles;
  std::vector<std::string> openInitialNames;  // where each Open was asked to start
};

}  // namespace skelvane::test
