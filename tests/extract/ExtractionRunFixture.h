#pragma once
// The extraction run's tests share this: a run over fake sources and their channels in a temporary
// folder, the timing constants of a 32 kHz recording, and readers for the spike files it writes.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "datafile/ChannelSource.h"
#include "extract/ExtractionRun.h"
#include "tests/extract/SpikeFileContents.h"
#include "tests/support/FakeDataSourceManager.h"
#include "tests/support/TempDir.h"

namespace skelvane::test {


inline constexpr double kDt = 31.25;             // 32 kHz
constexpr int64_t kRecordSpan = 16000;    // 512 samples of 31.25 us
constexpr int64_t kStart = 5'000'000;
constexpr int32_t kAlignmentIndex = 7;    // default alignment point 8, 0-based
constexpr int32_t kNumSpikePoints = 32;
constexpr std::size_t kHeaderSize = 16384;
constexpr const char* kOpenFailure = "Error opening file; Is the file/path name correct?";

// A sample's time as the run works it out: the record's timestamp plus the sample's offset, added in
// double precision and rounded down.
inline int64_t SampleTime(int64_t recordTime, int32_t index, double dt = kDt) {
  return static_cast<int64_t>(std::floor(static_cast<double>(recordTime) + index * dt));
}

// The header's text lines, up to the zero padding.
inline std::vector<std::string> HeaderLines(const std::string& header) {
  const std::string text = header.substr(0, header.find('\0'));
  std::vector<std::string> lines;
  std::size_t from = 0;
  while (from < text.size()) {
    const std::size_t end = text.find("\r\n", from);
    if (end == std::string::npos) {
      lines.push_back(text.substr(from));
      break;
    }
    lines.push_back(text.substr(from, end - from));
    from = end + 2;
  }
  return lines;
}

inline int16_t SampleAt(const test::StoredSpike& spike, int32_t point, int32_t channel, int32_t numChannels) {
  return spike.Samples[static_cast<std::size_t>(point * numChannels + channel)];
}

class ExtractionRunTest : public ::testing::Test {
 protected:
  ExtractionRunTest() {
    run.Parameters().Threshold = 50.0;
    run.Parameters().OutputDirectory = dir.Path();
  }

  /// Adds a source of `records` silent records; returns its index.
  int32_t AddSource(const std::string& name, int32_t records, int64_t start = kStart) {
    test::FakeSource source;
    source.path = dir.File(name);
    source.AddRecords(start, kRecordSpan, records);
    sources.sources.push_back(std::move(source));
    return static_cast<int32_t>(sources.sources.size()) - 1;
  }
  test::FakeSource& Source(int32_t i) { return sources.sources[i]; }

  /// Seals every source and takes each as one channel, in source order.
  void ShowAll(double dt = kDt, double frequency = 32000.0, int32_t adMax = 2047) {
    sources.SealAll();
    for (const auto& source : sources.sources) channels.push_back({source.path, dt, frequency, adMax});
  }

  test::SpikeFileContents Output(const std::string& name, int32_t channels) {
    return test::ReadSpikeFile(dir.File(name), kNumSpikePoints, channels);
  }

  test::TempDir dir;
  test::FakeDataSourceManager sources;
  std::vector<ChannelSource> channels;
  ExtractionRun run{sources};
};

inline std::vector<std::string> SpikeFilesIn(const std::string& folder) {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) names.push_back(entry.path().filename());
  std::sort(names.begin(), names.end());
  return names;
}

}  // namespace skelvane::test
