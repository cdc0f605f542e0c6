#include "app/MainMenu.h"

#include <QAction>
#include <QKeySequence>
#include <QMenu>
#include <QMenuBar>
#include <QWidget>
#include <array>

#include "app/CommandIds.h"

namespace skelvane {
namespace {

enum Popup { kFileMenu, kDisplayMenu, kExtractionMenu, kHelpMenu, kPopupCount };

constexpr std::array<const char*, kPopupCount> kPopupTitles = {"&File", "&Display", "Spike Extraction", "&Help"};

struct MenuItem {
  Popup popup;
  int32_t command;
  const char* text;
  const char* acceleratorText;  // shown after a tab; null when the item has no accelerator
  int key;                      // Qt key with modifiers; 0 when the item has no accelerator
  bool separatorAfter;
  bool checkable;
};

constexpr int kCtrl = Qt::ControlModifier;
constexpr int kAlt = Qt::AltModifier;

const std::array<MenuItem, 16> kItems = {{
    {kFileMenu, commands::kOpenData, "&Open Data", "Ctrl-Alt-O", kCtrl | kAlt | Qt::Key_O, true, false},
    {kFileMenu, commands::kSaveDisplayAsBitmap, "Save Current Display As A &Bitmap", nullptr, 0, true, false},
    {kFileMenu, commands::kExit, "E&xit", "Ctrl-E", kCtrl | Qt::Key_E, false, false},
    {kDisplayMenu, commands::kIncreaseTimeScale, "&Increase Time Scale", "Ctrl-Right Arrow", kCtrl | Qt::Key_Right,
     false, false},
    {kDisplayMenu, commands::kDecreaseTimeScale, "&Decrease Time Scale", "Ctrl-Left Arrow", kCtrl | Qt::Key_Left,
     true, false},
    {kDisplayMenu, commands::kPageRight, "Page &Right", "Right Arrow", Qt::Key_Right, false, false},
    {kDisplayMenu, commands::kPageLeft, "Page &Left", "Left Arrow", Qt::Key_Left, false, false},
    {kDisplayMenu, commands::kPageUp, "Page Up", "Up Arrow", Qt::Key_Up, false, false},
    {kDisplayMenu, commands::kPageDown, "Page Down", "Down Arrow", Qt::Key_Down, true, false},
    {kDisplayMenu, commands::kToggleFileName, "Display File Name", nullptr, 0, false, true},
    {kDisplayMenu, commands::kToggleIcons, "Display Icons", nullptr, 0, false, true},
    {kDisplayMenu, commands::kToggleDataAxis, "Display Data Axis", nullptr, 0, false, true},
    {kDisplayMenu, commands::kToggleTimeAxis, "Display Time Axis", nullptr, 0, false, true},
    {kExtractionMenu, commands::kCreateSpikeFile, "Create Spike File", "Ctrl-S", kCtrl | Qt::Key_S, false, false},
    {kExtractionMenu, commands::kExtractionProperties, "Properties", "Ctrl-P", kCtrl | Qt::Key_P, false, false},
    {kHelpMenu, commands::kAbout, "&About", nullptr, 0, false, false},
}};

}  // namespace

MainMenu::MainMenu(QMenuBar& bar, QWidget& window, CommandHandler handler) {
  std::array<QMenu*, kPopupCount> popups{};
  for (int p = 0; p < kPopupCount; ++p) popups[p] = bar.addMenu(QString::fromUtf8(kPopupTitles[p]));

  for (const MenuItem& item : kItems) {
    QString text = QString::fromUtf8(item.text);
    // The accelerator text is part of the item text, so the menu shows our wording, not Qt's.
    if (item.acceleratorText != nullptr) text += QChar('\t') + QString::fromUtf8(item.acceleratorText);
    QAction* action = popups[item.popup]->addAction(text);
    action->setData(item.command);
    action->setCheckable(item.checkable);
    if (item.key != 0) {
      action->setShortcut(QKeySequence(item.key));
      action->setShortcutContext(Qt::WindowShortcut);
      window.addAction(action);
    }
    const int32_t command = item.command;
    QObject::connect(action, &QAction::triggered, action, [handler, command] { handler(command); });
    if (item.separatorAfter) popups[item.popup]->addSeparator();
    actions_[command] = action;
    order_.push_back(command);
  }
}

QAction* MainMenu::Action(int32_t command) const {
  const auto found = actions_.find(command);
  return found == actions_.end() ? nullptr : found->second;
}

void MainMenu::SetChecked(int32_t command, bool checked) {
  if (QAction* action = Action(command)) action->setChecked(checked);
}

}  // namespace skelvane
