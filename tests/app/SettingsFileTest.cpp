#include "app/SettingsFile.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <tuple>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <limits>

#include "display/CanvasProperties.h"
#include "display/PlotCanvas.h"
#include "display/ViewState.h"
#include "platform/ExecutablePath.h"
#include "tests/support/CapturedReports.h"
#include "tests/support/ScopedVariable.h"
#include "tests/support/TempDir.h"

namespace skelvane {
namespace {

std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// The section a CanvasProperties record writes, as a string of bytes.
std::string SectionOf(const CanvasProperties& properties) {
  uint8_t section[CanvasProperties::kSectionSize];
  properties.Encode(section);
  return {reinterpret_cast<const char*>(section), sizeof section};
}

using test::ScopedVariable;

class SettingsFileTest : public ::testing::Test {
 protected:
  test::TempDir dir;
  test::CapturedReports reports;
  ViewState view;  // the canvases here are only read and written as settings
  PlotCanvas canvas{view, nullptr, nullptr, nullptr};
  ScopedVariable configHome{"XDG_CONFIG_HOME", dir.File("config")};
};

TEST_F(SettingsFileTest, FirstStartWithoutAFileKeepsTheDefaultsSilently) {
  EXPECT_EQ(SettingsFile::ReadSettingsFileIn(canvas, dir.Path()), -1);
  EXPECT_TRUE(reports.Empty());
  EXPECT_EQ(canvas.GetShowTimeAxis(), 1);
  EXPECT_EQ(canvas.GetDataAxisWidth(), 40);
}

TEST_F(SettingsFileTest, WhatClosingWroteIsReadAtTheNextStartBeforeTheOlderName) {
  canvas.SetShowDataAxis(0);
  ASSERT_EQ(SettingsFile::WriteSettingsFileIn(canvas, dir.Path()), 0);
  EXPECT_EQ(std::filesystem::file_size(dir.File("Skelvane.set")), 104u);
  EXPECT_FALSE(std::filesystem::exists(dir.File("SkelvaneV3.set")));
  CanvasProperties older;
  older.showTimeAxis = 0;
  dir.Write("SkelvaneV3.set", SectionOf(older));

  PlotCanvas next(view, nullptr, nullptr, nullptr);
  EXPECT_EQ(SettingsFile::ReadSettingsFileIn(next, dir.Path()), 0);
  EXPECT_EQ(next.GetShowDataAxis(), 0);
  EXPECT_EQ(next.GetShowTimeAxis(), 1);  // the older file is not read when the newer one is there
  std::filesystem::remove(dir.File("Skelvane.set"));
  PlotCanvas fromOlder(view, nullptr, nullptr, nullptr);
  EXPECT_EQ(SettingsFile::ReadSettingsFileIn(fromOlder, dir.Path()), 0);
  EXPECT_EQ(fromOlder.GetShowTimeAxis(), 0);
  EXPECT_TRUE(reports.Empty());
}

TEST_F(SettingsFileTest, ReadOnlyProgramFolderKeepsTheFileInTheUserFolder) {
  const std::string program = dir.File("program");  // absent: nothing can be written there
  canvas.SetShowPlotIcons(0);
  ASSERT_EQ(SettingsFile::WriteSettingsFileIn(canvas, program), 0);
  EXPECT_EQ(std::filesystem::file_size(dir.File("config/skelvane/Skelvane.set")), 104u);
  PlotCanvas next(view, nullptr, nullptr, nullptr);
  EXPECT_EQ(SettingsFile::ReadSettingsFileIn(next, program), 0);
  EXPECT_EQ(next.GetShowPlotIcons(), 0);
  EXPECT_TRUE(reports.Empty());

  // Without the variable (or with it empty) the folder is ~/.config/skelvane.
  const ScopedVariable home("HOME", dir.File("home"));
  const ScopedVariable empty("XDG_CONFIG_HOME", "");
  EXPECT_EQ(SettingsFile::UserFolder(), dir.File("home/.config/skelvane"));
  EXPECT_EQ(SettingsFile::ReadCandidates(program),
            (std::vector<std::string>{dir.File("home/.config/skelvane/Skelvane.set"),
                                      dir.File("home/.config/skelvane/SkelvaneV3.set"),
                                      program + "/Skelvane.set", program + "/SkelvaneV3.set"}));
  EXPECT_EQ(SettingsFile::ReadCandidates(dir.Path()),
            (std::vector<std::string>{dir.File("Skelvane.set"), dir.File("SkelvaneV3.set")}));
}

// Whatever a field holds out of its range, reading gives its default back and names it once.
TEST_F(SettingsFileTest, OutOfRangeFieldsTakeTheirDefaultsAndAreNamedOnce) {
  const int32_t big = std::numeric_limits<int32_t>::max();
  const int32_t small = std::numeric_limits<int32_t>::min();
  const std::vector<std::pair<std::string, std::function<void(CanvasProperties&)>>> cases = {
      {"plotHeaderHeight", [&](CanvasProperties& p) { p.plotHeaderHeight = big; }},
      {"dataAxisMargin", [&](CanvasProperties& p) { p.dataAxisMargin = -2'000'000'000; }},
      {"dataAxisWidth", [&](CanvasProperties& p) { p.dataAxisWidth = small; }},
      {"timeTickSpacing", [&](CanvasProperties& p) { p.timeTickSpacing = 0; }},
      {"timeAxisHeight", [&](CanvasProperties& p) { p.timeAxisHeight = -17; }},
      {"timeLabelScale", [&](CanvasProperties& p) { p.timeLabelScale = std::numeric_limits<double>::quiet_NaN(); }},
      {"timeLabelScale", [&](CanvasProperties& p) { p.timeLabelScale = -std::numeric_limits<double>::infinity(); }},
      {"minimumVisibleSpan", [&](CanvasProperties& p) { p.minimumVisibleSpan = -1; }},
      {"zoomFactor", [&](CanvasProperties& p) { p.zoomFactor = 0; }},
      {"zoomFactor", [&](CanvasProperties& p) { p.zoomFactor = small; }},
      {"horizontalPagePercent", [&](CanvasProperties& p) { p.horizontalPagePercent = 0; }},
      {"verticalPagePercent", [&](CanvasProperties& p) { p.verticalPagePercent = -50; }},
      {"dataAxisMargin, zoomFactor", [&](CanvasProperties& p) {
         p.dataAxisMargin = -1;
         p.zoomFactor = 0;
       }},
  };
  const std::string defaults = SectionOf(CanvasProperties{});
  const std::string path = dir.File("SkelvaneV3.set");
  for (const auto& [names, spoil] : cases) {
    SCOPED_TRACE(names);
    CanvasProperties bad;
    spoil(bad);
    dir.Write("SkelvaneV3.set", SectionOf(bad));
    PlotCanvas next(view, nullptr, nullptr, nullptr);
    reports.Clear();
    ASSERT_EQ(SettingsFile::ReadSettingsFileIn(next, dir.Path()), 0);
    EXPECT_EQ(SectionOf(next.Properties()), defaults);
    EXPECT_EQ(reports.Texts(),
              std::vector<std::string>{"Settings out of range, defaults used for " + names + ": " + path});
  }
}

// Steps that are merely unusual do no harm: zooming by 1 (not at all) or 2000, paging more than a page.
TEST_F(SettingsFileTest, UnusualButHarmlessStepsAreKeptAsTheFileHasThem) {
  for (const auto& [zoom, horizontal, vertical] : {std::tuple{1, 250, 100'000}, std::tuple{2000, 101, 1}}) {
    CanvasProperties unusual;
    unusual.zoomFactor = zoom;
    unusual.horizontalPagePercent = horizontal;
    unusual.verticalPagePercent = vertical;
    dir.Write("SkelvaneV3.set", SectionOf(unusual));
    PlotCanvas next(view, nullptr, nullptr, nullptr);
    ASSERT_EQ(SettingsFile::ReadSettingsFileIn(next, dir.Path()), 0);
    EXPECT_EQ(SectionOf(next.Properties()), SectionOf(unusual));
  }
  EXPECT_TRUE(reports.Empty());
}

// An empty file (left by a crash or a full disk) holds nothing that could stand for the settings.
TEST_F(SettingsFileTest, AnEmptyNewerFileDoesNotHideTheOlderOne) {
  CanvasProperties older;
  older.showTimeAxis = 0;
  dir.Write("SkelvaneV3.set", SectionOf(older));
  dir.Write("Skelvane.set", "");
  ASSERT_EQ(SettingsFile::ReadSettingsFileIn(canvas, dir.Path()), 0);
  EXPECT_EQ(canvas.GetShowTimeAxis(), 0);
  EXPECT_TRUE(reports.Empty());
}

// A user who keeps the settings elsewhere links them in: the link stays, the file it points to is
// replaced and keeps its mode.
TEST_F(SettingsFileTest, ALinkAtTheSettingsNameIsFollowedAndTheFileKeepsItsMode) {
  std::filesystem::create_directory(dir.File("dotfiles"));
  const std::string target = dir.Write("dotfiles/skelvane.set", std::string(104, '\0'));
  std::filesystem::permissions(target, std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
  std::filesystem::create_symlink(target, dir.File("Skelvane.set"));
  canvas.SetShowDataAxis(0);
  ASSERT_EQ(SettingsFile::WriteSettingsFileIn(canvas, dir.Path()), 0);
  EXPECT_TRUE(std::filesystem::is_symlink(dir.File("Skelvane.set")));
  EXPECT_EQ(ReadAll(target), SectionOf(canvas.Properties()));
  EXPECT_EQ(std::filesystem::status(target).permissions(),
            std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
  EXPECT_TRUE(reports.Empty());
}

TEST_F(SettingsFileTest, HugeNegativeAxisMarginNoLongerFloodsTheDataAxis) {
  CanvasProperties bad;
  bad.dataAxisMargin = -2'000'000'000;
  dir.Write("SkelvaneV3.set", SectionOf(bad));
  ASSERT_EQ(SettingsFile::ReadSettingsFileIn(canvas, dir.Path()), 0);
  EXPECT_EQ(canvas.GetDataAxisMargin(), 10);
  // A 100-pixel plot has a handful of ticks, not a hundred million.
  EXPECT_LT(canvas.LayoutDataAxis(100, 0, 0, 100, "uV").labels.size(), 10u);
}

TEST_F(SettingsFileTest, FullDiskLeavesTheEarlierFileAsItWas) {
  CanvasProperties earlier;
  earlier.zoomFactor = 3;
  const std::string path = dir.Write("Skelvane.set", SectionOf(earlier));
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    std::signal(SIGXFSZ, SIG_IGN);
    const rlimit limit{50, 50};
    if (setrlimit(RLIMIT_FSIZE, &limit) != 0) _exit(2);
    test::CapturedReports childReports;
    PlotCanvas changed(view, nullptr, nullptr, nullptr);
    if (SettingsFile::WriteSettingsFileIn(changed, dir.Path()) != 0) _exit(3);
    const std::string expected = "Unable to write canvas properties information to file" + std::to_string(EFBIG);
    _exit(childReports.Texts() == std::vector<std::string>{expected} ? 0 : 4);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
  EXPECT_EQ(ReadAll(path), SectionOf(earlier));
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.Path()), {}), 1);
}

TEST_F(SettingsFileTest, AnExistingFileIsReplaced) {
  dir.Write("Skelvane.set", std::string(500, 'z'));
  ASSERT_EQ(SettingsFile::WriteSettingsFileIn(canvas, dir.Path()), 0);
  const std::string bytes = ReadAll(dir.File("Skelvane.set"));
  ASSERT_EQ(bytes.size(), 104u);
  EXPECT_EQ(bytes[0], '\x01');
}

TEST_F(SettingsFileTest, ShortFileIsOpenedAndTheCanvasReportsIt) {
  dir.Write("SkelvaneV3.set", std::string("\x00\x00\x00\x00", 4));
  EXPECT_EQ(SettingsFile::ReadSettingsFileIn(canvas, dir.Path()), 0);  // opened, whatever the canvas said
  EXPECT_EQ(canvas.GetShowPlotNames(), 0);
  EXPECT_EQ(canvas.GetShowPlotIcons(), 1);
  ASSERT_EQ(reports.Count(), 1u);
  EXPECT_EQ(reports.Texts()[0], "Error reading in canvas properties from file");
}

TEST_F(SettingsFileTest, UncreatableFileIsNamedWithTheReason) {
  // Neither the program's folder nor the user folder (under a plain file) can take it.
  const ScopedVariable configHome("XDG_CONFIG_HOME", dir.Write("plain", "x"));
  EXPECT_EQ(SettingsFile::WriteSettingsFileIn(canvas, dir.File("no/such/folder")), -1);
  EXPECT_EQ(reports.Texts(), std::vector<std::string>{"Error; Settings file could not be opened for writing.: " +
                                                      dir.File("plain/skelvane/Skelvane.set") + ": " +
                                                      std::strerror(ENOTDIR)});
}

TEST_F(SettingsFileTest, TheFileLivesBesideTheExecutable) {
  const std::string written = ExecutablePath::Folder() + "/Skelvane.set";
  std::filesystem::remove(written);
  ASSERT_EQ(SettingsFile::WriteSettingsFile(canvas), 0);
  EXPECT_EQ(std::filesystem::file_size(written), 104u);
  std::filesystem::remove(written);
  // The read name is a different file, absent beside the test program.
  EXPECT_EQ(SettingsFile::ReadSettingsFile(canvas), -1);
  EXPECT_TRUE(reports.Empty());
}

}  // namespace
}  // namespace skelvane
