// Kept summaries against summaries built in memory from the same bytes: found again (by any name of
// the file), extended when the recording grew, ignored (with one notice) whenever the file or the
// recording no longer match or others could have written them, left in memory when the folder
// cannot be written, never drawn once cut short while mapped, never left half written by a signal,
// evicted least recently used first over the cap.
#include "summary/SummaryCache.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <xxhash.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <mutex>
#include <random>
#include <string>
#include <vector>

#include "columns/LiteralColumns.h"
#include "datafile/CscRecord.h"
#include "datafile/DataSourceManager.h"
#include "datafile/IDataSourceManager.h"
#include "datafile/RecordReader.h"
#include "display/CscPlot.h"
#include "platform/StatusCodes.h"
#include "summary/SourceSummary.h"
#include "summary/SummaryBuilder.h"
#include "summary/SummaryFile.h"
#include "summary/SummaryWorkerPool.h"
#include "tests/support/CapturedReports.h"
#include "tests/support/KeptSummaries.h"
#include "tests/support/ScopedVariable.h"
#include "tests/support/TempDir.h"
#include "tests/support/TestFrame.h"
#include "tools/SyntheticRecording.h"

namespace skelvane {
namespace {

namespace fs = std::filesystem;
constexpr int64_t kHeaderBytes = test::kSynthHeaderBytes;

RecordLayout LayoutOf(const std::string& path) { return test::SynthLayoutOf(path); }

// The summary of the file's bytes as they are now, built in memory: the reference.
std::vector<uint8_t> ReferenceImage(const std::string& path) {
  SourceSummary summary;
  std::atomic<bool> cancel{false};
  std::atomic<int64_t> done{0};
  EXPECT_EQ(SourceSummary::Build(LayoutOf(path), cancel, done, summary), 0);
  return test::ImageOf(summary);
}

using Made = test::MadeSummary;

// What a plot's builder makes of the file now.
Made Summarise(const std::string& path) {
  SummaryBuilder builder(LayoutOf(path));
  return test::Summarise(builder);
}

void SetModified(const std::string& path, int64_t secondsAgo) {
  const auto now = fs::file_time_type::clock::now();
  fs::last_write_time(path, now - std::chrono::seconds(secondsAgo));
}

class SummaryCacheTest : public ::testing::Test {
 protected:
  void SetUp() override {
    SynthOptions options;
    options.outDir = folder.File("rec");
    options.channels = 3;
    options.seconds = 70.0;
    options.seed = 5;
    SynthResult result;
    ASSERT_EQ(SyntheticRecording::Generate(options, result), 0);
    paths = result.paths;
  }
  std::string Cache() const { return folder.File("cache/skelvane"); }
  std::vector<std::string> CacheEntries() const {
    std::vector<std::string> names;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(Cache(), ec)) names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
  }
  std::string KeptFile(const std::string& recording) const {
    struct stat status {};
    EXPECT_EQ(::stat(recording.c_str(), &status), 0) << recording;
    return Cache() + "/" + SummaryCache::FileNameFor(status.st_dev, status.st_ino);
  }

