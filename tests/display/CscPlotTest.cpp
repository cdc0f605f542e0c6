#include "display/CscPlot.h"

#include <cerrno>
#include <cmath>
#include <cstring>
#include <fstream>
#include <gtest/gtest.h>
#include <iterator>
#include <map>
#include <set>

#include "display/PlotCanvas.h"
#include "platform/File.h"
#include "display/ViewState.h"
#include "tests/support/FakeDataSourceManager.h"
#include "tests/support/CapturedReports.h"
#include "tests/support/TempDir.h"
#include "tests/support/TestFrame.h"

namespace skelvane {
namespace {

constexpr int64_t kFirstTimestamp = 1'000'000;
constexpr int64_t kRecordMicros = 16'000;  // 512 samples at 32 kHz
constexpr const char* kPath = "/rec/CSC1.kcs";

// Sample value of global sample n: a sine of amplitude 1000, distinct enough to catch mix-ups.
int16_t SineAt(int64_t n) { return static_cast<int16_t>(std::lround(1000.0 * std::sin(n * 2.0 * M_PI / 97.0))); }

class CscPlotTest : public ::testing::Test {
 protected:
  void SetUp() override { source = manager.AddSource(kPath); }
  // Contiguous 32 kHz records; `spikeAtZero` puts a 1900 at sample 0 of every record.
  void AddRecords(int32_t count, bool spikeAtZero = false) {
    for (int32_t r = 0; r < count; ++r) {
      std::vector<int16_t> samples(512);
      for (int32_t i = 0; i < 512; ++i) samples[i] = SineAt(int64_t{r} * 512 + i);
      if (spikeAtZero) samples[0] = 1900;
      manager.AddRecord(source, kFirstTimestamp + r * kRecordMicros, 32'000, samples);
    }
  }
  int64_t TimeOf(int32_t record, int32_t i) const {
    return kFirstTimestamp + record * kRecordMicros + static_cast<int64_t>(i * 31.25);
  }
  void SetSample(int32_t record, int32_t i, int16_t value) {
    std::memcpy(manager.sources[source].bytes.data() + record * kCscRecordSize + kCscSamplesOffset + 2 * i, &value, 2);
  }
  int16_t ValueOf(int32_t record, int32_t i) const {
    return CscRecord(manager.sources[source].bytes.data() + record * kCscRecordSize).Sample(i);
  }
  std::unique_ptr<CscPlot> MakePlot() {
    auto plot = std::make_unique<CscPlot>(kPath, "CSC1", manager, 0xFFFFFF);
    plot->LoadSourceInfo();
    return plot;
  }
  // Draws as the canvas would: the visible span is [start, start + span].
  int32_t DrawSpan(CscPlot& plot, int64_t start, int64_t span, int32_t width) {
    return plot.Draw(test::FrameFor(start, span, width), width, 100, 0, 0);
  }

  test::FakeDataSourceManager manager;
  int32_t source = 0;
};

// ---- Source info -----------------------------------------------------------------------------

TEST_F(CscPlotTest, TimingComesFromTheFirstRecordIntervals) {
  AddRecords(8);
  auto plot = MakePlot();
  EXPECT_DOUBLE_EQ(plot->GetSamplingFrequency(), 32'000.0);
  EXPECT_EQ(plot->GetRecordDuration(), 16'000);
  EXPECT_DOUBLE_EQ(plot->GetSamplePeriod(), 31.25);
}

TEST_F(CscPlotTest, AGapAmongTheFirstRecordsDoesNotDistortTheRate) {
  // Record 2 comes 250 ms late: the plain mean of the four intervals would give 6522 Hz.
  const int64_t ts[] = {0, 16'000, 282'000, 298'000, 314'000, 330'000};
  for (int64_t t : ts) manager.AddRecord(source, t, 32'000, {});
  auto plot = MakePlot();
  EXPECT_DOUBLE_EQ(plot->GetSamplingFrequency(), 32'000.0);
  EXPECT_EQ(plot->GetRecordDuration(), 16'000);
  EXPECT_DOUBLE_EQ(plot->GetSamplePeriod(), 31.25);
}

TEST_F(CscPlotTest, WithoutAGapTheRateIsTheMeanOfAllFourIntervals) {
  // About 30.3 kHz: whole-microsecond timestamps make the intervals alternate.
  const int64_t ts[] = {500, 500 + 16'896, 500 + 33'793, 500 + 50'689, 500 + 67'586};
  for (int64_t t : ts) manager.AddRecord(source, t, 30'303, {});
  auto plot = MakePlot();
  const double mean = 67'586.0 / 4.0;
  EXPECT_DOUBLE_EQ(plot->GetSamplingFrequency(), 512'000'000.0 / mean);
  EXPECT_EQ(plot->GetRecordDuration(), 16'896);
  EXPECT_NEAR(plot->GetSamplePeriod(), mean / 512.0, 1e-9);
}

TEST_F(CscPlotTest, ASingleRecordLeavesTheTimingUnknownAndDrawsNothing) {
  test::CapturedReports reports;
  manager.AddRecord(source, 5'000, 30'000, std::vector<int16_t>(512, 300));
  auto plot = MakePlot();
  EXPECT_DOUBLE_EQ(plot->GetSamplingFrequency(), 30'000.0);  // the record's stored rate
  EXPECT_EQ(plot->GetRecordDuration(), 0);
  EXPECT_EQ(plot->GetSamplePeriod(), 0.0);
  EXPECT_EQ(DrawSpan(*plot, 0, 100'000, 100), 0);
  EXPECT_TRUE(plot->Cache().xs.empty());
  EXPECT_TRUE(reports.Empty());  // no record past the end was asked for
}

TEST_F(CscPlotTest, MissingSourceIsReportedAndChangesNothing) {
  test::CapturedReports reports;
  CscPlot plot("/rec/other.kcs", "other", manager, 0xFFFFFF);
  plot.LoadSourceInfo();
  EXPECT_EQ(plot.GetSamplingFrequency(), 1.0);
  EXPECT_EQ(plot.GetRecordDuration(), 0);
  EXPECT_EQ(plot.Draw(test::FrameFor(0, 1000, 100), 100, 100, 0, 0), -1);
  ASSERT_EQ(reports.Count(), 2u);
  EXPECT_EQ(reports.Texts()[0], "Error retrieving Data Source Index, err = -1");
  EXPECT_EQ(reports.Texts()[1], "Error retrieving Data Source Index, err = -1");
}

TEST_F(CscPlotTest, FullScaleComesFromTheHeader) {
  AddRecords(2);
  EXPECT_EQ(MakePlot()->GetADMaxValue(), 2047);  // no key
  manager.sources[source].header["-ADMaxValue"] = " 32767 counts";
  EXPECT_EQ(MakePlot()->GetADMaxValue(), 32767);
}

// ---- Drawing paths ---------------------------------------------------------------------------

TEST_F(CscPlotTest, EverySampleIsDrawnUpToAQuarterRecordPerColumn) {
  AddRecords(20);
  auto plot = MakePlot();
  ASSERT_EQ(DrawSpan(*plot, kFirstTimestamp, 4000 * 50, 50), 0);  // 4000 us per column
  EXPECT_FALSE(plot->Cache().minMax);
  EXPECT_TRUE(plot->Cache().maxs.empty());
  ASSERT_EQ(DrawSpan(*plot, kFirstTimestamp, 4001 * 50, 50), 0);
  EXPECT_TRUE(plot->Cache().minMax);
  EXPECT_EQ(plot->Cache().maxs.size(), plot->Cache().xs.size());
  ASSERT_EQ(DrawSpan(*plot, kFirstTimestamp, 2000 * 50, 50), 0);  // the documented 2000 us case
  EXPECT_FALSE(plot->Cache().minMax);
  ASSERT_EQ(DrawSpan(*plot, kFirstTimestamp, 5000 * 50, 50), 0);  // and the 5000 us case
  EXPECT_TRUE(plot->Cache().minMax);
}

TEST_F(CscPlotTest, EverySamplePathHoldsEachSampleOfTheSpanNewestFirst) {
  AddRecords(20);
  auto plot = MakePlot();
  const int64_t start = kFirstTimestamp + 3 * kRecordMicros + 5'000;  // inside record 3
  const int64_t span = 40'000;                                         // ends inside record 5
  const int32_t width = 50;                                            // 800 us per column
  ASSERT_EQ(DrawSpan(*plot, start, span, width), 0);

  std::vector<int32_t> xs;
  std::vector<int16_t> values;
  for (int32_t r = 19; r >= 0; --r) {
    for (int32_t i = 511; i >= 0; --i) {
      const int64_t t = TimeOf(r, i);
      // The record holding the span's end is walked whole; earlier samples stop at start.
      if (t < start || kFirstTimestamp + r * kRecordMicros > start + span) continue;
      xs.push_back(static_cast<int32_t>((t - start) * width / span));
      values.push_back(ValueOf(r, i));
    }
  }
  EXPECT_EQ(plot->Cache().PointColumns(), xs);
  EXPECT_EQ(plot->Cache().mins, values);
  EXPECT_GT(plot->Cache().xs.front(), width);  // samples after the end lie right of the rectangle
  EXPECT_EQ(plot->Cache().xs.back(), 0);
}

// Expected per-column minimum and maximum of every sample in [start, end] plus the rest of the
// record holding end, with columns as the canvas defines them.
std::map<int32_t, std::pair<int16_t, int16_t>> TrueColumnExtremes(const test::FakeDataSourceManager& manager,
                                                                    int64_t start, int64_t span, int32_t width) {
  std::map<int32_t, std::pair<int16_t, int16_t>> columns;
  for (const auto& s : manager.sources) {
    for (int64_t r = 0; r < s.Count(); ++r) {
      const CscRecord record(s.bytes.data() + r * kCscRecordSize);
      if (record.Timestamp() > start + span) continue;
      for (int32_t i = 0; i < 512; ++i) {
        const int64_t t = record.Timestamp() + static_cast<int64_t>(i * 31.25);
        if (t < start) continue;
        int32_t x = 0;
        EXPECT_EQ(PlotCanvas::GetPixelForTime(t, start, width, span, x), 0);
        const int16_t v = record.Sample(i);
        auto [it, fresh] = columns.try_emplace(x, v, v);
        if (!fresh) {
          it->second.first = std::min(it->second.first, v);
          it->second.second = std::max(it->second.second, v);
        }
      }
    }
  }
  return columns;
}

std::map<int32_t, std::pair<int16_t, int16_t>> CachedColumns(const PixelCache& cache) {
  std::map<int32_t, std::pair<int16_t, int16_t>> columns;
  for (std::size_t i = 0; i < cache.xs.size(); ++i) {
    EXPECT_TRUE(columns.emplace(cache.xs[i], std::make_pair(cache.mins[i], cache.maxs[i])).second)
        << "column " << cache.xs[i] << " stored twice";
  }
  return columns;
}

TEST_F(CscPlotTest, EachMinMaxBarHoldsTheTrueExtremesOfItsColumn) {
  AddRecords(20);
  auto plot = MakePlot();
  const int64_t start = kFirstTimestamp + 5'000;
  const int64_t span = 280'000;  // 37 columns of about 7568 us: many straddle two records
  ASSERT_EQ(DrawSpan(*plot, start, span, 37), 0);
  ASSERT_TRUE(plot->Cache().minMax);
  EXPECT_EQ(CachedColumns(plot->Cache()), TrueColumnExtremes(manager, start, span, 37));
}

TEST_F(CscPlotTest, MinMaxBarKeepsTheFirstSampleOfARecordThatStartsAColumnAlone) {
  AddRecords(20, /*spikeAtZero=*/true);
  auto plot = MakePlot();
  // 8000 us columns whose boundaries fall between sample 0 (at ts) and sample 1 (at ts + 31) of
  // every second record: sample 0 is the last sample its record adds to the column before.
  const int64_t start = kFirstTimestamp + 2 * kRecordMicros + 31;
  const int64_t span = 80'000;
  ASSERT_EQ(DrawSpan(*plot, start, span, 10), 0);
  const auto cached = CachedColumns(plot->Cache());
  EXPECT_EQ(cached, TrueColumnExtremes(manager, start, span, 10));
  for (int32_t x : {1, 3, 5, 7, 9}) {
    ASSERT_TRUE(cached.count(x)) << x;
    EXPECT_EQ(cached.at(x).second, 1900) << "column " << x;
  }
}

TEST_F(CscPlotTest, MinMaxBarsFollowThePixelConversionAtUnevenColumnEdges) {
  AddRecords(20);
  // 100 ms over 7 columns: column 3 is listed from trunc(3 x 14285.71) = 42857 us, yet a sample
  // 42857 us after start still maps to column 2. Put a spike on exactly such a sample.
  const int64_t spikeTime = TimeOf(2, 100);
  const int64_t start = spikeTime - 42'857;
  SetSample(2, 100, 1950);
  auto plot = MakePlot();
  ASSERT_EQ(DrawSpan(*plot, start, 100'000, 7), 0);
  const auto cached = CachedColumns(plot->Cache());
  EXPECT_EQ(cached, TrueColumnExtremes(manager, start, 100'000, 7));
  ASSERT_TRUE(cached.count(2));
  EXPECT_EQ(cached.at(2).second, 1950);
  EXPECT_LT(cached.at(3).second, 1950);
}

TEST_F(CscPlotTest, MinMaxBarsHoldTheSampleExtremesEvenBeyondTheFullScale) {
  for (int32_t r = 0; r < 20; ++r) {
    std::vector<int16_t> samples(512);
    for (int32_t i = 0; i < 512; ++i) samples[i] = static_cast<int16_t>(800 + (r * 512 + i) % 7);
    manager.AddRecord(source, kFirstTimestamp + r * kRecordMicros, 32'000, samples);
  }
  manager.sources[source].header["-ADMaxValue"] = "300";  // every sample lies above the full scale
  auto plot = MakePlot();
  ASSERT_EQ(DrawSpan(*plot, kFirstTimestamp, 200'000, 20), 0);
  EXPECT_EQ(CachedColumns(plot->Cache()), TrueColumnExtremes(manager, kFirstTimestamp, 200'000, 20));
}

TEST_F(CscPlotTest, ASpanStartingBeforeTimeZeroStillShowsTheFirstRecords) {
  for (int32_t r = 0; r < 4; ++r) manager.AddRecord(source, r * kRecordMicros, 32'000, std::vector<int16_t>(512, 5));
  auto plot = MakePlot();
  ASSERT_EQ(DrawSpan(*plot, -50'000, 100'000, 50), 0);  // 2000 us per column: every sample
  // All four records lie in the span: 2048 samples from column 25 (time 0) on.
  EXPECT_EQ(plot->Cache().mins.size(), 4u * 512u);
  EXPECT_EQ(plot->Cache().xs.back(), 25);
}

TEST_F(CscPlotTest, ARecordStampedAtTimeZeroIsDrawnWhenTheSpanEndsInsideIt) {
  for (int32_t r = 0; r < 4; ++r) {
    std::vector<int16_t> samples(512);
    for (int32_t i = 0; i < 512; ++i) samples[i] = SineAt(int64_t{r} * 512 + i);
    manager.AddRecord(source, r * kRecordMicros, 32'000, samples);
  }
  auto plot = MakePlot();
  // 200 us per column: every sample of record 0, the one holding the span's end, is drawn.
  ASSERT_EQ(DrawSpan(*plot, 0, 10'000, 50), 0);
  ASSERT_FALSE(plot->Cache().minMax);
  ASSERT_EQ(plot->Cache().mins.size(), 512u);
  EXPECT_EQ(plot->Cache().xs.back(), 0);
  EXPECT_EQ(plot->Cache().mins.front(), ValueOf(0, 511));
  // 6000 us per column: the bars of record 0 in the min-max path.
  ASSERT_EQ(DrawSpan(*plot, 0, 12'000, 2), 0);
  ASSERT_TRUE(plot->Cache().minMax);
  EXPECT_EQ(CachedColumns(plot->Cache()), TrueColumnExtremes(manager, 0, 12'000, 2));
  EXPECT_EQ(plot->Cache().xs.size(), 3u);  // columns 0, 1 and the rest of the record right of the span
}

TEST_F(CscPlotTest, RecordsStampedAtTheEndsOfTheTimeRangeNeitherWrapNorLoop) {
  constexpr int64_t kMax = std::numeric_limits<int64_t>::max();
  constexpr int64_t kMin = std::numeric_limits<int64_t>::min();
  // A corrupt source: the first record at the earliest time there is, another near the latest.
  const int64_t ts[] = {kMin, kMin + 16'000, kMin + 32'000, kMin + 48'000, kMin + 64'000, kMax - 10};
  for (int64_t t : ts) manager.AddRecord(source, t, 32'000, std::vector<int16_t>(512, 7));
  auto plot = MakePlot();
  EXPECT_EQ(plot->GetRecordDuration(), 16'000);
  // A span ending inside the first record: nothing lies before it, so the walk ends there.
  ASSERT_EQ(DrawSpan(*plot, kMin, 8'000, 10), 0);
  EXPECT_EQ(plot->Cache().mins.size(), 512u);
  // Sample times past the end of the range stay at its end, right of the rectangle; sample 0 of
  // the last record falls in the last column.
  ASSERT_EQ(DrawSpan(*plot, kMax - 50'000, 50'000, 50), 0);
  ASSERT_EQ(plot->Cache().mins.size(), 512u);
  EXPECT_EQ(plot->Cache().xs.front(), 50);
  EXPECT_EQ(plot->Cache().xs.back(), 49);
  ASSERT_EQ(DrawSpan(*plot, kMax - 250'000, 250'000, 50), 0);  // 5000 us per column: min-max bars
  ASSERT_TRUE(plot->Cache().minMax);
  EXPECT_EQ(plot->Cache().xs, (std::vector<int32_t>{50, 49}));
}

TEST_F(CscPlotTest, RedrawOfAnUnchangedSpanReadsNoRecord) {
  AddRecords(20);
  auto plot = MakePlot();
  for (const int64_t span : {int64_t{40'000}, int64_t{280'000}}) {  // both paths
    manager.recordReads = 0;
    ASSERT_EQ(DrawSpan(*plot, kFirstTimestamp + 5'000, span, 37), 0);
    EXPECT_GT(manager.recordReads, 0);
    const auto xs = plot->Cache().xs;
    manager.recordReads = 0;
    ASSERT_EQ(DrawSpan(*plot, kFirstTimestamp + 5'000, span, 37), 0);
    EXPECT_EQ(manager.recordReads, 0);
    EXPECT_EQ(plot->Cache().xs, xs);
    manager.recordReads = 0;
    ASSERT_EQ(DrawSpan(*plot, kFirstTimestamp + 5'000, span, 38), 0);  // another width
    EXPECT_GT(manager.recordReads, 0);
  }
}

TEST_F(CscPlotTest, SpanEndingBeforeTheFirstRecordDrawsNoTraceAndIsRetriedLater) {
  AddRecords(20);
  auto plot = MakePlot();
  ASSERT_EQ(DrawSpan(*plot, kFirstTimestamp, 100'000, 50), 0);
  const auto good = plot->Cache().xs;
  ASSERT_FALSE(good.empty());
  EXPECT_EQ(DrawSpan(*plot, 0, 100'000, 50), 0);  // ends before the first record
  EXPECT_TRUE(plot->Cache().xs.empty());
  // Going back to the first span rebuilds it rather than drawing the emptied arrays.
  manager.recordReads = 0;
  ASSERT_EQ(DrawSpan(*plot, kFirstTimestamp, 100'000, 50), 0);
  EXPECT_GT(manager.recordReads, 0);
  EXPECT_EQ(plot->Cache().xs, good);
}

TEST_F(CscPlotTest, NoColumnsOrZeroFullScaleDrawsNothing) {
  AddRecords(4);
  auto plot = MakePlot();
  manager.recordReads = 0;
  EXPECT_EQ(DrawSpan(*plot, kFirstTimestamp, 10'000, 0), 0);
  EXPECT_EQ(DrawSpan(*plot, kFirstTimestamp, 10'000, -5), 0);
  plot->Properties().ADMaxValue = 0;
  EXPECT_EQ(DrawSpan(*plot, kFirstTimestamp, 10'000, 100), 0);
  EXPECT_EQ(manager.recordReads, 0);
}

// ---- Data axis label -------------------------------------------------------------------------

TEST_F(CscPlotTest, DataAxisRunsFromZeroToTheFullScaleInCountsOrMicrovolts) {
  AddRecords(2);
  auto plot = MakePlot();
  const IPlot::DataAxisRange counts = plot->DataAxis();
  plot->Properties().scale = 0.5;
  const IPlot::DataAxisRange scaled = plot->DataAxis();
  EXPECT_EQ(counts.centre, 0);
  EXPECT_EQ(counts.top, plot->GetADMaxValue());
  EXPECT_EQ(counts.unit, "  AD Counts");
  EXPECT_EQ(scaled.centre, 0);
  EXPECT_EQ(scaled.top, plot->GetADMaxValue() / 2);  // truncated
  EXPECT_EQ(scaled.unit, "  uV");
}

// ---- Properties record -----------------------------------------------------------------------

std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

TEST_F(CscPlotTest, PropertiesRecordIsFiveLittleEndianWords) {
  AddRecords(2);
  test::TempDir dir;
  auto plot = MakePlot();
  plot->Properties().traceColour = 0x00A0B0C0;
  plot->Properties().pointSize = 3;
  File out;
  ASSERT_EQ(out.Open(dir.File("p.rec"), File::Mode::CreateWrite), 0);
  ASSERT_EQ(plot->WriteProperties(out), 0);
  out.Close();
  const std::string bytes = ReadAll(dir.File("p.rec"));
  EXPECT_EQ(bytes, std::string("\xC0\xB0\xA0\x00\x01\x00\x00\x00\x01\x00\x00\x00\x01\x00\x00\x00\x03\x00\x00\x00", 20));

  auto other = MakePlot();
  File in;
  ASSERT_EQ(in.Open(dir.File("p.rec"), File::Mode::Read), 0);
  ASSERT_EQ(other->ReadProperties(in), 0);
  EXPECT_EQ(other->Properties().traceColour, 0x00A0B0C0u);
  EXPECT_EQ(other->Properties().pointSize, 3);
}

TEST_F(CscPlotTest, ShortPropertiesRecordKeepsTheFieldsReadBeforeIt) {
  AddRecords(2);
  test::TempDir dir;
  test::CapturedReports reports;
  const std::string path = dir.Write("short.rec", std::string("\x11\x22\x33\x00\x00\x00\x00\x00\x05\x00", 10));
  auto plot = MakePlot();
  File in;
  ASSERT_EQ(in.Open(path, File::Mode::Read), 0);
  EXPECT_EQ(plot->ReadProperties(in), -1);
  EXPECT_EQ(plot->Properties().traceColour, 0x332211u);
  EXPECT_EQ(plot->Properties().drawTrace, 0);
  EXPECT_EQ(plot->Properties().drawPoints, 1);  // only half there: unchanged
  ASSERT_EQ(reports.Count(), 1u);
  EXPECT_EQ(reports.Texts()[0], "Error Reading In CSC Plot Properties From File");
}

TEST_F(CscPlotTest, PropertiesFileErrorsCarryTheErrno) {
  AddRecords(2);
  test::TempDir dir;
  test::CapturedReports reports;
  auto plot = MakePlot();
  File wo;
  ASSERT_EQ(wo.Open(dir.File("wo.rec"), File::Mode::CreateWrite), 0);
  EXPECT_EQ(plot->ReadProperties(wo), EBADF);
  File full;
  ASSERT_EQ(full.Open("/dev/full", File::Mode::CreateWrite), 0);
  EXPECT_EQ(plot->WriteProperties(full), ENOSPC);
  ASSERT_EQ(reports.Count(), 2u);
  EXPECT_EQ(reports.Texts()[0], "Error Reading In CSC Plot Properties From File, Error = " + std::to_string(EBADF));
  EXPECT_EQ(reports.Texts()[1], "Error Writing CSC Plot Properties To File, Error = " + std::to_string(ENOSPC));
}

}  // namespace
}  // namespace skelvane
