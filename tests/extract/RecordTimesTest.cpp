// The record times the detection preview checks and searches: taken from the recording's kept
// summary where there is one (and from the file for the records a grown recording added since), read
// from the file otherwise; the same times either way.
#include "extract/RecordTimes.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <limits>
#include <string>
#include <vector>

#include "datafile/CscRecord.h"
#include "datafile/DataSourceManager.h"
#include "summary/SummaryBuilder.h"
#include "summary/SummaryCache.h"
#include "tests/support/TempDir.h"
#include "tools/SyntheticRecording.h"

namespace skelvane {
namespace {

constexpr int64_t kEverything = std::numeric_limits<int64_t>::max();

// Every record time of the recording at `path`, as RecordTimes gives them, and where they came from.
std::vector<int64_t> TimesOf(const std::string& path, bool& fromKept) {
  DataSourceManager sources;
  EXPECT_EQ(sources.OpenSource(path), 0);
  RecordTimes times(sources, 0);
  EXPECT_TRUE(times.ReadPast(kEverything));
  fromKept = times.FromKeptSummary();
  std::vector<int64_t> all;
  for (int64_t r = 0; r < times.Known(); ++r) all.push_back(times.At(r));
  EXPECT_EQ(times.Known(), times.Count());
  return all;
}

bool KeepSummary(const std::string& path) {
  DataSourceManager sources;
  RecordLayout layout;
  if (sources.OpenSource(path) != 0 || sources.GetRecordLayout(0, layout) != 0) return false;
  SummaryBuilder builder(layout);
  builder.Start();
  return builder.Wait() && builder.GetOrigin() != SummaryBuilder::Origin::None;
}

TEST(RecordTimesTest, AKeptSummaryGivesTheFilesOwnTimesAndAGrownFileAddsItsNewRecords) {
  test::TempDir dir;
  SynthOptions options;
  options.outDir = dir.Path();
  options.channels = 1;
  options.seconds = 12.0;
  options.gaps = {{300, 70'000}};  // times that do not follow from the first one
  SynthResult synth;
  ASSERT_EQ(SyntheticRecording::Generate(options, synth), 0);
  const std::string path = synth.paths.at(0);
  bool fromKept = true;
  const std::vector<int64_t> read = TimesOf(path, fromKept);
  ASSERT_GT(read.size(), 600u);
  EXPECT_FALSE(fromKept);

  // Kept: every time from the summary.
  ASSERT_TRUE(KeepSummary(path));
  EXPECT_EQ(TimesOf(path, fromKept), read);
  EXPECT_TRUE(fromKept);
  SummaryCache::Instance().SetEnabled(false);  // as --no-cache: the file is read
  EXPECT_EQ(TimesOf(path, fromKept), read);
  EXPECT_FALSE(fromKept);
  SummaryCache::Instance().SetEnabled(true);

  // Grown: the summary of the first 400 records, the rest appended since (same file, same inode).
  const auto full = std::filesystem::file_size(path);
  std::vector<char> tail(full - (16384 + 400 * kCscRecordSize));
  {
    std::ifstream in(path, std::ios::binary);
    in.seekg(static_cast<std::streamoff>(full - tail.size()));
    in.read(tail.data(), static_cast<std::streamsize>(tail.size()));
  }
  std::filesystem::resize_file(path, full - tail.size());
  ASSERT_TRUE(KeepSummary(path));
  std::ofstream(path, std::ios::binary | std::ios::app).write(tail.data(), static_cast<std::streamsize>(tail.size()));
  EXPECT_EQ(TimesOf(path, fromKept), read);
  EXPECT_TRUE(fromKept);
}

}  // namespace
}  // namespace skelvane
