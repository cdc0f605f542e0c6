// Kept summaries of filtered samples against the same summaries built in memory from the file's bytes
// as they stand: under random changes to the recording and random filters a kept one is used exactly
// while nothing it was made from changed, under random damage it is built again with one notice, and
// one cut short while a filtered plot draws from it is never drawn.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <future>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "datafile/CscRecord.h"
#include "datafile/DataSourceManager.h"
#include "datafile/IDataSourceManager.h"
#include "display/CscPlot.h"
#include "filter/FilterChoice.h"
#include "filter/FilterDesign.h"
#include "summary/SourceSummary.h"
#include "summary/SummaryBuilder.h"
#include "summary/SummaryCache.h"
#include "summary/SummaryFile.h"
#include "summary/SummaryKey.h"
#include "summary/SummaryWorkerPool.h"
#include "tests/support/CapturedReports.h"
#include "tests/support/KeptSummaries.h"
#include "tests/support/ScopedVariable.h"
#include "tests/support/SyntheticSources.h"
#include "tests/support/TempDir.h"
#include "tests/support/TestFrame.h"
#include "tools/SyntheticRecording.h"

namespace skelvane {
namespace {

namespace fs = std::filesystem;
constexpr int64_t kHeaderBytes = test::kSynthHeaderBytes;
constexpr double kRateHz = 32'000.0;
constexpr double kSampleInterval = 1e6 / kRateHz;

RecordLayout LayoutOf(const std::string& path) { return test::SynthLayoutOf(path); }

FilterDesign DesignOf(const FilterChoice& band) {
  std::string refusal;
  const std::optional<FilterDesign> design = FilterDesign::Shared(band, kRateHz, refusal);
  EXPECT_TRUE(design.has_value()) << refusal;
  return *design;
}

// The bands the tests choose from: both named ones and custom ones of each shape.
std::vector<FilterChoice> Bands() {
  return {FilterChoice::Spike(), FilterChoice::Lfp(), FilterChoice::Custom(300.0, 3000.0), FilterChoice::Custom(std::nullopt, 600.0),
          FilterChoice::Custom(250.0, std::nullopt)};
}

// The filtered summary of the file's bytes as they are now, built in memory: the reference.
std::vector<uint8_t> ReferenceImage(const std::string& path, const FilterChoice& band) {
  SourceSummary summary;
  std::atomic<bool> cancel{false};
  std::atomic<int64_t> done{0};
  EXPECT_EQ(SourceSummary::BuildFiltered(LayoutOf(path), DesignOf(band), kSampleInterval, cancel, done, summary), 0);
  return test::ImageOf(summary);
}

using Made = test::MadeSummary;

// What a filtered plot's builder makes of the file now.
Made Summarise(const std::string& path, const FilterChoice& band) {
  SummaryBuilder builder(LayoutOf(path), DesignOf(band), kSampleInterval);
  return test::Summarise(builder);
}

class FilteredSummaryCacheTest : public ::testing::Test {
 protected:
  void SetUp() override {
    SynthOptions options;
    options.outDir = folder.File("rec");
    options.channels = 2;
    options.seconds = 12.0;
    options.seed = 11;
    options.oscillation = SynthOscillation{3.0, 600.0};
    SynthResult result;
    ASSERT_EQ(SyntheticRecording::Generate(options, result), 0);
    paths = result.paths;
  }
  std::string Cache() const { return folder.File("cache/skelvane"); }
  std::string KeptFile(const std::string& recording, const FilterChoice& band) const {
    struct stat status {};
    EXPECT_EQ(::stat(recording.c_str(), &status), 0) << recording;
    const std::string filter = band.IsNone() ? std::string() : SummaryKey::FilterIdentity(DesignOf(band), kSampleInterval);
    return Cache() + "/" + SummaryCache::FileNameFor(status.st_dev, status.st_ino, filter);
  }

