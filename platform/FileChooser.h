#pragma once
// The file and folder choosers the core asks for (Open Data, Save As, the output folder). The
// application installs a Qt implementation; tests install fakes; without one every chooser cancels.

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace skelvane {

class FileChooser {
 public:
  /// One entry of a filter list: the text shown and the patterns it matches ("*.kcs").
  struct Filter {
    std::string description;
    std::vector<std::string> patterns;
  };

  virtual ~FileChooser() = default;

  /// Lets the user pick one or several existing files, starting in `initialName` when it is a folder
  /// (a plain name is preselected, one with wildcards narrows the list); nullopt when cancelled.
  virtual std::optional<std::vector<std::string>> OpenFiles(const std::string& title, const std::string& initialName,
                                                            const std::vector<Filter>& filters, bool multiple) = 0;
  /// Lets the user name a file to write; nullopt when cancelled. `defaultSuffix` has no dot ("bmp"):
  /// the type offered first (the filter of that extension) and added to a name typed without one.
  virtual std::optional<std::string> SaveFile(const std::string& title, const std::string& defaultSuffix,
                                              const std::vector<Filter>& filters) = 0;
  /// Lets the user pick a folder, starting at `start`; nullopt when cancelled.
  virtual std::optional<std::string> ChooseFolder(const std::string& title, const std::string& start) = 0;

  /// The chooser in use (never null: a cancelling one until another is installed).
  static FileChooser& Current();
  /// Installs a chooser and returns the previous one; null restores the cancelling default.
  static std::shared_ptr<FileChooser> Install(std::shared_ptr<FileChooser> chooser);
};

}  // namespace skelvane
