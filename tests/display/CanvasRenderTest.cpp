// Real renders of synthetic recordings through the canvas, the CSC plot and the off-screen renderer.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <functional>
#include <gtest/gtest.h>
#include <map>
#include <random>

#include "datafile/DataSourceManager.h"
#include "display/CanvasOverlays.h"
#include "display/ColumnsAhead.h"
#include "display/CscPlot.h"
#include "display/MarkerSet.h"
#include "display/PlotCanvas.h"
#include "display/PlotCollection.h"
#include "display/TimeCursors.h"
#include "display/ViewModel.h"
#include "display/ViewState.h"
#include "filter/FilterChoice.h"
#include "filter/FilterDesign.h"
#include "filter/FilterStream.h"
#include "render/GLRenderer.h"
#include "tests/support/CapturedReports.h"
#include "tests/support/FakeDataSourceManager.h"
#include "tests/support/TempDir.h"
#include "tools/CscFileWriter.h"

namespace skelvane {
namespace {

constexpr int32_t kCanvasWidth = 400;
constexpr int32_t kCanvasHeight = 250;
constexpr int32_t kPlotHeight = 200;
constexpr int64_t kStart = 2'000'000;
constexpr int32_t kRecords = 125;  // 2 s at 32 kHz
constexpr double kAmplitude = 1000.0;
constexpr double kSineHz = 50.0;
constexpr uint32_t kTrace = 0x0000FF;  // the first colour handed out: "Red"

int16_t SineSample(int64_t n) {
  return static_cast<int16_t>(std::lround(kAmplitude * std::sin(2.0 * M_PI * kSineHz * n / 32'000.0)));
}

// `count` records 16 ms apart from kStart whose sample n (counted over the whole file) is sampleOf(n),
// asked in order.
template <typename SampleOf>
std::vector<CscRecordData> RecordsOf(int32_t count, SampleOf sampleOf) {
  std::vector<CscRecordData> records(static_cast<std::size_t>(count));
  for (int32_t r = 0; r < count; ++r) {
    records[r].timestamp = kStart + int64_t{r} * 16'000;
    for (int32_t i = 0; i < kSamplesPerRecord; ++i) {
      records[r].samples[i] = static_cast<int16_t>(sampleOf(int64_t{r} * kSamplesPerRecord + i));
    }
  }
  return records;
}

class CanvasRender : public ::testing::Test {
 protected:
  void SetUp() override {
    const std::vector<CscRecordData> records = RecordsOf(kRecords, SineSample);
    path = dir.File("CSC7.kcs");
    ASSERT_EQ(CscFileWriter::Write(path, CscFileWriter::MakeHeader({{"-ADMaxValue", "2047"}}), records), 0);
    ASSERT_EQ(manager.OpenSource(path), 0);
    csc = AddTracePlot(collection);

    ViewState& v = view;
    v.CanvasWidth = kCanvasWidth;
    v.CanvasHeight = kCanvasHeight;
    v.ScrollTop = 0;
    v.ScrollBottom = -kCanvasHeight;
    manager.GetTimeRange(v.DataStart, v.DataEnd);
    v.DataDuration = v.DataEnd - v.DataStart;
    ShowTraceOnly(canvas);
  }
  // The recording's plot, as tall as the canvas shows it, without points.
  CscPlot* AddTracePlot(PlotCollection& plots) {
    EXPECT_EQ(plots.CreatePlot("CSC7", 5, path), 0);
    IPlot* plot = nullptr;
    EXPECT_EQ(plots.GetPlot(plots.GetNumPlots() - 1, plot), 0);
    auto* added = dynamic_cast<CscPlot*>(plot);
    added->SetHeight(kPlotHeight);
    added->Properties().drawPoints = 0;
    return added;
  }
  // Only the trace: no header, no axes, so the plot fills columns 0..399 and rows 0..199.
  static void ShowTraceOnly(PlotCanvas& shown) {
    shown.SetMinimumSpan(kCanvasWidth);
    shown.SetShowPlotNames(0);
    shown.SetShowPlotIcons(0);
    shown.SetShowDataAxis(0);
    shown.SetShowTimeAxis(0);
  }

  const MemoryBitmap& Render(int64_t start, int64_t span) { return RenderWith(canvas, start, span); }
  const MemoryBitmap& RenderWith(PlotCanvas& shown, int64_t start, int64_t span) {
    view.VisibleStart = start;
    view.VisibleSpan = span;
    renderer.RequestNewDIBSection();
    EXPECT_EQ(shown.RedrawAll(), 0);
    EXPECT_EQ(renderer.ReadBack(), 0);
    return renderer.Bitmap();
  }
  // Window column of plot column x: the projection spans CanvasWidth + 1 units over CanvasWidth pixels.
  static int32_t WindowColumn(int32_t x) {
    return static_cast<int32_t>(std::floor(x * double(kCanvasWidth) / (kCanvasWidth + 1)));
  }
  // Row from the top at which a sample value is drawn in the trace-only layout (plot bottom at -200).
  static double RowOf(double value) {
    const double y = -kPlotHeight + kPlotHeight / 2 + value * (kPlotHeight / 2.0) / 2047.0;
    return -y;
  }
  // Rows (from the top) of the trace colour in one window column; empty when none.
  static std::vector<int32_t> TraceRows(const MemoryBitmap& frame, int32_t column) {
    std::vector<int32_t> rows;
    for (int32_t row = 0; row < frame.Height(); ++row) {
      if (frame.ColorAt(column, row) == kTrace) rows.push_back(row);
    }
    return rows;
  }

  test::TempDir dir;
  test::CapturedReports reports;
  std::string path;
  ViewState view;
  ColorTable colours = PlotCanvas::MakePlotColours();
  GLRenderer renderer;
  DataSourceManager manager;
  PlotCollection collection{manager, colours};
  PlotCanvas canvas{view, &renderer, &collection, &manager};
  CscPlot* csc = nullptr;
};

TEST_F(CanvasRender, SineReachesItsAmplitudeRowsInTheEverySamplePath) {
  // 100 us per column: every sample is drawn, about three per column.
  const int64_t start = kStart + 100'000;
  const MemoryBitmap& frame = Render(start, 100 * kCanvasWidth);
  ASSERT_FALSE(csc->Cache().minMax);
  int32_t top = frame.Height(), bottom = -1;
  for (int32_t column = 0; column < kCanvasWidth; ++column) {
    for (int32_t row : TraceRows(frame, column)) {
      top = std::min(top, row);
      bottom = std::max(bottom, row);
    }
  }
  EXPECT_NEAR(top, RowOf(kAmplitude), 1.0);
  EXPECT_NEAR(bottom, RowOf(-kAmplitude), 1.0);
  // Each sample lies on the trace: a trace pixel within one row and one column of where it belongs.
  for (int64_t n = (start - kStart) * 32 / 1000; n < (start - kStart + 40'000) * 32 / 1000; n += 7) {
    const int64_t t = kStart + (n / 512) * 16'000 + static_cast<int64_t>((n % 512) * 31.25);
    const int32_t x = static_cast<int32_t>((t - start) / 100);
    if (x <= 0 || x >= kCanvasWidth - 1) continue;
    const double expected = RowOf(SineSample(n));
    bool near = false;
    for (int32_t column = WindowColumn(x) - 1; column <= WindowColumn(x) + 1; ++column) {
      for (int32_t r : TraceRows(frame, column)) near = near || std::abs(r - expected) <= 1.0;
    }
    EXPECT_TRUE(near) << "sample " << n << " at column " << x << ", row " << expected;
  }
  EXPECT_TRUE(reports.Empty());
}

// A dense trace goes down through masks: the frame is the one the line strip gives, byte for byte,
// at every zoom of the every-sample path, with the axes and names shown, and at amplitude gains
// that move the trace's rows (and, above 1, clip it to its plot).
TEST_F(CanvasRender, TraceMasksGiveTheStripsFrameAtEveryZoomAndGain) {
  canvas.SetShowPlotNames(1);
  canvas.SetShowDataAxis(1);
  canvas.SetShowTimeAxis(1);
  auto frame = [&](int64_t start, int64_t span, bool masks) {
    renderer.AllowTraceMasks(masks);
    csc->ClearCache();
    const MemoryBitmap& bitmap = Render(start, span);
    return std::vector<uint8_t>(bitmap.Bits(), bitmap.Bits() + bitmap.SizeInBytes());
  };
  for (const double gain : {1.0, 0.37, 3.0}) {
    canvas.SetAmplitudeGain(path, gain);
    for (const int64_t perColumn : {20, 90, 400, 1500, 3900}) {
      const int64_t start = kStart + 37'123 + perColumn * 11;
      const int64_t span = perColumn * canvas.TraceWidth();
      const std::vector<uint8_t> masked = frame(start, span, true);
      ASSERT_FALSE(csc->Cache().minMax);
      ASSERT_TRUE(renderer.TraceMasksInUse());
      EXPECT_EQ(masked, frame(start, span, false)) << perColumn << " us per column, gain " << gain;
    }
  }
  EXPECT_TRUE(reports.Empty());
}

TEST_F(CanvasRender, MinMaxBarsSpanTheTrueExtremesOfTheirColumns) {
  // The whole 2 s over 400 columns: 5000 us per column, one bar each.
  const int64_t start = kStart;
  const int64_t span = 2'000'000;
  const MemoryBitmap& frame = Render(start, span);
  ASSERT_TRUE(csc->Cache().minMax);
  std::map<int32_t, std::pair<int16_t, int16_t>> truth;
  for (int64_t n = 0; n < int64_t{kRecords} * 512; ++n) {
    const int64_t t = kStart + (n / 512) * 16'000 + static_cast<int64_t>((n % 512) * 31.25);
    const int32_t x = static_cast<int32_t>((t - start) / 5000);
    auto [it, fresh] = truth.try_emplace(x, SineSample(n), SineSample(n));
    it->second.first = std::min(it->second.first, SineSample(n));
    it->second.second = std::max(it->second.second, SineSample(n));
  }
  int32_t checked = 0;
  for (int32_t x = 2; x < kCanvasWidth - 2; ++x) {
    const auto rows = TraceRows(frame, WindowColumn(x));
    ASSERT_FALSE(rows.empty()) << "column " << x;
    EXPECT_NEAR(rows.front(), RowOf(truth[x].second), 1.0) << "top of column " << x;
    EXPECT_NEAR(rows.back(), RowOf(truth[x].first), 1.0) << "bottom of column " << x;
    ++checked;
  }
  EXPECT_EQ(checked, kCanvasWidth - 4);
}

TEST_F(CanvasRender, RedrawWithAnUnchangedSpanReadsNoRecord) {
  // The same recording in a manager that counts the lookups reaching it (it has no file to read).
  test::FakeDataSourceManager counting;
  const int32_t source = counting.AddSource(path);
  for (int32_t r = 0; r < kRecords; ++r) {
    std::vector<int16_t> samples(kSamplesPerRecord);
    for (int32_t i = 0; i < kSamplesPerRecord; ++i) samples[i] = SineSample(int64_t{r} * 512 + i);
    counting.AddRecord(source, kStart + int64_t{r} * 16'000, 32'000, samples);
  }
  ColorTable countedColours = PlotCanvas::MakePlotColours();
  PlotCollection counted(counting, countedColours);
  AddTracePlot(counted);
  PlotCanvas countingCanvas(view, &renderer, &counted, &counting);
  ShowTraceOnly(countingCanvas);
  RenderWith(countingCanvas, kStart, 2'000'000);
  EXPECT_GT(counting.recordReads, 0);
  const MemoryBitmap first = renderer.Bitmap();
  counting.recordReads = 0;
  const MemoryBitmap& second = RenderWith(countingCanvas, kStart, 2'000'000);
  EXPECT_EQ(counting.recordReads, 0);
  ASSERT_EQ(first.SizeInBytes(), second.SizeInBytes());
  EXPECT_EQ(std::memcmp(first.Bits(), second.Bits(), first.SizeInBytes()), 0);
  counting.recordReads = 0;
  RenderWith(countingCanvas, kStart, 40'000);  // a zoom reads again
  EXPECT_GT(counting.recordReads, 0);
}

TEST_F(CanvasRender, DefaultLayoutDrawsHeaderAxesAndSeparators) {
  canvas.SetShowPlotNames(1);
  canvas.SetShowPlotIcons(1);
  canvas.SetShowDataAxis(1);
  canvas.SetShowTimeAxis(1);
  const MemoryBitmap& frame = Render(kStart, 2'000'000);
  // The close icon's red inside, 3 pixels in from the left and below the plot's top.
  EXPECT_EQ(frame.ColorAt(WindowColumn(10), 10), 248u);
  // The two grey separators under the 200-pixel plot (y -201 and -202) run across the canvas.
  int32_t greyRows = 0;
  for (int32_t row = 199; row <= 204; ++row) greyRows += frame.ColorAt(200, row) == 0x808080 ? 1 : 0;
  EXPECT_EQ(greyRows, 2);
  // The data axis line at x 3 between the margins; no trace colour left of the axis strip.
  int32_t axisRows = 0;
  for (int32_t row = 40; row < 160; ++row) axisRows += frame.ColorAt(WindowColumn(3), row) == 0xCCCCCC ? 1 : 0;
  EXPECT_GT(axisRows, 100);
  for (int32_t column = 0; column < 30; ++column) EXPECT_TRUE(TraceRows(frame, column).empty()) << column;
  // The time axis band along the bottom holds light label pixels.
  int32_t labelPixels = 0;
  for (int32_t row = kCanvasHeight - 17; row < kCanvasHeight; ++row) {
    for (int32_t column = 0; column < kCanvasWidth; ++column) labelPixels += frame.ColorAt(column, row) == 0xCCCCCC;
  }
  EXPECT_GT(labelPixels, 50);
  EXPECT_TRUE(reports.Empty());
}

TEST_F(CanvasRender, ThresholdOverlayLinesLandOnTheirValueRows) {
  csc->SetExtractionMode(0);
  csc->SetExtractionType(2);
  csc->SetExtractionValue(1500.0);
  const MemoryBitmap& frame = Render(kStart, 2'000'000);
  for (double value : {1500.0, -1500.0}) {
    const int32_t row = static_cast<int32_t>(std::lround(RowOf(value)));
    int32_t lit = 0;
    for (int32_t r = row - 1; r <= row + 1; ++r) lit += frame.ColorAt(200, r) == 0xCCCCCC ? 1 : 0;
    EXPECT_EQ(lit, 1) << value;
  }
}

TEST_F(CanvasRender, CursorsAndScaleBarsDrawOverThePlotsAndLeaveNoTraceWhenRemoved) {
  canvas.SetShowTimeAxis(1);
  const MemoryBitmap before = Render(kStart, 2'000'000);
  // A at the middle column of the 2 s, B a quarter in; 5000 us per column.
  canvas.Cursors()->Set(TimeCursors::Cursor::A, kStart + 1'000'000);
  canvas.Cursors()->Set(TimeCursors::Cursor::B, kStart + 500'000);
  canvas.SetShowScaleBars(true);
  const MemoryBitmap& marked = Render(kStart, 2'000'000);
  auto rowsOf = [&](int32_t column, uint32_t colour) {
    int32_t rows = 0;
    for (int32_t row = 0; row < kCanvasHeight; ++row) rows += marked.ColorAt(column, row) == colour ? 1 : 0;
    return rows;
  };
  // Each line runs from the top of the canvas down to the time axis.
  EXPECT_GE(rowsOf(WindowColumn(200), CanvasOverlays::kColourCursorA), kCanvasHeight - 17 - 15);
  EXPECT_GE(rowsOf(WindowColumn(100), CanvasOverlays::kColourCursorB), kCanvasHeight - 17 - 15);
  EXPECT_EQ(rowsOf(WindowColumn(300), CanvasOverlays::kColourCursorA), 0);
  // The time bar (a fifth of 2 s held to 200 ms: 40 columns) ten pixels above the time axis,
  // ending ten from the right.
  const int32_t barRow = kCanvasHeight - 17 - 10;
  int32_t barColumns = 0;
  for (int32_t column = 0; column < kCanvasWidth; ++column) barColumns += marked.ColorAt(column, barRow) == 0xCCCCCC;
  EXPECT_NEAR(barColumns, 40, 2);
  EXPECT_EQ(marked.ColorAt(WindowColumn(kCanvasWidth - 20), barRow), 0xCCCCCCu);
  // The plot's amplitude bar: 2047 counts over half of 200 rows, 40 % of the trace held to 1000
  // counts, 49 rows about the plot's middle.
  int32_t amplitudeRows = 0;
  for (int32_t row = 0; row < kPlotHeight; ++row) {
    amplitudeRows += marked.ColorAt(WindowColumn(kCanvasWidth - 10), row) == 0xCCCCCC;
  }
  EXPECT_NEAR(amplitudeRows, 49, 1);
  // Its label ("1000 counts", left of the bar about the plot's middle) stands on its plate, clear of
  // the dense trace: the rows of its letters hold no trace pixel from the first letter to the bar.
  int32_t traceBesideLetters = 0;
  for (int32_t row = kPlotHeight / 2 - 8; row < kPlotHeight / 2 + 4; ++row) {
    int32_t first = kCanvasWidth;
    for (int32_t column = kCanvasWidth - 110; column < kCanvasWidth - 16; ++column) {
      if (marked.ColorAt(column, row) == 0xCCCCCC && marked.ColorAt(column + 1, row) != 0xCCCCCC) first = std::min(first, column);
    }
    for (int32_t column = first; column < kCanvasWidth - 16; ++column) traceBesideLetters += marked.ColorAt(column, row) == kTrace;
  }
  EXPECT_EQ(traceBesideLetters, 0);
  canvas.Cursors()->Clear();
  canvas.SetShowScaleBars(false);
  const MemoryBitmap& after = Render(kStart, 2'000'000);
  ASSERT_EQ(after.SizeInBytes(), before.SizeInBytes());
  EXPECT_EQ(std::memcmp(after.Bits(), before.Bits(), before.SizeInBytes()), 0);
  EXPECT_TRUE(reports.Empty());
}

TEST_F(CanvasRender, ManyMarkersDrawTheSameFrameAsRectanglesAsLineByLine) {
  // The default layout (header, axes, scale bars over the markers), a second plot for markers of one
  // plot, and markers crowded enough for runs of columns, lone columns and columns both scopes light,
  // with a cursor over them: as rectangles and masks, and written into the frame read back.
  canvas.SetShowPlotNames(1);
  canvas.SetShowPlotIcons(1);
  canvas.SetShowDataAxis(1);
  canvas.SetShowTimeAxis(1);
  canvas.SetShowScaleBars(true);
  AddTracePlot(collection)->SetHeight(60);
  csc->SetHeight(120);
  uint64_t state = 7;
  for (int32_t i = 0; i < 3000; ++i) {
    state = state * 6364136223846793005u + 1442695040888963407u;
    const int64_t time = kStart + static_cast<int64_t>((state >> 33) % 2'000'000);
    canvas.Markers()->Add({time, (state >> 20) % 3 == 0 ? "CSC7" : "", i % 7 == 0 ? "m" + std::to_string(i) : ""});
  }
  canvas.Cursors()->Set(TimeCursors::Cursor::A, kStart + 700'000);
  for (const int64_t span : {int64_t{20'000}, int64_t{300'000}, int64_t{2'000'000}}) {
    renderer.AllowColumnRectangles(false);
    const MemoryBitmap lines = RenderWith(canvas, kStart + 100'000, span);
    renderer.AllowColumnRectangles(true);
    const MemoryBitmap& rectangles = RenderWith(canvas, kStart + 100'000, span);
    EXPECT_TRUE(renderer.ColumnRectanglesInUse());
    EXPECT_TRUE(renderer.ColumnFillInUse()) << "crowded columns written into the frame read back";
    ASSERT_EQ(lines.SizeInBytes(), rectangles.SizeInBytes());
    EXPECT_EQ(std::memcmp(lines.Bits(), rectangles.Bits(), lines.SizeInBytes()), 0) << "span " << span;
  }
  EXPECT_TRUE(reports.Empty());
}

// What the status bar and the cursors read on a filtered plot is the sample a pass of the band over the
// whole file gives there, for every band and anywhere in the file, ends included.
TEST_F(CanvasRender, AFilteredPlotReadsTheWholeFilePassSample) {
  EXPECT_FALSE(csc->FilteredSampleAt(kStart, 0)) << "no band: the recorded sample is the one drawn";
  std::mt19937_64 random(11);
  for (const FilterChoice& band : {FilterChoice::Spike(), FilterChoice::Lfp(), FilterChoice::Custom(20.0, 90.0),
                                 FilterChoice::Custom(std::nullopt, 70.0)}) {
    std::string refusal;
    ASSERT_TRUE(csc->SetFilter(band, refusal)) << refusal;
    Render(kStart, 100'000);  // the plot opens its file as it draws
    const std::optional<FilterDesign> design = FilterDesign::Shared(band, 32'000.0, refusal);
    ASSERT_TRUE(design) << refusal;
    FilterStream pass(*design, 31.25);
    std::vector<int16_t> record(kSamplesPerRecord);
    for (int32_t r = 0; r < kRecords; ++r) {
      for (int32_t i = 0; i < kSamplesPerRecord; ++i) record[i] = SineSample(int64_t{r} * 512 + i);
      pass.Push(kStart + int64_t{r} * 16'000, record.data());
    }
    pass.Finish();
    std::vector<std::vector<int16_t>> filtered;
    for (; pass.Ready() > 0; pass.Pop()) filtered.emplace_back(pass.FrontSamples(), pass.FrontSamples() + kSamplesPerRecord);
    ASSERT_EQ(filtered.size(), static_cast<std::size_t>(kRecords));
    for (int32_t n = 0; n < 40; ++n) {
      const auto r = static_cast<int32_t>(n < 2 ? (n == 0 ? 0 : kRecords - 1) : random() % kRecords);
      const auto i = static_cast<int32_t>(random() % kSamplesPerRecord);
      const std::optional<int16_t> read = csc->FilteredSampleAt(kStart + int64_t{r} * 16'000, i);
      ASSERT_TRUE(read) << band.Description() << " record " << r;
      EXPECT_EQ(*read, filtered[static_cast<std::size_t>(r)][static_cast<std::size_t>(i)])
          << band.Description() << " record " << r << " sample " << i;
    }
    EXPECT_FALSE(csc->FilteredSampleAt(kStart + 8'000, 0)) << "no record has that time";
  }
}

TEST(CanvasRenderQuiet, AFlatChannelStillShowsWhenZoomedOut) {
  test::FakeDataSourceManager manager;
  const int32_t source = manager.AddSource("/rec/flat.kcs");
  for (int32_t r = 0; r < kRecords; ++r) manager.AddRecord(source, kStart + int64_t{r} * 16'000, 32'000, {});
  GLRenderer renderer;
  ColorTable colours = PlotCanvas::MakePlotColours();
  PlotCollection collection(manager, colours);
  ViewState view;
  PlotCanvas canvas(view, &renderer, &collection, &manager);
  ASSERT_EQ(collection.CreatePlot("flat", 5, "/rec/flat.kcs"), 0);
  canvas.SetShowPlotNames(0);
  canvas.SetShowPlotIcons(0);
  canvas.SetShowDataAxis(0);
  canvas.SetShowTimeAxis(0);
  ViewState& v = view;
  v.CanvasWidth = kCanvasWidth;
  v.CanvasHeight = kCanvasHeight;
  v.ScrollBottom = -kCanvasHeight;
  v.VisibleStart = kStart;
  v.VisibleSpan = 2'000'000;  // min-max bars of zero height
  ASSERT_EQ(canvas.RedrawAll(), 0);
  ASSERT_EQ(renderer.ReadBack(), 0);
  int32_t columnsWithTrace = 0;
  for (int32_t column = 0; column < kCanvasWidth; ++column) {
    const auto rows = [&] {
      std::vector<int32_t> found;
      for (int32_t row = 0; row < kCanvasHeight; ++row) {
        if (renderer.Bitmap().ColorAt(column, row) == kTrace) found.push_back(row);
      }
      return found;
    }();
    if (rows.empty()) continue;
    ++columnsWithTrace;
    EXPECT_NEAR(rows.front(), 50, 1) << column;  // the centre line of the 100-pixel plot
    EXPECT_LE(rows.back() - rows.front(), 1) << column;
  }
  EXPECT_GE(columnsWithTrace, kCanvasWidth - 2);
}

}  // namespace
}  // namespace skelvane

namespace skelvane {
namespace {

// A canvas of its own over recordings a test writes, for the tests that set their view up themselves.
struct CanvasParts {
  test::TempDir dir;
  test::CapturedReports reports;
  ViewState view;
  ColorTable colours = PlotCanvas::MakePlotColours();
  GLRenderer renderer;
  DataSourceManager manager;
  PlotCollection collection{manager, colours};
  PlotCanvas canvas{view, &renderer, &collection, &manager};

  // Writes `records` as recording `name` and shows it in a plot 100 pixels tall; null on failure.
  CscPlot* AddPlot(const std::string& name, const std::vector<CscRecordData>& records) {
    const std::string path = dir.File(name + ".kcs");
    IPlot* plot = nullptr;
    if (CscFileWriter::Write(path, CscFileWriter::MakeHeader({{"-ADMaxValue", "2047"}}), records) != 0 ||
        manager.OpenSource(path) != 0 || collection.CreatePlot("CSC", 5, path) != 0 ||
        collection.GetPlot(collection.GetNumPlots() - 1, plot) != 0) {
      return nullptr;
    }
    auto* csc = dynamic_cast<CscPlot*>(plot);
    if (csc != nullptr) csc->SetHeight(100);
    return csc;
  }
  // Sets the model to the test canvas's size over the plots' whole time range.
  void Fit(ViewModel& model) {
    manager.GetTimeRange(view.DataStart, view.DataEnd);
    model.Resize(kCanvasWidth, kCanvasHeight);
    model.UpdateTimeRange(view.DataStart, view.DataEnd);
    view.DataDuration = view.DataEnd - view.DataStart;
  }
  // The frame the canvas draws after the model's scroll, read back.
  std::vector<uint8_t> Frame(ViewModel& model) {
    model.UpdateVerticalScroll();
    EXPECT_EQ(canvas.RedrawAll(), 0);
    EXPECT_EQ(renderer.ReadBack(), 0);
    return std::vector<uint8_t>(renderer.Bitmap().Bits(), renderer.Bitmap().Bits() + renderer.Bitmap().SizeInBytes());
  }
};

// Two plots prepared side by side work their traces' pixels out ahead for the transform of their
// last draw. Frames drawn one after another (warm, scrolled, with a gain or a height changed in
// between) must each equal the line strips' frame drawn from scratch.
TEST(CanvasRenderPrepared, TracePixelsWorkedOutAheadFollowScrollingGainAndHeight) {
  CanvasParts parts;
  auto& [dir, reports, v, colours, renderer, manager, collection, canvas] = parts;
  std::vector<std::string> paths;
  for (int32_t channel = 0; channel < 2; ++channel) {
    std::vector<CscRecordData> records(kRecords);
    for (int32_t r = 0; r < kRecords; ++r) {
      records[r].timestamp = kStart + int64_t{r} * 16'000 + channel * 5'000;
      for (int32_t i = 0; i < kSamplesPerRecord; ++i) {
        records[r].samples[i] = static_cast<int16_t>(SineSample(int64_t{r} * 512 + i + channel * 77) / (channel + 1));
      }
    }
    paths.push_back(dir.File("CSC" + std::to_string(channel) + ".kcs"));
    ASSERT_EQ(CscFileWriter::Write(paths.back(), CscFileWriter::MakeHeader({{"-ADMaxValue", "2047"}}), records), 0);
    ASSERT_EQ(manager.OpenSource(paths.back()), 0);
    ASSERT_EQ(collection.CreatePlot("CSC", 5, paths.back()), 0);
  }
  std::vector<CscPlot*> plots;
  for (int32_t i = 0; i < 2; ++i) {
    IPlot* plot = nullptr;
    ASSERT_EQ(collection.GetPlot(i, plot), 0);
    plots.push_back(dynamic_cast<CscPlot*>(plot));
    plots.back()->SetHeight(100);
  }
  v.CanvasWidth = kCanvasWidth;
  v.CanvasHeight = kCanvasHeight;
  v.ScrollTop = 0;
  v.ScrollBottom = -kCanvasHeight;
  canvas.SetMinimumSpan(kCanvasWidth);
  manager.GetTimeRange(v.DataStart, v.DataEnd);
  v.DataDuration = v.DataEnd - v.DataStart;

  struct Step {
    int64_t start, span;
    double gain;
    int32_t height;
  };
  const int64_t page = 900 * canvas.TraceWidth();
  const Step steps[] = {{kStart + 50'000, page, 1.0, 100},       {kStart + 50'000, page, 1.0, 100},
                        {kStart + 50'000 + page / 3, page, 1.0, 100}, {kStart + 50'000 + page / 3, page, 2.5, 100},
                        {kStart + 50'000 + page / 3, page, 2.5, 80},  {kStart + 60'000, page * 7 / 8, 2.5, 80}};
  auto render = [&](const Step& step) {
    canvas.SetAmplitudeGain(paths[0], step.gain);
    plots[1]->SetHeight(step.height);
    v.VisibleStart = step.start;
    v.VisibleSpan = step.span;
    EXPECT_EQ(canvas.RedrawAll(), 0);
    EXPECT_EQ(renderer.ReadBack(), 0);
    return std::vector<uint8_t>(renderer.Bitmap().Bits(), renderer.Bitmap().Bits() + renderer.Bitmap().SizeInBytes());
  };
  std::vector<std::vector<uint8_t>> masked;
  for (const Step& step : steps) masked.push_back(render(step));
  ASSERT_TRUE(renderer.TraceMasksInUse());
  ASSERT_FALSE(plots[0]->Cache().minMax);
  renderer.AllowTraceMasks(false);
  for (std::size_t i = 0; i < std::size(steps); ++i) {
    for (CscPlot* plot : plots) plot->ClearCache();
    EXPECT_EQ(masked[i], render(steps[i])) << "step " << i;
  }
  EXPECT_TRUE(reports.Empty());
  collection.RemoveAllPlots();
}

// The first frame of a canvas without plots draws data axes cut by its edges to warm the renderer up:
// none of them may stay in the picture.
TEST(CanvasWarmUp, FirstEmptyFrameShowsWhatEveryLaterOneDoes) {
  CanvasParts parts;
  auto& [dir, reports, view, colours, renderer, manager, collection, canvas] = parts;
  view.CanvasWidth = kCanvasWidth;
  view.CanvasHeight = kCanvasHeight;
  view.ScrollTop = 0;
  view.ScrollBottom = -kCanvasHeight;
  view.DataStart = 0;
  view.DataEnd = view.DataDuration = view.VisibleSpan = 10'000'000;
  const auto frame = [&] {
    EXPECT_EQ(canvas.RedrawAll(), 0);
    EXPECT_EQ(renderer.ReadBack(), 0);
    const MemoryBitmap& bitmap = renderer.Bitmap();
    return std::vector<uint8_t>(bitmap.Bits(), bitmap.Bits() + bitmap.SizeInBytes());
  };
  const std::vector<uint8_t> first = frame();
  EXPECT_EQ(first, frame());
}

}  // namespace
}  // namespace skelvane

namespace skelvane {
namespace {

// A stack taller than the canvas, scrolled by the wheel and by pages between frames whose columns
// and trace pixels were worked out ahead as the window does while the user looks: the plots take the
// pixels foreseen for the scrolled stack (working none out while drawing, even those drawn before
// only as sparse strips), and every frame equals the line strips' frame drawn from scratch. Four
// kinds of signal: a sine, full-scale noise, a slow wave of hundreds of counts and spiky noise.
TEST(CanvasRenderPrepared, StackScrollsTakeTracePixelsWorkedOutAhead) {
  CanvasParts parts;
  auto& [dir, reports, v, colours, renderer, manager, collection, canvas] = parts;
  std::mt19937 random(41);
  constexpr int32_t kKinds = 4;
  std::vector<CscPlot*> plots;
  for (int32_t kind = 0; kind < kKinds; ++kind) {
    const std::vector<CscRecordData> records = RecordsOf(kRecords, [&](int64_t n) {
      int32_t value = SineSample(n);
      if (kind == 1) value = std::uniform_int_distribution<int32_t>(-2047, 2047)(random);
      if (kind == 2) value = static_cast<int32_t>(std::lround(600.0 * std::sin(2.0 * M_PI * 3.0 * n / 32'000.0)));
      if (kind == 3) value = std::uniform_int_distribution<int32_t>(-40, 40)(random) + (n % 997 == 0 ? 1500 : 0);
      return value;
    });
    plots.push_back(parts.AddPlot("CSC" + std::to_string(kind), records));
    ASSERT_NE(plots.back(), nullptr);
  }
  ViewModel model(v, canvas, collection);
  parts.Fit(model);
  v.VisibleStart = kStart + 50'000;
  v.VisibleSpan = 10 * canvas.TraceWidth();  // a sample every few columns: a sparse strip, no pixels
  model.UpdateHorizontalScroll();

  ColumnsAhead ahead;
  auto frame = [&] { return parts.Frame(model); };
  auto workedOut = [&] {
    int64_t sum = 0;
    for (const CscPlot* plot : plots) sum += plot->Pixels().WorkedOutInUse();
    return sum;
  };
  // Every plot drawn once (the stack down and back), so each has a transform to move with the stack,
  // the lower ones as sparse strips only; then a span dense enough for the pixels to go through masks.
  frame();
  ASSERT_TRUE(model.PageDown());
  frame();
  ASSERT_TRUE(model.PageUp());
  frame();
  v.VisibleSpan = 900 * canvas.TraceWidth();
  model.UpdateHorizontalScroll();
  frame();
  ASSERT_TRUE(renderer.TraceMasksInUse());
  ASSERT_FALSE(plots[0]->Cache().minMax);

  struct Shown {
    ViewState view;
    std::vector<uint8_t> bitmap;
    int64_t workedOut;
  };
  std::vector<Shown> shown;
  const std::function<bool()> steps[] = {
      [&] { return model.ScrollHorizontally(ViewModel::Scroll::PageForward, 0); },
      [&] { model.ScrollStackBy(-ViewModel::kPixelsPerNotch); return true; },
      [&] { model.ScrollStackBy(-ViewModel::kPixelsPerNotch); return true; },
      [&] { model.ScrollStackBy(ViewModel::kPixelsPerNotch); return true; },
      [&] { return model.PageDown(); },
      [&] { return model.PageUp(); },
      [&] { return model.ScrollHorizontally(ViewModel::Scroll::PageBack, 0); },
      [&] { model.ScrollStackBy(-ViewModel::kPixelsPerNotch); return true; },
  };
  for (const auto& step : steps) {
    ahead.Start(canvas.JobsAhead(model.ViewsAhead(kCanvasWidth / 2)));
    ahead.Finish();
    ASSERT_TRUE(step());
    const int64_t before = workedOut();
    std::vector<uint8_t> bitmap = frame();
    shown.push_back({v, std::move(bitmap), workedOut() - before});
  }
  renderer.AllowTraceMasks(false);
  for (std::size_t i = 0; i < shown.size(); ++i) {
    EXPECT_EQ(shown[i].workedOut, 0) << "step " << i;
    v = shown[i].view;
    for (CscPlot* plot : plots) plot->ClearCache();
    EXPECT_EQ(shown[i].bitmap, frame()) << "step " << i;
  }
  EXPECT_TRUE(reports.Empty());
  collection.RemoveAllPlots();
}

// Bars a summary leaves open, on a stack taller than the canvas scrolled between frames whose views
// ahead were worked out as the window does while the user looks: raw and through the LFP Band, the
// scroll's frame finds its bars settled for its rows (reads no piece itself), and every frame equals
// the frame drawn from scratch. Without the work ahead the same scrolls read pieces while drawing.
TEST(CanvasRenderPrepared, StackScrollsFindTheirBarsSettledAhead) {
  CanvasParts parts;
  auto& [dir, reports, v, colours, renderer, manager, collection, canvas] = parts;
  std::mt19937 random(43);
  constexpr int32_t kKinds = 3;
  constexpr int32_t kLongRecords = CscPlot::kReadRecords + 600;  // past what a frame reads itself
  std::vector<CscPlot*> plots;
  for (int32_t kind = 0; kind < kKinds; ++kind) {
    const std::vector<CscRecordData> records = RecordsOf(kLongRecords, [&](int64_t n) {
      const int32_t noise = std::uniform_int_distribution<int32_t>(-40, 40)(random);
      int32_t value = static_cast<int32_t>(std::lround(600.0 * std::sin(2.0 * M_PI * 3.0 * n / 32'000.0))) + noise;
      if (kind == 1) value = std::uniform_int_distribution<int32_t>(-2047, 2047)(random);
      if (kind == 2) value = noise + (n % 997 == 0 ? 1500 : 0);
      return value;
    });
    plots.push_back(parts.AddPlot("CSC" + std::to_string(kind), records));
    ASSERT_NE(plots.back(), nullptr);
  }
  ViewModel model(v, canvas, collection);
  parts.Fit(model);
  auto frame = [&] { return parts.Frame(model); };
  auto readWhileDrawing = [&] {
    int64_t sum = 0;
    for (const CscPlot* plot : plots) sum += plot->PiecesReadWhileDrawing();
    return sum;
  };
  const std::function<void()> steps[] = {
      [&] { model.ScrollStackBy(-ViewModel::kPixelsPerNotch); },
      [&] { model.ScrollStackBy(-ViewModel::kPixelsPerNotch); },
      [&] { model.ScrollStackBy(ViewModel::kPixelsPerNotch); },
      [&] { model.PageDown(); },
      [&] { model.PageUp(); },
  };
  ColumnsAhead ahead;
  std::string refusal;
  for (const char* band : {"none", "lfp"}) {
    for (const bool workAhead : {false, true}) {
      for (CscPlot* plot : plots) {
        ASSERT_TRUE(plot->SetFilter(*FilterChoice::Parse(band, refusal), refusal)) << refusal;
        plot->ClearCache();
      }
      // Every plot drawn once over the whole recording (the stack down and back), then waited for.
      v.VisibleStart = v.DataStart;
      v.VisibleSpan = v.DataDuration;
      model.UpdateHorizontalScroll();
      model.ScrollVertically(ViewModel::Scroll::ToStart, 0);
      for (int32_t pass = 0; pass < 2; ++pass) {
        frame();
        model.PageDown();
        frame();
        model.PageUp();
        frame();
        if (pass == 0) {
          for (CscPlot* plot : plots) ASSERT_TRUE(plot->WaitForSummary());
        }
      }
      ASSERT_TRUE(plots[0]->Cache().minMax);
      int64_t read = 0;
      for (const auto& step : steps) {
        if (workAhead) {
          ahead.Start(canvas.JobsAhead(model.ViewsAhead(kCanvasWidth / 2)));
          ahead.Finish();
        }
        step();
        const int64_t before = readWhileDrawing();
        const std::vector<uint8_t> shown = frame();
        read += readWhileDrawing() - before;
        for (CscPlot* plot : plots) plot->ClearCache();
        EXPECT_EQ(shown, frame()) << band;
      }
      if (workAhead) {
        EXPECT_EQ(read, 0) << band;
      } else {
        EXPECT_GT(read, 0) << band;
      }
    }
  }
  EXPECT_TRUE(reports.Empty());
  collection.RemoveAllPlots();
}

}  // namespace
}  // namespace skelvane
