#include "platform/FileChooser.h"

#include <utility>

namespace skelvane {
namespace {

class CancellingChooser final : public FileChooser {
 public:
  std::optional<std::vector<std::string>> OpenFiles(const std::string&, const std::string&,
                                                    const std::vector<Filter>&, bool) override {
    return std::nullopt;
  }
  std::optional<std::string> SaveFile(const std::string&, const std::string&, const std::vector<Filter>&) override {
    return std::nullopt;
  }
  std::optional<std::string> ChooseFolder(const std::string&, const std::string&) override { return std::nullopt; }
};

std::shared_ptr<FileChooser>& Installed() {
  static std::shared_ptr<FileChooser> chooser = std::make_shared<CancellingChooser>();
  return chooser;
}

}  // namespace

FileChooser& FileChooser::Current() { return *Installed(); }

std::shared_ptr<FileChooser> FileChooser::Install(std::shared_ptr<FileChooser> chooser) {
  auto previous = std::move(Installed());
  Installed() = chooser ? std::move(chooser) : std::make_shared<CancellingChooser>();
  return previous;
}

}  // namespace skelvane
