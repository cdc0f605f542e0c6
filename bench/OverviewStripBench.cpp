// What the overview strip costs for one channel of an hour's recording in a 1920-pixel-wide window:
// (a) a frame once the envelope exists, as the strip's paint makes it (the kept image, then the box
// over the visible span, into an image of the strip's size like the window's backing store), with the
// whole recording in view (the widest box) and with 10 s in view; it must stay under 1 ms. (b) The
// envelope built from the summary: its columns alone, and drawn into the kept image as a change of
// plot, width or summary does. Each figure is printed in milliseconds and as a ratio to a plain pass
// over the summary's per-record extremes (each record's smallest and largest sample read once) in the
// same run. SKELVANE_BENCH_DATA names a folder of CSC files (for example the 16 x 1 h set: the first
// in name order is shown); otherwise SKELVANE_BENCH_MINUTES (default 60) of one channel are
// synthesised. Qt Gui paints (no widgets), on the offscreen platform unless QT_QPA_PLATFORM says
// otherwise.
#include <benchmark/benchmark.h>

#include <unistd.h>

#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QRect>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "app/OverviewPicture.h"
#include "bench/BenchScene.h"
#include "bench/RatioReporter.h"
#include "datafile/DataSourceManager.h"
#include "display/ColorTable.h"
#include "display/CscPlot.h"
#include "display/OverviewEnvelope.h"
#include "display/PlotCanvas.h"
#include "display/PlotCollection.h"
#include "platform/PathHelpers.h"
#include "summary/SourceSummary.h"
#include "summary/SummaryBuilder.h"
#include "summary/SummaryCache.h"
#include "tools/SyntheticRecording.h"

namespace skelvane {
namespace {

constexpr int32_t kStripWidth = 1920;
constexpr int32_t kStripHeight = 40;  // OverviewStrip::kHeight
constexpr int32_t kTraceLeft = 40;    // the data axis
constexpr int32_t kScrollBar = 15;    // the canvas leaves the vertical scroll bar's width
constexpr int32_t kColumns = kStripWidth - kScrollBar - kTraceLeft;
constexpr int64_t kTenSeconds = 10'000'000;
constexpr double kDefaultMinutes = 60.0;

struct Scene {
  bench::BenchRecordings recordings{"OV", 1, 5, kDefaultMinutes};  // the first of them is drawn
  DataSourceManager manager;
  ColorTable colours = PlotCanvas::MakePlotColours();
  PlotCollection collection{manager, colours};
  CscPlot* plot = nullptr;
  const SourceSummary* summary = nullptr;
  OverviewPicture::Content content;
  bool ready = false;

  Scene() {
    if (recordings.Paths().empty()) return;
    const std::string path = recordings.Paths().front();
    if (manager.OpenSource(path) != 0 || collection.CreatePlot(FileTitleOf(path), kFileTypeCsc, path) != 0) return;
    IPlot* first = nullptr;
    if (collection.GetPlot(0, first) != 0 || (plot = dynamic_cast<CscPlot*>(first)) == nullptr) return;
    plot->StartSummary(SummaryBuilder::Rank::Shown);
    if (!plot->WaitForSummary() || (summary = plot->Summary()->Summary()) == nullptr) return;
    content.path = path;
    manager.GetTimeRange(content.dataStart, content.dataEnd);
    content.left = kTraceLeft;
    content.columns = kColumns;
    content.width = kStripWidth;
    content.height = kStripHeight;
    content.built = true;
    ready = true;
  }
  ~Scene() { collection.RemoveAllPlots(); }

