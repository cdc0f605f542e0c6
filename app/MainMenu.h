#pragma once
// The main window's menu bar and keyboard accelerators: four popup menus whose items carry the
// command numbers of CommandIds.h. Built by MainWindow, which receives every chosen command.

#include <cstdint>
#include <functional>
#include <map>
#include <vector>

class QAction;
class QMenuBar;
class QWidget;

namespace skelvane {

class MainMenu {
 public:
  using CommandHandler = std::function<void(int32_t command)>;

  /// Fills `bar` with the File, Display, Spike Extraction and Help menus and binds each accelerator
  /// to `window` as well, so it works whenever the window is active.
  MainMenu(QMenuBar& bar, QWidget& window, CommandHandler handler);

  /// The menu item of a command, or null for an unknown number.
  QAction* Action(int32_t command) const;
  /// Sets or clears the check mark of a command's item.
  void SetChecked(int32_t command, bool checked);
  /// Every command number, in menu order.
  const std::vector<int32_t>& Commands() const { return order_; }

 private:
  std::map<int32_t, QAction*> actions_;
  std::vector<int32_t> order_;
};

}  // namespace skelvane
