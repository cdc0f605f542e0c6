// The status bar under the canvas: what the mouse points at (time, plot, sample in counts and
// microvolts), the visible span and the progress of summary building; readings that follow the view,
// and notices that never share the line with the cursors' readout.
#include <gtest/gtest.h>

#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

#include "app/StatusBar.h"
#include "display/IPlot.h"
#include "tests/app/RealWindowHarness.h"

namespace skelvane {
namespace {

constexpr std::size_t kHeaderBytes = 16384;
constexpr std::size_t kRecordBytes = 1044;

// The sample a file holds at `time`, read straight from its bytes: the last record stamped at or
// before it, and the sample `period` steps in.
struct FileSample {
  int16_t counts = 0;
  double microvoltsPerCount = 0.0;
};
FileSample ReadSampleAt(const std::string& path, int64_t time, double period) {
  std::ifstream in(path, std::ios::binary);
  const std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  FileSample result;
  const std::string header(bytes.data(), kHeaderBytes);
  const std::size_t key = header.find("-ADBitVolts");
  result.microvoltsPerCount = std::strtod(header.c_str() + key + std::strlen("-ADBitVolts"), nullptr) * 1e6;
  std::size_t chosen = 0;
  int64_t stamp = 0;
  for (std::size_t offset = kHeaderBytes; offset + kRecordBytes <= bytes.size(); offset += kRecordBytes) {
    int64_t t = 0;
    std::memcpy(&t, bytes.data() + offset, sizeof t);
    if (t > time) break;
    chosen = offset;
    stamp = t;
  }
  const auto index = static_cast<std::size_t>(static_cast<double>(time - stamp) / period);
  std::memcpy(&result.counts, bytes.data() + chosen + 20 + 2 * index, sizeof result.counts);
  return result;
}

// The earliest first-record timestamp of the files, read from their bytes.
int64_t FirstRecordTime(const std::vector<std::string>& paths) {
  int64_t earliest = INT64_MAX;
  for (const std::string& path : paths) {
    std::ifstream in(path, std::ios::binary);
    in.seekg(static_cast<std::streamoff>(kHeaderBytes));
    int64_t t = 0;
    in.read(reinterpret_cast<char*>(&t), sizeof t);
    earliest = std::min(earliest, t);
  }
  return earliest;
}

std::string Clock(int64_t offset) {
  char text[64];
  std::snprintf(text, sizeof text, "%" PRId64 ":%02" PRId64 ":%02" PRId64 ".%06" PRId64, offset / 3'600'000'000,
                offset / 60'000'000 % 60, offset / 1'000'000 % 60, offset % 1'000'000);
  return text;
}

class StatusBarTest : public test::RealWindowHarness {};

TEST_F(StatusBarTest, ShowsTimePlotAndSampleUnderTheMouseTheSpanAndSummaryProgress) {
  Start();
  OpenTetrode();
  Key(Qt::Key_Left, Qt::ControlModifier);  // zoom in, so the mouse can be over single samples
  Key(Qt::Key_Left, Qt::ControlModifier);
  Settle();  // the status bar follows the view with its picture
  const StatusBar& status = *window->Status();
  char span[64];
  std::snprintf(span, sizeof span, "Span %" PRId64 ".%06" PRId64 " s", View().VisibleSpan / 1'000'000,
                View().VisibleSpan % 1'000'000);
  EXPECT_EQ(status.SpanLabelText().toStdString(), span);

  for (int plot = 0; plot < 4; ++plot) {
    const int x = 90 + 137 * plot;
    MoveMouse(x, PlotMiddleY(plot));
    int64_t time = 0;
    ASSERT_EQ(PlotCanvas::GetTimeForPixel(x - 40, 600, View().VisibleSpan, View().VisibleStart, time), 0);
    IPlot* shown = nullptr;
    ASSERT_EQ(plots.GetPlot(plot, shown), 0);
    const FileSample sample = ReadSampleAt(tetrode[plot], time, shown->GetSamplePeriod());
    // Seconds and clock from the first record (the data range starts a second before it), and the
    // raw timestamp labelled as one.
    const int64_t offset = time - FirstRecordTime(tetrode);
    char expected[200];
    std::snprintf(expected, sizeof expected,
                  "%" PRId64 ".%06" PRId64 " s  (%s)  timestamp %" PRId64 " us  TT1%c: %d counts = %.1f uV",
                  offset / 1'000'000, offset % 1'000'000, Clock(offset).c_str(), time, 'a' + plot, sample.counts,
                  sample.counts * sample.microvoltsPerCount);
    EXPECT_EQ(status.PointerLabelText().toStdString(), expected) << "plot " << plot;
  }
  // Over the data axis there is no time to show.
  MoveMouse(20, PlotMiddleY(0));
  EXPECT_TRUE(status.PointerLabelText().isEmpty());

  window->ShowSummaryProgress(3, 12);
  EXPECT_EQ(status.ProgressLabelText().toStdString(), "Summaries 25%");
  window->ShowSummaryProgress(12, 12);
  EXPECT_TRUE(status.ProgressLabelText().isEmpty());
}

// A zoom or a page by key moves the view under a mouse that stays put: the readings follow with its
// picture.
// A notice takes the line while it lasts; the cursors' readout waits for it instead of being drawn
// over it, and comes back up to date.
TEST_F(StatusBarTest, ReadingsFollowTheViewUnderAStillMouseAndANoticeNeverSharesTheLineWithTheCursors) {
  Start();
  OpenTetrode();
  const StatusBar& status = *window->Status();
  const int x = 300;
  MoveMouse(x, PlotMiddleY(1));
  const auto timestampUnderMouse = [&] {
    int64_t time = 0;
    EXPECT_EQ(PlotCanvas::GetTimeForPixel(x - 40, 600, View().VisibleSpan, View().VisibleStart, time), 0);
    return " timestamp " + std::to_string(time) + " us  TT1b: ";
  };
  for (const auto& [key, modifiers] : {std::pair{Qt::Key_Left, Qt::ControlModifier}, std::pair{Qt::Key_Right, Qt::NoModifier},
                                       std::pair{Qt::Key_Right, Qt::ControlModifier}}) {
    const QString before = status.PointerLabelText();
    Key(key, modifiers);
    Settle();
    EXPECT_NE(status.PointerLabelText(), before);
    EXPECT_TRUE(status.PointerLabelText().contains(QString::fromStdString(timestampUnderMouse())))
        << status.PointerLabelText().toStdString();
  }

  Key(Qt::Key_A);
  EXPECT_TRUE(status.CursorsShown());
  window->ShowNotice("Already open, not opened again: TT1a.kcs");
  EXPECT_FALSE(status.CursorsShown());
  MoveMouse(x + 100, PlotMiddleY(1));
  Key(Qt::Key_B);
  EXPECT_FALSE(status.CursorsShown());
  window->Status()->clearMessage();
  EXPECT_TRUE(status.CursorsShown());
  EXPECT_TRUE(status.CursorsLabelText().contains(QStringLiteral("  B "))) << status.CursorsLabelText().toStdString();
}

}  // namespace
}  // namespace skelvane
