#pragma once
// Shows every report as a modal message box captioned "SkelvaneV3" with an OK button. main()
// installs it as the report sink; tests keep theirs (a modal box would block them).

#include <string>

#include "platform/ReportError.h"

namespace skelvane {

class QtReportSink {
 public:
  /// Makes the message box the report sink; returns the sink it replaced.
  static ReportSink Install();
  /// Shows `text` in a modal box over the active window and returns when OK closes it; from another
  /// thread the box is queued to the UI thread and the call returns at once.
  static void Show(const std::string& text);
};

}  // namespace skelvane
