// The detector against the detection rules applied literally, sample by sample, on random blocks.
#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <ostream>
#include <random>
#include <span>
#include <string>
#include <vector>

#include "extract/SpikeExtractor.h"
#include "tests/extract/SpikeDetection.h"
#include "tests/extract/SpikeFileContents.h"
#include "tests/support/CapturedReports.h"
#include "tests/support/TempDir.h"

namespace skelvane {
namespace {

using namespace test;

// The detection rules applied literally, one sample and one channel at a time, on blocks whose
// bounds never make a test read past the block. The detector skips quiet stretches in chunks; it
// must store exactly what this plain scan stores.
class PlainScan {
 public:
  PlainScan(int32_t type, int32_t mode, int32_t threshold, int32_t points, int32_t alignmentIndex)
      : type_(type), mode_(mode), threshold_(threshold), points_(points), alignment_(alignmentIndex) {}

  void Detect(const std::vector<int64_t>& t, const std::vector<std::vector<int16_t>>& ch, int start, int searchEnd,
              int windowLow, int windowHigh) {
    const int channels = static_cast<int>(ch.size());
    const auto sample = [&ch](int k, int i) { return int32_t{ch[static_cast<std::size_t>(k)][static_cast<std::size_t>(i)]}; };
    int crossing = -1;
    int index = start;
    while (index <= searchEnd) {
      bool found = false;
      for (int i = index; i <= searchEnd && !found; ++i) {  // re-arm
        for (int k = 0; k < channels && !found; ++k) {
          if ((crossing == -1 || k == crossing) && !Over(sample(k, i), sample(k, i + 1))) {
            crossing = k;
            index = i;
            found = true;
          }
        }
      }
      if (!found) return;
      found = false;
      for (int i = index; i <= searchEnd && !found; ++i) {  // crossing
        for (int k = 0; k < channels && !found; ++k) {
          if (Over(sample(k, i), sample(k, i + 1))) {
            crossing = k;
            index = i;
            found = true;
          }
        }
      }
      if (!found) return;
      found = false;
      for (int i = index; i <= windowHigh && !found; ++i) {  // peak
        const bool peak = spikeType_ == 0 ? sample(crossing, i) >= sample(crossing, i + 1)
                                          : sample(crossing, i) <= sample(crossing, i + 1);
        if (peak) {
          index = i;
          found = true;
        }
      }
      if (!found) return;
      const int first = index - alignment_;
      bool storable = first >= windowLow && first + points_ - 1 <= windowHigh;
      if (storable && points_ >= 3) {
        const auto at = [&t](int i) { return t[static_cast<std::size_t>(i)]; };
        storable = at(first + 1) >= at(first);
        for (int i = 1; storable && i <= points_ - 2; ++i) {
          storable = at(first + i + 1) - at(first + i) <= 2 * (at(first + 1) - at(first));
        }
      }
      if (!storable || t[static_cast<std::size_t>(first)] < lastWindowEnd_) continue;
      lastWindowEnd_ = t[static_cast<std::size_t>(first + points_ - 1)];
      test::StoredSpike spike;
      spike.Timestamp = t[static_cast<std::size_t>(index)];
      for (int j = 0; j < points_; ++j) {
        for (int k = 0; k < channels; ++k) spike.Samples.push_back(static_cast<int16_t>(sample(k, first + j)));
      }
      Spikes.push_back(spike);
      index += points_;
    }
  }

  std::vector<test::StoredSpike> Spikes;

 private:
  bool Over(int32_t s, int32_t next) {
    const int64_t v = mode_ == kSlope ? int64_t{next} - s : s;
    const bool high = v >= threshold_;
    const bool low = v <= -int64_t{threshold_};
    if (type_ == kPositive) spikeType_ = 0;
    if (type_ == kNegative) spikeType_ = 1;
    if (type_ == kBoth && (high || low)) spikeType_ = high ? 0 : 1;
    return type_ == kPositive ? high : type_ == kNegative ? low : high || low;
  }

