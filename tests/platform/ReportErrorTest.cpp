#include "platform/ReportError.h"

#include <gtest/gtest.h>

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

}  // namespace
}  // namespace skelvane
