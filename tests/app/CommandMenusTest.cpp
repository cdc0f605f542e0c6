// The menus, keys and Keys and Mouse list built from the command table: popups, item texts with
// their accelerator texts, separators and submenus in order, check marks, every key of every item,
// that each item reports its own command number, File > Recent Files, and a table that stays
// consistent as rows are added (no number or key twice, every item with a handler), and the README's
// keys table naming every key.
#include "app/CommandMenus.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QActionGroup>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <fstream>
#include <iterator>
#include <regex>
#include <set>

#include "app/CommandIds.h"
#include "app/WindowCommands.h"
#include "tests/app/QtTestApplication.h"

namespace skelvane {
namespace {

using Menu = CommandRow::Menu;
using Keys = QList<QKeySequence>;

struct Built {
  QApplication& application = test::EnsureQtApplication();
  QMainWindow window;
  std::vector<int32_t> chosen;
  std::unique_ptr<CommandMenus> menus;
  Built() {
    menus = std::make_unique<CommandMenus>(WindowCommands::Table(), *window.menuBar(), window,
                                           [this](int32_t c) { chosen.push_back(c); });
  }
  // The texts of a menu: "-" for a separator, a submenu's title followed by ">".
  static std::vector<std::string> Items(const QMenu* menu) {
    std::vector<std::string> texts;
    for (QAction* action : menu->actions()) {
      if (action->isSeparator()) {
        texts.push_back("-");
      } else {
        texts.push_back(action->text().toStdString() + (action->menu() != nullptr ? ">" : ""));
      }
    }
    return texts;
  }
  std::vector<std::string> Items(Menu menu) const { return Items(menus->Menu(menu)); }
};

TEST(CommandMenus, PopupsItemsSeparatorsAndSubmenusInOrder) {
  Built built;
  std::vector<std::string> titles;
  for (QAction* action : built.window.menuBar()->actions()) titles.push_back(action->text().toStdString());
  EXPECT_EQ(titles, (std::vector<std::string>{"&File", "&Display", "Spike Extraction", "&Help"}));
  EXPECT_EQ(built.Items(Menu::File),
            (std::vector<std::string>{"&Open Data\tCtrl-Alt-O", "Open &Spike Files...", "-", "Open Sessio&n...",
                                      "Sav&e Session...\tCtrl-Shift-S", "-", "Save Current Display As A &Bitmap", "-", "Recent &Files>",
                                      "Close &All\tCtrl-Shift-W", "-", "E&xit\tCtrl-E"}));
  EXPECT_EQ(built.Items(Menu::Display),
            (std::vector<std::string>{
                "&Increase Time Scale\tCtrl-Right Arrow", "&Decrease Time Scale\tCtrl-Left Arrow", "-",
                "Page &Right\tRight Arrow", "Page &Left\tLeft Arrow", "Page Up\tUp Arrow", "Page Down\tDown Arrow", "-",
                "Display File Name", "Display Icons", "Display Data Axis", "Display Time Axis", "-",
                "Show &Whole Recording", "&Time Axis Labels>", "-", "Increase &Amplitude\tCtrl-Up Arrow",
                "Decrease A&mplitude\tCtrl-Down Arrow", "Reset Am&plitude\tCtrl-0", "Data Axis In Micro&volts",
                "&Keep Summaries On Disk", "-", "Show Detected Spikes\tCtrl-D", "Spectr&um\tCtrl-Shift-U",
                "&Go To Time\tCtrl-G", "&Fit Plots To Window\tCtrl-Shift-F", "Auto&scale\tCtrl-Shift-A",
                "Scale &Bars", "Mar&kers Panel", "F&ilter>"}));
  EXPECT_EQ(built.Items(Menu::Filter), (std::vector<std::string>{"&None", "&Spike Band", "&LFP Band", "&Custom..."}));
  EXPECT_EQ(built.Items(Menu::TimeAxisLabels),
            (std::vector<std::string>{"&Microseconds", "&Seconds", "&Clock (h:mm:ss)"}));
  EXPECT_EQ(built.Items(Menu::SpikeExtraction),
            (std::vector<std::string>{"Create Spike File\tCtrl-S", "Properties\tCtrl-P"}));
  EXPECT_EQ(built.Items(Menu::Help), (std::vector<std::string>{"&Keys and Mouse\tF1", "&About"}));
  EXPECT_EQ(built.Items(Menu::RecentFiles), std::vector<std::string>{"&Clear Recent Files"});
}

TEST(CommandMenus, KeysOfEveryCommandWorkInTheWindow) {
  Built built;
  const QKeySequence none;
  const std::vector<std::pair<int32_t, Keys>> expected = {
      {commands::kOpenData, {QKeySequence(Qt::CTRL | Qt::ALT | Qt::Key_O), QKeySequence(Qt::CTRL | Qt::Key_O)}},
      {commands::kExit, {QKeySequence(Qt::CTRL | Qt::Key_E), QKeySequence(Qt::CTRL | Qt::Key_Q)}},
      {commands::kIncreaseTimeScale, {QKeySequence(Qt::CTRL | Qt::Key_Right)}},
      {commands::kDecreaseTimeScale, {QKeySequence(Qt::CTRL | Qt::Key_Left)}},
      {commands::kPageRight, {QKeySequence(Qt::Key_Right)}},
      {commands::kPageLeft, {QKeySequence(Qt::Key_Left)}},
      {commands::kPageUp, {QKeySequence(Qt::Key_Up)}},
      {commands::kPageDown, {QKeySequence(Qt::Key_Down)}},
      {commands::kIncreaseAmplitude, {QKeySequence(Qt::CTRL | Qt::Key_Up)}},
      {commands::kDecreaseAmplitude, {QKeySequence(Qt::CTRL | Qt::Key_Down)}},
      {commands::kResetAmplitude, {QKeySequence(Qt::CTRL | Qt::Key_0)}},
      {commands::kCreateSpikeFile, {QKeySequence(Qt::CTRL | Qt::Key_S)}},
      {commands::kExtractionProperties, {QKeySequence(Qt::CTRL | Qt::Key_P)}},
      {commands::kKeysAndMouse, {QKeySequence(Qt::Key_F1)}},
      {commands::kGoToStart, {QKeySequence(Qt::Key_Home)}},
      {commands::kGoToEnd, {QKeySequence(Qt::Key_End)}},
      {commands::kPageTimeBack, {QKeySequence(Qt::Key_PageUp)}},
      {commands::kPageTimeForward, {QKeySequence(Qt::Key_PageDown)}},
      {commands::kShowDetectedSpikes, {QKeySequence(Qt::CTRL | Qt::Key_D)}},
      {commands::kSpectrum, {QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_U)}},
      {commands::kNextSpike, {QKeySequence(Qt::Key_N)}},
      {commands::kPreviousSpike, {QKeySequence(Qt::Key_P)}},
      {commands::kOpenSpikeFiles, {}},
      {commands::kCloseAll, {QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_W)}},
      {commands::kGoToTime, {QKeySequence(Qt::CTRL | Qt::Key_G)}},
      {commands::kFitPlotsToWindow, {QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_F)}},
      {commands::kAutoscaleAll, {QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_A)}},
      {commands::kCursorA, {QKeySequence(Qt::Key_A)}},
      {commands::kCursorB, {QKeySequence(Qt::Key_B)}},
      {commands::kRemoveCursors, {QKeySequence(Qt::Key_Escape)}},
      {commands::kScaleBars, {}},
      {commands::kSaveDisplayAsBitmap, {}},
      {commands::kAbout, {}},
      {commands::kToggleFileName, {}},
      {commands::kShowWholeRecording, {}},
  };
  const QList<QAction*> windowActions = built.window.actions();
  for (const auto& [command, keys] : expected) {
    QAction* action = built.menus->Action(command);
    ASSERT_NE(action, nullptr) << command;
    EXPECT_EQ(action->shortcuts(), keys) << command;
    // The menu shows the first key; Qt's own text for it would replace our wording.
    if (!keys.isEmpty()) {
      EXPECT_EQ(action->shortcut(), keys.front()) << command;
      EXPECT_EQ(action->shortcutContext(), Qt::WindowShortcut) << command;
      EXPECT_TRUE(windowActions.contains(action)) << command;
    }
  }
}

