#include "datafile/ChannelTiming.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstddef>
#include <limits>
#include <vector>

#include "datafile/CscRecord.h"
#include "datafile/IDataSourceManager.h"
#include "platform/Saturating.h"

namespace skelvane {
namespace {

constexpr double kMicrosecondsPerSecond = 1'000'000.0;
constexpr double kSampleMicroseconds = kSamplesPerRecord * kMicrosecondsPerSecond;  // a record's samples x 1 s
constexpr const char* kADMaxValueKey = "-ADMaxValue";

}  // namespace

ChannelTiming ChannelTiming::Measure(IDataSourceManager& sources, int32_t source) {
  ChannelTiming timing;
  // The records' fields alone, read plainly: measuring a plot at its opening maps none of its file.
  // Only records that exist are asked for, so a short file raises no past-the-end report.
  const auto available = static_cast<int32_t>(std::min<int64_t>(sources.GetNumRecords(source), kTimingRecords + 1));
  uint8_t fields[(kTimingRecords + 1) * kCscSamplesOffset];
  const int32_t read = available > 0 ? sources.ReadRecordsFields(0, available, source, fields) : 0;
  if (read > 0) {
    const CscRecord first(fields);
    timing.samplingFrequency = first.SamplingFrequency();
    std::vector<int64_t> intervals;
    int64_t previous = first.Timestamp();
    for (int32_t i = 1; i < read; ++i) {
      const int64_t timestamp = CscRecord(fields + std::ptrdiff_t{i} * kCscSamplesOffset).Timestamp();
      intervals.push_back(SaturatingSubtract(timestamp, previous));
      previous = timestamp;
    }
    // Without a usable interval the timing stays unknown (0) and the trace is not drawn.
    const double mean = MeanRecordInterval(intervals);
    if (mean > 0.0) {
      timing.samplingFrequency = kSampleMicroseconds / mean;
      timing.recordDuration = SaturateTo<int32_t>(std::floor(mean));
      timing.samplePeriod = (1.0 / timing.samplingFrequency) * kMicrosecondsPerSecond;
    }
  }
  std::string value;
  if (sources.GetHeaderValue(source, kADMaxValueKey, value) == 0) timing.adMaxValue = ParseHeaderInteger(value);
  return timing;
}

double ChannelTiming::MeanRecordInterval(std::span<const int64_t> intervals) {
  int64_t shortest = 0;
  for (int64_t d : intervals) {
    if (d > 0 && (shortest == 0 || d < shortest)) shortest = d;
  }
  if (shortest == 0) return 0.0;
  const double longest = kGapFactor * static_cast<double>(shortest);
  double sum = 0.0;
  int32_t count = 0;
  for (int64_t d : intervals) {
    if (d > 0 && static_cast<double>(d) <= longest) {
      sum += static_cast<double>(d);
      ++count;
    }
  }
  return sum / count;
}

int32_t ChannelTiming::ParseHeaderInteger(const std::string& text) {
  std::size_t i = 0;
  while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i]))) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  int64_t value = 0;
  while (i < text.size() && std::isdigit(static_cast<unsigned char>(text[i]))) {
    value = std::min<int64_t>(value * 10 + (text[i++] - '0'), int64_t{std::numeric_limits<int32_t>::max()} + 1);
  }
  if (negative) value = -value;
  return ClampTo<int32_t>(value);
}

}  // namespace skelvane
