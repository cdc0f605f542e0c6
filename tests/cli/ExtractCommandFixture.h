#pragma once
// The extract command's tests share this: a synthetic tetrode with pauses and ragged ends, the same
// files opened as the window holds them, and ways to compare spike files and spike times.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <set>
#include <string>
#include <vector>

#include "datafile/DataSourceManager.h"
#include "display/ColorTable.h"
#include "display/PlotChannels.h"
#include "display/PlotCollection.h"
#include "extract/ExtractionRun.h"
#include "platform/PathHelpers.h"
#include "tests/cli/CliRunner.h"
#include "tests/extract/SpikeFileContents.h"
#include "tests/support/CapturedReports.h"
#include "tools/SyntheticRecording.h"

namespace skelvane::test {

inline constexpr int32_t kNumSpikePoints = 32;
inline constexpr int32_t kAlignmentIndex = 7;
inline constexpr double kSamplingHz = 32000.0;
inline constexpr double kSampleMicroseconds = 1e6 / kSamplingHz;
inline constexpr const char* kTimeLineStart = "\r\n## Time Opened: ";
inline constexpr const char* kCompleted = "SkelvaneV3: Spike Extraction Process Completed\n";
inline constexpr const char* kOpenFailure = "SkelvaneV3: Error opening file; Is the file/path name correct?: ";

// The files open in the window: a source and a plot each.
class WindowSession {
 public:
  explicit WindowSession(const std::vector<std::string>& files) {
    for (const std::string& path : files) {
      const int32_t index = manager.GetNumSources();
      EXPECT_EQ(manager.OpenSource(path), 0) << path;
      int32_t type = 0;
      std::string sourcePath;
      EXPECT_EQ(manager.GetSourceFileType(index, type), 0);
      EXPECT_EQ(manager.GetSourcePath(index, sourcePath), 0);
      EXPECT_EQ(plots.CreatePlot(FileTitleOf(sourcePath), type, sourcePath), 0);
    }
  }
  DataSourceManager manager;
  ColorTable colours;
  PlotCollection plots{manager, colours};
  ExtractionRun run{manager};
  /// The channels the window's Create Spike File takes from its plots.
  std::vector<ChannelSource> Channels() const { return PlotChannels::Of(plots); }
};

// A tetrode with two pauses, a channel that starts late and two that end early.
inline SynthOptions TetrodeOptions(const std::string& outDir) {
  SynthOptions o;
  o.outDir = outDir;
  o.prefix = "TT1";
  o.channels = 4;
  o.seconds = 12.0;
  o.samplingHz = kSamplingHz;
  o.seed = 7;
  o.startTimestamp = 1'000'000;
  o.gaps = {{120, 250'000}, {400, 40'000}};
  o.lateChannel = 2;
  o.lateRecords = 3;
  o.missingTailRecords = {0, 5, 0, 2};
  return o;
}

inline std::vector<std::string> HeaderLines(const std::string& header) {
  const std::string text = header.substr(0, header.find('\0'));
  std::vector<std::string> lines;
  for (std::size_t from = 0; from < text.size();) {
    const std::size_t end = text.find("\r\n", from);
    lines.push_back(text.substr(from, end - from));
    if (end == std::string::npos) break;
    from = end + 2;
  }
  return lines;
}

struct Agreement {
  std::size_t found = 0;       // true spikes with a stored window around their peak
  std::size_t spurious = 0;    // stored spikes that hold no true peak
};

// A true spike is found when its peak lies inside a stored window (each window counts once).
inline Agreement Compare(const std::vector<SynthSpike>& truth, const std::vector<test::StoredSpike>& stored) {
  std::vector<int64_t> times;
  for (const auto& s : stored) times.push_back(static_cast<int64_t>(s.Timestamp));
  std::set<std::size_t> used;
  Agreement a;
  const auto before = static_cast<int64_t>(kAlignmentIndex * kSampleMicroseconds);
  const auto after = static_cast<int64_t>((kNumSpikePoints - 1 - kAlignmentIndex) * kSampleMicroseconds);
  for (const SynthSpike& spike : truth) {
    auto it = std::lower_bound(times.begin(), times.end(), spike.peakTimestamp - after);
    for (; it != times.end() && *it <= spike.peakTimestamp + before; ++it) {
      const auto index = static_cast<std::size_t>(it - times.begin());
      if (used.insert(index).second) {
        ++a.found;
        break;
      }
    }
  }
  a.spurious = stored.size() - used.size();
  return a;
}

class ExtractCommandTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(SyntheticRecording::Generate(TetrodeOptions(dir.File("rec")), recording), 0);
  }
  std::vector<std::string> Args(std::vector<std::string> options) const {
    std::vector<std::string> args = {"extract"};
    args.insert(args.end(), recording.paths.begin(), recording.paths.end());
    args.insert(args.end(), options.begin(), options.end());
    return args;
  }
  std::string TetrodeFile(const std::string& folder) const {
    return folder + "/SpikeFile_TT1a_TT1b_TT1c_TT1d.ktt";
  }

  test::TempDir dir;
  SynthResult recording;
};

}  // namespace skelvane::test
