#pragma once
// The text of an extraction's progress: overall and per-file percentage, rate and time left. The
// command-line tool prints it on a terminal; the window's progress dialog shows the same figures.

#include <cstdint>
#include <string>
#include <vector>

#include "extract/ExtractionProgress.h"

namespace skelvane {

class ProgressReport {
 public:
  /// The whole run summed over its groups.
  struct Totals {
    int64_t doneSamples = 0;   // samples walked so far, all channels
    int64_t totalSamples = 0;  // samples to walk, all channels
    int32_t filesDone = 0;
    int32_t files = 0;
  };

  /// Sums the groups of a snapshot.
  static Totals Sum(const std::vector<ExtractionProgress::GroupView>& groups);
  /// Whole percent done (100 only once every group is over).
  static int32_t Percent(int64_t done, int64_t total, bool over);
  /// One line: "Extracting 4 files: 42%, 1.25 G samples/s, 3 s left | SpikeFile_x.ktt 50% | ..." with
  /// the groups being written; once `finished`, "Extracting 4 files: 100%, ..., done in 2.1 s".
  static std::string Line(const std::vector<ExtractionProgress::GroupView>& groups, double elapsedSeconds,
                          bool finished);
  /// A rate as people read it: "812 M samples/s", "1.25 G samples/s".
  static std::string Rate(double samplesPerSecond);
  /// Seconds left as "3 s", "2 min 5 s" or "1 h 2 min".
  static std::string Duration(double seconds);
};

}  // namespace skelvane
