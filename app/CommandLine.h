#pragma once
// The program's command line: data files to open at start, in order, plus --help and --version.
// main() reads it before and after Qt has taken its own options.

#include <QStringList>
#include <string>
#include <vector>

namespace skelvane {

class CommandLine {
 public:
  /// What the command line asks for.
  struct Request {
    std::vector<std::string> files;  // data files to open at start, in the order given
    bool showHelp = false;
    bool showVersion = false;
    std::string error;  // not empty when the line could not be understood
  };

  /// Reads `arguments` (the program name first, as in argv).
  static Request Parse(const QStringList& arguments);
  /// The usage text printed for --help.
  static std::string HelpText();
  /// The line printed for --version.
  static std::string VersionText();
};

}  // namespace skelvane