  test::TempDir folder;
  test::ScopedVariable cacheHome{"XDG_CACHE_HOME", folder.File("cache")};
  test::CapturedReports reports;
  std::vector<std::string> paths;
};

// A model of the cache: which bands' summaries of the recording as it stands are kept. Every change
// to the file (its bytes, its length, its times, its mode) empties it; summarising through a band
// adds the band. The builder must load exactly what the model holds and always give the reference.
TEST_F(FilteredSummaryCacheTest, AKeptFilteredSummaryIsUsedExactlyWhileItsRecordingAndFilterAreUnchanged) {
  const std::vector<FilterChoice> bands = Bands();
  const std::string path = paths[0];
  std::mt19937_64 random(20261209);
  auto pick = [&](int64_t low, int64_t high) { return std::uniform_int_distribution<int64_t>(low, high)(random); };
  const auto recordAt = [](int64_t record) { return kHeaderBytes + record * kCscRecordSize; };
  const std::vector<std::pair<const char*, std::function<void()>>> changes = {
      {"a middle record rewritten, its time moved", [&] {
         std::fstream file(path, std::ios::in | std::ios::out | std::ios::binary);
         file.seekp(recordAt(pick(1, LayoutOf(path).numRecords - 2)) + kCscSamplesOffset + 2 * pick(0, 500));
         const std::vector<char> burst(20, static_cast<char>(pick(1, 120)));
         file.write(burst.data(), static_cast<std::streamsize>(burst.size()));
         file.close();
         fs::last_write_time(path, fs::last_write_time(path) + std::chrono::seconds(pick(1, 9)));
       }},
      {"a middle record rewritten, its time put back", [&] {
         const auto modified = fs::last_write_time(path);
         std::fstream file(path, std::ios::in | std::ios::out | std::ios::binary);
         file.seekp(recordAt(pick(1, LayoutOf(path).numRecords - 2)) + kCscSamplesOffset);
         const std::vector<char> flat(2 * kSamplesPerRecord, static_cast<char>(pick(1, 120)));
         file.write(flat.data(), static_cast<std::streamsize>(flat.size()));
         file.close();
         fs::last_write_time(path, modified);
       }},
      {"records appended", [&] {
         const int64_t records = LayoutOf(path).numRecords;
         std::ifstream in(path, std::ios::binary);
         std::vector<char> more(static_cast<std::size_t>(pick(1, 40) * kCscRecordSize));
         in.seekg(recordAt(records) - static_cast<std::streamoff>(more.size()));
         in.read(more.data(), static_cast<std::streamsize>(more.size()));
         in.close();
         std::ofstream(path, std::ios::binary | std::ios::app).write(more.data(), static_cast<std::streamsize>(more.size()));
       }},
      {"records cut off", [&] { fs::resize_file(path, recordAt(LayoutOf(path).numRecords - pick(1, 40))); }},
      {"its mode changed and back", [&] {
         fs::permissions(path, fs::perms::group_read, fs::perm_options::remove);
         fs::permissions(path, fs::perms::group_read, fs::perm_options::add);
       }},
  };
  std::map<std::string, bool> kept;  // by band text
  int32_t loads = 0;
  for (int32_t step = 0; step < 24; ++step) {
    if (pick(0, 2) == 0) {
      const auto& [what, change] = changes[static_cast<std::size_t>(pick(0, static_cast<int64_t>(changes.size()) - 1))];
      SCOPED_TRACE(what);
      change();
      kept.clear();
    }
    const FilterChoice& band = bands[static_cast<std::size_t>(pick(0, static_cast<int64_t>(bands.size()) - 1))];
    SCOPED_TRACE("step " + std::to_string(step) + ", " + band.Text());
    const Made made = Summarise(path, band);
    EXPECT_EQ(made.origin, kept[band.Text()] ? SummaryBuilder::Origin::Loaded : SummaryBuilder::Origin::Built);
    EXPECT_TRUE(made.fromFile);
    ASSERT_EQ(made.image, ReferenceImage(path, band));
    loads += made.origin == SummaryBuilder::Origin::Loaded ? 1 : 0;
    kept[band.Text()] = true;
  }
  EXPECT_GT(loads, 3) << "the walk should find kept summaries now and then";
  // Beside them, the summary of the samples as recorded and the other recording's are their own files.
  SummaryBuilder raw(LayoutOf(path));
  raw.Start();
  ASSERT_TRUE(raw.Wait());
  EXPECT_EQ(Summarise(paths[1], bands[0]).origin, SummaryBuilder::Origin::Built);
  for (const FilterChoice& band : bands) {
    if (kept[band.Text()]) {
      EXPECT_EQ(Summarise(path, band).origin, SummaryBuilder::Origin::Loaded) << band.Text();
    }
  }
  EXPECT_TRUE(reports.Empty()) << reports.Texts().front();
}

// Random damage to kept filtered files - cut short anywhere, a byte garbled in the header, the
// checksum table or the image, a file kept for another band or for no filter under the band's name -
// each costs a build from the records, and the folder says so once; the new file then serves.
TEST_F(FilteredSummaryCacheTest, DamagedKeptFilteredSummariesAreBuiltAgainWithOneNotice) {
  const std::vector<FilterChoice> bands = Bands();
  const std::string path = paths[1];
  std::map<std::string, std::vector<uint8_t>> references;
  for (const FilterChoice& band : bands) {
    references[band.Text()] = ReferenceImage(path, band);
    ASSERT_EQ(Summarise(path, band).origin, SummaryBuilder::Origin::Built);
  }
  {
    SummaryBuilder raw(LayoutOf(path));
    raw.Start();
    ASSERT_TRUE(raw.Wait());
  }
  std::mt19937_64 random(99);
  auto pick = [&](int64_t low, int64_t high) { return std::uniform_int_distribution<int64_t>(low, high)(random); };
  const auto garble = [](const std::string& file, int64_t at) {
    std::fstream stream(file, std::ios::in | std::ios::out | std::ios::binary);
    stream.seekg(at);
    const char was = static_cast<char>(stream.get());
    stream.seekp(at);
    stream.put(static_cast<char>(was ^ 0x5a));
  };
  std::string firstDamaged;
  for (int32_t step = 0; step < 16; ++step) {
    const FilterChoice& band = bands[static_cast<std::size_t>(pick(0, static_cast<int64_t>(bands.size()) - 1))];
    const std::string kept = KeptFile(path, band);
    const auto size = static_cast<int64_t>(fs::file_size(kept));
    const auto imageBytes = static_cast<int64_t>(references[band.Text()].size());
    const int64_t imageStart = SummaryFile::ImageStart(imageBytes);
    const int64_t tableEnd =
        SummaryFile::kHeaderBytes + static_cast<int64_t>(sizeof(uint64_t)) *
                                        ((imageBytes + SummaryFile::kChecksumBlockBytes - 1) / SummaryFile::kChecksumBlockBytes);
    std::string what;
    switch (pick(0, 5)) {
      case 0:
        what = "cut short";
        fs::resize_file(kept, static_cast<uintmax_t>(pick(0, size - 1)));
        break;
      case 1:
        what = "a header byte garbled";
        garble(kept, pick(0, SummaryFile::kHeaderBytes - 1));
        break;
      case 2:
        what = "a checksum garbled";
        garble(kept, pick(SummaryFile::kHeaderBytes, tableEnd - 1));
        break;
      case 3:
        what = "an image byte garbled";
        garble(kept, pick(imageStart, size - 1));
        break;
      case 4: {
        what = "another band's file in its place";
        const FilterChoice& other = bands[(static_cast<std::size_t>(pick(1, static_cast<int64_t>(bands.size()) - 1)) +
                                         static_cast<std::size_t>(&band - bands.data())) % bands.size()];
        fs::copy_file(KeptFile(path, other), kept, fs::copy_options::overwrite_existing);
        break;
      }
      default:
        what = "the unfiltered file in its place";
        fs::copy_file(KeptFile(path, FilterChoice()), kept, fs::copy_options::overwrite_existing);
        break;
    }
    SCOPED_TRACE("step " + std::to_string(step) + ": " + band.Text() + ", " + what);
    if (firstDamaged.empty()) firstDamaged = kept;
    const Made made = Summarise(path, band);
    EXPECT_EQ(made.origin, SummaryBuilder::Origin::Built);
    EXPECT_TRUE(made.fromFile);
    ASSERT_EQ(made.image, references[band.Text()]);
    EXPECT_EQ(Summarise(path, band).origin, SummaryBuilder::Origin::Loaded) << "a good file took its place";
  }
  EXPECT_EQ(reports.Texts(), std::vector<std::string>{std::string(SummaryCache::kRebuiltNotice) + " " + firstDamaged});
  for (const auto& entry : fs::directory_iterator(Cache())) {
    EXPECT_EQ(SummaryFile::TemporaryOwner(entry.path().filename().string()), -1) << entry.path();
  }
}

// A filtered plot drawing from a kept filtered summary that another program cuts short: nothing is
// drawn from it, it is said once, built again, and the trace comes back as it was.
TEST_F(FilteredSummaryCacheTest, AFilteredSummaryCutShortWhileMappedIsNeverDrawn) {
  const FilterChoice band = FilterChoice::Lfp();
  ASSERT_EQ(Summarise(paths[0], band).origin, SummaryBuilder::Origin::Built);
  DataSourceManager manager;
  ASSERT_EQ(manager.OpenSource(paths[0]), 0);
  CscPlot plot(paths[0], "CSC", manager, 0xFFFFFF);
  plot.LoadSourceInfo();
  std::string refusal;
  ASSERT_TRUE(plot.SetFilter(band, refusal)) << refusal;
  plot.StartSummary();
  ASSERT_TRUE(plot.WaitForSummary());
  int64_t first = 0;
  int64_t last = 0;
  manager.GetTimeRange(first, last);
  const PlotFrame whole = test::FrameFor(first, last - first, 600);
  plot.Draw(whole, 600, 100, 0, 0);
  const PixelCache before = plot.SettledCache();
  ASSERT_FALSE(before.xs.empty());

  const std::string kept = KeptFile(paths[0], band);
  fs::resize_file(kept, static_cast<uintmax_t>(SummaryFile::ImageStart(static_cast<int64_t>(
                            ReferenceImage(paths[0], band).size())) + 64));
  plot.ClearCache();
  plot.Draw(whole, 600, 100, 0, 0);
  EXPECT_TRUE(plot.Cache().xs.empty()) << "nothing drawn from zeros";
  EXPECT_EQ(reports.Texts(), std::vector<std::string>{std::string(SummaryCache::kCutShortNotice) + " " + paths[0]});
  ASSERT_TRUE(plot.WaitForSummary());
  plot.Draw(whole, 600, 100, 0, 0);
  EXPECT_EQ(plot.SettledCache().xs, before.xs);
  EXPECT_EQ(plot.SettledCache().mins, before.mins);
  EXPECT_EQ(plot.SettledCache().maxs, before.maxs);
  EXPECT_EQ(reports.Count(), 1u);
}

// A filtered plot opened on a view it draws from its summary takes the kept summary at its first
// draw, on the drawing thread, instead of filtering every record shown while a queued build waits
// for a worker; the columns are those of a plot that finds nothing kept and reads the records.
TEST_F(FilteredSummaryCacheTest, AFilteredPlotTakesItsKeptSummaryAtItsFirstDraw) {
  DataSourceManager manager;
  ASSERT_EQ(manager.OpenSource(paths[0]), 0);
  int64_t first = 0;
  int64_t last = 0;
  manager.GetTimeRange(first, last);
  const PlotFrame whole = test::FrameFor(first, last - first, 600);
  for (const FilterChoice& band : {FilterChoice::Spike(), FilterChoice::Lfp()}) {
    SCOPED_TRACE(band.Text());
    auto drawn = [&](bool cacheOn) {
      SummaryCache::Instance().SetEnabled(cacheOn);
      CscPlot plot(paths[0], "CSC", manager, 0xFFFFFF);
      plot.LoadSourceInfo();
      std::string refusal;
      EXPECT_TRUE(plot.SetFilter(band, refusal)) << refusal;
      // Every worker held until the draw is done: a summary ready by then was not theirs.
      std::promise<void> release;
      const std::shared_future<void> held = release.get_future().share();
      for (int32_t i = 0; i < SummaryWorkerPool::ThreadCount(); ++i) {
        SummaryWorkerPool::Instance().Submit([held] { held.wait(); });
      }
      // Queued behind them, as the window queues the plots' builds when they open.
      plot.StartSummary();
      plot.Draw(whole, 600, 100, 0, 0);
      const SummaryBuilder* summary = plot.Summary();
      EXPECT_EQ(summary != nullptr && summary->GetState() == SummaryBuilder::State::Ready, cacheOn);
      if (cacheOn && summary != nullptr) {
        EXPECT_EQ(summary->GetOrigin(), SummaryBuilder::Origin::Loaded);
      }
      release.set_value();
      PixelCache columns = plot.SettledCache();
      plot.WaitForSummary();
      return columns;
    };
    ASSERT_EQ(Summarise(paths[0], band).origin, SummaryBuilder::Origin::Built);
    const PixelCache kept = drawn(true);
    const PixelCache read = drawn(false);
    SummaryCache::Instance().SetEnabled(true);
    ASSERT_FALSE(read.xs.empty());
    EXPECT_EQ(kept.xs, read.xs);
    EXPECT_EQ(kept.mins, read.mins);
    EXPECT_EQ(kept.maxs, read.maxs);
  }
  EXPECT_TRUE(reports.Empty()) << reports.Texts().front();
}

// A build a worker has begun is waited for while it looks in the cache, not while it reads the
// records: the wait says whether the summary was taken from the cache, and a build of a minute of
// samples it did not wait for can still be cancelled.
TEST_F(FilteredSummaryCacheTest, AWaitForAKeptSummaryEndsWhenTheRecordsAreRead) {
  SynthOptions options = test::SignalKindOptions("oscillation", 60.0);
  options.outDir = folder.File("long");
  SynthResult result;
  ASSERT_EQ(SyntheticRecording::Generate(options, result), 0);
  const std::string path = result.paths.front();
  const FilterChoice band = FilterChoice::Lfp();
  SummaryBuilder building(LayoutOf(path), DesignOf(band), kSampleInterval);
  building.Start();
  EXPECT_FALSE(building.WaitIfKept());
  building.Cancel();
  EXPECT_FALSE(building.Wait());
  EXPECT_EQ(building.GetState(), SummaryBuilder::State::Cancelled);

  ASSERT_EQ(Summarise(path, band).origin, SummaryBuilder::Origin::Built);
  SummaryBuilder kept(LayoutOf(path), DesignOf(band), kSampleInterval);
  kept.Start();
  EXPECT_TRUE(kept.WaitIfKept());
  EXPECT_EQ(kept.GetOrigin(), SummaryBuilder::Origin::Loaded);
  SummaryBuilder unstarted(LayoutOf(path), DesignOf(band), kSampleInterval);
  EXPECT_FALSE(unstarted.WaitIfKept());
}

}  // namespace
}  // namespace skelvane