TEST(CommandMenus, CheckMarksOnTheDisplaySwitchesAndOneTimeLabelStyle) {
  Built built;
  const std::set<int32_t> checkable = {commands::kToggleFileName,        commands::kToggleIcons,
                                       commands::kToggleDataAxis,        commands::kToggleTimeAxis,
                                       commands::kTimeLabelsMicroseconds, commands::kTimeLabelsSeconds,
                                       commands::kTimeLabelsClock,       commands::kDataAxisMicrovolts,
                                       commands::kKeepSummaries,         commands::kShowDetectedSpikes,
                                       commands::kScaleBars,             commands::kSpectrum,
                                       commands::kMarkersPanel,          commands::kFilterNone,
                                       commands::kFilterSpike,           commands::kFilterLfp,
                                       commands::kFilterCustom};
  for (int32_t command : built.menus->Commands()) {
    EXPECT_EQ(built.menus->Action(command)->isCheckable(), checkable.count(command) == 1) << command;
  }
  built.menus->SetChecked(commands::kToggleIcons, true);
  EXPECT_TRUE(built.menus->Action(commands::kToggleIcons)->isChecked());
  built.menus->SetChecked(commands::kToggleIcons, false);
  EXPECT_FALSE(built.menus->Action(commands::kToggleIcons)->isChecked());
  // The time label styles exclude one another.
  QActionGroup* group = built.menus->Action(commands::kTimeLabelsSeconds)->actionGroup();
  ASSERT_NE(group, nullptr);
  EXPECT_TRUE(group->isExclusive());
  EXPECT_EQ(group->actions().size(), 3);
  EXPECT_EQ(built.menus->Action(commands::kToggleIcons)->actionGroup(), nullptr);
}