  test::TempDir folder;
  test::ScopedVariable cacheHome{"XDG_CACHE_HOME", folder.File("cache")};
  test::CapturedReports reports;
  std::vector<std::string> paths;
};

TEST_F(SummaryCacheTest, AKeptSummaryIsTheBuiltOneFoundAgainMappedFromItsFile) {
  const std::vector<uint8_t> reference = ReferenceImage(paths[0]);
  const Made first = Summarise(paths[0]);
  EXPECT_EQ(first.origin, SummaryBuilder::Origin::Built);
  EXPECT_TRUE(first.fromFile);
  EXPECT_EQ(first.image, reference);
  const std::string name = fs::path(KeptFile(paths[0])).filename().string();
  EXPECT_EQ(CacheEntries(), (std::vector<std::string>{name, name + SummaryFile::kCheckedSuffix}));
  EXPECT_EQ(fs::status(Cache()).permissions(), fs::perms::owner_all);

  const Made again = Summarise(paths[0]);
  EXPECT_EQ(again.origin, SummaryBuilder::Origin::Loaded);
  EXPECT_TRUE(again.fromFile);
  EXPECT_EQ(again.image, reference);
  // Written in this boot of the machine and untouched since: not read whole again. A note from
  // another boot, or about another file, is no reason to trust it.
  SummaryFile kept;
  SourceSummary loaded;
  ASSERT_EQ(kept.Open(KeptFile(paths[0])), SummaryFile::Verdict::Usable);
  ASSERT_EQ(kept.Load(loaded), SummaryFile::Verdict::Usable);
  EXPECT_FALSE(kept.CheckedWhole());
  {
    std::fstream note(KeptFile(paths[0]) + SummaryFile::kCheckedSuffix, std::ios::in | std::ios::out | std::ios::binary);
    note.seekp(sizeof SummaryFile::kCheckedMagic);
    note.write("x", 1);
  }
  ASSERT_EQ(kept.Open(KeptFile(paths[0])), SummaryFile::Verdict::Usable);
  ASSERT_EQ(kept.Load(loaded), SummaryFile::Verdict::Usable);
  EXPECT_TRUE(kept.CheckedWhole());
  ASSERT_EQ(kept.Open(KeptFile(paths[0])), SummaryFile::Verdict::Usable);
  ASSERT_EQ(kept.Load(loaded), SummaryFile::Verdict::Usable);
  EXPECT_FALSE(kept.CheckedWhole()) << "checked whole, it got a new note";
  // Another name of the same file, a link of either kind, is the same recording with the same summary.
  const std::string link = folder.File("link.kcs");
  const std::string hardLink = folder.File("hard.kcs");
  fs::create_symlink(paths[0], link);
  EXPECT_EQ(Summarise(link).origin, SummaryBuilder::Origin::Loaded);
  fs::create_hard_link(paths[0], hardLink);
  EXPECT_EQ(Summarise(hardLink).origin, SummaryBuilder::Origin::Built) << "a new link changes the file's time";
  EXPECT_EQ(Summarise(paths[0]).origin, SummaryBuilder::Origin::Loaded);
  EXPECT_EQ(CacheEntries().size(), 2u);
  EXPECT_TRUE(reports.Empty());
}

TEST_F(SummaryCacheTest, ARecordingRewrittenInPlaceWithItsSizeIsSummarisedAgain) {
  ASSERT_EQ(Summarise(paths[0]).origin, SummaryBuilder::Origin::Built);
  // Other samples in a middle record: the same size, header, first and last records; a new time.
  {
    std::fstream file(paths[0], std::ios::in | std::ios::out | std::ios::binary);
    file.seekp(kHeaderBytes + 1000 * kCscRecordSize + kCscSamplesOffset);
    const std::vector<char> loud(kSamplesPerRecord * 2, 0x7f);
    file.write(loud.data(), static_cast<std::streamsize>(loud.size()));
  }
  SetModified(paths[0], -5);
  const Made rebuilt = Summarise(paths[0]);
  EXPECT_EQ(rebuilt.origin, SummaryBuilder::Origin::Built);
  EXPECT_EQ(rebuilt.image, ReferenceImage(paths[0]));
  // Rewritten once more with its modification time put back as it was (touch -r): its change time
  // still moved, and says so.
  const auto modified = fs::last_write_time(paths[0]);
  {
    std::fstream file(paths[0], std::ios::in | std::ios::out | std::ios::binary);
    file.seekp(kHeaderBytes + 1500 * kCscRecordSize + kCscSamplesOffset);
    const std::vector<char> burst(kSamplesPerRecord * 2, 0x07);
    file.write(burst.data(), static_cast<std::streamsize>(burst.size()));
  }
  fs::last_write_time(paths[0], modified);
  const Made again = Summarise(paths[0]);
  EXPECT_EQ(again.origin, SummaryBuilder::Origin::Built);
  EXPECT_EQ(again.image, ReferenceImage(paths[0]));
  EXPECT_TRUE(reports.Empty());  // a changed recording is no fault of the cache
}

TEST_F(SummaryCacheTest, ARecordingThatGrewExtendsItsKeptSummary) {
  // The first 2000 records now, the rest appended later to the same file.
  const std::string growing = folder.File("growing.kcs");
  const auto whole = static_cast<int64_t>(fs::file_size(paths[1]));
  fs::copy_file(paths[1], growing);
  fs::resize_file(growing, kHeaderBytes + 2000 * kCscRecordSize);
  ASSERT_EQ(Summarise(growing).origin, SummaryBuilder::Origin::Built);
  {
    std::ifstream in(paths[1], std::ios::binary);
    in.seekg(kHeaderBytes + 2000 * kCscRecordSize);
    std::vector<char> rest(static_cast<std::size_t>(whole - kHeaderBytes - 2000 * kCscRecordSize));
    in.read(rest.data(), static_cast<std::streamsize>(rest.size()));
    std::ofstream out(growing, std::ios::binary | std::ios::app);
    out.write(rest.data(), static_cast<std::streamsize>(rest.size()));
  }
  const Made grown = Summarise(growing);
  EXPECT_EQ(grown.origin, SummaryBuilder::Origin::Extended);
  EXPECT_EQ(grown.image, ReferenceImage(growing));
  EXPECT_EQ(Summarise(growing).origin, SummaryBuilder::Origin::Loaded);

  // A last record changed on the way is no growth: everything is read again.
  fs::resize_file(growing, kHeaderBytes + 3000 * kCscRecordSize);
  ASSERT_EQ(Summarise(growing).origin, SummaryBuilder::Origin::Built);
  {
    std::fstream file(growing, std::ios::in | std::ios::out | std::ios::binary);
    file.seekp(kHeaderBytes + 2999 * kCscRecordSize + kCscSamplesOffset);
    file.write("\x01\x02", 2);
    file.seekp(0, std::ios::end);
    const std::vector<char> more(10 * kCscRecordSize, 0);
    file.write(more.data(), static_cast<std::streamsize>(more.size()));
  }
  const Made changed = Summarise(growing);
  EXPECT_EQ(changed.origin, SummaryBuilder::Origin::Built);
  EXPECT_EQ(changed.image, ReferenceImage(growing));
}

TEST_F(SummaryCacheTest, DamagedKeptFilesAreBuiltAgainWithOneNotice) {
  const std::vector<uint8_t> reference = ReferenceImage(paths[2]);
  const std::string kept = KeptFile(paths[2]);
  const auto damages = std::vector<std::pair<const char*, std::function<void()>>>{
      {"cut short", [&] { fs::resize_file(kept, fs::file_size(kept) - 100); }},
      {"header only", [&] { fs::resize_file(kept, SummaryFile::kHeaderBytes); }},
      {"empty", [&] { fs::resize_file(kept, 0); }},
      {"noise", [&] {
         std::ofstream out(kept, std::ios::binary);
         for (uint32_t i = 0; i < 300'000; ++i) out.put(static_cast<char>((i * 7919u) >> 3));
       }},
      {"another version", [&] {
         std::fstream file(kept, std::ios::in | std::ios::out | std::ios::binary);
         file.seekp(SummaryFile::kVersionAt);
         file.write("\x09\x00\x00\x00", 4);
       }},
      {"a flipped image byte", [&] {
         std::fstream file(kept, std::ios::in | std::ios::out | std::ios::binary);
         file.seekp(static_cast<std::streamoff>(fs::file_size(kept)) - 5000);
         file.write("\x55", 1);
       }},
      {"a flipped header byte", [&] {
         std::fstream file(kept, std::ios::in | std::ios::out | std::ios::binary);
         file.seekp(SummaryFile::kModifiedAt);
         file.write("\x55", 1);
       }},
      {"a folder in its place", [&] {
         fs::remove(kept);
         fs::create_directory(kept);
       }}};
  ASSERT_EQ(Summarise(paths[2]).origin, SummaryBuilder::Origin::Built);
  for (const auto& [what, damage] : damages) {
    SCOPED_TRACE(what);
    damage();
    const Made made = Summarise(paths[2]);
    EXPECT_EQ(made.origin, SummaryBuilder::Origin::Built);
    EXPECT_EQ(made.image, reference);
    if (fs::is_directory(kept)) {
      // A folder cannot be replaced: the summary stays in memory, said once, not said to be rebuilt.
      EXPECT_FALSE(made.fromFile);
      EXPECT_FALSE(Summarise(paths[2]).fromFile);
      EXPECT_EQ(reports.CountOf(std::string(SummaryCache::kNotAFileNotice) + " " + kept), 1u);
      fs::remove(kept);
      continue;
    }
    EXPECT_EQ(Summarise(paths[2]).origin, SummaryBuilder::Origin::Loaded) << "a good file took its place";
  }
  const std::string notice = std::string(SummaryCache::kRebuiltNotice) + " " + kept;
  EXPECT_EQ(reports.CountOf(notice), 1u);  // one line for the folder, however many files were bad
  for (const std::string& name : CacheEntries()) EXPECT_EQ(SummaryFile::TemporaryOwner(name), -1) << name;
}

// A kept file damaged anywhere (a byte changed, cut at any length, lengthened), its note written
// for it whole: the note no longer vouches for it, and what is loaded from it, if anything, is the
// summary the records make; the plot's summary is that one either way, kept again whole.
TEST_F(SummaryCacheTest, AKeptFileDamagedAnywhereNeverShowsAnotherSummary) {
  const std::vector<uint8_t> reference = ReferenceImage(paths[1]);
  const std::string kept = KeptFile(paths[1]);
  ASSERT_EQ(Summarise(paths[1]).origin, SummaryBuilder::Origin::Built);
  std::mt19937_64 random(20261211);
  for (int32_t trial = 0; trial < 24; ++trial) {
    SummaryFile file;
    SourceSummary loaded;
    ASSERT_EQ(file.Open(kept), SummaryFile::Verdict::Usable);
    ASSERT_EQ(file.Load(loaded), SummaryFile::Verdict::Usable);
    ASSERT_FALSE(file.CheckedWhole()) << "kept whole, with its note";
    ASSERT_EQ(test::ImageOf(loaded), reference);
    loaded = SourceSummary{};

    const auto bytes = static_cast<uint64_t>(fs::file_size(kept));
    const uint64_t at = random() % bytes;
    std::string what;
    switch (trial % 3) {
      case 0: {
        std::fstream out(kept, std::ios::in | std::ios::out | std::ios::binary);
        out.seekg(static_cast<std::streamoff>(at));
        const auto old = static_cast<uint8_t>(out.get());
        out.seekp(static_cast<std::streamoff>(at));
        out.put(static_cast<char>(old ^ static_cast<uint8_t>(1 + random() % 255)));
        what = "a byte changed at " + std::to_string(at);
        break;
      }
      case 1:
        fs::resize_file(kept, at);
        what = "cut at " + std::to_string(at);
        break;
      default:
        fs::resize_file(kept, bytes + 1 + at % SummaryFile::kImageAlignment);
        what = "lengthened";
        break;
    }
    SCOPED_TRACE(what);
    if (file.Open(kept) == SummaryFile::Verdict::Usable && file.Load(loaded) == SummaryFile::Verdict::Usable) {
      EXPECT_TRUE(file.CheckedWhole()) << "the note of the file before is no note of this one";
      EXPECT_EQ(test::ImageOf(loaded), reference);
    }
    const Made made = Summarise(paths[1]);
    EXPECT_TRUE(made.fromFile);
    EXPECT_EQ(made.image, reference);
  }
  EXPECT_LE(reports.CountOf(std::string(SummaryCache::kRebuiltNotice) + " " + kept), 1u);
}

// The key is of the file as its reader found it: its status, a hash of its header with its first
// record and one of its last record, whatever the number of records; a file that holds less than
// its layout says is no file to key.
TEST_F(SummaryCacheTest, AKeyIsOfTheHeaderAndTheFirstAndLastRecords) {
  for (const int64_t records : {int64_t{0}, int64_t{1}, int64_t{2}, int64_t{777}}) {
    SCOPED_TRACE(records);
    const std::string path = folder.File("key" + std::to_string(records) + ".kcs");
    fs::copy_file(paths[2], path);
    fs::resize_file(path, static_cast<uintmax_t>(kHeaderBytes + records * kCscRecordSize));
    std::ifstream in(path, std::ios::binary);
    const std::vector<char> bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    const auto hashOf = [&bytes](int64_t from, int64_t count) { return XXH3_64bits(&bytes[from], count); };
    const uint64_t first = records > 0 ? hashOf(kHeaderBytes, kCscRecordSize) : 0;
    const uint64_t head = hashOf(0, kHeaderBytes);
    RecordLayout layout = LayoutOf(path);
    RecordReader reader;
    SummaryKey key;
    struct stat status {};
    ASSERT_EQ(::stat(path.c_str(), &status), 0);
    ASSERT_EQ(reader.Open(layout), 0);
    ASSERT_EQ(SummaryKey::Of(layout, reader, key), 0);
    EXPECT_EQ(key.size, static_cast<uint64_t>(status.st_size));
    EXPECT_EQ(key.changedNs, status.st_ctim.tv_sec * int64_t{1'000'000'000} + status.st_ctim.tv_nsec);
    EXPECT_EQ(key.headHash, records > 0 ? XXH3_64bits_withSeed(&first, sizeof first, head) : head);
    EXPECT_EQ(key.lastHash, records > 0 ? hashOf(kHeaderBytes + (records - 1) * kCscRecordSize, kCscRecordSize) : 0);

    // Cut inside the record the layout still counts, or inside the header.
    layout.numRecords = records + 1;
    for (const int64_t cut : {kHeaderBytes + records * kCscRecordSize + kCscRecordSize / 2, kHeaderBytes / 2}) {
      fs::resize_file(path, static_cast<uintmax_t>(cut));
      ASSERT_EQ(reader.Open(layout), 0);
      EXPECT_EQ(SummaryKey::Of(layout, reader, key), kStatusSourceChanged) << cut;
    }
  }
}

// What someone else could have written is never trusted: another recording's columns planted under
// this recording's key in a file others may write, or any file in a folder others may write, leave
// the summary in memory, with one line naming the file or folder and the fault.
TEST_F(SummaryCacheTest, AFileOrFolderOthersCouldWriteIsNotUsed) {
  ASSERT_EQ(Summarise(paths[1]).origin, SummaryBuilder::Origin::Built);
  {
    SourceSummary other;
    SourceSummary mapped;
    std::atomic<bool> cancel{false};
    std::atomic<int64_t> done{0};
    ASSERT_EQ(SourceSummary::Build(LayoutOf(paths[1]), cancel, done, other), 0);
    RecordReader reader;
    SummaryKey key;
    ASSERT_EQ(reader.Open(LayoutOf(paths[0])), 0);
    ASSERT_EQ(SummaryKey::Of(LayoutOf(paths[0]), reader, key), 0);
    const std::string name = fs::path(KeptFile(paths[0])).filename().string();
    ASSERT_EQ(SummaryFile::Write(Cache(), name, key, other, mapped), 0);
    fs::permissions(KeptFile(paths[0]), fs::perms::others_write, fs::perm_options::add);
  }
  const Made planted = Summarise(paths[0]);
  EXPECT_EQ(planted.origin, SummaryBuilder::Origin::Built);
  EXPECT_FALSE(planted.fromFile);
  EXPECT_EQ(planted.image, ReferenceImage(paths[0]));
  const std::string others = ": can be written by others than its owner";
  EXPECT_EQ(reports.Texts(), std::vector<std::string>{std::string(SummaryCache::kDistrustedNotice) + " " +
                                                      KeptFile(paths[0]) + others});
  reports.Clear();
  fs::permissions(Cache(), fs::perms::group_write, fs::perm_options::add);
  const Made open = Summarise(paths[2]);
  EXPECT_FALSE(open.fromFile);
  EXPECT_EQ(open.image, ReferenceImage(paths[2]));
  EXPECT_FALSE(fs::exists(KeptFile(paths[2])));
  EXPECT_FALSE(Summarise(paths[1]).fromFile) << "its own kept file is in the same folder";
  EXPECT_EQ(reports.Texts(), std::vector<std::string>{std::string(SummaryCache::kDistrustedNotice) + " " + Cache() + others});
}

// A folder another user owns, as the test makes one where it can (running as root, it gives the
// folder away).
TEST_F(SummaryCacheTest, AnotherUsersFolderIsNotUsed) {
  if (::geteuid() != 0) GTEST_SKIP() << "only root can give a folder to another user here";
  constexpr uid_t kNobody = 65534;
  fs::create_directories(Cache());
  ASSERT_EQ(::chown(Cache().c_str(), kNobody, kNobody), 0);
  const Made made = Summarise(paths[0]);
  EXPECT_FALSE(made.fromFile);
  EXPECT_EQ(made.image, ReferenceImage(paths[0]));
  EXPECT_TRUE(CacheEntries().empty());
  EXPECT_EQ(reports.Texts(), std::vector<std::string>{std::string(SummaryCache::kDistrustedNotice) + " " + Cache() +
                                                      ": belongs to another user (65534)"});
}

// A kept summary cut short while mapped (another program truncates it while the window is open):
// the plot draws nothing from it, says so once, has it built again, then draws what the records hold.
TEST_F(SummaryCacheTest, ASummaryCutShortWhileMappedIsNeverDrawn) {
  ASSERT_EQ(Summarise(paths[0]).origin, SummaryBuilder::Origin::Built);
  DataSourceManager manager;
  ASSERT_EQ(manager.OpenSource(paths[0]), 0);
  CscPlot plot(paths[0], "CSC", manager, 0xFFFFFF);
  plot.LoadSourceInfo();
  plot.StartSummary();
  ASSERT_TRUE(plot.WaitForSummary());
  ASSERT_EQ(plot.Summary()->GetOrigin(), SummaryBuilder::Origin::Loaded);
  int64_t first = 0;
  int64_t last = 0;
  manager.GetTimeRange(first, last);
  const PlotFrame whole = test::FrameFor(first, last - first, 1200);
  ColumnSpan span;
  span.start = whole.start;
  span.end = whole.end;
  span.width = 1200;
  span.recordDuration = plot.GetRecordDuration();
  span.samplePeriod = plot.GetSamplePeriod();
  PixelCache expected;
  ASSERT_EQ(LiteralColumns::ThroughManager(manager, 0, span, true, expected), 0);

  const std::string kept = KeptFile(paths[0]);
  const auto imageStart = static_cast<uintmax_t>(SummaryFile::ImageStart(
      static_cast<int64_t>(fs::file_size(kept)) - SummaryFile::kHeaderBytes));
  fs::resize_file(kept, imageStart + 64);
  plot.Draw(whole, 1200, 100, 0, 0);
  EXPECT_TRUE(plot.Cache().xs.empty()) << "nothing drawn from zeros";
  EXPECT_EQ(reports.Texts(), std::vector<std::string>{std::string(SummaryCache::kCutShortNotice) + " " + paths[0]});
  ASSERT_TRUE(plot.WaitForSummary());
  plot.Draw(whole, 1200, 100, 0, 0);
  EXPECT_EQ(plot.SettledCache().xs, expected.xs);
  EXPECT_EQ(plot.SettledCache().mins, expected.mins);
  EXPECT_EQ(plot.SettledCache().maxs, expected.maxs);
}

// Ended by a signal while it keeps summaries, a process leaves no temporary file and no partial
// summary behind: its summaries are written unnamed and linked into place once whole.
TEST_F(SummaryCacheTest, ASignalDuringAWriteLeavesNothingBehind) {
  RecordReader reader;
  SummaryKey key;
  ASSERT_EQ(reader.Open(LayoutOf(paths[1])), 0);
  ASSERT_EQ(SummaryKey::Of(LayoutOf(paths[1]), reader, key), 0);
  const pid_t child = ::fork();
  if (child == 0) {
    // Only this thread lives in the child: the summaries are built here, not on the workers.
    for (;;) {
      SourceSummary summary;
      std::atomic<bool> cancel{false};
      std::atomic<int64_t> done{0};
      if (SourceSummary::Build(LayoutOf(paths[1]), cancel, done, summary) != 0) ::_exit(1);
      SummaryCache::Instance().Keep(key, summary);
    }
  }
  ASSERT_GT(child, 0);
  ::usleep(300'000);
  ASSERT_EQ(::kill(child, SIGTERM), 0);
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGTERM) << "the child was still writing";
  for (const std::string& name : CacheEntries()) {
    EXPECT_EQ(name.find(SummaryFile::kTemporarySuffix), std::string::npos) << name;
    if (name.size() < 4 || name.substr(name.size() - 4) != SummaryCache::kFileSuffix) continue;
    SummaryFile kept;
    EXPECT_EQ(kept.Open(Cache() + "/" + name), SummaryFile::Verdict::Usable) << name;
  }
}

// A cap that is no size is said once, naming the variable and its value, and the usual cap holds.
TEST_F(SummaryCacheTest, ACapThatIsNoSizeIsSaidAndTheUsualOneKept) {
  const int64_t usual = SummaryCache::CapBytes(folder.File("cache"));
  for (const char* text : {"garbage", "1.5G", "0x100000", "-5"}) {
    test::ScopedVariable cap(SummaryCache::kCapVariable, text);
    EXPECT_EQ(SummaryCache::CapBytes(folder.File("cache")), usual) << text;
    fs::remove_all(Cache());  // each summary is kept afresh, under the cap
    Summarise(paths[0]);
    Summarise(paths[1]);
    EXPECT_EQ(reports.CountOf(std::string(SummaryCache::kCapNotice) + " " + SummaryCache::kCapVariable + "=" + text), 1u);
  }
  EXPECT_EQ(reports.Count(), 4u);
}

TEST_F(SummaryCacheTest, ACacheFolderThatIsAFileLeavesSummariesInMemory) {
  fs::create_directories(folder.File("cache"));
  std::ofstream(Cache()) << "not a folder";
  const Made made = Summarise(paths[0]);
  EXPECT_EQ(made.origin, SummaryBuilder::Origin::Built);
  EXPECT_FALSE(made.fromFile);
  EXPECT_EQ(made.image, ReferenceImage(paths[0]));
  Summarise(paths[1]);
  EXPECT_EQ(reports.Texts(), std::vector<std::string>{std::string(SummaryCache::kUnwritableNotice) + " " + Cache() +
                                                      ": Not a directory"});
}

TEST_F(SummaryCacheTest, SwitchedOffNothingIsReadOrWritten) {
  ASSERT_EQ(Summarise(paths[0]).origin, SummaryBuilder::Origin::Built);
  fs::resize_file(KeptFile(paths[0]), 10);
  SummaryCache::Instance().SetEnabled(false);
  const Made made = Summarise(paths[0]);
  const Made other = Summarise(paths[1]);
  SummaryCache::Instance().SetEnabled(true);
  EXPECT_FALSE(made.fromFile);
  EXPECT_EQ(made.image, ReferenceImage(paths[0]));
  EXPECT_EQ(fs::file_size(KeptFile(paths[0])), 10u);
  EXPECT_FALSE(fs::exists(KeptFile(paths[1])));
  EXPECT_EQ(other.origin, SummaryBuilder::Origin::Built);
  EXPECT_TRUE(reports.Empty());
}

TEST_F(SummaryCacheTest, OverTheCapTheLeastRecentlyUsedGoAndOrphanedWritesAreSwept) {
  ASSERT_EQ(Summarise(paths[0]).origin, SummaryBuilder::Origin::Built);
  ASSERT_EQ(Summarise(paths[1]).origin, SummaryBuilder::Origin::Built);
  const auto each = static_cast<int64_t>(fs::file_size(KeptFile(paths[0])));
  for (const char* suffix : {"", SummaryFile::kCheckedSuffix}) {  // last used: when written, or its note
    SetModified(KeptFile(paths[0]) + suffix, 200);
    SetModified(KeptFile(paths[1]) + suffix, 100);
  }
  // A write cut off in a process that is gone, and one still going on in this one.
  const pid_t child = ::fork();
  if (child == 0) ::_exit(0);
  ::waitpid(child, nullptr, 0);
  const std::string orphan = Cache() + "/.x.sum." + std::to_string(child) + ".00.tmp";
  const std::string ours = Cache() + "/.y.sum." + std::to_string(::getpid()) + ".00.tmp";
  std::ofstream(orphan) << "partial";
  std::ofstream(ours) << "partial";

  test::ScopedVariable cap(SummaryCache::kCapVariable, std::to_string(2 * each + each / 2));
  EXPECT_EQ(Summarise(paths[0]).origin, SummaryBuilder::Origin::Loaded);  // now the most recently used
  EXPECT_EQ(Summarise(paths[2]).origin, SummaryBuilder::Origin::Built);
  EXPECT_TRUE(fs::exists(KeptFile(paths[0])));
  EXPECT_FALSE(fs::exists(KeptFile(paths[1])));
  EXPECT_TRUE(fs::exists(KeptFile(paths[2])));
  EXPECT_FALSE(fs::exists(orphan));
  EXPECT_TRUE(fs::exists(ours));
}

TEST(SummaryCacheFolder, FollowsTheUsersCacheFolderAndTheCapVariable) {
  test::ScopedVariable home("HOME", "/home/someone");
  {
    test::ScopedVariable cacheHome("XDG_CACHE_HOME", "/var/cache/user");
    EXPECT_EQ(SummaryCache::Folder(), "/var/cache/user/skelvane");
  }
  for (const char* unusable : {"", "relative/cache"}) {
    test::ScopedVariable cacheHome("XDG_CACHE_HOME", unusable);
    EXPECT_EQ(SummaryCache::Folder(), "/home/someone/.cache/skelvane") << unusable;
  }
  const int64_t fallback = SummaryCache::CapBytes("/");
  EXPECT_GT(fallback, 0);
  EXPECT_LE(fallback, SummaryCache::kMostBytes);
  for (const auto& [text, bytes] : std::vector<std::pair<const char*, int64_t>>{
           {"123", 123}, {"64K", 64 << 10}, {"5m", 5 << 20}, {"2G", int64_t{2} << 30}, {"1T", int64_t{1} << 40},
           {"0", 0}, {"12Q", fallback}, {"-5", fallback}, {"M", fallback}}) {
    test::ScopedVariable cap(SummaryCache::kCapVariable, text);
    EXPECT_EQ(SummaryCache::CapBytes("/"), bytes) << text;
  }
}

TEST(SummaryWorkerPoolRanks, TasksOnScreenRunBeforeHiddenOnesQueuedEarlier) {
  std::mutex mutex;
  std::condition_variable changed;
  int32_t waiting = 0;
  int32_t released = 0;  // blocked workers let go so far, in the order they blocked
  int32_t done = 0;      // workers let go that no longer touch this test's state
  std::vector<char> order;
  SummaryWorkerPool& pool = SummaryWorkerPool::Instance();
  const int32_t threads = SummaryWorkerPool::ThreadCount();
  // Every worker held while the queue fills; then a single one runs it, so its order is the pool's.
  for (int32_t i = 0; i < threads; ++i) {
    pool.Submit([&] {
      std::unique_lock lock(mutex);
      const int32_t place = waiting++;
      changed.notify_all();
      changed.wait(lock, [&] { return released > place; });
      ++done;
      changed.notify_all();
    });
  }
  const auto waitFor = [&](auto condition) {
    std::unique_lock lock(mutex);
    changed.wait(lock, condition);
  };
  waitFor([&] { return waiting == threads; });
  const auto rank = [](SummaryBuilder::Rank r) { return std::make_shared<std::atomic<int32_t>>(static_cast<int32_t>(r)); };
  const auto hidden = rank(SummaryBuilder::Rank::Hidden);
  const auto raised = rank(SummaryBuilder::Rank::Hidden);
  const auto note = [&](char c) {
    std::lock_guard lock(mutex);
    order.push_back(c);
    changed.notify_all();
  };
  pool.Submit([&] { note('h'); }, hidden);
  pool.Submit([&] { note('r'); }, raised);
  pool.Submit([&] { note('n'); });  // no rank: as if on screen
  raised->store(static_cast<int32_t>(SummaryBuilder::Rank::Shown));  // raised while it waits
  {
    std::lock_guard lock(mutex);
    released = 1;
    changed.notify_all();
  }
  waitFor([&] { return order.size() == 3; });
  {
    std::lock_guard lock(mutex);
    released = threads;
    changed.notify_all();
  }
  waitFor([&] { return done == threads; });
  EXPECT_EQ(std::string(order.begin(), order.end()), "rnh");
}

}  // namespace
}  // namespace skelvane