  // The box the strip draws over a view of `span` from the middle of the recording.
  QRect Box(int64_t span) const {
    const int64_t duration = content.dataEnd - content.dataStart;
    const int64_t shown = std::min(span, duration);
    const int64_t start = (duration - shown) / 2;
    const auto column = [&](int64_t offset) { return static_cast<int32_t>(offset * kColumns / duration); };
    return QRect(kTraceLeft + column(start), 0, std::max(column(start + shown) - column(start), 2), kStripHeight);
  }
};

Scene& TheScene() {
  static Scene scene;
  return scene;
}

bool Ready(benchmark::State& state) {
  if (TheScene().ready) return true;
  state.SkipWithError("the recording or its summary could not be had");
  return false;
}

// The baseline: every record's extremes read once from the summary.
void BM_PlainPassOverTheSummary(benchmark::State& state) {
  if (!Ready(state)) return;
  const SourceSummary& summary = *TheScene().summary;
  for (auto _ : state) {
    int16_t low = summary.RecordMin(0);
    int16_t high = summary.RecordMax(0);
    for (int64_t record = 1; record < summary.NumRecords(); ++record) {
      low = std::min(low, summary.RecordMin(record));
      high = std::max(high, summary.RecordMax(record));
    }
    benchmark::DoNotOptimize(low);
    benchmark::DoNotOptimize(high);
  }
}

// (a) What the strip's paint does once the envelope exists: the kept image is checked and painted,
// then the box.
void StripFrame(benchmark::State& state, int64_t span) {
  if (!Ready(state)) return;
  Scene& scene = TheScene();
  OverviewPicture picture;
  picture.Show(scene.plot, scene.content);
  QImage target(kStripWidth, kStripHeight, QImage::Format_ARGB32_Premultiplied);
  const QRect box = scene.Box(span);
  for (auto _ : state) {
    picture.Show(scene.plot, scene.content);
    QPainter painter(&target);
    picture.Paint(painter, box);
    painter.end();
    benchmark::DoNotOptimize(target.constBits());
  }
}
void BM_StripFrameWholeRecording(benchmark::State& state) { StripFrame(state, INT64_MAX); }
void BM_StripFrameTenSeconds(benchmark::State& state) { StripFrame(state, kTenSeconds); }

// (b) The envelope's columns from the summary.
void BM_EnvelopeColumns(benchmark::State& state) {
  if (!Ready(state)) return;
  const Scene& scene = TheScene();
  for (auto _ : state) {
    const std::optional<OverviewEnvelope> envelope =
        OverviewEnvelope::FromPlot(*scene.plot, scene.content.dataStart, scene.content.dataEnd, kColumns);
    benchmark::DoNotOptimize(envelope->Min(0));
  }
}

// (b) The kept image drawn again, as a new plot, width or summary has it drawn: columns, name and lines.
void BM_EnvelopePicture(benchmark::State& state) {
  if (!Ready(state)) return;
  Scene& scene = TheScene();
  OverviewPicture picture;
  OverviewPicture::Content content = scene.content;
  for (auto _ : state) {
    content.dataEnd ^= 1;  // another content each time, so the image is drawn again
    picture.Show(scene.plot, content);
  }
}

BENCHMARK(BM_PlainPassOverTheSummary)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_StripFrameWholeRecording)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_StripFrameTenSeconds)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_EnvelopeColumns)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_EnvelopePicture)->Unit(benchmark::kMillisecond);

void PrintRatios(const bench::RatioReporter& reporter) {
  const auto pass = reporter.times.find("BM_PlainPassOverTheSummary");
  if (pass == reporter.times.end() || !(pass->second > 0)) return;
  const Scene& scene = TheScene();
  std::printf("\nOverview strip of %s (%lld records), %d columns; against a plain pass over the summary's record "
              "extremes (%.3f ms):\n",
              FileTitleOf(scene.content.path).c_str(), static_cast<long long>(scene.summary->NumRecords()), kColumns,
              pass->second);
  const struct {
    const char* name;
    const char* what;
    const char* target;
  } figures[] = {
      {"BM_StripFrameWholeRecording", "(a) frame, whole recording in view", "at most 1 ms"},
      {"BM_StripFrameTenSeconds", "(a) frame, 10 s in view", "at most 1 ms"},
      {"BM_EnvelopeColumns", "(b) envelope columns", "once per summary or width"},
      {"BM_EnvelopePicture", "(b) envelope drawn", "once per plot, summary or width"},
  };
  for (const auto& figure : figures) {
    const auto time = reporter.times.find(figure.name);
    if (time == reporter.times.end()) continue;
    std::printf("  %-38s %8.3f ms  %8.3f x the plain pass  (%s)\n", figure.what, time->second,
                time->second / pass->second, figure.target);
  }
}

}  // namespace
}  // namespace skelvane

int main(int argc, char** argv) {
  // These figures are of a summary built in memory: none read from or left in the summary cache.
  skelvane::SummaryCache::Instance().SetEnabled(false);
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QGuiApplication application(argc, argv);  // the name's text needs the font database
  skelvane::bench::RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  skelvane::PrintRatios(reporter);
  benchmark::Shutdown();
  return 0;
}