TEST(CommandMenus, EveryItemAndKeyReportsItsCommandNumber) {
  Built built;
  const std::vector<int32_t> all = {32772, 33304, 33041, 33040, 32804, 33014, 33034, 57665, 32784, 32785,
                                    32786, 32787, 32788, 32789, 32812, 32811, 32810, 32809, 33001, 33002,
                                    33003, 33004, 33005, 33006, 33007, 33008, 33015, 33301, 33401, 33030, 33031,
                                    33032, 33033, 33046, 33050, 33051, 33052, 33053, 32808, 32807, 33009, 57664, 33010, 33011, 33013,
                                    33012, 33302, 33303, 33035, 33036, 33037, 33042, 33043, 33045, 33044};
  EXPECT_EQ(built.menus->Commands(), all);
  built.menus->SetRecentSets({{"/a/x.kcs"}});  // Clear Recent Files is usable only with a set
  for (int32_t command : all) built.menus->Action(command)->trigger();
  EXPECT_EQ(built.chosen, all);
  EXPECT_EQ(built.menus->Action(12345), nullptr);
}

TEST(CommandMenus, RecentSetsStandAboveClearRecentFilesNewestFirst) {
  Built built;
  EXPECT_FALSE(built.menus->Action(commands::kClearRecentFiles)->isEnabled());
  // Each folder follows its files: sets of the same names in two folders tell apart.
  built.menus->SetRecentSets({{"/a/x.kcs", "/a/y.kcs"}, {"/b/x.kcs", "/b/y.kcs"}, {"/a/x.kcs", "/c&d/z.kcs"}});
  EXPECT_EQ(built.Items(Menu::RecentFiles),
            (std::vector<std::string>{"&1 x.kcs, y.kcs in /a", "&2 x.kcs, y.kcs in /b",
                                      "&3 x.kcs in /a; z.kcs in /c&&d", "-", "&Clear Recent Files"}));
  EXPECT_EQ(built.menus->Action(commands::kRecentFilesFirst)->toolTip().toStdString(), "/a/x.kcs\n/a/y.kcs");
  EXPECT_TRUE(built.menus->Action(commands::kClearRecentFiles)->isEnabled());
  built.menus->Action(commands::kRecentFilesFirst + 1)->trigger();
  EXPECT_EQ(built.chosen, std::vector<int32_t>{commands::kRecentFilesFirst + 1});

  built.menus->SetRecentSets({{"/c/w.kcs"}});
  EXPECT_EQ(built.Items(Menu::RecentFiles),
            (std::vector<std::string>{"&1 w.kcs in /c", "-", "&Clear Recent Files"}));
  EXPECT_EQ(built.menus->Action(commands::kRecentFilesFirst + 1), nullptr);
  built.menus->SetRecentSets({});
  EXPECT_EQ(built.Items(Menu::RecentFiles), std::vector<std::string>{"&Clear Recent Files"});
  EXPECT_FALSE(built.menus->Action(commands::kClearRecentFiles)->isEnabled());
}

TEST(CommandMenus, TableNamesEachCommandAndKeyOnceAndEveryItemHasAHandler) {
  test::EnsureQtApplication();
  std::set<int32_t> numbers;
  std::set<QKeySequence> keys;
  std::set<Menu> opened = {Menu::None, Menu::Bar};
  for (const CommandRow& row : WindowCommands::Table()) {
    // A row stands in a menu opened above it.
    EXPECT_TRUE(opened.count(row.menu) == 1) << (row.text != nullptr ? row.text : row.keys);
    if (row.kind == CommandRow::Kind::Submenu) opened.insert(row.opens);
    if (row.kind != CommandRow::Kind::Item) continue;
    EXPECT_TRUE(numbers.insert(row.command).second) << row.command << " is in the table twice";
    EXPECT_NE(row.run, nullptr) << row.command;
    EXPECT_TRUE(row.text != nullptr || row.menu == Menu::None) << row.command;
    const QStringList texts = QString::fromUtf8(row.keys).split(QStringLiteral("; "), Qt::SkipEmptyParts);
    EXPECT_EQ(CommandMenus::KeysOf(row).size(), texts.size()) << row.command << " has a key Qt cannot read";
    for (const QKeySequence& key : CommandMenus::KeysOf(row)) {
      EXPECT_TRUE(keys.insert(key).second) << key.toString().toStdString() << " is bound twice";
    }
  }
}

