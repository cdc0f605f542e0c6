#include "cli/OutputName.h"

#include <string>

namespace skelvane::cli {

const CLI::Validator& OutputName::Check() {
  static const CLI::Validator validator(
      [](std::string& name) { return name.empty() ? std::string(kEmptyOutputNameMessage) : std::string(); }, "FILE");
  return validator;
}

}  // namespace skelvane::cli
