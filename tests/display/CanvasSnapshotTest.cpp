#include "display/CanvasSnapshot.h"

#include <gtest/gtest.h>
#include <cstring>
#include <map>

#include "display/PlotCanvas.h"
#include "display/ViewState.h"
#include "platform/MemoryBitmap.h"
#include "tests/support/CapturedReports.h"
#include "tests/support/TempDir.h"
#include "tools/SyntheticRecording.h"

namespace skelvane {
namespace {

class CanvasSnapshotTest : public ::testing::Test {
 protected:
  void SetUp() override {
    SynthOptions o;
    o.outDir = dir.Path();
    o.prefix = "ST";
    o.channels = 2;
    o.seconds = 2.0;
    o.seed = 7;
    ASSERT_EQ(SyntheticRecording::Generate(o, synth), 0);
  }
  // How many pixels of the frame have each colour.
  static std::map<uint32_t, int32_t> Colours(const MemoryBitmap& frame) {
    std::map<uint32_t, int32_t> counts;
    for (int32_t y = 0; y < frame.Height(); ++y) {
      for (int32_t x = 0; x < frame.Width(); ++x) ++counts[frame.ColorAt(x, y)];
    }
    return counts;
  }
  test::TempDir dir;
  SynthResult synth;
};

TEST_F(CanvasSnapshotTest, RendersOnePlotPerFileInTheirOwnColours) {
  test::CapturedReports reports;
  SnapshotOptions options{synth.paths, 320, 260, std::nullopt, std::nullopt};
  MemoryBitmap frame;
  ASSERT_EQ(CanvasSnapshot::Render(options, frame), 0);
  EXPECT_EQ(frame.Width(), 320);
  EXPECT_EQ(frame.Height(), 260);
  const auto colours = Colours(frame);
  EXPECT_GT(colours.at(0x000000), 320 * 260 / 3);  // mostly background
  // The 2 s of data fill half of the padded time range: about 140 of the 280 plot columns show a
  // bar (quiet noise against a full scale of 32767 counts: a pixel or two tall) in each plot's colour.
  EXPECT_GE(colours.count(0x0000FF) ? colours.at(0x0000FF) : 0, 130);  // first plot: "Red"
  EXPECT_GE(colours.count(0xFF0000) ? colours.at(0xFF0000) : 0, 130);  // second plot: "Blue"
  EXPECT_TRUE(reports.Empty());
}

TEST_F(CanvasSnapshotTest, StartAndSpanChooseTheVisibleTime) {
  MemoryBitmap whole, zoomed, again;
  SnapshotOptions options{{synth.paths[0]}, 200, 120, std::nullopt, std::nullopt};
  ASSERT_EQ(CanvasSnapshot::Render(options, whole), 0);
  options.visibleStart = 1'500'000;
  options.visibleSpan = 20'000;
  ASSERT_EQ(CanvasSnapshot::Render(options, zoomed), 0);
  ASSERT_EQ(CanvasSnapshot::Render(options, again), 0);
  ASSERT_EQ(whole.SizeInBytes(), zoomed.SizeInBytes());
  EXPECT_NE(std::memcmp(whole.Bits(), zoomed.Bits(), whole.SizeInBytes()), 0);
  EXPECT_EQ(std::memcmp(zoomed.Bits(), again.Bits(), zoomed.SizeInBytes()), 0);  // the same picture every time
}

TEST_F(CanvasSnapshotTest, UnopenableFileStopsWithTheManagersCode) {
  test::CapturedReports reports;
  const std::string notCsc = dir.Write("notes.txt", "just text, not a recording");
  SnapshotOptions options{{synth.paths[0], notCsc}, 200, 100, std::nullopt, std::nullopt};
  MemoryBitmap frame;
  EXPECT_NE(CanvasSnapshot::Render(options, frame), 0);
  EXPECT_EQ(frame.Width(), 0);
  EXPECT_FALSE(reports.Empty());
}

TEST_F(CanvasSnapshotTest, SizesOutsideTheWindowLimitsAreRefused) {
  MemoryBitmap frame;
  for (auto [w, h] : {std::pair{0, 100}, {100, 0}, {10001, 100}, {100, -5}}) {
    SnapshotOptions options{synth.paths, w, h, std::nullopt, std::nullopt};
    EXPECT_EQ(CanvasSnapshot::Render(options, frame), -1) << w << "x" << h;
  }
}


// A start past the data is placed as the window places it: the last span of the recording.
TEST(CanvasSnapshotView, StartPastTheDataShowsTheLastSpan) {
  test::TempDir dir;
  SynthOptions o;
  o.outDir = dir.Path();
  o.prefix = "LS";
  o.channels = 1;
  o.seconds = 60.0;
  SynthResult synth;
  ASSERT_EQ(SyntheticRecording::Generate(o, synth), 0);
  // The second start is as far as a time can go: nothing past it may overflow.
  for (const int64_t start : {int64_t{500'000'000}, int64_t{9'223'372'036'854'775'000}}) {
    SCOPED_TRACE(start);
    SnapshotOptions options{synth.paths, 320, 260, start, int64_t{10'000'000}};
    MemoryBitmap frame;
    ViewState view;
    ASSERT_EQ(CanvasSnapshot::Render(options, frame, &view), 0);
    EXPECT_EQ(view.VisibleSpan, 10'000'000);
    EXPECT_EQ(view.VisibleStart, view.DataEnd - 10'000'000 + 1);
    int32_t traced = 0;  // pixels of the plot's colour ("Red")
    for (int32_t y = 0; y < frame.Height(); ++y) {
      for (int32_t x = 0; x < frame.Width(); ++x) traced += frame.ColorAt(x, y) == 0x0000FF ? 1 : 0;
    }
    EXPECT_GE(traced, 200);
  }
}

}  // namespace
}  // namespace skelvane