  int32_t type_, mode_, threshold_, points_, alignment_;
  int32_t spikeType_ = 0;
  int64_t lastWindowEnd_ = SpikeExtractor::kNoWindowYet;
};

TEST(SpikeDetectionEquivalence, StoresExactlyWhatAPlainScanStores) {
  std::mt19937 random(11);
  test::TempDir dir;
  std::size_t spikesCompared = 0;
  for (int round = 0; round < 240; ++round) {
    const int length = 4 + static_cast<int>(random() % 300);
    const int channels = 1 + static_cast<int>(random() % 4);
    const int points = 1 + static_cast<int>(random() % 12);
    const int alignmentIndex = static_cast<int>(random() % static_cast<unsigned>(points));
    const int type = static_cast<int>(random() % 3);
    const int mode = static_cast<int>(random() % 2);
    // Every third round spans the whole 16-bit range, with thresholds beyond it, where the quiet-stretch
    // scan compares saturated 16-bit values: steps of up to 65535 and limits of 32767 or more.
    const bool fullRange = round % 3 == 2;
    const int32_t wideThresholds[] = {32767, 32768, 40000, 65535, 65536, -32768, -32769, -65536,
                                      std::numeric_limits<int32_t>::max(), std::numeric_limits<int32_t>::min() + 1};
    const int threshold = fullRange && random() % 2 == 0 ? wideThresholds[random() % 10]
                          : fullRange                    ? static_cast<int>(random() % 65536) - 32768
                                                         : static_cast<int>(random() % 160) - 10;
    // Noise mostly below the threshold with sparse excursions of either sign, so that whole quiet
    // stretches can be skipped and crossings still lie between them.
    const int noise = 5 + static_cast<int>(random() % 60);
    std::uniform_int_distribution<int> quiet(-noise, noise);
    const auto sample = [&random, &quiet, fullRange]() {
      if (random() % 60 != 0) return quiet(random);
      const int size = fullRange ? 20000 + static_cast<int>(random() % 12769) : 50 + static_cast<int>(random() % 300);
      return random() % 2 == 0 ? size : -size - (fullRange ? 1 : 0);
    };

    PlainScan plain(type, mode, threshold, points, alignmentIndex);
    SpikeExtractor extractor;
    const std::string path = dir.File("e.kse");
    ASSERT_EQ(extractor.SetExtractionParameters(type, mode, threshold, points, alignmentIndex + 1, channels), 0);
    ASSERT_EQ(extractor.OpenSpikeFile(path), 0);
    ASSERT_EQ(extractor.WriteSpikeFileHeader(path, {}), 0);
    int64_t time = 1000;
    for (int block = 0; block < 3; ++block) {
      // Consecutive blocks overlap by half, with an occasional jump in the timestamps.
      std::vector<int64_t> timestamps;
      for (int i = 0; i < length; ++i) {
        if (random() % 50 == 0) time += random() % 40;
        timestamps.push_back(time + 10 * static_cast<int64_t>(i));
      }
      time += 10 * static_cast<int64_t>(length / 2);
      std::vector<std::vector<int16_t>> samples(static_cast<std::size_t>(channels));
      for (auto& channel : samples) {
        for (int i = 0; i < length; ++i) channel.push_back(static_cast<int16_t>(sample()));
      }
      int start = 0, searchEnd = length - 2, windowLow = 0, windowHigh = length - 2;
      if (random() % 2 == 0) {
        start = static_cast<int>(random() % static_cast<unsigned>(length - 1));
        searchEnd = static_cast<int>(random() % static_cast<unsigned>(length - 1));
        windowLow = static_cast<int>(random() % static_cast<unsigned>(length));
        windowHigh = static_cast<int>(random() % static_cast<unsigned>(length - 1));
      }
      plain.Detect(timestamps, samples, start, searchEnd, windowLow, windowHigh);
      std::vector<std::span<const int16_t>> spans(samples.begin(), samples.end());
      extractor.DetectSpikes(timestamps, spans, start, searchEnd, windowLow, windowHigh);
    }
    ASSERT_EQ(extractor.CloseSpikeFile(), 0);

    const auto contents = test::ReadSpikeFile(path, points, channels);
    ASSERT_EQ(contents.Spikes.size(), plain.Spikes.size()) << "round " << round;
    for (std::size_t s = 0; s < plain.Spikes.size(); ++s) {
      ASSERT_EQ(contents.Spikes[s].Timestamp, plain.Spikes[s].Timestamp) << "round " << round << " spike " << s;
      ASSERT_EQ(contents.Spikes[s].Samples, plain.Spikes[s].Samples) << "round " << round << " spike " << s;
    }
    spikesCompared += plain.Spikes.size();
  }
  EXPECT_GT(spikesCompared, 1000u);  // the random blocks did make the rules work
}

}  // namespace
}  // namespace skelvane
