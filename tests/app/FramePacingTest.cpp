// One canvas frame per paint: key presses and wheel turns that arrive together each change the view
// but are drawn by one frame, input that arrives while a frame is drawn is drawn by the next one,
// Exit after a burst of keys draws nothing for them, and the latency log has one line per action.
#include <gtest/gtest.h>

#include <QSignalSpy>
#include <QWheelEvent>
#include <fstream>
#include <regex>

#include "app/LatencyLog.h"
#include "tests/app/FakeWindowHarness.h"
#include "tests/support/ScopedVariable.h"
#include "tests/support/TempDir.h"

namespace skelvane {
namespace {

class FramePacing : public test::FakeWindowHarness {
 protected:
  // 62 s of data, 10 s shown: a page is 5 s.
  static constexpr int64_t kPage = 5'000'000;
  void StartWithOneMinute() {
    Start();
    DropFile("/data/a.kcs", 1'000'000, 61'000'000);
    Frames();
  }
  void Wheel(int notches) {
    QWidget* client = window->Client();
    const QPointF at(300, 200);
    QWheelEvent wheel(at, client->mapToGlobal(at), QPoint(), QPoint(0, 120 * notches), Qt::NoButton, Qt::NoModifier,
                      Qt::NoScrollPhase, false);
    QApplication::sendEvent(client, &wheel);
  }
};

TEST_F(FramePacing, KeysThatArriveTogetherPageOnceEachAndAreDrawnInOneFrame) {
  StartWithOneMinute();
  const int frames = Frames();
  for (int i = 0; i < 4; ++i) Key(Qt::Key_Right);
  EXPECT_EQ(view.VisibleStart, 4 * kPage);
  EXPECT_EQ(Frames(), frames + 1);
  Key(Qt::Key_Left);
  EXPECT_EQ(view.VisibleStart, 3 * kPage);
  EXPECT_EQ(Frames(), frames + 2);
}

TEST_F(FramePacing, KeysArrivingWhileAFrameIsDrawnAreDrawnByTheNextFrameOnly) {
  StartWithOneMinute();
  const int frames = Frames();
  // A held key: three repeats arrive while the first press is drawn.
  int repeats = 3;
  canvas.whileDrawing = [&] {
    for (; repeats > 0; --repeats) Key(Qt::Key_Right);
  };
  Key(Qt::Key_Right);
  EXPECT_EQ(Frames(), frames + 2);
  EXPECT_EQ(view.VisibleStart, 4 * kPage);
  // Released: no frame is left to draw.
  EXPECT_FALSE(window->Pacer().Due());
  EXPECT_EQ(Frames(), frames + 2);
}

TEST_F(FramePacing, WheelBurstScrollsByEveryNotchAndIsDrawnOnce) {
  AddPlots(8);  // 8 x 103 + 17 pixels, 400 shown
  Start();
  window->UpdateVerticalScroll();
  const int frames = Frames();
  for (int i = 0; i < 5; ++i) Wheel(-1);
  EXPECT_EQ(view.ScrollTop, -5 * WheelNavigator::kPixelsPerNotch);
  EXPECT_EQ(Frames(), frames + 1);
}

TEST_F(FramePacing, ExitAfterABurstOfKeysWritesTheSettingsAndDrawsNothingForThem) {
  StartWithOneMinute();
  const int frames = Frames();
  QSignalSpy closed(window.get(), &MainWindow::Closed);
  for (int i = 0; i < 8; ++i) Key(Qt::Key_Right);
  Key(Qt::Key_E, Qt::ControlModifier);
  EXPECT_EQ(closed.count(), 1);
  EXPECT_EQ(canvas.settingsWrites, 1);
  EXPECT_EQ(Frames(), frames);
}

TEST_F(FramePacing, LatencyLogHasOneLinePerActionWithItsNameSpanAndFrame) {
  const std::string path = settingsDir.File("latency.log");
  const test::ScopedVariable variable(LatencyLog::kVariable, path);
  StartWithOneMinute();
  Key(Qt::Key_Right);
  Frames();
  Key(Qt::Key_Left, Qt::ControlModifier);
  Key(Qt::Key_Right);
  Frames();
  Key(Qt::Key_Up);  // at the top already: nothing changes, nothing is drawn
  Frames();
  window->Redraw();  // a redraw of another cause does not take the key
  Frames();

  std::ifstream in(path);
  std::vector<std::string> texts;
  for (std::string line; std::getline(in, line);) texts.push_back(line);
  ASSERT_EQ(texts.size(), 3u);
  const std::regex format(
      R"re(latency action="([^"]+)" input="([^"]+)" span_us=(\d+) latency_ms=([\d.]+) frame_ms=([\d.]+) )re"
      R"re(cpu_ms=([\d.]+) thread_cpu_ms=[\d.]+ faults=\d+ major_faults=\d+ actions_in_frame=(\d+) painted_at_s=[\d.]+ )re"
      R"re(queued_ms=([\d.]+) opened_ms=([\d.]+) before_frame_ms=([\d.]+) after_frame_ms=([\d.]+))re");
  // Each line gives the span the action left: zooming in divided it by the zoom factor.
  const std::string zoomed = std::to_string(10'000'000 / canvas.zoomFactor);
  const std::vector<std::vector<std::string>> expected = {{"Page Right", "Right", "10000000", "1"},
                                                          {"Decrease Time Scale", "Ctrl+Left", zoomed, "2"},
                                                          {"Page Right", "Right", zoomed, "2"}};
  for (std::size_t i = 0; i < texts.size(); ++i) {
    std::smatch match;
    ASSERT_TRUE(std::regex_match(texts[i], match, format)) << texts[i];
    EXPECT_EQ(match[1], expected[i][0]);
    EXPECT_EQ(match[2], expected[i][1]);
    EXPECT_EQ(match[3], expected[i][2]);
    EXPECT_EQ(match[7], expected[i][3]);
    EXPECT_GE(std::stod(match[4]), std::stod(match[5])) << "the frame is part of the latency";
    // The wait before the frame (of which the wait in the queue is a part), the frame and what
    // followed it are parts of the latency (each rounded to a microsecond); no file was opened.
    EXPECT_LE(std::stod(match[10]) + std::stod(match[5]) + std::stod(match[11]), std::stod(match[4]) + 0.003);
    EXPECT_LE(std::stod(match[8]), std::stod(match[10]));
    EXPECT_EQ(match[9], "0.000");
  }
}

// Work the user does not wait for (storing the set just opened, the overview's new envelope) runs
// once the frame asked for is drawn, even when it was handed over before the frame was asked for; with
// no frame on its way it runs at once.
TEST_F(FramePacing, WorkAfterThePictureWaitsForTheFrameAskedForAndOtherwiseRunsAtOnce) {
  StartWithOneMinute();
  const int frames = Frames();
  int framesSeen = -1;
  window->AfterNextPicture([&] { framesSeen = canvas.redrawCount; });
  window->Redraw();
  QCoreApplication::processEvents();
  EXPECT_EQ(framesSeen, frames + 1);
  framesSeen = -1;
  window->AfterNextPicture([&] { framesSeen = canvas.redrawCount; });
  QCoreApplication::processEvents();
  EXPECT_EQ(framesSeen, frames + 1);
  EXPECT_EQ(Frames(), frames + 1);
}

// A scrollbar takes a new page and position at once (the scroll arithmetic reads them back) but
// paints once the frame that goes with them is on the screen, at every change; a bar that did not
// change is not held back (and so not painted again).
TEST_F(FramePacing, ScrollbarsTakeTheirPlaceAtOnceAndPaintAfterThePicture) {
  StartWithOneMinute();
  PagedScrollBar& bar = *window->HorizontalScrollBar();
  EXPECT_TRUE(bar.updatesEnabled());
  for (int round = 0; round < 2; ++round) {
    const int frames = Frames();
    const int32_t before = bar.Position();
    Key(Qt::Key_Right);
    EXPECT_GT(bar.Position(), before);
    EXPECT_FALSE(bar.updatesEnabled());
    EXPECT_TRUE(window->VerticalScrollBar()->updatesEnabled());
    EXPECT_EQ(Frames(), frames + 1);
    EXPECT_TRUE(bar.updatesEnabled());
    EXPECT_TRUE(window->VerticalScrollBar()->updatesEnabled());
  }
}

// The first picture after opening is said once, by the first paint of a frame drawn after the opening
// began, whether or not an action asked for that frame; frames before the opening do not count.
TEST(LatencyLogOpening, FirstPictureAfterOpeningIsLoggedOnceByThePaintOfTheFirstFrameDrawnAfterIt) {
  const test::TempDir scratch;
  const std::string path = scratch.File("latency.log");
  {
    std::FILE* file = std::fopen(path.c_str(), "w");
    ASSERT_NE(file, nullptr);
    LatencyLog log(file, true);
    log.FrameDrawn(3.0, ProcessUsage{}, 1000);
    log.Painted();  // before the opening: nothing
    log.OpeningStarted();
    log.Painted();  // no frame drawn since: nothing
    log.FrameDrawn(4.5, ProcessUsage{0.006, 7, 2}, 10'000'000);
    log.Painted();
    log.FrameDrawn(5.0, ProcessUsage{}, 10'000'000);
    log.Painted();
  }
  std::ifstream in(path);
  std::vector<std::string> texts;
  for (std::string line; std::getline(in, line);) texts.push_back(line);
  ASSERT_EQ(texts.size(), 1u);
  const std::regex format(
      R"re(opened first_picture_ms=[\d.]+ since_process_start_ms=\d+ span_us=10000000 frame_ms=4\.500 )re"
      R"re(cpu_ms=6\.000 faults=9 major_faults=2)re");
  EXPECT_TRUE(std::regex_match(texts[0], format)) << texts[0];
}

}  // namespace
}  // namespace skelvane
