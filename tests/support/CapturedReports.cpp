#include "tests/support/CapturedReports.h"

#include <algorithm>

namespace skelvane::test {

CapturedReports::CapturedReports() {
  previous_ = SetReportSink([this](const std::string& text) { texts_.push_back(text); });
}

CapturedReports::~CapturedReports() { SetReportSink(previous_); }

std::size_t CapturedReports::CountOf(const std::string& text) const {
  return static_cast<std::size_t>(std::count(texts_.begin(), texts_.end(), text));
}

}  // namespace skelvane::test
