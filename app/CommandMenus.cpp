#include "app/CommandMenus.h"

#include <QAction>
#include <QActionGroup>
#include <QFileInfo>
#include <QKeySequence>
#include <QMenu>
#include <QMenuBar>
#include <QWidget>
#include <algorithm>

#include "app/CommandIds.h"

namespace skelvane {
namespace {

// "TT1a.kcs, TT1b.kcs in /data/day1" for a set of files, each folder after its files, so that sets
// of the same names in different folders tell apart; the full paths go into the tooltip.
QString SetTitle(const QStringList& paths) {
  QStringList parts;
  QStringList names;
  QString folder;
  const auto endFolder = [&] {
    if (!names.isEmpty()) parts << names.join(QStringLiteral(", ")) + QStringLiteral(" in ") + folder;
    names.clear();
  };
  for (const QString& path : paths) {
    const QFileInfo file(path);
    if (!names.isEmpty() && file.path() != folder) endFolder();
    folder = file.path();
    names << file.fileName();
  }
  endFolder();
  // A single "&" would underline the next letter.
  return parts.join(QStringLiteral("; ")).replace(QLatin1Char('&'), QStringLiteral("&&"));
}

// The tenth set is numbered 0, the key beside 9.
constexpr int kLastMnemonic = 10;

}  // namespace

CommandMenus::CommandMenus(std::span<const CommandRow> rows, QMenuBar& bar, QWidget& window, Dispatch dispatch)
    : dispatch_(std::move(dispatch)) {
  using Kind = CommandRow::Kind;
  std::map<CommandRow::Menu, QActionGroup*> radioGroups;
  for (const CommandRow& row : rows) {
    QMenu* menu = Menu(row.menu);
    if (row.kind == Kind::Submenu) {
      const QString title = QString::fromUtf8(row.text);
      menus_[row.opens] = row.menu == CommandRow::Menu::Bar ? bar.addMenu(title) : menu->addMenu(title);
      continue;
    }
    if (row.kind == Kind::Separator) {
      if (menu != nullptr) menu->addSeparator();
      continue;
    }
    QAction* action = AddAction(row, window);
    if (row.radio) {
      QActionGroup*& group = radioGroups[row.menu];
      if (group == nullptr) group = new QActionGroup(menu);
      group->addAction(action);
    }
  }
  SetRecentSets({});
}

QList<QKeySequence> CommandMenus::KeysOf(const CommandRow& row) {
  QList<QKeySequence> keys = QKeySequence::listFromString(QString::fromUtf8(row.keys), QKeySequence::PortableText);
  keys.removeAll(QKeySequence());
  return keys;
}

QAction* CommandMenus::AddAction(const CommandRow& row, QWidget& window) {
  QMenu* menu = Menu(row.menu);
  // The accelerator text is part of the item text, so the menu shows our wording, not Qt's.
  QAction* action = menu != nullptr ? menu->addAction(QString::fromUtf8(row.text)) : new QAction(&window);
  action->setData(row.command);
  action->setCheckable(row.checked != nullptr);
  const QList<QKeySequence> keys = KeysOf(row);
  if (!keys.isEmpty()) {
    action->setShortcuts(keys);
    action->setShortcutContext(Qt::WindowShortcut);
    window.addAction(action);
  }
  const int32_t command = row.command;
  QObject::connect(action, &QAction::triggered, action, [this, command] { dispatch_(command); });
  actions_[command] = action;
  order_.push_back(command);
  return action;
}

QAction* CommandMenus::Action(int32_t command) const {
  const auto found = actions_.find(command);
  return found == actions_.end() ? nullptr : found->second;
}

void CommandMenus::SetChecked(int32_t command, bool checked) {
  if (QAction* action = Action(command)) action->setChecked(checked);
}

QMenu* CommandMenus::Menu(CommandRow::Menu which) const {
  const auto found = menus_.find(which);
  return found == menus_.end() ? nullptr : found->second;
}

void CommandMenus::SetRecentSets(const std::vector<QStringList>& sets) {
  QMenu* menu = Menu(CommandRow::Menu::RecentFiles);
  if (menu == nullptr) return;
  for (QAction* action : recent_) {
    actions_.erase(action->data().toInt());
    delete action;
  }
  recent_.clear();
  QAction* first = menu->actions().value(0);  // the menu's own items stay below the sets
  for (std::size_t i = 0; i < sets.size(); ++i) {
    const int32_t command = commands::kRecentFilesFirst + static_cast<int32_t>(i);
    const std::size_t mnemonic = (i + 1) % kLastMnemonic;
    auto* action = new QAction(QStringLiteral("&%1 %2").arg(mnemonic).arg(SetTitle(sets[i])), menu);
    action->setToolTip(sets[i].join(QLatin1Char('\n')));
    action->setData(command);
    QObject::connect(action, &QAction::triggered, action, [this, command] { dispatch_(command); });
    menu->insertAction(first, action);
    actions_[command] = action;
    recent_.push_back(action);
  }
  if (!sets.empty()) recent_.push_back(menu->insertSeparator(first));
  for (QAction* own : menu->actions()) {
    if (std::find(recent_.begin(), recent_.end(), own) == recent_.end()) own->setEnabled(!sets.empty());
  }
}

}  // namespace skelvane