TEST(CommandMenus, KeysAndMouseListsEveryKeyWithForwardAndBackOnOneLine) {
  test::EnsureQtApplication();
  std::vector<std::pair<std::string, std::string>> lines;
  for (const KeysAndMouseDialog::Line& line : WindowCommands::KeysAndMouseLines()) {
    lines.emplace_back(line.keys.toStdString(), line.does.toStdString());
  }
  const std::vector<std::pair<std::string, std::string>> expected = {
      {"Ctrl+Alt+O, Ctrl+O", "Open data files"},
      {"Ctrl+Shift+S", "Save the session"},
      {"Ctrl+Shift+W", "Close every plot"},
      {"Ctrl+E, Ctrl+Q", "Quit"},
      {"Ctrl+Right / Ctrl+Left", "Increase / decrease the time scale (zoom out / in)"},
      {"Right / Left", "Page time forward / back"},
      {"Up / Down", "Scroll the plot stack up / down"},
      {"Ctrl+Up / Ctrl+Down", "Increase / decrease the amplitude of all plots"},
      {"Ctrl+0", "Reset the amplitude of all plots"},
      {"Ctrl+D", "Mark the spikes Create Spike File would write"},
      {"Ctrl+Shift+U", "Show or hide the spectrum of the plot under the mouse"},
      {"Ctrl+G", "Go to a time"},
      {"Ctrl+Shift+F", "Fit the plots to the window"},
      {"Ctrl+Shift+A", "Autoscale the amplitude of every plot"},
      {"Ctrl+S", "Create spike files"},
      {"Ctrl+P", "Spike extraction properties"},
      {"F1", "This list"},
      {"Home / End", "Go to the start / end of the recordings"},
      {"PgDown / PgUp", "Page time forward / back"},
      {"N / P", "Centre the next / previous detected spike"},
      {"A / B", "Put measuring cursor A / B at the time under the mouse"},
      {"Esc", "Remove the measuring cursors"},
      {"M", "Put a marker at the time under the mouse on every plot"},
      {"Shift+M", "Put a marker at the time under the mouse on the plot there"},
      {"] / [", "Centre the next / previous marker"},
      {"Wheel", "Scroll the plot stack"},
      {"Shift+Wheel", "Page time"},
      {"Ctrl+Wheel", "Zoom time about the mouse"},
      {"Alt+Wheel", "Amplitude of the plot under the mouse"},
      {"Click", "Zoom in around the click"},
      {"Shift+Click", "Zoom out around the click"},
      {"Drag", "Zoom to the dragged span"},
      {"Drag a plot's lower border", "Resize the plot"},
      {"Right-click a plot", "Close, move, resize, change the amplitude of, autoscale or filter the plot"},
      {"Drop files", "Open them"},
      {"Click or drag the overview", "Centre the view there"},
  };
  EXPECT_EQ(lines, expected);
}


// The README's "Keys and mouse" table: every key of every command is in the first cell of a row
// (cells such as "Right / Left, PgDown / PgUp" or "Ctrl+O (or Ctrl+Alt+O)" name several).
TEST(CommandMenus, TheReadmeKeysTableNamesEveryKey) {
  Built built;
  std::ifstream readme(SKELVANE_SOURCE_DIR "/README.md");
  const std::string text{std::istreambuf_iterator<char>(readme), {}};
  const std::size_t section = text.find("### Keys and mouse");
  ASSERT_NE(section, std::string::npos);
  const std::size_t end = text.find("\n\n", text.find("\n|", section));
  std::set<std::string> named;
  const std::regex row(R"(\n\| ([^|]+) \|)");
  const std::regex key(R"([^ ,/()]+)");
  const std::string table = text.substr(section, end - section);
  for (auto r = std::sregex_iterator(table.begin(), table.end(), row); r != std::sregex_iterator(); ++r) {
    const std::string cell = (*r)[1];
    for (auto k = std::sregex_iterator(cell.begin(), cell.end(), key); k != std::sregex_iterator(); ++k) {
      named.insert(k->str());
    }
  }
  for (int32_t command : built.menus->Commands()) {
    for (const QKeySequence& keys : built.menus->Action(command)->shortcuts()) {
      const std::string name = keys.toString(QKeySequence::PortableText).toStdString();
      EXPECT_EQ(named.count(name), 1u) << name << " (command " << command << ") is not in the README's keys table";
    }
  }
}

}  // namespace
}  // namespace skelvane
