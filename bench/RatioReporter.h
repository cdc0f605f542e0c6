#pragma once
// Console reporter that also keeps each benchmark's wall time per iteration, so a benchmark's main()
// can print its figures as ratios to a baseline measured in the same run.

#include <benchmark/benchmark.h>

#include <map>
#include <string>
#include <vector>

namespace skelvane::bench {

class RatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& run : runs) {
      if (run.run_type == Run::RT_Iteration && !run.error_occurred) times[run.benchmark_name()] = run.GetAdjustedRealTime();
    }
    ConsoleReporter::ReportRuns(runs);
  }
  /// Wall time per iteration by benchmark name, in the benchmark's own time unit.
  std::map<std::string, double> times;
};

}  // namespace skelvane::bench
