#include "platform/CursorControl.h"

#include <utility>

namespace skelvane {
namespace {

class SilentCursor final : public CursorControl {
 public:
  void Show(Shape) override {}
};

std::shared_ptr<CursorControl>& Installed() {
  static std::shared_ptr<CursorControl> control = std::make_shared<SilentCursor>();
  return control;
}

}  // namespace

CursorControl& CursorControl::Current() { return *Installed(); }

std::shared_ptr<CursorControl> CursorControl::Install(std::shared_ptr<CursorControl> control) {
  auto previous = std::move(Installed());
  Installed() = control ? std::move(control) : std::make_shared<SilentCursor>();
  return previous;
}

}  // namespace skelvane
