#include "platform/ReportError.h"

#include <algorithm>
#include <cstring>
#include <thread>

#include <gtest/gtest.h>

#include "platform/File.h"
#include "tests/support/CapturedReports.h"

namespace skelvane {
namespace {

TEST(ReportError, AppendsNonZeroNumberWithoutSeparator) {
  test::CapturedReports reports;
  ReportError("Bytes read:", 17);
  ReportError("Error Code - ", -1);
  ReportError("Empty File.  NumRecs = 0.", 0);
  ASSERT_EQ(reports.Count(), 3u);
  EXPECT_EQ(reports.Texts()[0], "Bytes read:17");
  EXPECT_EQ(reports.Texts()[1], "Error Code - -1");
  EXPECT_EQ(reports.Texts()[2], "Empty File.  NumRecs = 0.");
}

TEST(ReportError, FileReportsNameThePathAndTheSystemsReason) {
  EXPECT_EQ(FormatFileReport("Error opening file; microsoft error code:", 13, "/data/x.kcs", 13),
            "Error opening file; microsoft error code:13: /data/x.kcs: Permission denied");
  EXPECT_EQ(FormatFileReport("Error opening file, please validate that file is a Kestrelon CSC file:", 0, "/d/x.kcs", 0),
            "Error opening file, please validate that file is a Kestrelon CSC file: /d/x.kcs");
  EXPECT_EQ(FormatFileReport("Data file changed or was truncated while open", 0, "/d/x.kcs", -1),
            "Data file changed or was truncated while open: /d/x.kcs");
}

// "Operation not supported" would not say what is wrong with a pipe or a device: the report says what
// stands at the path; a regular file (or nothing) keeps the system's words.
TEST(ReportError, AFileThatIsNoRegularFileIsNamedForWhatItIs) {
  EXPECT_EQ(FormatFileReport("Error opening spike file:", 0, "/dev/null", kErrorNotRegularFile),
            "Error opening spike file: /dev/null: not a regular file but a character device");
  EXPECT_EQ(FormatFileReport("Error opening spike file:", 0, "/no/such/file", kErrorNotRegularFile),
            std::string("Error opening spike file: /no/such/file: ") + std::strerror(kErrorNotRegularFile));
}

TEST(ReportError, CutsMessageTo479CharactersBeforeTheNumber) {
  test::CapturedReports reports;
  ReportError(std::string(600, 'x'), 9223372036854775807LL);
  ASSERT_EQ(reports.Count(), 1u);
  EXPECT_EQ(reports.Texts()[0], std::string(479, 'x') + "9223372036854775807");
}

TEST(ReportError, SinkIsRestoredAfterCapture) {
  std::vector<std::string> outer;
  auto previous = SetReportSink([&](const std::string& t) { outer.push_back(t); });
  {
    test::CapturedReports inner;
    ShowMessage("inner");
    EXPECT_EQ(inner.CountOf("inner"), 1u);
  }
  ShowMessage("outer");
  SetReportSink(previous);
  EXPECT_EQ(outer, std::vector<std::string>{"outer"});
}


TEST(ReportError, ReportsFromManyThreadsEachReachTheSinkWholeAndOneAtATime) {
  // The sink below has no lock of its own: it is only safe when calls never overlap.
  std::vector<std::string> texts;
  int inside = 0;
  int overlaps = 0;
  auto previous = SetReportSink([&](const std::string& text) {
    if (++inside != 1) ++overlaps;
    texts.push_back(text);
    --inside;
  });
  constexpr int kThreads = 6;
  constexpr int kReports = 500;
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([t] {
      for (int i = 0; i < kReports; ++i) ReportFileError("Thread ", t + 1, "/data/file" + std::to_string(i), 0);
    });
  }
  for (auto& thread : threads) thread.join();
  SetReportSink(previous);
  EXPECT_EQ(overlaps, 0);
  ASSERT_EQ(texts.size(), static_cast<std::size_t>(kThreads * kReports));
  for (int t = 1; t <= kThreads; ++t) {
    // Each thread's reports arrive whole and in the order it made them.
    std::vector<std::string> own;
    std::copy_if(texts.begin(), texts.end(), std::back_inserter(own), [t](const std::string& text) {
      return text.starts_with("Thread " + std::to_string(t) + ": ");
    });
    ASSERT_EQ(own.size(), static_cast<std::size_t>(kReports));
    for (int i = 0; i < kReports; ++i) {
      const std::string expected = "Thread " + std::to_string(t) + ": /data/file" + std::to_string(i);
      ASSERT_EQ(own[static_cast<std::size_t>(i)], expected);
    }
  }
}

}  // namespace
}  // namespace skelvane
