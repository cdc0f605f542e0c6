#include "display/PlotCanvas.h"

#include <fcntl.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <gtest/gtest.h>
#include <iterator>

#include "display/ColorTable.h"
#include "display/PlotCollection.h"
#include "display/ViewState.h"
#include "tests/support/FakeDataSourceManager.h"
#include "platform/File.h"
#include "tests/display/RecordingPlot.h"
#include "tests/support/CapturedReports.h"
#include "tests/support/TempDir.h"

namespace skelvane {
namespace {

// ---- Time and pixel conversions -------------------------------------------------------------

TEST(PlotCanvasTime, PixelColumnsOfTenPixelsOverOneHundredMicroseconds) {
  int64_t first = 0, last = 0;
  ASSERT_EQ(PlotCanvas::GetTimeRangeForPixel(0, 10, 100, 1000, first, last), 0);
  EXPECT_EQ(first, 1000);
  EXPECT_EQ(last, 1009);
  ASSERT_EQ(PlotCanvas::GetTimeRangeForPixel(9, 10, 100, 1000, first, last), 0);
  EXPECT_EQ(first, 1090);
  EXPECT_EQ(last, 1099);
  int64_t middle = 0;
  ASSERT_EQ(PlotCanvas::GetTimeForPixel(0, 10, 100, 0, middle), 0);
  EXPECT_EQ(middle, 4);
  ASSERT_EQ(PlotCanvas::GetTimeForPixel(9, 10, 100, 0, middle), 0);
  EXPECT_EQ(middle, 94);
}

TEST(PlotCanvasTime, PixelForTimeTruncatesTowardsZero) {
  test::CapturedReports reports;
  int32_t pixel = -1;
  ASSERT_EQ(PlotCanvas::GetPixelForTime(1099, 1000, 10, 100, pixel), 0);
  EXPECT_EQ(pixel, 9);
  ASSERT_EQ(PlotCanvas::GetPixelForTime(1100, 1000, 10, 100, pixel), 0);
  EXPECT_EQ(pixel, 10);  // a time after the span lands right of it
  // Both directions truncate: with 100 us over 7 columns column 1 is listed from 14 us, while 14 us
  // itself still maps to column 0.
  int64_t first = 0, last = 0;
  ASSERT_EQ(PlotCanvas::GetTimeRangeForPixel(1, 7, 100, 0, first, last), 0);
  EXPECT_EQ(first, 14);
  EXPECT_EQ(last, 27);
  ASSERT_EQ(PlotCanvas::GetPixelForTime(14, 0, 7, 100, pixel), 0);
  EXPECT_EQ(pixel, 0);
  ASSERT_EQ(PlotCanvas::GetPixelForTime(15, 0, 7, 100, pixel), 0);
  EXPECT_EQ(pixel, 1);
  EXPECT_TRUE(reports.Empty());
}

TEST(PlotCanvasTime, BadWidthAndTimeBeforeStartAreReported) {
  test::CapturedReports reports;
  int32_t pixel = 77;
  EXPECT_EQ(PlotCanvas::GetPixelForTime(5, 0, 0, 100, pixel), -1);
  EXPECT_EQ(PlotCanvas::GetPixelForTime(5, 0, -3, 100, pixel), -1);
  EXPECT_EQ(PlotCanvas::GetPixelForTime(995, 1000, 10, 100, pixel), -1);
  EXPECT_EQ(pixel, 77);
  ASSERT_EQ(reports.Count(), 3u);
  EXPECT_EQ(reports.Texts()[0], "Invalid value passed to GetPixelForTime(), width = ");  // 0 appends nothing
  EXPECT_EQ(reports.Texts()[1], "Invalid value passed to GetPixelForTime(), width = -3");
  EXPECT_EQ(reports.Texts()[2], "Invalid value calculated GetPixelForTime(), timeOffset = -5");
}

TEST(PlotCanvasTime, ConversionsAtTheEndsOfTheTimeRangeSaturateInsteadOfWrapping) {
  test::CapturedReports reports;
  constexpr int64_t kMax = std::numeric_limits<int64_t>::max();
  int64_t first = 0, last = 0, middle = 0;
  ASSERT_EQ(PlotCanvas::GetTimeRangeForPixel(9, 10, 1000, kMax - 500, first, last), 0);
  EXPECT_EQ(first, kMax);
  EXPECT_EQ(last, kMax);
  ASSERT_EQ(PlotCanvas::GetTimeForPixel(0, 10, 1000, kMax - 50, middle), 0);
  EXPECT_EQ(middle, kMax - 25);  // the middle of kMax - 50 .. kMax (the last time held at kMax)
  int32_t pixel = 0;
  ASSERT_EQ(PlotCanvas::GetPixelForTime(kMax, -1, 10, 100, pixel), 0);
  EXPECT_EQ(pixel, std::numeric_limits<int32_t>::max());  // far right of the span, not before it
  EXPECT_TRUE(reports.Empty());
}

TEST(PlotCanvasTime, EmptySpanIsRefusedInsteadOfDividingByZero) {
  test::CapturedReports reports;
  int32_t pixel = 0;
  EXPECT_EQ(PlotCanvas::GetPixelForTime(5, 0, 10, 0, pixel), -1);
  EXPECT_EQ(reports.CountOf("Invalid value passed to GetPixelForTime(), span = "), 1u);
}

TEST(PlotCanvasTime, RangeForPixelWithoutWidthFailsSilently) {
  test::CapturedReports reports;
  int64_t first = 0, last = 0, middle = 0;
  EXPECT_EQ(PlotCanvas::GetTimeRangeForPixel(3, 0, 100, 0, first, last), -1);
  EXPECT_EQ(PlotCanvas::GetTimeForPixel(3, -1, 100, 0, middle), -1);
  EXPECT_TRUE(reports.Empty());
}

// ---- The plot stack --------------------------------------------------------------------------

class PlotStack : public ::testing::Test {
 protected:
  void SetUp() override {
    ViewState& v = view;
    v.CanvasWidth = 500;
    v.CanvasHeight = 400;
    v.ScrollTop = 0;
    v.ScrollBottom = -400;
    v.VisibleStart = 7000;
    v.VisibleSpan = 3000;
  }
  test::RecordingPlot& Add(int32_t height) {
    auto plot = std::make_unique<test::RecordingPlot>("/data/p" + std::to_string(collection.GetNumPlots()) + ".kcs",
                                                       height);
    test::RecordingPlot& ref = *plot;
    collection.AppendPlot(std::move(plot));
    return ref;
  }
  ViewState view;
  test::FakeDataSourceManager sources;
  ColorTable colours;
  PlotCollection collection{sources, colours};
  PlotCanvas canvas{view, nullptr, &collection, &sources};
};

TEST_F(PlotStack, EachPlotIsFollowedByTwoSeparatorsAndTheUpperOneIsRecorded) {
  test::RecordingPlot& a = Add(100);
  test::RecordingPlot& b = Add(60);
  ASSERT_EQ(canvas.DrawPlots(), 0);
  EXPECT_EQ(canvas.SeparatorYs(), (std::vector<int32_t>{-101, -164}));
  EXPECT_EQ(canvas.SeparatorPlots(), (std::vector<int32_t>{0, 1}));
  ASSERT_EQ(a.draws.size(), 1u);
  ASSERT_EQ(b.draws.size(), 1u);
  // Plot a: bottom at -100; header 20 and the data axis' margins of 10 leave 60 rows above y -90.
  const auto& d = a.draws[0];
  EXPECT_EQ(d.start, 7000);
  EXPECT_EQ(d.end, 10000);
  EXPECT_EQ(d.width, 460);
  EXPECT_EQ(d.height, 60);
  EXPECT_EQ(d.x, 40);
  EXPECT_EQ(d.y, -90);
  // Plot b starts three pixels below a's bottom.
  EXPECT_EQ(b.draws[0].y, -163 + 10);
  EXPECT_EQ(b.draws[0].height, 60 - 20 - 20);
  EXPECT_EQ(a.iconCalls[0], (std::vector<int32_t>{100, 0, -100}));
  EXPECT_EQ(a.nameCalls[0], (std::vector<int32_t>{-100, 100, 500}));
}

TEST_F(PlotStack, HiddenHeaderAndAxisGiveTheTraceTheWholeStrip) {
  test::RecordingPlot& a = Add(100);
  canvas.SetShowPlotNames(0);
  canvas.SetShowPlotIcons(0);
  canvas.SetShowDataAxis(0);
  ASSERT_EQ(canvas.DrawPlots(), 0);
  ASSERT_EQ(a.draws.size(), 1u);
  EXPECT_EQ(a.draws[0].width, 500);
  EXPECT_EQ(a.draws[0].height, 100);
  EXPECT_EQ(a.draws[0].x, 0);
  EXPECT_EQ(a.draws[0].y, -100);
  EXPECT_TRUE(a.iconCalls.empty());
  EXPECT_TRUE(a.nameCalls.empty());
}

TEST_F(PlotStack, OnlyPlotsAtLeastPartlyInsideTheScrolledViewAreDrawn) {
  test::RecordingPlot& a = Add(100);  // 0 .. -100
  test::RecordingPlot& b = Add(100);  // -103 .. -203
  test::RecordingPlot& c = Add(100);  // -206 .. -306
  test::RecordingPlot& d = Add(100);  // -309 .. -409
  ViewState& v = view;
  v.ScrollTop = -150;
  v.ScrollBottom = -250;
  ASSERT_EQ(canvas.DrawPlots(), 0);
  EXPECT_TRUE(a.draws.empty());     // entirely above the top
  EXPECT_EQ(b.draws.size(), 1u);    // its lower half shows
  EXPECT_EQ(c.draws.size(), 1u);    // its upper part shows
  EXPECT_TRUE(d.draws.empty());     // entirely below the bottom
  // Separators are recorded for every plot, drawn or not.
  EXPECT_EQ(canvas.SeparatorYs(), (std::vector<int32_t>{-101, -204, -307, -410}));
}

TEST_F(PlotStack, PlotTouchingTheViewOnlyAtAnEdgeIsNotDrawn) {
  test::RecordingPlot& a = Add(100);  // 0 .. -100
  test::RecordingPlot& b = Add(100);  // -103 .. -203
  ViewState& v = view;
  v.ScrollTop = -100;  // a's bottom edge is exactly the top of the view
  v.ScrollBottom = -103;  // b's top edge is exactly the bottom of the view
  ASSERT_EQ(canvas.DrawPlots(), 0);
  EXPECT_TRUE(a.draws.empty());
  EXPECT_TRUE(b.draws.empty());
}

TEST_F(PlotStack, IconsOfAPlotPushedOutOfViewCannotBeClickedWhereItWas) {
  test::RecordingPlot& a = Add(100);  // 0 .. -100
  test::RecordingPlot& b = Add(100);  // -103 .. -203: its header shows at the bottom of the view
  ViewState& v = view;
  v.CanvasHeight = 150;
  v.ScrollBottom = -150;
  ASSERT_EQ(canvas.DrawPlots(), 0);
  ASSERT_EQ(b.HitTestIcon(5, -115), Plot::kHitClose);  // b's close icon spans y -121 .. -106
  // Plus on a: a grows to 150 rows and pushes b out of view; the redraw leaves b undrawn.
  ASSERT_EQ(collection.HandleClick(57 + 5, -18 + 5), 1);
  ASSERT_EQ(a.GetHeight(), 150);
  ASSERT_EQ(canvas.DrawPlots(), 0);
  ASSERT_EQ(b.draws.size(), 1u);
  // Where b's close icon was is now the middle of a's trace: a click there closes nothing.
  EXPECT_EQ(collection.HandleClick(5, -115), 0);
  EXPECT_EQ(collection.GetNumPlots(), 2);
  // a's own icons, laid out by the same redraw, still answer.
  EXPECT_EQ(collection.HandleClick(75, -10), 1);
  EXPECT_EQ(a.GetHeight(), 100);
}

TEST_F(PlotStack, HelpersAreGivenTheFrameTheStackIsDrawnWith) {
  std::vector<test::RecordingPlot*> plots;
  for (int32_t i = 0; i < 3; ++i) plots.push_back(&Add(100));
  ASSERT_EQ(canvas.DrawPlots(), 0);
  for (test::RecordingPlot* plot : plots) {
    ASSERT_EQ(plot->prepared.size(), 1u);
    ASSERT_EQ(plot->draws.size(), 1u);
    const auto& drawn = plot->draws[0];
    EXPECT_EQ(plot->prepared[0], (std::vector<int64_t>{drawn.start, drawn.end, drawn.width}));
  }
}

TEST_F(PlotStack, FindSeparatorAcceptsTwoPixelsBelowAndOneAbove) {
  Add(100);
  Add(100);
  int32_t plot = -1;
  EXPECT_EQ(canvas.FindSeparator(-101, plot), 0);  // nothing recorded before the first draw
  ASSERT_EQ(canvas.DrawPlots(), 0);
  for (int32_t y : {-102, -101, -100, -99}) {
    plot = -1;
    EXPECT_EQ(canvas.FindSeparator(y, plot), 1) << y;
    EXPECT_EQ(plot, 0) << y;
  }
  EXPECT_EQ(canvas.FindSeparator(-103, plot), 0);
  EXPECT_EQ(canvas.FindSeparator(-98, plot), 0);
  ASSERT_EQ(canvas.FindSeparator(-204, plot), 1);
  EXPECT_EQ(plot, 1);
}

TEST_F(PlotStack, RedrawWithoutRendererFails) {
  EXPECT_EQ(canvas.RedrawAll(), -1);
}

// ---- Time axis -------------------------------------------------------------------------------

class TimeAxis : public ::testing::Test {
 protected:
  ViewState view;
  PlotCanvas canvas{view, nullptr, nullptr, nullptr};
};

TEST_F(TimeAxis, TicksLieAtTheMiddleAndEveryTickSpacingToBothSides) {
  const auto layout = canvas.LayoutTimeAxis(1000, 40, 0, 1000, [](std::string_view) { return 20; });
  ASSERT_EQ(layout.ticks.size(), 11u);
  EXPECT_EQ(layout.ticks[0].x, 540);
  EXPECT_EQ(layout.ticks[0].colour, 0xCCCCCCu);
  std::vector<int32_t> xs;
  for (std::size_t i = 1; i < layout.ticks.size(); ++i) {
    xs.push_back(layout.ticks[i].x);
    EXPECT_EQ(layout.ticks[i].colour, 0x4F4F2Fu);
  }
  EXPECT_EQ(xs, (std::vector<int32_t>{640, 440, 740, 340, 840, 240, 940, 140, 1040, 40}));
}

TEST_F(TimeAxis, LabelsShowTheMiddleTimeOfTheirColumn) {
  // 2 s over 1000 columns from 10 s: the middle column covers 11,000,000..11,001,999 us.
  const auto layout = canvas.LayoutTimeAxis(1000, 0, 10'000'000, 2'000'000, [](std::string_view) { return 10; });
  ASSERT_FALSE(layout.labels.empty());
  EXPECT_EQ(layout.labels[0].text, "11000999");
  EXPECT_EQ(layout.labels[0].x, 500 - 5);  // centred on the tick
  canvas.Properties().timeLabelScale = 0.001;
  const auto scaled = canvas.LayoutTimeAxis(1000, 0, 10'000'000, 2'000'000, [](std::string_view) { return 10; });
  EXPECT_EQ(scaled.labels[0].text, "11001");  // rounded, no decimal point
}

std::vector<int32_t> LabelCentres(const PlotCanvas::TimeAxisLayout& layout) {
  std::vector<int32_t> centres;
  for (const auto& label : layout.labels) centres.push_back(label.x + label.width / 2);
  return centres;
}

TEST_F(TimeAxis, LabelsCloserThanFivePixelsToTheLastOneOnTheirSideAreSkipped) {
  // Ticks 100 px apart: labels 94 px wide leave a 6 px gap, 95 px wide exactly 5 px.
  const auto wide94 = canvas.LayoutTimeAxis(1000, 0, 0, 1000, [](std::string_view) { return 94; });
  EXPECT_EQ(LabelCentres(wide94), (std::vector<int32_t>{500, 600, 700, 800, 900, 1000, 400, 300, 200, 100, 0}));
  const auto wide95 = canvas.LayoutTimeAxis(1000, 0, 0, 1000, [](std::string_view) { return 95; });
  EXPECT_EQ(LabelCentres(wide95), (std::vector<int32_t>{500, 700, 900, 300, 100}));
}

TEST_F(TimeAxis, TheMiddleLabelIsAlwaysDrawn) {
  const auto huge = canvas.LayoutTimeAxis(1000, 0, 0, 1000, [](std::string_view) { return 5000; });
  ASSERT_EQ(huge.labels.size(), 1u);
  EXPECT_EQ(huge.labels[0].x, 500 - 2500);
}

TEST_F(TimeAxis, NoWidthMeansTicksButNoLabels) {
  const auto layout = canvas.LayoutTimeAxis(0, 0, 0, 1000, [](std::string_view) { return 10; });
  EXPECT_EQ(layout.ticks.size(), 1u);
  EXPECT_TRUE(layout.labels.empty());
  canvas.Properties().timeTickSpacing = 0;  // from a corrupt settings file
  EXPECT_EQ(canvas.LayoutTimeAxis(1000, 0, 0, 1000, [](std::string_view) { return 10; }).ticks.size(), 1u);
}

// ---- Data axis -------------------------------------------------------------------------------

TEST_F(TimeAxis, DataAxisLabelsEveryTwentyPixelsOrMore) {
  view.CanvasWidth = 500;
  // h 200: half 100, n = (100 - 10) / 20 = 4 ticks of 22.5 px and 511.75 counts each side.
  const auto layout = canvas.LayoutDataAxis(200, -300, 0, 2047, "  AD Counts");
  std::vector<std::pair<std::string, int32_t>> labels;
  for (const auto& l : layout.labels) labels.emplace_back(l.text, l.y);
  EXPECT_EQ(labels, (std::vector<std::pair<std::string, int32_t>>{{"0  AD Counts", -200},
                                                                  {"2047", -110},
                                                                  {"-2047", -290},
                                                                  {"511", -177},
                                                                  {"-511", -222},
                                                                  {"1023", -155},
                                                                  {"-1023", -245},
                                                                  {"1535", -132},
                                                                  {"-1535", -267}}));
  ASSERT_EQ(layout.lines.size(), 4u + 6u);
  const auto& axis = layout.lines[0];
  EXPECT_EQ(std::vector<int32_t>({axis.x1, axis.y1, axis.x2, axis.y2}), std::vector<int32_t>({3, -290, 3, -110}));
  EXPECT_EQ(axis.colour, 0xCCCCCCu);
  for (std::size_t i = 1; i < 4; ++i) {
    EXPECT_EQ(layout.lines[i].x1, 37);
    EXPECT_EQ(layout.lines[i].x2, 500);
  }
  std::vector<int32_t> tickYs;
  for (std::size_t i = 4; i < layout.lines.size(); ++i) {
    EXPECT_EQ(layout.lines[i].x1, 0);
    EXPECT_EQ(layout.lines[i].y1, layout.lines[i].y2);
    tickYs.push_back(layout.lines[i].y1);
  }
  EXPECT_EQ(tickYs, (std::vector<int32_t>{-177, -222, -155, -245, -132, -267}));
}

TEST_F(TimeAxis, DataAxisOfAFlatPlotHasOnlyItsCentreLabel) {
  const auto layout = canvas.LayoutDataAxis(40, 0, 0, 2047, "  uV");
  ASSERT_EQ(layout.labels.size(), 1u);
  EXPECT_EQ(layout.labels[0].text, "0  uV");
  EXPECT_EQ(layout.lines.size(), 4u);
}

// ---- Settings section ------------------------------------------------------------------------

CanvasProperties Distinctive() {
  CanvasProperties p;
  int32_t next = 101;
  p.showPlotNames = next++;
  p.showPlotIcons = next++;
  p.plotHeaderHeight = next++;
  p.showDataAxis = next++;
  p.storedFlag5 = next++;
  p.dataAxisMargin = next++;
  p.dataAxisWidth = next++;
  p.showTimeAxis = next++;
  p.timeTickSpacing = next++;
  p.storedFlag10 = next++;
  p.timeAxisHeight = next++;
  p.timeLabelHeight = next++;
  p.timeLabelScale = 0.125;
  p.storedColour14 = 0x123456;
  p.minimumVisibleSpan = 0x0102030405060708;
  p.storedSpan16 = -2;
  p.storedSpan17 = 1'000'000'000'000;
  p.storedSpan18 = 42;
  p.zoomFactor = 3;
  p.horizontalPagePercent = 25;
  p.verticalPagePercent = 75;
  return p;
}

template <typename T>
T At(const uint8_t* bytes, std::size_t offset) {
  T value;
  std::memcpy(&value, bytes + offset, sizeof value);
  return value;
}

TEST(CanvasSettings, FieldsSitAtTheirByteOffsets) {
  uint8_t s[CanvasProperties::kSectionSize];
  Distinctive().Encode(s);
  for (int32_t field = 0; field < 12; ++field) EXPECT_EQ(At<int32_t>(s, 4 * field), 101 + field) << field;
  EXPECT_EQ(At<double>(s, 48), 0.125);
  EXPECT_EQ(At<int32_t>(s, 56), 0x123456);
  EXPECT_EQ(At<int64_t>(s, 60), 0x0102030405060708);
  EXPECT_EQ(s[60], 0x08);  // little-endian
  EXPECT_EQ(At<int64_t>(s, 68), -2);
  EXPECT_EQ(At<int64_t>(s, 76), 1'000'000'000'000);
  EXPECT_EQ(At<int64_t>(s, 84), 42);
  EXPECT_EQ(At<int32_t>(s, 92), 3);
  EXPECT_EQ(At<int32_t>(s, 96), 25);
  EXPECT_EQ(At<int32_t>(s, 100), 75);
}

class CanvasSettingsFile : public ::testing::Test {
 protected:
  std::string WriteSection(const CanvasProperties& p, std::size_t keep, const std::string& extra = "") {
    uint8_t s[CanvasProperties::kSectionSize];
    p.Encode(s);
    return dir.Write("settings.set", std::string(reinterpret_cast<char*>(s), keep) + extra);
  }
  ViewState view;
  test::TempDir dir;
  test::CapturedReports reports;
};

TEST_F(CanvasSettingsFile, RoundTripThroughAFileKeepsEveryField) {
  PlotCanvas writer{view, nullptr, nullptr, nullptr};
  writer.Properties() = Distinctive();
  File out;
  ASSERT_EQ(out.Open(dir.File("round.set"), File::Mode::CreateWrite), 0);
  ASSERT_EQ(writer.WriteSettings(out), 0);
  ASSERT_EQ(out.Close(), 0);

  PlotCanvas reader{view, nullptr, nullptr, nullptr};
  File in;
  ASSERT_EQ(in.Open(dir.File("round.set"), File::Mode::Read), 0);
  ASSERT_EQ(reader.ReadSettings(in), 0);
  EXPECT_EQ(in.Length(), 104);
  uint8_t expected[CanvasProperties::kSectionSize], got[CanvasProperties::kSectionSize];
  writer.Properties().Encode(expected);
  reader.Properties().Encode(got);
  EXPECT_EQ(std::memcmp(expected, got, sizeof got), 0);
  EXPECT_EQ(reader.GetShowPlotNames(), 101);
  EXPECT_TRUE(reports.Empty());
}

TEST_F(CanvasSettingsFile, SectionCutAfterTheSeventhFieldKeepsTheRestAtDefaults) {
  const std::string path = WriteSection(Distinctive(), 28);
  PlotCanvas canvas{view, nullptr, nullptr, nullptr};
  File in;
  ASSERT_EQ(in.Open(path, File::Mode::Read), 0);
  EXPECT_EQ(canvas.ReadSettings(in), -1);
  ASSERT_EQ(reports.Count(), 1u);
  EXPECT_EQ(reports.Texts()[0], "Error reading in canvas properties from file");
  const CanvasProperties& p = canvas.Properties();
  EXPECT_EQ(p.showPlotNames, 101);
  EXPECT_EQ(p.dataAxisWidth, 107);
  EXPECT_EQ(p.showTimeAxis, 1);
  EXPECT_EQ(p.timeTickSpacing, 100);
  EXPECT_EQ(p.timeLabelScale, 1.0);
  EXPECT_EQ(p.minimumVisibleSpan, 0);
  EXPECT_EQ(p.zoomFactor, 2);
  EXPECT_EQ(p.verticalPagePercent, 50);
}

TEST_F(CanvasSettingsFile, PartOfAFieldIsNotTaken) {
  const std::string path = WriteSection(Distinctive(), 50);  // field 13 (8 bytes at 48) only half there
  PlotCanvas canvas{view, nullptr, nullptr, nullptr};
  File in;
  ASSERT_EQ(in.Open(path, File::Mode::Read), 0);
  EXPECT_EQ(canvas.ReadSettings(in), -1);
  EXPECT_EQ(canvas.Properties().timeLabelHeight, 112);
  EXPECT_EQ(canvas.Properties().timeLabelScale, 1.0);
  EXPECT_EQ(reports.CountOf("Error reading in canvas properties from file"), 1u);
}

TEST_F(CanvasSettingsFile, LongerFileIsReadOnlyForItsFirst104Bytes) {
  const std::string path = WriteSection(Distinctive(), 104, std::string(40, '\x7F'));
  PlotCanvas canvas{view, nullptr, nullptr, nullptr};
  File in;
  ASSERT_EQ(in.Open(path, File::Mode::Read), 0);
  EXPECT_EQ(canvas.ReadSettings(in), 0);
  EXPECT_EQ(in.Position(), 104);
  EXPECT_EQ(canvas.Properties().verticalPagePercent, 75);
  EXPECT_TRUE(reports.Empty());
}

TEST_F(CanvasSettingsFile, FailedReadReportsTheErrno) {
  PlotCanvas canvas{view, nullptr, nullptr, nullptr};
  File in;
  ASSERT_EQ(in.Open(dir.File("wo.set"), File::Mode::CreateWrite), 0);  // not open for reading
  EXPECT_EQ(canvas.ReadSettings(in), EBADF);
  ASSERT_EQ(reports.Count(), 1u);
  EXPECT_EQ(reports.Texts()[0], "Unable to read canvas properties information from file" + std::to_string(EBADF));
  EXPECT_EQ(canvas.Properties().showPlotNames, 1);
}

TEST_F(CanvasSettingsFile, FullDiskIsReportedWithTheErrno) {
  PlotCanvas canvas{view, nullptr, nullptr, nullptr};
  File out;
  ASSERT_EQ(out.Open("/dev/full", File::Mode::CreateWrite), 0);
  EXPECT_EQ(canvas.WriteSettings(out), ENOSPC);
  ASSERT_EQ(reports.Count(), 1u);
  EXPECT_EQ(reports.Texts()[0], "Unable to write canvas properties information to file" + std::to_string(ENOSPC));
}

}  // namespace
}  // namespace skelvane
