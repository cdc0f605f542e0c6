#pragma once
// A machine-readable account of an extraction run, one entry per spike file: its inputs, threshold,
// spike count and the recording time it covers, as CSV or JSON. Written by `skelvane-cli extract --summary`.

#include <cstdint>
#include <string>
#include <vector>

#include "extract/ExtractionRun.h"

namespace skelvane {

class ExtractionSummary {
 public:
  /// The forms a summary can take, chosen by the file's extension.
  enum class Form { Csv, Json, Unknown };

  /// ".csv" or ".json" (any letter case); anything else is Unknown.
  static Form FormFor(const std::string& path);
  /// One header line, then one line per file; inputs joined by ';'; fields quoted where needed.
  static std::string Csv(const std::vector<ExtractionRun::WrittenFile>& files);
  /// An array of objects with the same fields as the CSV (inputs as an array).
  static std::string Json(const std::vector<ExtractionRun::WrittenFile>& files);
  /// Writes the summary in the form its name asks for, whole or not at all; 0, or -1 after a report
  /// naming the file and the system's reason.
  static int32_t Write(const std::string& path, const std::vector<ExtractionRun::WrittenFile>& files);
  /// The words for an outcome: "written", "write failed", "cancelled", "data file changed", ...
  static const char* OutcomeText(ExtractionRun::Outcome outcome);
};

}  // namespace skelvane
