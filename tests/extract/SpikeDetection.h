#pragma once
// The spike detector's tests share this: the extraction constants, a block as the run hands it over,
// and a fixture that opens a spike file, scans blocks into it and reads the spikes back.

#include <gtest/gtest.h>

#include <cstdint>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "extract/SpikeExtractor.h"
#include "tests/extract/SpikeFileContents.h"
#include "tests/support/TempDir.h"

namespace skelvane::test {

constexpr int32_t kPositive = SpikeExtractor::kTypePositive;
constexpr int32_t kNegative = SpikeExtractor::kTypeNegative;
constexpr int32_t kBoth = SpikeExtractor::kTypeBoth;
constexpr int32_t kThreshold = SpikeExtractor::kModeThreshold;
constexpr int32_t kSlope = SpikeExtractor::kModeSlope;

constexpr int64_t kFirstTimestamp = 1'000'000;
constexpr int64_t kStep = 10;

// One block as the extraction run hands it over: evenly spaced timestamps unless a test bends them.
struct Block {
  std::vector<int64_t> Timestamps;
  std::vector<std::vector<int16_t>> Channels;

  explicit Block(std::vector<std::vector<int16_t>> channels, int64_t firstTimestamp = kFirstTimestamp)
      : Channels(std::move(channels)) {
    for (std::size_t i = 0; i < Channels.front().size(); ++i) Timestamps.push_back(firstTimestamp + kStep * static_cast<int64_t>(i));
  }
  int32_t Last() const { return static_cast<int32_t>(Timestamps.size()) - 1; }
};

// Zeros with the given samples placed at their indices.
inline std::vector<int16_t> Signal(std::size_t length, std::initializer_list<std::pair<int, int16_t>> samples) {
  std::vector<int16_t> signal(length, 0);
  for (const auto& [index, value] : samples) signal[static_cast<std::size_t>(index)] = value;
  return signal;
}

class SpikeDetection : public ::testing::Test {
 protected:
  void Configure(int32_t type, int32_t mode, int32_t threshold, int32_t points, int32_t alignmentPt,
                 int32_t channels) {
    points_ = points;
    channels_ = channels;
    ASSERT_EQ(extractor_.SetExtractionParameters(type, mode, threshold, points, alignmentPt, channels), 0);
    ASSERT_EQ(extractor_.OpenSpikeFile(path_), 0);
    ASSERT_EQ(extractor_.WriteSpikeFileHeader(path_, {}), 0);
  }

  // Scans the whole block: every index may be tested and every window may use the whole block.
  int32_t DetectAll(const Block& block) { return Detect(block, 0, block.Last(), 0, block.Last()); }

  int32_t Detect(const Block& block, int32_t start, int32_t searchEnd, int32_t windowLow, int32_t windowHigh) {
    std::vector<std::span<const int16_t>> channels(block.Channels.begin(), block.Channels.end());
    return extractor_.DetectSpikes(block.Timestamps, channels, start, searchEnd, windowLow, windowHigh);
  }

  std::vector<test::StoredSpike> Finish() {
    EXPECT_EQ(extractor_.CloseSpikeFile(), 0);
    const auto contents = test::ReadSpikeFile(path_, points_, channels_);
    EXPECT_TRUE(contents.WholeRecords);
    EXPECT_EQ(static_cast<int64_t>(contents.Spikes.size()), extractor_.GetSpikeCount());
    return contents.Spikes;
  }

  static std::vector<int16_t> Window(const std::vector<int16_t>& signal, int first, int count) {
    return std::vector<int16_t>(signal.begin() + first, signal.begin() + first + count);
  }

  test::TempDir dir_;
  std::string path_ = dir_.File("SpikeFile_test.kse");
  SpikeExtractor extractor_;
  int32_t points_ = 0;
  int32_t channels_ = 0;
};

}  // namespace skelvane::test
