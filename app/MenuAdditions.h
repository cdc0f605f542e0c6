#pragma once
// The commands the window gained on top of its original menus: Recent Files, Show Whole Recording,
// time axis labels, amplitude zoom, the microvolt data axis, keeping summaries on disk, Keys and Mouse,
// and plain keys (Home,
// End, PageUp, PageDown, Ctrl+O, Ctrl+Q). Built by MainWindow after MainMenu.

#include <QString>
#include <QStringList>
#include <cstdint>
#include <functional>
#include <map>
#include <vector>

class QAction;
class QMenu;
class QMenuBar;
class QWidget;

namespace skelvane {

class MainMenu;

class MenuAdditions {
 public:
  using CommandHandler = std::function<void(int32_t command)>;

  /// One key or gesture and what it does, as the Keys and Mouse list shows it.
  struct Binding {
    QString keys;
    QString action;
  };

  /// Adds the items to the bar `menu` built and the plain keys to `window`.
  MenuAdditions(QMenuBar& bar, MainMenu& menu, QWidget& window, CommandHandler handler);

  /// The item or key action of an added command, or null.
  QAction* Action(int32_t command) const;
  /// Sets or clears the check mark of an added command.
  void SetChecked(int32_t command, bool checked);
  /// Rebuilds File > Recent Files from the remembered sets, newest first.
  void SetRecentSets(const std::vector<QStringList>& sets);
  /// The Recent Files submenu.
  QMenu* RecentMenu() const { return recent_; }
  /// Every key and mouse gesture of the window, for Help > Keys and Mouse.
  static std::vector<Binding> Bindings();

 private:
  QAction* Add(QMenu& menu, int32_t command, const QString& text, int key, bool checkable);

  QWidget& window_;
  CommandHandler handler_;
  QMenu* recent_ = nullptr;
  std::map<int32_t, QAction*> actions_;
};

}  // namespace skelvane
