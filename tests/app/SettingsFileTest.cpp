#include "app/SettingsFile.h"

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <iterator>

#include "display/PlotCanvas.h"
#include "platform/ExecutablePath.h"
#include "tests/support/CapturedReports.h"
#include "tests/support/TempDir.h"

namespace skelvane {
namespace {

std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

class SettingsFileTest : public ::testing::Test {
 protected:
  test::TempDir dir;
  test::CapturedReports reports;
  PlotCanvas canvas;
};

TEST_F(SettingsFileTest, FirstStartWithoutAFileKeepsTheDefaultsSilently) {
  EXPECT_EQ(SettingsFile::ReadSettingsFileIn(canvas, dir.Path()), -1);
  EXPECT_TRUE(reports.Empty());
  EXPECT_EQ(canvas.GetShowTimeAxis(), 1);
  EXPECT_EQ(canvas.GetDataAxisWidth(), 40);
}

TEST_F(SettingsFileTest, ClosingWritesSkelvaneSetButNeverTheNameReadAtStart) {
  canvas.SetShowDataAxis(0);
  ASSERT_EQ(SettingsFile::WriteSettingsFileIn(canvas, dir.Path()), 0);
  EXPECT_EQ(std::filesystem::file_size(dir.File("Skelvane.set")), 104u);
  EXPECT_FALSE(std::filesystem::exists(dir.File("SkelvaneV3.set")));
  // Not read back at the next start until it is renamed.
  PlotCanvas next;
  EXPECT_EQ(SettingsFile::ReadSettingsFileIn(next, dir.Path()), -1);
  EXPECT_EQ(next.GetShowDataAxis(), 1);
  std::filesystem::rename(dir.File("Skelvane.set"), dir.File("SkelvaneV3.set"));
  EXPECT_EQ(SettingsFile::ReadSettingsFileIn(next, dir.Path()), 0);
  EXPECT_EQ(next.GetShowDataAxis(), 0);
  EXPECT_TRUE(reports.Empty());
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

TEST_F(SettingsFileTest, UncreatableFileShowsThePlainMessage) {
  EXPECT_EQ(SettingsFile::WriteSettingsFileIn(canvas, dir.File("no/such/folder")), -1);
  ASSERT_EQ(reports.Count(), 1u);
  EXPECT_EQ(reports.Texts()[0], "Error; Settings file could not be opened for writing.");
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
