// The summary path and the record-index walk against the sample-by-sample walk through the manager's
// time lookups, over random recordings (whose record times may go back) and random views; and the
// plot's pictures against that walk's, whatever the signal, the gain and the plot's place.
#include "columns/SummaryColumns.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <limits>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "columns/LiteralColumns.h"
#include "columns/RecordColumns.h"
#include "columns/RecordWalk.h"
#include "datafile/RecordReader.h"
#include "display/ColorTable.h"
#include "display/ColumnsAhead.h"
#include "display/CscPlot.h"
#include "display/PlotCanvas.h"
#include "display/PlotCollection.h"
#include "display/ViewModel.h"
#include "display/ViewState.h"
#include "filter/FilterDesign.h"
#include "filter/FilterStream.h"
#include "platform/StatusCodes.h"
#include "render/GLRenderer.h"
#include "summary/SourceSummary.h"
#include "summary/SummaryBuilder.h"
#include "tests/support/FakeDataSourceManager.h"
#include "tests/support/RandomRecording.h"
#include "tests/support/SyntheticSources.h"
#include "tests/support/TempDir.h"
#include "tests/support/TestFrame.h"

namespace skelvane {
namespace {

constexpr const char* kPath = "/rec/CSC1.kcs";
constexpr int32_t kRecordMicros = test::kRandomRecordMicros;
constexpr int64_t kHeaderBytes = 16'384;

// A random view: anywhere from before the first record to after the last, any width, and spans from
// a fraction of a record to more than the whole recording.
ColumnSpan RandomSpan(int64_t firstTimestamp, int64_t lastTimestamp, std::mt19937_64& random) {
  auto uniform = [&](int64_t low, int64_t high) { return std::uniform_int_distribution<int64_t>(low, high)(random); };
  const int64_t whole = lastTimestamp - firstTimestamp + 2 * kRecordMicros;
  ColumnSpan span;
  const double logSpan = std::uniform_real_distribution<double>(std::log(1000.0), std::log(1.5 * whole))(random);
  const int64_t length = std::max<int64_t>(1, static_cast<int64_t>(std::exp(logSpan)));
  span.start = uniform(firstTimestamp - 5 * kRecordMicros - length / 2, lastTimestamp + kRecordMicros);
  span.end = span.start + length;
  span.width = static_cast<int32_t>(std::exp(std::uniform_real_distribution<double>(0.0, std::log(3000.0))(random)));
  span.recordDuration = kRecordMicros;
  span.samplePeriod = uniform(0, 1) == 0 ? 31.25 : std::uniform_real_distribution<double>(20.0, 40.0)(random);
  span.scale = uniform(0, 4) == 0 ? std::uniform_real_distribution<double>(0.05, 3.0)(random) : 1.0;
  return span;
}

struct Columns {
  int32_t status = 0;
  PixelCache cache;
};

void ExpectSame(const Columns& expected, const Columns& actual, const ColumnSpan& span, const char* path) {
  SCOPED_TRACE(::testing::Message() << path << ": start " << span.start << " end " << span.end << " width "
                                    << span.width << " period " << span.samplePeriod << " scale " << span.scale);
  EXPECT_EQ(expected.status, actual.status);
  EXPECT_EQ(expected.cache.xs, actual.cache.xs);
  EXPECT_EQ(expected.cache.counts, actual.cache.counts);
  EXPECT_EQ(expected.cache.mins, actual.cache.mins);
  EXPECT_EQ(expected.cache.maxs, actual.cache.maxs);
}

class SummaryColumnsTest : public ::testing::Test {
 protected:
  void SetUp() override { source = manager.AddSource(kPath); }
  // Builds the summary of the source's file synchronously.
  int32_t BuildSummary(SourceSummary& summary) {
    RecordLayout layout;
    EXPECT_EQ(manager.GetRecordLayout(source, layout), 0);
    std::atomic<bool> cancel{false};
    std::atomic<int64_t> done{0};
    return SourceSummary::Build(layout, cancel, done, summary);
  }

