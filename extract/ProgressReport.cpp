#include "extract/ProgressReport.h"

#include <cmath>
#include <cstdio>

#include "datafile/CscRecord.h"
#include "platform/PathHelpers.h"

namespace skelvane {
namespace {

constexpr double kGiga = 1e9;
constexpr double kMega = 1e6;
constexpr int64_t kSecondsPerMinute = 60;
constexpr int64_t kSecondsPerHour = 3600;

std::string Format(const char* format, double value) {
  char text[64];
  std::snprintf(text, sizeof text, format, value);
  return text;
}

}  // namespace

ProgressReport::Totals ProgressReport::Sum(const std::vector<ExtractionProgress::GroupView>& groups) {
  Totals totals;
  for (const auto& group : groups) {
    const int64_t perRecord = int64_t{kSamplesPerRecord} * group.channels;
    totals.doneSamples += group.doneRecords * perRecord;
    totals.totalSamples += group.totalRecords * perRecord;
    if (group.state == ExtractionProgress::State::Done) ++totals.filesDone;
    ++totals.files;
  }
  return totals;
}

int32_t ProgressReport::Percent(int64_t done, int64_t total, bool over) {
  if (over) return 100;
  if (total <= 0) return 0;
  // Never 100 before the end: a group can stop short of its last record count, or still be closing.
  const auto percent = static_cast<int32_t>(100.0 * static_cast<double>(done) / static_cast<double>(total));
  return std::min(percent, 99);
}

std::string ProgressReport::Line(const std::vector<ExtractionProgress::GroupView>& groups, double elapsedSeconds,
                                 bool finished) {
  const Totals totals = Sum(groups);
  const double rate = elapsedSeconds > 0.0 ? static_cast<double>(totals.doneSamples) / elapsedSeconds : 0.0;
  std::string line = "Extracting " + std::to_string(totals.files) + (totals.files == 1 ? " file: " : " files: ");
  line += std::to_string(Percent(totals.doneSamples, totals.totalSamples, finished)) + "%, " + Rate(rate);
  if (finished) return line + ", done in " + Format("%.1f s", elapsedSeconds);
  if (rate > 0.0) line += ", " + Duration(static_cast<double>(totals.totalSamples - totals.doneSamples) / rate) + " left";
  for (const auto& group : groups) {
    if (group.state != ExtractionProgress::State::Running) continue;
    line += " | " + FileNameOf(group.path) + " " +
            std::to_string(Percent(group.doneRecords, group.totalRecords, false)) + "%";
  }
  return line;
}

std::string ProgressReport::Rate(double samplesPerSecond) {
  if (samplesPerSecond >= kGiga) return Format("%.2f G samples/s", samplesPerSecond / kGiga);
  return Format("%.0f M samples/s", samplesPerSecond / kMega);
}

std::string ProgressReport::Duration(double seconds) {
  const auto whole = static_cast<int64_t>(std::ceil(std::max(seconds, 0.0)));
  if (whole < kSecondsPerMinute) return std::to_string(whole) + " s";
  if (whole < kSecondsPerHour) {
    return std::to_string(whole / kSecondsPerMinute) + " min " + std::to_string(whole % kSecondsPerMinute) + " s";
  }
  return std::to_string(whole / kSecondsPerHour) + " h " + std::to_string(whole % kSecondsPerHour / kSecondsPerMinute) +
         " min";
}

}  // namespace skelvane
