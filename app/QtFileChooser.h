#pragma once
// The Open, Save As and folder choosers of the platform layer as Qt file dialogs. main() installs
// it; the data source manager, the extraction dialog and the bitmap export ask through FileChooser.

#include <QString>

#include "platform/FileChooser.h"

namespace skelvane {

class QtFileChooser final : public FileChooser {
 public:
  /// The Open dialog; several files when `multiple`, nullopt when cancelled.
  std::optional<std::vector<std::string>> OpenFiles(const std::string& title, const std::string& initialName,
                                                    const std::vector<Filter>& filters, bool multiple) override;
  /// The Save As dialog without an overwrite prompt; a name typed without an extension gets the one
  /// of the file type chosen. Remembers the folder of the file named; nullopt when cancelled.
  std::optional<std::string> SaveFile(const std::string& title, const std::string& defaultSuffix,
                                      const std::vector<Filter>& filters) override;
  /// The folder chooser; nullopt when cancelled.
  std::optional<std::string> ChooseFolder(const std::string& title, const std::string& start) override;

  /// The filter list in Qt's form: one "description (patterns)" per line. "*.*" means every file.
  static QString ToQtFilters(const std::vector<Filter>& filters);
};

}  // namespace skelvane
