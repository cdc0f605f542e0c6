#pragma once
// The main window's menu bar, menu items and keys, built from the command table (CommandRow): each
// item shows its text and check mark, its keys work whenever the window is active, and every item
// and key hands its command number to the one dispatcher. Also keeps File > Recent Files. Built by
// WindowCommands.

#include <QKeySequence>
#include <QList>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <functional>
#include <map>
#include <span>
#include <vector>

#include "app/CommandRow.h"

class QAction;
class QMenu;
class QMenuBar;
class QWidget;

namespace skelvane {

class CommandMenus {
 public:
  using Dispatch = std::function<void(int32_t command)>;

  /// Fills `bar` with the table's menus and gives `window` every key; chosen commands go to `dispatch`.
  CommandMenus(std::span<const CommandRow> rows, QMenuBar& bar, QWidget& window, Dispatch dispatch);

  /// The keys a row binds, in its order (none for an empty text).
  static QList<QKeySequence> KeysOf(const CommandRow& row);

  /// The item (or the key's action) of a command, or null for an unknown number.
  QAction* Action(int32_t command) const;
  /// Every command of the table, in table order.
  const std::vector<int32_t>& Commands() const { return order_; }
  /// Sets or clears the check mark of a command's item.
  void SetChecked(int32_t command, bool checked);
  /// One of the menus; null for None and Bar.
  QMenu* Menu(CommandRow::Menu which) const;
  /// Shows the remembered sets at the top of File > Recent Files, newest first; the menu's own
  /// items are usable only when there is a set.
  void SetRecentSets(const std::vector<QStringList>& sets);

 private:
  QAction* AddAction(const CommandRow& row, QWidget& window);

  Dispatch dispatch_;
  std::map<CommandRow::Menu, QMenu*> menus_;
  std::map<int32_t, QAction*> actions_;
  std::vector<int32_t> order_;
  std::vector<QAction*> recent_;  // the sets' items and the separator below them
};

}  // namespace skelvane
