// A data file truncated by another program while it is open: reads through the records handed out
// before see zeros instead of killing the process, and the change is reported once.
#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <cstdint>
#include <string>
#include <thread>
#include <vector>

#include "datafile/CscRecord.h"
#include "datafile/DataSourceManager.h"
#include "datafile/FileHeader.h"
#include "platform/StatusCodes.h"
#include "tests/datafile/DataFileFixtures.h"
#include "tests/support/CapturedReports.h"
#include "tests/support/TempDir.h"

namespace skelvane {
namespace {

constexpr int64_t kRecords = 400;
constexpr off_t kTruncatedLength = 20000;

TEST(SourceChange, TruncationWhileReadingGivesZerosAndOneReport) {
  test::TempDir dir;
  test::CapturedReports reports;
  const std::string path = dir.Write("TT1a.kcs", test::StandardHeader() + test::CscRecords(test::Timestamps(kRecords)));
  DataSourceManager manager;
  ASSERT_EQ(manager.OpenSource(path), kStatusOk);
  std::vector<const uint8_t*> records;
  for (int64_t k = 0; k < kRecords; ++k) {
    const uint8_t* record = nullptr;
    ASSERT_EQ(manager.GetRecord(k, 0, record), kStatusOk);
    records.push_back(record);
  }
  EXPECT_EQ(manager.CheckSource(0), kStatusOk);

  // One thread keeps reading every record while the file is cut short under it.
  std::atomic<int> passes{0};
  std::atomic<bool> stop{false};
  std::atomic<int64_t> checksum{0};
  std::thread reader([&] {
    while (!stop.load()) {
      int64_t sum = 0;
      for (const uint8_t* record : records) {
        for (int32_t i = 0; i < kCscRecordSize; ++i) sum += record[i];
      }
      checksum.store(sum);
      passes.fetch_add(1);
    }
  });
  while (passes.load() < 1) std::this_thread::yield();
  std::thread cutter([&path] { EXPECT_EQ(::truncate(path.c_str(), kTruncatedLength), 0); });
  cutter.join();
  const int afterCut = passes.load();
  while (passes.load() < afterCut + 2) std::this_thread::yield();
  stop.store(true);
  reader.join();

  // Every byte past the new end reads as zero; the bytes before it are as written.
  const uint8_t* fileStart = records[0] - kFileHeaderSize;
  for (int64_t k = 0; k < kRecords; ++k) {
    for (int32_t i = 0; i < kCscRecordSize; ++i) {
      const int64_t offset = (records[static_cast<std::size_t>(k)] - fileStart) + i;
      if (offset >= kTruncatedLength) {
        ASSERT_EQ(records[static_cast<std::size_t>(k)][i], 0) << offset;
      }
    }
  }
  EXPECT_EQ(CscRecord(records[1]).Timestamp(), test::Timestamps(2)[1]);

  // Several workers check at once: one report between them, every one hears of the change.
  EXPECT_TRUE(reports.Empty());
  std::vector<std::thread> checkers;
  std::atomic<int> changed{0};
  for (int i = 0; i < 4; ++i) {
    checkers.emplace_back([&] {
      if (manager.CheckSource(0) == kStatusSourceChanged) changed.fetch_add(1);
    });
  }
  for (std::thread& t : checkers) t.join();
  EXPECT_EQ(changed.load(), 4);
  EXPECT_EQ(reports.Texts(), std::vector<std::string>{"Data file changed or was truncated while open: " + path});

  // Growing the file back does not undo the damage the reads met.
  ASSERT_EQ(::truncate(path.c_str(), static_cast<off_t>(kFileHeaderSize + kRecords * kCscRecordSize)), 0);
  EXPECT_EQ(manager.CheckSource(0), kStatusSourceChanged);
  const uint8_t* record = nullptr;
  EXPECT_EQ(manager.FindRecordForTime(test::Timestamps(kRecords).back(), 0, record), kStatusOk);
  EXPECT_EQ(reports.Count(), 1u);
  EXPECT_EQ(manager.CheckSource(1), kStatusNoData);
}

TEST(SourceChange, ShrunkFileIsFoundWithoutAnyReadOfTheLostPart) {
  test::TempDir dir;
  test::CapturedReports reports;
  const std::vector<int64_t> stamps = test::Timestamps(100);
  const std::string path = dir.Write("a.kcs", test::CscRecords(stamps));
  DataSourceManager manager;
  ASSERT_EQ(manager.OpenSource(path), kStatusOk);
  ASSERT_EQ(::truncate(path.c_str(), 50 * kCscRecordSize), 0);
  // The lookup's own reads find the end first; the change is reported once and passed on.
  const uint8_t* record = nullptr;
  EXPECT_EQ(manager.FindRecordForTime(stamps[80] + 1, 0, record), kStatusSourceChanged);
  EXPECT_EQ(record, nullptr);
  EXPECT_EQ(manager.CheckSource(0), kStatusSourceChanged);
  EXPECT_EQ(reports.Texts(), std::vector<std::string>{"Data file changed or was truncated while open: " + path});
}

// Another program writing over a recording in place, at its size, changes what the reads see without
// shrinking it: that is noticed too. A file that only grows (still being recorded) stays intact.
TEST(SourceChange, WritingOverAFileInPlaceIsNoticedAndGrowingIsNot) {
  test::TempDir dir;
  test::CapturedReports reports;
  const std::string bytes = test::StandardHeader() + test::CscRecords(test::Timestamps(50));
  const std::string rewritten = dir.Write("rewritten.kcs", bytes);
  const std::string growing = dir.Write("growing.kcs", bytes);
  DataSourceManager manager;
  ASSERT_EQ(manager.OpenSource(rewritten), kStatusOk);
  ASSERT_EQ(manager.OpenSource(growing), kStatusOk);
  // Later than the file system's clock step, so the new modification time differs.
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  {
    std::fstream out(rewritten, std::ios::in | std::ios::out | std::ios::binary);
    out.seekp(static_cast<std::streamoff>(kFileHeaderSize) + 100);
    out.write("\x7f\x7f", 2);
  }
  std::ofstream(growing, std::ios::app | std::ios::binary) << test::CscRecords({99'000'000});
  EXPECT_EQ(std::filesystem::file_size(rewritten), bytes.size());
  EXPECT_EQ(manager.CheckSource(0), kStatusSourceChanged);
  EXPECT_EQ(manager.CheckSource(1), kStatusOk);
  EXPECT_EQ(reports.Texts(), std::vector<std::string>{"Data file changed or was truncated while open: " + rewritten});
}

}  // namespace
}  // namespace skelvane
