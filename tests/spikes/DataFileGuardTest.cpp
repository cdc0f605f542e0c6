// What an output's name holds, told by the file's first bytes whatever its name (links followed), and
// which outputs may replace it: nothing but a spike file takes a spike file's place, nothing a recording's.
#include "spikes/DataFileGuard.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <string>

#include "tests/datafile/DataFileFixtures.h"
#include "tests/spikes/MadeSpikeFile.h"
#include "tests/support/CapturedReports.h"
#include "tests/support/TempDir.h"

namespace skelvane {
namespace {

using Holds = DataFileGuard::Holds;

TEST(DataFileGuardTest, TellsRecordingsAndSpikeFilesByTheirHeadersWhateverTheirNames) {
  test::TempDir dir;
  const std::string recording = dir.Write("view.png", test::StandardHeader() + test::CscRecords(test::Timestamps(3)));
  const std::string spikes = dir.Write("figure.bmp", test::MadeSpikeFile(test::MadeHeaderText(4), {}));
  const std::string legacy = dir.Write("old.bmp", test::LegacyHeader(150) + std::string(40, '\1'));
  const std::string picture = dir.Write("shot.kse", "BM not data at all");
  const std::string fifo = dir.File("pipe.kcs");
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  std::filesystem::create_symlink(recording, dir.File("link.png"));
  const struct {
    std::string path;
    Holds holds;
  } cases[] = {{recording, Holds::Recording},     {spikes, Holds::SpikeFile},       {legacy, Holds::Recording},
               {dir.File("link.png"), Holds::Recording}, {picture, Holds::Other}, {fifo, Holds::Other},
               {dir.File("missing.png"), Holds::Other},  {dir.Path(), Holds::Other}, {"", Holds::Other}};
  test::CapturedReports reports;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.path);
    EXPECT_EQ(DataFileGuard::At(c.path), c.holds);
    // A picture or an export may go only where no data is; a spike file also over a spike file.
    EXPECT_EQ(DataFileGuard::MayWrite(c.path), c.holds == Holds::Other);
    EXPECT_EQ(DataFileGuard::MayWrite(c.path, Holds::SpikeFile), c.holds != Holds::Recording);
  }
  EXPECT_EQ(reports.Texts().front(), std::string(kOutputIsRecordingMessage) + " " + recording);
  EXPECT_EQ(reports.Texts()[2], std::string(kOutputIsSpikeFileMessage) + " " + spikes);
}

}  // namespace
}  // namespace skelvane
