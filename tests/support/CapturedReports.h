#pragma once
// Captures every report text while it lives, so tests can check messages by their exact wording.

#include <string>
#include <vector>

#include "platform/ReportError.h"

namespace skelvane::test {

class CapturedReports {
 public:
  CapturedReports();
  ~CapturedReports();
  CapturedReports(const CapturedReports&) = delete;
  CapturedReports& operator=(const CapturedReports&) = delete;

  const std::vector<std::string>& Texts() const { return texts_; }
  bool Empty() const { return texts_.empty(); }
  std::size_t Count() const { return texts_.size(); }
  /// How many reports equal `text` exactly.
  std::size_t CountOf(const std::string& text) const;
  void Clear() { texts_.clear(); }

 private:
  std::vector<std::string> texts_;
  ReportSink previous_;
};

}  // namespace skelvane::test
