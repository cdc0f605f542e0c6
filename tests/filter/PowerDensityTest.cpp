// The spectrum against references: a sine's peak at its frequency with its power, white noise's flat
// level, Parseval (the density's total is the samples' windowed power, exactly, and their variance
// within 3 %) on every kind of signal; the segment length shrinking with the data; and a span read from
// a file, gaps and a band filter included, equal to the estimate of the stretches fed directly.
#include "filter/PowerDensity.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <numeric>
#include <random>
#include <string>
#include <vector>

#include "datafile/CscRecord.h"
#include "datafile/RecordReader.h"
#include "filter/FilterDesign.h"
#include "filter/FilteredRecords.h"
#include "filter/SpanDensity.h"
#include "tests/support/TempDir.h"
#include "tools/CscFileWriter.h"

namespace skelvane {
namespace {

constexpr double kRate = 32000.0;
constexpr int64_t kHeaderBytes = 16384;

enum class Signal { kSpikyNoise, kSlowWaves, kFullScale, kFlat };

std::vector<int16_t> Make(Signal signal, int64_t count, std::mt19937& random) {
  std::normal_distribution<double> noise(0.0, 20.0);
  std::uniform_int_distribution<int> full(-2047, 2047);
  std::vector<int16_t> samples(static_cast<std::size_t>(count));
  for (int64_t n = 0; n < count; ++n) {
    const double t = static_cast<double>(n) / kRate;
    double v = 0.0;
    switch (signal) {
      case Signal::kSpikyNoise: v = noise(random) + (random() % 300 == 0 ? -400.0 : 0.0); break;
      case Signal::kSlowWaves: v = 600.0 * std::sin(2.0 * std::numbers::pi * 3.0 * t) + noise(random); break;
      case Signal::kFullScale: v = full(random); break;
      case Signal::kFlat: v = 0.0; break;
    }
    samples[static_cast<std::size_t>(n)] = static_cast<int16_t>(std::lround(v));
  }
  return samples;
}

double Variance(const std::vector<int16_t>& samples) {
  const double mean = std::accumulate(samples.begin(), samples.end(), 0.0) / static_cast<double>(samples.size());
  double sum = 0.0;
  for (const int16_t s : samples) sum += (s - mean) * (s - mean);
  return sum / static_cast<double>(samples.size());
}

TEST(PowerDensityTest, SinePeaksAtItsFrequencyWithItsPower) {
  std::mt19937 random(7);
  for (int trial = 0; trial < 12; ++trial) {
    const int64_t length = int64_t{1} << (8 + trial % 8);
    PowerDensity spectrum(length, kRate);
    const double bin = spectrum.BinHz();
    const double hz = std::uniform_real_distribution<double>(6 * bin, kRate / 2 - 6 * bin)(random);
    const double amplitude = std::uniform_real_distribution<double>(50.0, 2000.0)(random);
    const double phase = std::uniform_real_distribution<double>(0.0, 6.0)(random);
    std::vector<int16_t> samples(static_cast<std::size_t>(length * 6));
    for (std::size_t n = 0; n < samples.size(); ++n) {
      samples[n] = static_cast<int16_t>(
          std::lround(amplitude * std::sin(2.0 * std::numbers::pi * hz * static_cast<double>(n) / kRate + phase)));
    }
    spectrum.AddStretch(samples.data(), static_cast<int64_t>(samples.size()));
    const std::vector<double> density = spectrum.Density();
    const auto peak = static_cast<int64_t>(std::max_element(density.begin(), density.end()) - density.begin());
    SCOPED_TRACE("length " + std::to_string(length) + ", " + std::to_string(hz) + " Hz");
    EXPECT_LE(std::abs(static_cast<double>(peak) * bin - hz), bin);
    double power = 0.0;
    for (int64_t k = peak - 4; k <= peak + 4; ++k) power += density[static_cast<std::size_t>(k)] * bin;
    EXPECT_NEAR(power, amplitude * amplitude / 2.0, amplitude * amplitude / 2.0 * 0.01);
  }
}

TEST(PowerDensityTest, WhiteNoiseIsFlatAtItsLevel) {
  std::mt19937 random(3);
  constexpr double kSigma = 100.0;
  std::normal_distribution<double> noise(0.0, kSigma);
  std::vector<int16_t> samples(320000);
  for (int16_t& s : samples) s = static_cast<int16_t>(std::lround(noise(random)));
  PowerDensity spectrum(4096, kRate);
  spectrum.AddStretch(samples.data(), static_cast<int64_t>(samples.size()));
  const std::vector<double> db = PowerDensity::Decibels(spectrum.Density());
  const double level = 10.0 * std::log10(2.0 * kSigma * kSigma / kRate);
  // Bands of 64 bins (about 500 Hz) each average to the level; the whole average within 0.1 dB.
  double all = 0.0;
  for (std::size_t start = 1; start + 64 < db.size(); start += 64) {
    double band = 0.0;
    for (std::size_t k = start; k < start + 64; ++k) band += std::pow(10.0, db[k] / 10.0);
    EXPECT_NEAR(10.0 * std::log10(band / 64.0), level, 0.5) << "from bin " << start;
    all += band;
  }
  EXPECT_NEAR(10.0 * std::log10(all / static_cast<double>((db.size() - 65) / 64 * 64)), level, 0.1);
}

TEST(PowerDensityTest, TotalPowerIsTheWindowedPowerAndTheVariance) {
  std::mt19937 random(11);
  for (const Signal signal : {Signal::kSpikyNoise, Signal::kSlowWaves, Signal::kFullScale, Signal::kFlat}) {
    SCOPED_TRACE(static_cast<int>(signal));
    const std::vector<int16_t> samples = Make(signal, 400000, random);
    constexpr int64_t kLength = 32768;
    PowerDensity spectrum(kLength, kRate);
    spectrum.AddStretch(samples.data(), static_cast<int64_t>(samples.size()));
    const std::vector<double> density = spectrum.Density();
    const double total = std::accumulate(density.begin(), density.end(), 0.0) * spectrum.BinHz();
    // The reference in double: each segment's samples less their mean, windowed, their squares summed.
    double windowed = 0.0;
    double windowPower = 0.0;
    for (int64_t i = 0; i < kLength; ++i) {
      const double w = 0.5 - 0.5 * std::cos(2.0 * std::numbers::pi * static_cast<double>(i) / kLength);
      windowPower += w * w;
    }
    const int64_t segments = PowerDensity::SegmentsIn(static_cast<int64_t>(samples.size()), kLength);
    ASSERT_EQ(spectrum.Segments(), segments);
    for (int64_t s = 0; s < segments; ++s) {
      const int16_t* x = samples.data() + s * kLength / 2;
      const double mean = std::accumulate(x, x + kLength, 0.0) / kLength;
      for (int64_t i = 0; i < kLength; ++i) {
        const double w = 0.5 - 0.5 * std::cos(2.0 * std::numbers::pi * static_cast<double>(i) / kLength);
        windowed += (x[i] - mean) * (x[i] - mean) * w * w;
      }
    }
    windowed /= windowPower * static_cast<double>(segments);
    EXPECT_NEAR(total, windowed, windowed * 1e-4 + 1e-9);
    const double variance = Variance(samples);
    EXPECT_NEAR(total, variance, variance * 0.03);
    if (signal == Signal::kFlat) {
      EXPECT_EQ(PowerDensity::Decibels(density)[5], PowerDensity::kFloorDb);
    }
  }
}

TEST(PowerDensityTest, SegmentsShrinkWithTheDataDownToAFloor) {
  const auto length = [](std::vector<int64_t> stretches) { return PowerDensity::SegmentLengthFor(stretches); };
  EXPECT_EQ(length({320000}), 32768);   // 10 s at 32 kHz: 18 segments of the longest
  EXPECT_EQ(length({5000}), 1024);      // 8 segments of 1024, 3 of 2048
  EXPECT_EQ(length({600, 600, 600, 600}), 256);  // 3 segments in each stretch: 12 of 256
  EXPECT_EQ(length({300}), 256);        // fewer than 8 segments of the floor, but one fits
  EXPECT_EQ(length({255, 255, 255}), std::nullopt);
  EXPECT_EQ(length({}), std::nullopt);
}

// A recording of 2 kHz under a 3 Hz wave in noise, with a gap in time after record `gapAfter`.
std::vector<CscRecordData> Recording(int64_t count, int64_t gapAfter, std::mt19937& random) {
  std::normal_distribution<double> noise(0.0, 20.0);
  std::vector<CscRecordData> records(static_cast<std::size_t>(count));
  const double step = kSamplesPerRecord * 1e6 / kRate;
  for (int64_t r = 0; r < count; ++r) {
    records[r].timestamp = 5'000'000 + std::llround(step * static_cast<double>(r + (r > gapAfter ? 40 : 0)));
    for (int32_t i = 0; i < kSamplesPerRecord; ++i) {
      const double t = static_cast<double>(r * kSamplesPerRecord + i) / kRate;
      records[r].samples[i] = static_cast<int16_t>(std::lround(600.0 * std::sin(2 * std::numbers::pi * 3.0 * t) +
                                                                200.0 * std::sin(2 * std::numbers::pi * 2000.0 * t) +
                                                                noise(random)));
    }
  }
  return records;
}

TEST(SpanDensityTest, SpanWithAGapAndAFilterIsTheEstimateOfItsStretches) {
  std::mt19937 random(5);
  test::TempDir dir;
  const std::string path = dir.File("TT1a.kcs");
  constexpr int64_t kRecords = 700;
  constexpr int64_t kGapAfter = 400;
  const std::vector<CscRecordData> records = Recording(kRecords, kGapAfter, random);
  ASSERT_EQ(CscFileWriter::Write(path, CscFileWriter::MakeHeader({}), records), 0);
  RecordReader reader;
  ASSERT_EQ(reader.Open({path, kHeaderBytes, kCscRecordSize, kRecords}), 0);
  const double interval = 1e6 / kRate;
  SpanDensity spectrum;

  // From inside record 100 to inside record 600, across the gap.
  const int64_t start = records[100].timestamp + 100 * 31;
  const int64_t end = records[600].timestamp + 300 * 31;
  const SpanDensity::Result result = spectrum.Compute(reader, interval, start, end, FilterChoice::Spike());
  ASSERT_EQ(result.status, SpanDensity::Result::Status::kOk);
  EXPECT_TRUE(result.gaps);
  EXPECT_FALSE(result.spread);

  // The reference: the samples in the span of each side of the gap, raw and filtered, fed directly.
  std::string refusal;
  const FilteredRecords filtered(reader, *FilterDesign::For(FilterChoice::Spike(), kRate, refusal), interval);
  FilteredRecords::Buffers buffers;
  std::vector<int16_t> through(kRecords * kSamplesPerRecord);
  ASSERT_EQ(filtered.Read(0, kRecords, through.data(), buffers), 0);
  std::vector<std::vector<int16_t>> raw(2), shown(2);
  for (int64_t r = 0; r < kRecords; ++r) {
    for (int32_t i = 0; i < kSamplesPerRecord; ++i) {
      const double time = static_cast<double>(records[r].timestamp) + i * interval;
      if (time < start || time >= end) continue;
      raw[r > kGapAfter].push_back(records[r].samples[i]);
      shown[r > kGapAfter].push_back(through[r * kSamplesPerRecord + i]);
    }
  }
  const int64_t longest = std::max(raw[0].size(), raw[1].size());
  ASSERT_EQ(result.longestStretch, longest);
  PowerDensity rawReference(result.segmentLength, kRate);
  PowerDensity filteredReference(result.segmentLength, kRate);
  for (int side = 0; side < 2; ++side) {
    rawReference.AddStretch(raw[side].data(), static_cast<int64_t>(raw[side].size()));
    filteredReference.AddStretch(shown[side].data(), static_cast<int64_t>(shown[side].size()));
  }
  EXPECT_EQ(result.segments, rawReference.Segments());
  EXPECT_EQ(result.raw, PowerDensity::Decibels(rawReference.Density()));
  EXPECT_EQ(result.filtered, PowerDensity::Decibels(filteredReference.Density()));
  // The Spike Band keeps 2 kHz and takes the 3 Hz wave out.
  const auto at = [&](const std::vector<double>& db, double hz) { return db[std::lround(hz / result.binHz)]; };
  EXPECT_NEAR(at(result.filtered, 2000.0), at(result.raw, 2000.0), 1.0);
  EXPECT_LT(at(result.filtered, 3.0), at(result.raw, 3.0) - 30.0);
}

TEST(SpanDensityTest, LongSpansAreSpreadShortOnesTooLittleAndEmptyOnesNothing) {
  std::mt19937 random(9);
  test::TempDir dir;
  const std::string path = dir.File("TT1a.kcs");
  constexpr int64_t kRecords = SpanDensity::kMostRecords * 3;
  ASSERT_EQ(CscFileWriter::Write(path, CscFileWriter::MakeHeader({}), Recording(kRecords, kRecords, random)), 0);
  RecordReader reader;
  ASSERT_EQ(reader.Open({path, kHeaderBytes, kCscRecordSize, kRecords}), 0);
  const double interval = 1e6 / kRate;
  SpanDensity spectrum;
  const int64_t first = 5'000'000;
  const int64_t last = first + std::llround(kRecords * kSamplesPerRecord * interval);

  const auto whole = spectrum.Compute(reader, interval, first, last, FilterChoice::Lfp());
  ASSERT_EQ(whole.status, SpanDensity::Result::Status::kOk);
  EXPECT_TRUE(whole.spread);
  EXPECT_FALSE(whole.gaps);
  EXPECT_EQ(whole.segmentLength, PowerDensity::kLongestSegment);
  EXPECT_FALSE(whole.filtered.empty());

  // 300 samples: one segment of the floor; 200: too little; before the recording: nothing.
  const auto shortSpan = spectrum.Compute(reader, interval, first + 100000, first + 100000 + std::llround(300 * interval), FilterChoice());
  EXPECT_EQ(shortSpan.status, SpanDensity::Result::Status::kOk);
  EXPECT_EQ(shortSpan.segmentLength, PowerDensity::kShortestSegment);
  EXPECT_TRUE(shortSpan.filtered.empty());
  EXPECT_EQ(spectrum.Compute(reader, interval, first + 100000, first + 100000 + std::llround(200 * interval), FilterChoice()).status,
            SpanDensity::Result::Status::kTooLittleData);
  EXPECT_EQ(spectrum.Compute(reader, interval, 0, first - 1, FilterChoice()).status,
            SpanDensity::Result::Status::kNoRecords);
  // A band the rate cannot take: the raw curve, and why not the filtered one.
  const auto refused = spectrum.Compute(reader, interval, first, first + 1'000'000, FilterChoice::Custom(100.0, 20000.0));
  EXPECT_EQ(refused.status, SpanDensity::Result::Status::kOk);
  EXPECT_TRUE(refused.filtered.empty());
  EXPECT_FALSE(refused.raw.empty());
  EXPECT_NE(refused.filterRefusal.find("Filter high cut-off: 20000 Hz is not inside (0, "), std::string::npos) << refused.filterRefusal;
  // The design kept between calls follows the filter asked for.
  EXPECT_EQ(spectrum.Compute(reader, interval, first, last, FilterChoice::Lfp()).filtered, whole.filtered);
}

}  // namespace
}  // namespace skelvane
