// Why filtered views may be trusted: any run of records, read through FilteredRecords, and a pass over
// the whole file through FilterStream (taken out at random moments) give exactly the samples of a plain
// reference that filters every segment whole, mirrored at its ends, on recordings of every kind of
// signal, with gaps and time going back, for the bands and for random ones at other rates.
#include "filter/FilteredRecords.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <string>
#include <vector>

#include "datafile/CscRecord.h"
#include "datafile/RecordContiguity.h"
#include "datafile/RecordReader.h"
#include "filter/FilterStream.h"
#include "filter/SegmentFilter.h"
#include "platform/StatusCodes.h"
#include "tests/support/RandomBand.h"
#include "tests/support/TempDir.h"
#include "tools/CscFileWriter.h"

namespace skelvane {
namespace {

constexpr int64_t kHeaderBytes = 16384;
constexpr double kMicroseconds = 1e6;

enum class Signal { kSpikyNoise, kSlowWaves, kFullScale, kFlat };

struct Recording {
  std::string path;
  double sampleInterval = 0.0;
  std::vector<CscRecordData> records;
};

// `count` records of `signal` at `rate`, with gaps (and steps back in time) at about one record in
// `breaks`.
Recording MakeRecording(const test::TempDir& dir, const std::string& name, Signal signal, int64_t count, double rate,
                        int32_t breaks, std::mt19937& random) {
  Recording made;
  made.path = dir.File(name + ".kcs");
  made.sampleInterval = kMicroseconds / rate;
  const double step = kSamplesPerRecord * made.sampleInterval;
  std::normal_distribution<double> noise(0.0, 30.0);
  double time = 1e9;
  for (int64_t r = 0; r < count; ++r) {
    CscRecordData record;
    switch (random() % (2 * breaks)) {
      case 0:  // a gap
        time += step * 7.0;
        break;
      case 1:  // time goes back
        time -= step * 3.0;
        break;
      case 2:  // a little late, still no gap
        time += step * 0.8;
        break;
      case 3:  // a little early, still no gap
        time -= step * 0.5;
        break;
      default:
        break;
    }
    record.timestamp = static_cast<int64_t>(std::llround(time));
    for (int32_t i = 0; i < kSamplesPerRecord; ++i) {
      const double t = (static_cast<double>(r) * kSamplesPerRecord + i) / rate;
      double v = 0.0;
      switch (signal) {
        case Signal::kSpikyNoise:
          v = noise(random) + (random() % 400 == 0 ? 600.0 : 0.0);
          break;
        case Signal::kSlowWaves:
          v = 600.0 * std::sin(2.0 * 3.14159265358979 * 3.0 * t) + noise(random);
          break;
        case Signal::kFullScale:
          v = std::uniform_real_distribution<double>(-32768.0, 32767.0)(random);
          if (random() % 8 == 0) v = random() % 2 ? -32768.0 : 32767.0;
          break;
        case Signal::kFlat:
          v = -1234.0;
          break;
      }
      record.samples[static_cast<std::size_t>(i)] = static_cast<int16_t>(std::lround(std::clamp(v, -32768.0, 32767.0)));
    }
    made.records.push_back(record);
    time += step;
  }
  EXPECT_EQ(CscFileWriter::Write(made.path, CscFileWriter::MakeHeader({}), made.records), 0);
  return made;
}

struct Reference {
  std::vector<int16_t> samples;
  std::vector<bool> shortSupport;  // the sample's support reaches past both ends of its segment
};

// Every segment filtered whole: found record by record, extended by mirroring it at both ends, the
// design applied to all of it at once.
Reference Filtered(const FilterDesign& design, const Recording& recording) {
  Reference reference;
  const int64_t half = design.HalfSupport();
  FilterWorkspace work;
  const auto count = static_cast<int64_t>(recording.records.size());
  for (int64_t start = 0; start < count;) {
    int64_t end = start + 1;
    while (end < count && RecordContiguity::Contiguous(recording.records[end - 1].timestamp,
                                                       recording.records[end].timestamp, recording.sampleInterval)) {
      ++end;
    }
    std::vector<int16_t> segment;
    for (int64_t r = start; r < end; ++r) segment.insert(segment.end(), recording.records[r].samples.begin(), recording.records[r].samples.end());
    const auto length = static_cast<int64_t>(segment.size());
    std::vector<int16_t> extended(static_cast<std::size_t>(length + 2 * half + FirStage::kReadPad));
    for (int64_t p = -half; p < length + half; ++p) extended[p + half] = segment[SegmentFilter::Mirror(p, length)];
    std::vector<int16_t> filtered(static_cast<std::size_t>(length));
    design.Apply(extended.data(), length, filtered.data(), work);
    reference.samples.insert(reference.samples.end(), filtered.begin(), filtered.end());
    for (int64_t n = 0; n < length; ++n) reference.shortSupport.push_back(n - half < 0 && n + half >= length);
    start = end;
  }
  return reference;
}

std::vector<FilterDesign> Designs(std::mt19937& random) {
  std::vector<FilterDesign> designs;
  std::string refusal;
  designs.push_back(*FilterDesign::For(FilterChoice::Spike(), 32000.0, refusal));
  // The LFP Band and bands of every other kind of part, at rates that keep them short enough for the
  // reference: at 1000 Hz the LFP Band is a boxcar high-pass and a FIR, 1.5-4 Hz a boxcar high-pass and
  // an interpolated low-pass, 0.05-0.2 Hz both boxcar stages; at 20000 Hz the LFP Band and at 4000 Hz
  // 0.5-40 Hz have a spaced high-pass behind the interpolated low-pass's suppressor (8 and 16 apart).
  designs.push_back(*FilterDesign::For(FilterChoice::Lfp(), 1000.0, refusal));
  designs.push_back(*FilterDesign::For(FilterChoice::Custom(1.5, 4.0), 1000.0, refusal));
  designs.push_back(*FilterDesign::For(FilterChoice::Custom(0.05, 0.2), 1000.0, refusal));
  designs.push_back(*FilterDesign::For(FilterChoice::Lfp(), 20000.0, refusal));
  designs.push_back(*FilterDesign::For(FilterChoice::Custom(0.5, 40.0), 4000.0, refusal));
  for (const double rate : {8000.0, 20000.0, 30000.0}) {
    designs.push_back(*FilterDesign::For(test::RandomCustomBand(random, rate, 1.0 / 400.0), rate, refusal));
  }
  return designs;
}

TEST(FilteredRecordsTest, AnyRunAndAWholePassGiveTheSamplesOfEverySegmentFilteredWhole) {
  test::TempDir dir;
  std::mt19937 random(2024);
  int32_t designIndex = 0;
  for (const FilterDesign& design : Designs(random)) {
    for (const Signal signal : {Signal::kSpikyNoise, Signal::kSlowWaves, Signal::kFullScale, Signal::kFlat}) {
      SCOPED_TRACE(design.Choice().Description() + " at " + FilterChoice::FormatHz(design.RateHz()) + " Hz, signal " +
                   std::to_string(static_cast<int>(signal)));
      // Short recordings, and one per design long enough for the pass to filter it in several batches
      // (its segments hundreds of records long, so that the parts drop what they no longer need).
      const bool longOne = signal == Signal::kSpikyNoise;
      const auto count = static_cast<int64_t>(longOne ? 1500 : 8 + random() % 40);
      const Recording recording = MakeRecording(dir, "r" + std::to_string(designIndex++), signal, count,
                                                design.RateHz(), longOne ? 500 : 6, random);
      const Reference expected = Filtered(design, recording);

      RecordReader reader;
      ASSERT_EQ(reader.Open({recording.path, kHeaderBytes, kCscRecordSize, count}), 0);
      const FilteredRecords filtered(reader, design, recording.sampleInterval);
      FilteredRecords::Buffers buffers;
      for (int32_t run = 0; run < 40; ++run) {
        const auto first = static_cast<int64_t>(random() % count);
        const int64_t end = first + 1 + static_cast<int64_t>(random() % std::min<int64_t>(count - first, 12));
        std::vector<int16_t> got(static_cast<std::size_t>((end - first) * kSamplesPerRecord));
        std::vector<int64_t> times(static_cast<std::size_t>(end - first));
        FilteredRecords::Outcome outcome;
        ASSERT_EQ(filtered.Read(first, end, got.data(), buffers, &outcome, times.data()), kStatusOk);
        const auto from = expected.samples.begin() + first * kSamplesPerRecord;
        ASSERT_TRUE(std::equal(got.begin(), got.end(), from)) << "records " << first << " to " << end;
        const auto shortFrom = expected.shortSupport.begin() + first * kSamplesPerRecord;
        EXPECT_EQ(outcome.shortSegment, std::any_of(shortFrom, shortFrom + static_cast<std::ptrdiff_t>(got.size()),
                                                    [](bool s) { return s; }));
        EXPECT_EQ(times.front(), recording.records[first].timestamp);

        // Only a few ranges of the same run asked for: those samples are the same.
        std::vector<FilterDesign::OutputRange> only;
        for (int64_t at = static_cast<int64_t>(random() % 700); at < static_cast<int64_t>(got.size());
             at += 1 + static_cast<int64_t>(random() % 1500)) {
          const int64_t to = std::min<int64_t>(static_cast<int64_t>(got.size()), at + 1 + static_cast<int64_t>(random() % 40));
          only.push_back({at, to});
          at = to;
        }
        if (only.empty()) continue;
        std::vector<int16_t> some(got.size(), int16_t{-12345});
        ASSERT_EQ(filtered.Read(first, end, some.data(), buffers, nullptr, nullptr, only), kStatusOk);
        for (const FilterDesign::OutputRange& range : only) {
          ASSERT_TRUE(std::equal(some.begin() + range.from, some.begin() + range.to, from + range.from))
              << "records " << first << " to " << end << ", samples " << range.from << " to " << range.to;
        }
      }

      // A whole pass, taken out at random moments.
      FilterStream stream(design, recording.sampleInterval);
      std::vector<int16_t> passed;
      const auto take = [&] {
        while (stream.Ready() > 0) {
          EXPECT_EQ(stream.FrontTimestamp(), recording.records[passed.size() / kSamplesPerRecord].timestamp);
          passed.insert(passed.end(), stream.FrontSamples(), stream.FrontSamples() + kSamplesPerRecord);
          stream.Pop();
        }
      };
      for (const CscRecordData& record : recording.records) {
        stream.Push(record.timestamp, record.samples.data());
        if (random() % 3 == 0) take();
      }
      stream.Finish();
      take();
      ASSERT_EQ(passed, expected.samples);
      EXPECT_EQ(stream.SawShortSegment(), std::any_of(expected.shortSupport.begin(), expected.shortSupport.end(),
                                                      [](bool s) { return s; }));
      if (signal == Signal::kFlat && design.Choice().LowHz()) {
        EXPECT_TRUE(std::all_of(passed.begin(), passed.end(), [](int16_t v) { return v == 0; }))
            << "a flat line has nothing above 0 Hz";
      }
    }
  }
}

TEST(FilteredRecordsTest, ARunOutsideTheRecordingOrOfAShrunkFileIsRefused) {
  test::TempDir dir;
  std::mt19937 random(5);
  const Recording recording = MakeRecording(dir, "short", Signal::kSpikyNoise, 6, 32000.0, 6, random);
  std::string refusal;
  const FilterDesign design = *FilterDesign::For(FilterChoice::Spike(), 32000.0, refusal);
  RecordReader reader;
  // The reader believes in two records more than the file holds, as after the file was cut short.
  ASSERT_EQ(reader.Open({recording.path, kHeaderBytes, kCscRecordSize, 8}), 0);
  const FilteredRecords filtered(reader, design, recording.sampleInterval);
  FilteredRecords::Buffers buffers;
  std::vector<int16_t> out(4 * kSamplesPerRecord);
  EXPECT_EQ(filtered.Read(-1, 1, out.data(), buffers), kStatusNoData);
  EXPECT_EQ(filtered.Read(2, 2, out.data(), buffers), kStatusNoData);
  EXPECT_EQ(filtered.Read(7, 9, out.data(), buffers), kStatusNoData);
  EXPECT_EQ(filtered.Read(6, 7, out.data(), buffers), kStatusSourceChanged);
  EXPECT_EQ(filtered.Read(1, 3, out.data(), buffers), kStatusOk);
}

}  // namespace
}  // namespace skelvane