  test::FakeDataSourceManager manager;
  test::TempDir folder;
  int32_t source = 0;
};

TEST_F(SummaryColumnsTest, SummaryAndIndexWalksGiveTheColumnsOfTheLookupWalk) {
  std::mt19937_64 random(20261208);
  // SUMMARY_RECORDINGS=n walks n recordings instead of 20.
  const char* recordings = std::getenv("SUMMARY_RECORDINGS");
  const int32_t recordingCount = recordings != nullptr ? std::max(1, std::atoi(recordings)) : 20;
  for (int32_t recording = 0; recording < recordingCount; ++recording) {
    manager.sources[source].bytes.clear();
    // Every fifth recording is long enough for the coarsest nodes (4096 records).
    const int32_t count = recording % 5 == 4 ? std::uniform_int_distribution<int32_t>(4100, 9000)(random)
                                             : std::uniform_int_distribution<int32_t>(1, 700)(random);
    // Every fourth recording has records stamped late or stepping back, as files of crashed or
    // restarted acquisitions do: the walks follow the time lookups wherever those go.
    test::AddRandomRecords(manager, source, count, random, recording % 3, recording % 10 == 9, recording % 4 == 1);
    manager.WriteFile(source, folder.File("rec.kcs"), kHeaderBytes, recording % 3 == 0 ? 517 : 0);
    SourceSummary summary;
    ASSERT_EQ(BuildSummary(summary), 0);
    ASSERT_EQ(summary.NumRecords(), count);
    RecordLayout layout;
    manager.GetRecordLayout(source, layout);
    RecordReader reader;
    ASSERT_EQ(reader.Open(layout), 0);
    std::vector<uint8_t> all;
    ASSERT_EQ(reader.Read(0, count, all), 0);
    const std::span<const int64_t> timestamps = summary.Timestamps();

    for (int32_t view = 0; view < 40; ++view) {
      const ColumnSpan span = RandomSpan(timestamps.front(), timestamps.back(), random);
      for (const bool minMax : {true, false}) {
        Columns expected;
        expected.status = LiteralColumns::ThroughManager(manager, source, span, minMax, expected.cache);
        // The index walk over the records the plot would read: all of them here.
        Columns walked;
        const SparseTimeIndex index = summary.TimeIndex();
        const RecordWalk walk(index);
        walked.status = LiteralColumns::FromRecords(walk, 0, all.data(), kCscRecordSize, span, minMax, walked.cache);
        ExpectSame(expected, walked, span, minMax ? "index walk, bars" : "index walk, samples");
        Columns split;
        split.status = RecordColumns::Build(walk, 0, all.data(), kCscRecordSize, span, minMax, split.cache);
        ExpectSame(expected, split, span, minMax ? "records by column, bars" : "records by column, samples");
        if (!minMax) continue;
        Columns folded;
        folded.status = SummaryColumns::Build(summary, reader, span, folded.cache);
        ExpectSame(expected, folded, span, "summary");
        Columns halves;  // the walk split over two threads wherever it spans more than a few records
        halves.status = SummaryColumns::Build(summary, reader, span, halves.cache, view % 8);
        ExpectSame(expected, halves, span, "summary in two halves");
      }
      if (HasFailure()) return;
    }
  }
}

// The view after `span`: random (kind 0), over just about as many records as the summary's
// threshold (1) or what is read in one go (2), at one sample per column (3), or scrolled or zoomed
// a little (4); the whole one (-1) as it is. The plot's timing goes into it.
void NextView(int32_t kind, const std::vector<int64_t>& timestamps, const CscPlot& plot, std::mt19937_64& random,
              ColumnSpan& span) {
  if (kind == 4) {
    const int64_t length = span.end - span.start;
    span.start += std::uniform_int_distribution<int64_t>(-length / 2, length / 2)(random);
    span.end = span.start + std::max<int64_t>(1000, length * std::uniform_int_distribution<int64_t>(7, 9)(random) / 8);
  } else if (kind >= 0) {
    span = RandomSpan(timestamps.front(), timestamps.back(), random);
  }
  span.recordDuration = plot.GetRecordDuration();
  span.samplePeriod = plot.GetSamplePeriod();
  span.scale = 1.0;
  if (kind == 1 || kind == 2) {
    const auto summaryFrom = std::max<int64_t>(CscPlot::kSummaryMinRecords,
                                               static_cast<int64_t>(plot.SummaryRecordsPerColumn() * span.width));
    const int64_t records =
        (kind == 1 ? summaryFrom : CscPlot::kReadRecords) + std::uniform_int_distribution<int64_t>(-3, 3)(random);
    span.end = span.start + records * kRecordMicros;
  } else if (kind == 3) {
    span.end = span.start + static_cast<int64_t>(span.width * span.samplePeriod);
  }
}

// The plot itself: short spans never wait for the summary, long bar spans draw nothing until it is
// built and then exactly the columns of the lookup walk; a truncated file stops the trace for good.
TEST_F(SummaryColumnsTest, PlotDrawsTheLookupWalkColumnsOnceItsSummaryIsBuilt) {
  std::mt19937_64 random(7);
  test::AddRandomRecords(manager, source, 3 * static_cast<int32_t>(CscPlot::kReadRecords), random);
  manager.WriteFile(source, folder.File("plot.kcs"), kHeaderBytes, 300);
  CscPlot plot(kPath, "CSC1", manager, 0xFFFFFF);
  plot.LoadSourceInfo();
  const std::vector<int64_t> timestamps = [&] {
    std::vector<int64_t> t;
    for (int64_t r = 0; r < manager.sources[source].Count(); ++r) {
      t.push_back(CscRecord(manager.sources[source].bytes.data() + r * kCscRecordSize).Timestamp());
    }
    return t;
  }();
  auto draw = [&](const ColumnSpan& span) {
    return plot.Draw(test::FrameFor(span.start, span.end - span.start, span.width), span.width, 100, 0, 0);
  };

  // A few records' span is read and drawn at once: no summary is started or waited for.
  ColumnSpan few;
  few.start = timestamps[timestamps.size() / 2];
  few.end = few.start + 40 * kRecordMicros;
  few.width = 900;
  ASSERT_EQ(draw(few), 0);
  EXPECT_EQ(plot.Summary(), nullptr);
  EXPECT_FALSE(plot.Cache().xs.empty());

  ColumnSpan whole;
  whole.start = timestamps.front() - 1;
  whole.end = timestamps.back() + kRecordMicros;
  whole.width = 1500;
  ASSERT_EQ(draw(whole), 0);
  ASSERT_NE(plot.Summary(), nullptr);
  EXPECT_TRUE(plot.Cache().xs.empty());  // nothing before the summary is there
  EXPECT_TRUE(plot.WaitForSummary());
  EXPECT_EQ(plot.Summary()->GetState(), SummaryBuilder::State::Ready);
  EXPECT_EQ(plot.Summary()->GetProgress().recordsDone, plot.Summary()->GetProgress().recordsTotal);

  // Random views; views whose records number just about the summary's threshold or what is read in
  // one go; one sample per column; and views scrolled or zoomed a little from the last one, where
  // the plot keeps the records it has already read.
  ColumnSpan span = whole;
  for (int32_t view = 0; view < 60; ++view) {
    const int32_t kind = view == 0 ? -1 : view % 5;
    const bool keepRecords = kind == 4;
    NextView(kind, timestamps, plot, random, span);
    const bool minMax = span.recordDuration / 4 < (span.end - span.start) / span.width;
    Columns expected;
    expected.status = LiteralColumns::ThroughManager(manager, source, span, minMax, expected.cache);
    if (!keepRecords) plot.ClearCache();
    draw(span);
    Columns drawn{expected.status == 0 ? 0 : kStatusFailed, plot.Cache()};
    if (expected.status != 0) expected.cache.Clear();
    ExpectSame(expected, drawn, span, minMax ? "plot, bars" : "plot, samples");
    if (HasFailure()) return;
  }

  // A file that lost records: the next walk that reads them fails, the manager is asked, the trace goes.
  std::filesystem::resize_file(folder.File("plot.kcs"), kHeaderBytes + 10 * kCscRecordSize);
  manager.changedPaths.insert(kPath);
  plot.ClearCache();
  const int64_t checks = manager.checkCalls;
  draw(whole);
  EXPECT_GT(manager.checkCalls, checks);
  EXPECT_TRUE(plot.SourceChanged());
  EXPECT_TRUE(plot.Cache().xs.empty());
}

// A source holding the whole-file filtered pass of source `from`: its records' timestamps with their
// samples filtered front to back in one stream, as the extraction filters a file.
int32_t AddFilteredPass(test::FakeDataSourceManager& manager, int32_t from, const FilterDesign& design,
                        double sampleInterval, const std::string& path) {
  const int32_t pass = manager.AddSource(path);
  FilterStream stream(design, sampleInterval);
  const auto take = [&] {
    for (; stream.Ready() > 0; stream.Pop()) {
      const int16_t* filtered = stream.FrontSamples();
      manager.AddRecord(pass, stream.FrontTimestamp(), 32'000, std::vector<int16_t>(filtered, filtered + kSamplesPerRecord));
    }
  };
  std::vector<int16_t> samples(kSamplesPerRecord);
  for (int64_t r = 0; r < manager.sources[from].Count(); ++r) {
    const CscRecord record(manager.sources[from].bytes.data() + r * kCscRecordSize);
    record.CopySamples(samples.data());
    stream.Push(record.Timestamp(), samples.data());
    take();
  }
  stream.Finish();
  take();
  return pass;
}

// A band of any kind: a named one, or custom cut-offs with either side open.
FilterChoice RandomFilter(std::mt19937_64& random) {
  const auto hz = [&](double low, double high) {
    return std::exp(std::uniform_real_distribution<double>(std::log(low), std::log(high))(random));
  };
  switch (std::uniform_int_distribution<int32_t>(0, 4)(random)) {
    case 0: return FilterChoice::Spike();
    case 1: return FilterChoice::Lfp();
    case 2: return FilterChoice::Custom(hz(20.0, 3000.0), std::nullopt);
    case 3: return FilterChoice::Custom(std::nullopt, hz(100.0, 12000.0));
    default: break;
  }
  const double low = hz(20.0, 3000.0);
  return FilterChoice::Custom(low, low * hz(1.5, 5.0));
}

// The filtered plot at every zoom: through the records it reads, through its filtered summary with
// the filtered samples read at column edges, exactly the columns the lookup walk finds in a
// whole-file filtered pass of its recording (gaps, overlaps, runs of equal timestamps and records
// stamped late or going back included);
// None again draws the recording as it is.
TEST_F(SummaryColumnsTest, FilteredPlotDrawsTheLookupWalkOfAWholeFileFilteredPass) {
  std::mt19937_64 random(29);
  // Long enough for the summary at the whole view, and one shorter than the LFP Band's support.
  const int32_t counts[] = {9000, 6000, 2 * static_cast<int32_t>(CscPlot::kReadRecords) + 100, 40};
  for (int32_t recording = 0; recording < 4; ++recording) {
    manager.sources[source].bytes.clear();
    test::AddRandomRecords(manager, source, counts[recording], random, 0, false, true);
    const std::string file = folder.File("filtered" + std::to_string(recording) + ".kcs");
    manager.WriteFile(source, file, kHeaderBytes, 0);
    CscPlot plot(kPath, "CSC1", manager, 0xFFFFFF);
    plot.LoadSourceInfo();
    // The Spike Band's short support walks the summary from fewer records a column than the LFP Band's.
    const FilterChoice filter = recording == 0                    ? FilterChoice::Spike()
                                : recording == 1 || recording == 3 ? FilterChoice::Lfp()
                                                                   : RandomFilter(random);
    std::string refusal;
    ASSERT_TRUE(plot.SetFilter(filter, refusal)) << refusal;
    EXPECT_EQ(plot.HeaderNote(), filter.Description());
    EXPECT_EQ(plot.FilterNotice().empty(), recording != 3);
    const std::optional<FilterDesign> design = FilterDesign::For(filter, plot.GetSamplingFrequency(), refusal);
    ASSERT_TRUE(design.has_value());
    const int32_t pass =
        AddFilteredPass(manager, source, *design, plot.GetSamplePeriod(), "/rec/pass" + std::to_string(recording));
    std::vector<int64_t> timestamps;
    for (int64_t r = 0; r < manager.sources[source].Count(); ++r) {
      timestamps.push_back(CscRecord(manager.sources[source].bytes.data() + r * kCscRecordSize).Timestamp());
    }
    auto draw = [&](const ColumnSpan& span) {
      return plot.Draw(test::FrameFor(span.start, span.end - span.start, span.width), span.width, 100, 0, 0);
    };
    ColumnSpan span;
    span.start = timestamps.front() - 1;
    span.end = *std::max_element(timestamps.begin(), timestamps.end()) + kRecordMicros;
    span.width = 1500;
    draw(span);
    plot.WaitForSummary();
    for (int32_t view = 0; view < 30; ++view) {
      SCOPED_TRACE(::testing::Message() << filter.Description() << ", recording " << recording);
      const int32_t kind = view == 0 ? -1 : view % 5;
      NextView(kind, timestamps, plot, random, span);
      const bool minMax = span.recordDuration / 4 < (span.end - span.start) / span.width;
      Columns expected;
      expected.status = LiteralColumns::ThroughManager(manager, pass, span, minMax, expected.cache);
      if (kind != 4) plot.ClearCache();
      draw(span);
      Columns drawn{expected.status == 0 ? 0 : kStatusFailed, plot.Cache()};
      if (expected.status != 0) expected.cache.Clear();
      ExpectSame(expected, drawn, span, minMax ? "filtered plot, bars" : "filtered plot, samples");
      if (HasFailure()) return;
    }
    ASSERT_TRUE(plot.SetFilter(FilterChoice(), refusal));
    EXPECT_EQ(plot.HeaderNote(), "");
    NextView(0, timestamps, plot, random, span);
    const bool minMax = span.recordDuration / 4 < (span.end - span.start) / span.width;
    Columns expected;
    expected.status = LiteralColumns::ThroughManager(manager, source, span, minMax, expected.cache);
    draw(span);
    plot.WaitForSummary();
    plot.ClearCache();
    draw(span);
    if (expected.status != 0) expected.cache.Clear();
    ExpectSame(expected, Columns{expected.status == 0 ? 0 : kStatusFailed, plot.Cache()}, span, "None again");
    if (HasFailure()) return;
  }
}

// The canvas prepares its plots side by side before drawing them: each plot then holds exactly the
// bars or trace its own draw would build, and the draw that uses them still asks the manager
// whether the source changed.
TEST_F(SummaryColumnsTest, PreparedPlotsHoldTheColumnsTheirDrawWouldBuild) {
  constexpr const char* kSecondPath = "/rec/CSC2.kcs";
  const int32_t second = manager.AddSource(kSecondPath);
  std::mt19937_64 random(11);
  ColorTable colours;
  PlotCollection collection(manager, colours);
  ViewState v;
  PlotCanvas canvas(v, nullptr, &collection, &manager);
  std::vector<CscPlot*> plots;
  for (const int32_t s : {source, second}) {
    test::AddRandomRecords(manager, s, 2 * static_cast<int32_t>(CscPlot::kReadRecords), random);
    manager.WriteFile(s, folder.File("prepared" + std::to_string(s) + ".kcs"), kHeaderBytes, 0);
    ASSERT_EQ(collection.CreatePlot("CSC", 5, s == source ? kPath : kSecondPath), 0);
    IPlot* plot = nullptr;
    ASSERT_EQ(collection.GetPlot(collection.GetNumPlots() - 1, plot), 0);
    plots.push_back(static_cast<CscPlot*>(plot));
    plots.back()->StartSummary();
    ASSERT_TRUE(plots.back()->WaitForSummary());
  }
  v.CanvasWidth = 1300;
  v.CanvasHeight = 2000;
  v.ScrollTop = 0;
  v.ScrollBottom = -v.CanvasHeight;
  int64_t first = 0;
  int64_t last = 0;
  manager.GetTimeRange(first, last);

  for (int32_t view = 0; view < 12; ++view) {
    ColumnSpan span = RandomSpan(first, last, random);
    if (view == 0) span.start = first - 1, span.end = last + kRecordMicros;  // the whole recording
    v.VisibleStart = span.start;
    v.VisibleSpan = span.end - span.start;
    span.width = canvas.TraceWidth();
    span.scale = 1.0;
    for (CscPlot* plot : plots) plot->ClearCache();
    canvas.PreparePlots();
    for (std::size_t p = 0; p < plots.size(); ++p) {
      span.recordDuration = plots[p]->GetRecordDuration();
      span.samplePeriod = plots[p]->GetSamplePeriod();
      const bool bars = span.recordDuration / 4 < (span.end - span.start) / span.width;
      if (view == 0) {
        EXPECT_FALSE(plots[p]->Cache().xs.empty()) << "the whole recording is prepared";
      }
      if (plots[p]->Cache().width == 0) continue;  // a span the plot walks itself
      EXPECT_EQ(plots[p]->Cache().minMax, bars);
      Columns expected;
      expected.status = LiteralColumns::ThroughManager(manager, p == 0 ? source : second, span, bars, expected.cache);
      ExpectSame(expected, Columns{0, plots[p]->SettledCache()}, span, bars ? "prepared bars" : "prepared trace");
    }
    if (HasFailure()) return;
  }

  // A prepared plot whose source changed meanwhile: its draw asks, and drops the bars.
  v.VisibleStart = first - 1;
  v.VisibleSpan = last + kRecordMicros - v.VisibleStart;
  for (CscPlot* plot : plots) plot->ClearCache();
  canvas.PreparePlots();
  ASSERT_FALSE(plots[0]->Cache().xs.empty());
  manager.changedPaths.insert(kPath);
  const int64_t checks = manager.checkCalls;
  plots[0]->Draw(canvas.Frame(), canvas.TraceWidth(), 100, 0, 0);
  EXPECT_GT(manager.checkCalls, checks);
  EXPECT_TRUE(plots[0]->SourceChanged());
  EXPECT_TRUE(plots[0]->Cache().xs.empty());
  collection.RemoveAllPlots();
}

// The first frame after opening: plots just made, never drawn and with no summary, are prepared by
// the canvas's helpers (not left to its own thread) and hold the columns of the literal walk.
TEST_F(SummaryColumnsTest, PlotsJustOpenedArePreparedForTheirFirstFrame) {
  std::mt19937_64 random(29);
  test::AddRandomRecords(manager, source, 3 * static_cast<int32_t>(CscPlot::kReadRecords), random);
  manager.WriteFile(source, folder.File("opened.kcs"), kHeaderBytes, 0);
  int64_t first = 0;
  int64_t last = 0;
  manager.GetTimeRange(first, last);
  for (int32_t view = 0; view < 16; ++view) {
    // Spans the plot reads from the file: from a few columns a record to what is read in one go.
    const int64_t records = std::uniform_int_distribution<int64_t>(1, CscPlot::kReadRecords / 2)(random);
    ColumnSpan span;
    span.start = std::uniform_int_distribution<int64_t>(first, last - records * kRecordMicros)(random);
    span.end = span.start + records * kRecordMicros;
    // A window that has just opened the recording (three plots of it, so that helpers take part).
    ColorTable colours;
    PlotCollection collection(manager, colours);
    ViewState v;
    PlotCanvas canvas(v, nullptr, &collection, &manager);
    v.CanvasWidth = 1300;
    v.CanvasHeight = 2000;
    v.ScrollTop = 0;
    v.ScrollBottom = -v.CanvasHeight;
    v.VisibleStart = span.start;
    v.VisibleSpan = span.end - span.start;
    for (int32_t copy = 0; copy < 3; ++copy) ASSERT_EQ(collection.CreatePlot("CSC", 5, kPath), 0);
    canvas.PreparePlots();
    for (int32_t p = 0; p < collection.GetNumPlots(); ++p) {
      IPlot* plot = nullptr;
      ASSERT_EQ(collection.GetPlot(p, plot), 0);
      const auto* csc = static_cast<const CscPlot*>(plot);
      span.width = canvas.TraceWidth();
      span.recordDuration = csc->GetRecordDuration();
      span.samplePeriod = csc->GetSamplePeriod();
      span.scale = 1.0;
      const bool bars = span.recordDuration / 4 < (span.end - span.start) / span.width;
      ASSERT_FALSE(csc->Cache().xs.empty()) << "view " << view << ", plot " << p << " was not prepared";
      Columns expected;
      expected.status = LiteralColumns::ThroughManager(manager, source, span, bars, expected.cache);
      ExpectSame(expected, Columns{0, csc->Cache()}, span, bars ? "first bars" : "first trace");
    }
    if (HasFailure()) return;
  }
}

// One recording drawn twice on canvases alike: by a plot that reads its file (short spans read,
// long ones from the summary, bars settled for the rows they land in) and by one that can only walk
// the manager's time lookups sample by sample. With a band filter the reading plot filters as it
// draws and the walking one walks a whole-file filtered pass of the recording; the plots' names
// (which then differ by the band the filtered one names) are left out of both pictures.
class TwoPlots {
 public:
  static constexpr int32_t kWidth = 640;
  static constexpr int32_t kHeight = 360;

  TwoPlots(test::FakeDataSourceManager& manager, int32_t readable, int32_t literal, GLRenderer& renderer,
           const FilterChoice& filter = FilterChoice())
      : read_(manager), walked_(manager), renderer_(renderer) {
    for (Side* side : {&read_, &walked_}) {
      side->canvas = std::make_unique<PlotCanvas>(side->view, &renderer, &side->plots, &manager);
      side->canvas->Properties().showPlotNames = filter.IsNone() ? 1 : 0;
      side->view.CanvasWidth = kWidth;
      side->view.CanvasHeight = kHeight;
      side->canvas->SetMinimumSpan(kWidth);
    }
    read_.plot = AddPlot(read_, manager, readable);
    if (!filter.IsNone()) {
      read_.plot->LoadSourceInfo();
      std::string refusal;
      EXPECT_TRUE(read_.plot->SetFilter(filter, refusal)) << refusal;
      const std::optional<FilterDesign> design = FilterDesign::For(filter, read_.plot->GetSamplingFrequency(), refusal);
      EXPECT_TRUE(design.has_value()) << refusal;
      if (design) {  // else the pictures differ, and say so
        literal = AddFilteredPass(manager, readable, *design, read_.plot->GetSamplePeriod(),
                                  manager.sources[static_cast<std::size_t>(readable)].path + "." + filter.Text());
      }
    }
    walked_.plot = AddPlot(walked_, manager, literal);
    read_.plot->StartSummary();
    read_.plot->WaitForSummary();
  }
  ~TwoPlots() {
    read_.plots.RemoveAllPlots();
    walked_.plots.RemoveAllPlots();
  }
  // Both drawn over [start, start + span] with the plot `height` tall at `gain`, the canvas
  // scrolled by `scroll`: the number of pixels that differ.
  int64_t DifferingPixels(int64_t start, int64_t span, int32_t height, double gain, int32_t scroll) {
    std::vector<uint8_t> pictures[2];
    for (Side* side : {&read_, &walked_}) {
      ViewState& v = side->view;
      v.VisibleStart = start;
      v.VisibleSpan = span;
      v.ScrollTop = scroll;
      v.ScrollBottom = scroll - kHeight;
      side->plot->SetHeight(height);
      side->canvas->SetAmplitudeGain(side->plot->GetPath(), gain);
      renderer_.RequestNewDIBSection();
      EXPECT_EQ(side->canvas->RedrawAll(), 0);
      EXPECT_EQ(renderer_.ReadBack(), 0);
      const MemoryBitmap& bitmap = renderer_.Bitmap();
      pictures[side == &read_ ? 0 : 1].assign(bitmap.Bits(), bitmap.Bits() + bitmap.SizeInBytes());
    }
    if (pictures[0].size() != pictures[1].size()) return -1;
    int64_t differing = 0;
    for (std::size_t i = 0; i + 3 <= pictures[0].size(); i += 4) {
      differing += std::memcmp(&pictures[0][i], &pictures[1][i], 3) != 0 ? 1 : 0;
    }
    return differing;
  }
  CscPlot& ReadingPlot() { return *read_.plot; }
  /// The views one more step would most likely show after the reading side's last picture, over
  /// the data from `first` to `last`, with the pointer at `pointerX`.
  std::vector<ViewState> ViewsAhead(int64_t first, int64_t last, int32_t pointerX) {
    ViewState copy = read_.view;
    ViewModel model(copy, *read_.canvas, read_.plots);
    model.UpdateTimeRange(first, last);
    copy.VisibleStart = read_.view.VisibleStart;
    copy.VisibleSpan = read_.view.VisibleSpan;
    return model.ViewsAhead(pointerX);
  }
  /// The reading side works out the columns of `views` ahead, as the window does while it waits.
  void WorkAhead(const std::vector<ViewState>& views) {
    ColumnsAhead ahead;
    ahead.Start(read_.canvas->JobsAhead(views));
    ahead.Finish();
  }

 private:
  struct Side;
  static CscPlot* AddPlot(Side& side, test::FakeDataSourceManager& manager, int32_t source) {
    EXPECT_EQ(side.plots.CreatePlot("CSC", 5, manager.sources[static_cast<std::size_t>(source)].path), 0);
    IPlot* plot = nullptr;
    EXPECT_EQ(side.plots.GetPlot(0, plot), 0);
    auto* csc = static_cast<CscPlot*>(plot);
    csc->Properties().drawPoints = 0;
    return csc;
  }
  struct Side {
    explicit Side(IDataSourceManager& manager) : plots(manager, colours) {}
    ViewState view;
    ColorTable colours = PlotCanvas::MakePlotColours();
    PlotCollection plots;
    std::unique_ptr<PlotCanvas> canvas;
    CscPlot* plot = nullptr;
  };
  Side read_;
  Side walked_;
  GLRenderer& renderer_;
};

// Every signal kind, a large slow wave (its column extremes at the columns' edges, its rows fine at
// high gains), a sine near half the sampling rate, and random records whose times jitter and go
// back, each unfiltered and through the Spike Band, the LFP Band and a random custom band: at random
// spans, gains (every third view at x4), plot heights and places on the canvas (partly off it,
// against its edges), the plot's picture is the sample-by-sample walk's (of a whole-file filtered
// pass, with a filter), pixel for pixel, while bars are settled for their rows.
TEST(PlotPictures, AreTheLookupWalksPicturesWhateverTheSignalTimesFilterGainAndPlace) {
  test::TempDir folder;
  GLRenderer renderer;
  std::mt19937_64 random(20261209);
  auto uniform = [&](int64_t low, int64_t high) { return std::uniform_int_distribution<int64_t>(low, high)(random); };
  std::vector<std::string> cases;
  for (const SignalKind& kind : SignalKinds::All()) cases.emplace_back(kind.name);
  cases.insert(cases.end(), {"slow wave", "near Nyquist", "going back", "going back"});
  // The named cases' waves, on the kind whose noise and spikes they keep.
  const std::map<std::string, std::pair<std::string, SynthOscillation>> waves = {
      {"slow wave", {"oscillation", {0.5, 1500.0}}}, {"near Nyquist", {"sine", {15'900.0, 1000.0}}}};
  int64_t openBars[2] = {};  // unfiltered, filtered
  for (std::size_t c = 0; c < cases.size(); ++c) {
    SCOPED_TRACE(cases[c]);
    test::FakeDataSourceManager manager;
    std::vector<int32_t> sources;
    if (cases[c] == "going back") {
      std::mt19937_64 copy = random;
      for (const char* path : {"/rec/A.kcs", "/rec/B.kcs"}) {
        sources.push_back(manager.AddSource(path));
        std::mt19937_64 same = copy;
        test::AddRandomRecords(manager, sources.back(), 3000, same, 0, false, true);
        random = same;
      }
    } else {
      const auto wave = waves.find(cases[c]);
      SynthOptions options = test::SignalKindOptions(wave != waves.end() ? wave->second.first : cases[c], 50.0, 1, c + 1);
      if (wave != waves.end()) options.oscillation = wave->second.second;
      for (const char* prefix : {"A", "B"}) {
        options.prefix = prefix;
        sources.push_back(test::AddSyntheticSources(manager, options).front());
      }
    }
    manager.WriteFile(sources[0], folder.File("plot" + std::to_string(c) + ".kcs"), kHeaderBytes);
    int64_t first = 0;
    int64_t last = 0;
    manager.GetTimeRange(first, last);
    const std::vector<test::FakeSource> made = manager.sources;
    for (const FilterChoice& filter : {FilterChoice(), FilterChoice::Spike(), FilterChoice::Lfp(), RandomFilter(random)}) {
      SCOPED_TRACE(filter.Description());
      manager.sources = made;  // the last pair of plots closed theirs
      TwoPlots plots(manager, sources[0], sources[1], renderer, filter);
      for (int32_t view = 0; view < (filter.IsNone() ? 14 : 6); ++view) {
        const double logSpan = std::uniform_real_distribution<double>(std::log(2.0e5), std::log(double(last - first)))(random);
        const auto span = static_cast<int64_t>(std::exp(logSpan));
        const int64_t start = uniform(first, std::max(first, last - span));
        const int32_t height = static_cast<int32_t>(uniform(60, 420));
        const double gains[] = {1.0, 1.0, 2.0, 4.0, 16.0, 0.5};
        const double gain = view % 3 == 0 ? 4.0 : gains[uniform(0, 5)];
        const int32_t scroll = static_cast<int32_t>(uniform(-height, 60));
        ASSERT_EQ(plots.DifferingPixels(start, span, height, gain, scroll), 0)
            << "view " << view << ": start " << start << " span " << span << " height " << height << " gain " << gain
            << " scroll " << scroll;
        openBars[filter.IsNone() ? 0 : 1] += static_cast<int64_t>(plots.ReadingPlot().Cache().open.size());
      }
    }
  }
  EXPECT_TRUE(renderer.BarMasksInUse());
  EXPECT_GT(openBars[0], 0) << "some bars were settled for their rows, never read";
  EXPECT_GT(openBars[1], 0) << "some filtered bars were settled for their rows, never filtered";
}

// The columns a plot works out ahead, while the window waits, for the views one more step would
// show (bars settled for the rows of the last picture, a trace's pixels for its transform) draw
// the sample-by-sample walk's picture when that step comes, whatever the signal, gain and place;
// and a plot keeps none for views no longer ahead.
TEST(PlotPictures, ColumnsWorkedOutAheadDrawTheLookupWalksPictures) {
  test::TempDir folder;
  GLRenderer renderer;
  std::mt19937_64 random(20261210);
  auto uniform = [&](int64_t low, int64_t high) { return std::uniform_int_distribution<int64_t>(low, high)(random); };
  int64_t taken = 0;
  for (const char* kind : {"spiky", "oscillation", "noise"}) {
    SCOPED_TRACE(kind);
    test::FakeDataSourceManager manager;
    SynthOptions options = test::SignalKindOptions(kind, 50.0, 1, 7);
    if (std::string(kind) == "oscillation") options.oscillation = {0.5, 1500.0};
    std::vector<int32_t> sources;
    for (const char* prefix : {"A", "B"}) {
      options.prefix = prefix;
      sources.push_back(test::AddSyntheticSources(manager, options).front());
    }
    manager.WriteFile(sources[0], folder.File(std::string("ahead-") + kind + ".kcs"), kHeaderBytes);
    int64_t first = 0;
    int64_t last = 0;
    manager.GetTimeRange(first, last);
    TwoPlots plots(manager, sources[0], sources[1], renderer);
    for (int32_t view = 0; view < 8; ++view) {
      const double logSpan = std::uniform_real_distribution<double>(std::log(1.0e5), std::log(double(last - first)))(random);
      const auto span = static_cast<int64_t>(std::exp(logSpan));
      const int64_t start = uniform(first, std::max(first, last - span));
      const int32_t height = static_cast<int32_t>(uniform(60, 300));
      const double gain = view % 2 == 0 ? 1.0 : 4.0;
      ASSERT_EQ(plots.DifferingPixels(start, span, height, gain, 0), 0) << "view " << view;
      const std::vector<ViewState> ahead = plots.ViewsAhead(first, last, static_cast<int32_t>(uniform(0, TwoPlots::kWidth - 1)));
      ASSERT_FALSE(ahead.empty());
      plots.WorkAhead(ahead);
      EXPECT_LE(plots.ReadingPlot().AheadCount(), ahead.size());
      // One of them comes.
      const ViewState& next = ahead[static_cast<std::size_t>(uniform(0, static_cast<int64_t>(ahead.size()) - 1))];
      const std::size_t kept = plots.ReadingPlot().AheadCount();
      ASSERT_EQ(plots.DifferingPixels(next.VisibleStart, next.VisibleSpan, height, gain, next.ScrollTop), 0)
          << "view " << view << " ahead: start " << next.VisibleStart << " span " << next.VisibleSpan;
      taken += static_cast<int64_t>(kept - plots.ReadingPlot().AheadCount());
      plots.WorkAhead({});
      EXPECT_EQ(plots.ReadingPlot().AheadCount(), 0u);
    }
  }
  EXPECT_GT(taken, 12) << "frames took the columns worked out ahead";
}

// Timestamps that go back or sit at the ends of the range give some picture, never a crash or a
// walk that does not end, on every path.
TEST_F(SummaryColumnsTest, TimestampsGoingBackNeitherCrashNorLoop) {
  std::mt19937_64 random(11);
  auto uniform = [&](int64_t low, int64_t high) { return std::uniform_int_distribution<int64_t>(low, high)(random); };
  const std::vector<int64_t> extremes = {std::numeric_limits<int64_t>::min(), std::numeric_limits<int64_t>::max(), 0, -1};
  for (int32_t r = 0; r < 900; ++r) {
    const int64_t timestamp = uniform(0, 9) == 0 ? extremes[static_cast<std::size_t>(uniform(0, 3))]
                                                 : uniform(0, 900) * kRecordMicros + uniform(-50'000, 50'000);
    manager.AddRecord(source, timestamp, 32'000, std::vector<int16_t>(kSamplesPerRecord, static_cast<int16_t>(r)));
  }
  manager.WriteFile(source, folder.File("back.kcs"), 0);
  SourceSummary summary;
  ASSERT_EQ(BuildSummary(summary), 0);
  RecordLayout layout;
  manager.GetRecordLayout(source, layout);
  RecordReader reader;
  ASSERT_EQ(reader.Open(layout), 0);
  std::vector<uint8_t> all;
  ASSERT_EQ(reader.Read(0, summary.NumRecords(), all), 0);
  const RecordWalk walk(summary.Timestamps().data(), 0, summary.NumRecords() - 1, summary.Timestamps().front());
  for (int32_t view = 0; view < 200; ++view) {
    ColumnSpan span = RandomSpan(0, 900 * kRecordMicros, random);
    if (view % 10 == 0) {  // a span reaching the end of time
      span.start = std::max<int64_t>(span.start, 0);
      span.end = std::numeric_limits<int64_t>::max() - uniform(0, 5);
    }
    for (const bool minMax : {true, false}) {
      PixelCache walked;
      LiteralColumns::FromRecords(walk, 0, all.data(), kCscRecordSize, span, minMax, walked);
      PixelCache split;
      RecordColumns::Build(walk, 0, all.data(), kCscRecordSize, span, minMax, split);
      for (const PixelCache* cache : {&walked, &split}) {
        EXPECT_EQ(minMax ? cache->xs.size() : cache->PointColumns().size(), cache->mins.size());
      }
    }
    PixelCache folded;
    SummaryColumns::Build(summary, reader, span, folded, view % 3);
    EXPECT_EQ(folded.xs.size(), folded.maxs.size());
    EXPECT_EQ(folded.mins.size(), folded.maxs.size());
  }
}

}  // namespace
}  // namespace skelvane
