#include "app/MenuAdditions.h"

#include <QAction>
#include <QActionGroup>
#include <QFileInfo>
#include <QKeySequence>
#include <QMenu>
#include <QMenuBar>
#include <QWidget>

#include "app/CommandIds.h"
#include "app/MainMenu.h"

namespace skelvane {
namespace {

constexpr int kCtrl = Qt::ControlModifier;
constexpr int kFileMenu = 0;
constexpr int kDisplayMenu = 1;
constexpr int kHelpMenu = 3;

QMenu* Popup(QMenuBar& bar, int index) { return bar.actions().at(index)->menu(); }

// "TT1a, TT1b, TT1c, TT1d" for a set of files; the full paths go into the tooltip.
QString SetTitle(const QStringList& paths) {
  QStringList names;
  for (const QString& path : paths) names << QFileInfo(path).fileName();
  return names.join(QStringLiteral(", "));
}

}  // namespace

MenuAdditions::MenuAdditions(QMenuBar& bar, MainMenu& menu, QWidget& window, CommandHandler handler)
    : window_(window), handler_(std::move(handler)) {
  // The usual keys for opening and quitting, beside the original accelerators.
  if (QAction* open = menu.Action(commands::kOpenData)) {
    open->setShortcuts({open->shortcut(), QKeySequence(kCtrl | Qt::Key_O)});
  }
  if (QAction* exit = menu.Action(commands::kExit)) {
    exit->setShortcuts({exit->shortcut(), QKeySequence(kCtrl | Qt::Key_Q)});
  }

  QMenu* file = Popup(bar, kFileMenu);
  recent_ = new QMenu(QStringLiteral("Recent &Files"), file);
  // After the bitmap item and its separator, before Exit.
  QAction* exitItem = menu.Action(commands::kExit);
  file->insertMenu(exitItem, recent_);
  file->insertSeparator(exitItem);
  SetRecentSets({});

  QMenu* display = Popup(bar, kDisplayMenu);
  display->addSeparator();
  Add(*display, commands::kShowWholeRecording, QStringLiteral("Show &Whole Recording"), 0, false);
  QMenu* labels = display->addMenu(QStringLiteral("&Time Axis Labels"));
  auto* group = new QActionGroup(labels);
  for (const auto& [command, text] : {std::pair{commands::kTimeLabelsMicroseconds, "&Microseconds"},
                                      std::pair{commands::kTimeLabelsSeconds, "&Seconds"},
                                      std::pair{commands::kTimeLabelsClock, "&Clock (h:mm:ss)"}}) {
    group->addAction(Add(*labels, command, QString::fromUtf8(text), 0, true));
  }
  display->addSeparator();
  Add(*display, commands::kIncreaseAmplitude, QStringLiteral("Increase &Amplitude\tCtrl-Up Arrow"), kCtrl | Qt::Key_Up,
      false);
  Add(*display, commands::kDecreaseAmplitude, QStringLiteral("Decrease A&mplitude\tCtrl-Down Arrow"),
      kCtrl | Qt::Key_Down, false);
  Add(*display, commands::kResetAmplitude, QStringLiteral("Reset Am&plitude\tCtrl-0"), kCtrl | Qt::Key_0, false);
  Add(*display, commands::kDataAxisMicrovolts, QStringLiteral("Data Axis In Micro&volts"), 0, true);
  Add(*display, commands::kKeepSummaries, QStringLiteral("&Keep Summaries On Disk"), 0, true);

  QMenu* help = Popup(bar, kHelpMenu);
  QAction* keys = Add(*help, commands::kKeysAndMouse, QStringLiteral("&Keys and Mouse\tF1"), Qt::Key_F1, false);
  help->removeAction(keys);
  help->insertAction(help->actions().value(0), keys);  // above About

  // Keys without a menu item: they are listed in Keys and Mouse.
  for (const auto& [command, key] : {std::pair{commands::kGoToStart, int{Qt::Key_Home}},
                                     std::pair{commands::kGoToEnd, int{Qt::Key_End}},
                                     std::pair{commands::kPageTimeBack, int{Qt::Key_PageUp}},
                                     std::pair{commands::kPageTimeForward, int{Qt::Key_PageDown}}}) {
    auto* action = new QAction(&window);
    action->setShortcut(QKeySequence(key));
    action->setShortcutContext(Qt::WindowShortcut);
    window.addAction(action);
    const int32_t id = command;
    QObject::connect(action, &QAction::triggered, action, [this, id] { handler_(id); });
    actions_[command] = action;
  }
}

QAction* MenuAdditions::Add(QMenu& menu, int32_t command, const QString& text, int key, bool checkable) {
  QAction* action = menu.addAction(text);
  action->setData(command);
  action->setCheckable(checkable);
  if (key != 0) {
    action->setShortcut(QKeySequence(key));
    action->setShortcutContext(Qt::WindowShortcut);
    window_.addAction(action);
  }
  QObject::connect(action, &QAction::triggered, action, [this, command] { handler_(command); });
  actions_[command] = action;
  return action;
}

QAction* MenuAdditions::Action(int32_t command) const {
  const auto found = actions_.find(command);
  return found == actions_.end() ? nullptr : found->second;
}

void MenuAdditions::SetChecked(int32_t command, bool checked) {
  if (QAction* action = Action(command)) action->setChecked(checked);
}

void MenuAdditions::SetRecentSets(const std::vector<QStringList>& sets) {
  recent_->clear();
  for (int32_t command = commands::kRecentFilesFirst; actions_.erase(command) != 0; ++command) {
  }
  for (std::size_t i = 0; i < sets.size(); ++i) {
    const int32_t command = commands::kRecentFilesFirst + static_cast<int32_t>(i);
    QAction* action = recent_->addAction(QStringLiteral("&%1 %2").arg(i + 1 == 10 ? 0 : i + 1).arg(SetTitle(sets[i])));
    action->setToolTip(sets[i].join(QLatin1Char('\n')));
    action->setData(command);
    QObject::connect(action, &QAction::triggered, action, [this, command] { handler_(command); });
    actions_[command] = action;
  }
  if (!sets.empty()) recent_->addSeparator();
  QAction* clear = recent_->addAction(QStringLiteral("&Clear Recent Files"));
  clear->setEnabled(!sets.empty());
  QObject::connect(clear, &QAction::triggered, clear, [this] { handler_(commands::kClearRecentFiles); });
  actions_[commands::kClearRecentFiles] = clear;
}

std::vector<MenuAdditions::Binding> MenuAdditions::Bindings() {
  return {
      {QStringLiteral("Right / Left"), QStringLiteral("Page time forward / back")},
      {QStringLiteral("PgDown / PgUp"), QStringLiteral("Page time forward / back")},
      {QStringLiteral("Home / End"), QStringLiteral("Go to the start / end of the recordings")},
      {QStringLiteral("Ctrl+Right / Ctrl+Left"), QStringLiteral("Increase / decrease the time scale (zoom out / in)")},
      {QStringLiteral("Down / Up"), QStringLiteral("Scroll the plot stack down / up")},
      {QStringLiteral("Ctrl+Up / Ctrl+Down"), QStringLiteral("Increase / decrease the amplitude of all plots")},
      {QStringLiteral("Ctrl+0"), QStringLiteral("Reset the amplitude of all plots")},
      {QStringLiteral("Ctrl+O, Ctrl+Alt+O"), QStringLiteral("Open data files")},
      {QStringLiteral("Ctrl+S"), QStringLiteral("Create spike files")},
      {QStringLiteral("Ctrl+P"), QStringLiteral("Spike extraction properties")},
      {QStringLiteral("Ctrl+Q, Ctrl+E"), QStringLiteral("Quit")},
      {QStringLiteral("F1"), QStringLiteral("This list")},
      {QStringLiteral("Wheel"), QStringLiteral("Scroll the plot stack")},
      {QStringLiteral("Shift+Wheel"), QStringLiteral("Page time")},
      {QStringLiteral("Ctrl+Wheel"), QStringLiteral("Zoom time about the mouse")},
      {QStringLiteral("Alt+Wheel"), QStringLiteral("Amplitude of the plot under the mouse")},
      {QStringLiteral("Click"), QStringLiteral("Zoom in around the click")},
      {QStringLiteral("Shift+Click"), QStringLiteral("Zoom out around the click")},
      {QStringLiteral("Drag"), QStringLiteral("Zoom to the dragged span")},
      {QStringLiteral("Drag a plot's lower border"), QStringLiteral("Resize the plot")},
      {QStringLiteral("Right-click a plot"), QStringLiteral("Close, move, resize or change the amplitude of the plot")},
      {QStringLiteral("Drop files"), QStringLiteral("Open them")},
  };
}

}  // namespace skelvane
