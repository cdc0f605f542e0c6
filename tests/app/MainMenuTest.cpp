// The menu bar's popups, item texts with their accelerator texts, separators, check marks and key
// bindings, and that every item reports its own command number.
#include "app/MainMenu.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>

#include "app/CommandIds.h"
#include "tests/app/QtTestApplication.h"

namespace skelvane {
namespace {

struct Built {
  QApplication& application = test::EnsureQtApplication();
  QMainWindow window;
  std::vector<int32_t> chosen;
  std::unique_ptr<MainMenu> menu;
  Built() {
    menu = std::make_unique<MainMenu>(*window.menuBar(), window, [this](int32_t c) { chosen.push_back(c); });
  }
  // The texts of one popup, "-" for a separator.
  std::vector<std::string> Items(int popup) const {
    std::vector<std::string> texts;
    QMenu* menu = window.menuBar()->actions().at(popup)->menu();
    for (QAction* action : menu->actions()) texts.push_back(action->isSeparator() ? "-" : action->text().toStdString());
    return texts;
  }
};

TEST(MainMenu, PopupsInOrder) {
  Built built;
  std::vector<std::string> titles;
  for (QAction* action : built.window.menuBar()->actions()) titles.push_back(action->text().toStdString());
  EXPECT_EQ(titles, (std::vector<std::string>{"&File", "&Display", "Spike Extraction", "&Help"}));
}

TEST(MainMenu, ItemsWithAcceleratorTextsAndSeparators) {
  Built built;
  EXPECT_EQ(built.Items(0), (std::vector<std::string>{"&Open Data\tCtrl-Alt-O", "-",
                                                       "Save Current Display As A &Bitmap", "-", "E&xit\tCtrl-E"}));
  EXPECT_EQ(built.Items(1),
            (std::vector<std::string>{"&Increase Time Scale\tCtrl-Right Arrow", "&Decrease Time Scale\tCtrl-Left Arrow",
                                      "-", "Page &Right\tRight Arrow", "Page &Left\tLeft Arrow", "Page Up\tUp Arrow",
                                      "Page Down\tDown Arrow", "-", "Display File Name", "Display Icons",
                                      "Display Data Axis", "Display Time Axis"}));
  EXPECT_EQ(built.Items(2), (std::vector<std::string>{"Create Spike File\tCtrl-S", "Properties\tCtrl-P"}));
  EXPECT_EQ(built.Items(3), std::vector<std::string>{"&About"});
}

TEST(MainMenu, AcceleratorKeys) {
  Built built;
  const std::vector<std::pair<int32_t, QKeySequence>> expected = {
      {commands::kOpenData, QKeySequence(Qt::CTRL | Qt::ALT | Qt::Key_O)},
      {commands::kExit, QKeySequence(Qt::CTRL | Qt::Key_E)},
      {commands::kIncreaseTimeScale, QKeySequence(Qt::CTRL | Qt::Key_Right)},
      {commands::kDecreaseTimeScale, QKeySequence(Qt::CTRL | Qt::Key_Left)},
      {commands::kPageRight, QKeySequence(Qt::Key_Right)},
      {commands::kPageLeft, QKeySequence(Qt::Key_Left)},
      {commands::kPageUp, QKeySequence(Qt::Key_Up)},
      {commands::kPageDown, QKeySequence(Qt::Key_Down)},
      {commands::kCreateSpikeFile, QKeySequence(Qt::CTRL | Qt::Key_S)},
      {commands::kExtractionProperties, QKeySequence(Qt::CTRL | Qt::Key_P)},
      {commands::kSaveDisplayAsBitmap, QKeySequence()},
      {commands::kAbout, QKeySequence()},
      {commands::kToggleFileName, QKeySequence()},
  };
  for (const auto& [command, keys] : expected) {
    ASSERT_NE(built.menu->Action(command), nullptr) << command;
    EXPECT_EQ(built.menu->Action(command)->shortcut(), keys) << command;
  }
}

TEST(MainMenu, OnlyTheDisplayTogglesCarryCheckMarks) {
  Built built;
  const std::vector<int32_t> toggles = {commands::kToggleFileName, commands::kToggleIcons, commands::kToggleDataAxis,
                                        commands::kToggleTimeAxis};
  for (int32_t command : built.menu->Commands()) {
    const bool isToggle = std::find(toggles.begin(), toggles.end(), command) != toggles.end();
    EXPECT_EQ(built.menu->Action(command)->isCheckable(), isToggle) << command;
  }
  built.menu->SetChecked(commands::kToggleIcons, true);
  EXPECT_TRUE(built.menu->Action(commands::kToggleIcons)->isChecked());
  built.menu->SetChecked(commands::kToggleIcons, false);
  EXPECT_FALSE(built.menu->Action(commands::kToggleIcons)->isChecked());
}

TEST(MainMenu, EveryItemReportsItsCommandNumber) {
  Built built;
  const std::vector<int32_t> all = {32772, 32804, 57665, 32784, 32785, 32786, 32787, 32788,
                                    32789, 32812, 32811, 32810, 32809, 32808, 32807, 57664};
  EXPECT_EQ(built.menu->Commands(), all);
  for (int32_t command : all) built.menu->Action(command)->trigger();
  EXPECT_EQ(built.chosen, all);
  EXPECT_EQ(built.menu->Action(12345), nullptr);
}

}  // namespace
}  // namespace skelvane
