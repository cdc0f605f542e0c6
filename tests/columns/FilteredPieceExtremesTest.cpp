// Bar ends of a filtered plot resumed from the high-pass states its filtered summary keeps: any batch
// of pieces has exactly the extremes of the same samples in a whole-file pass, on every kind of signal,
// gaps and ends included, for every design with a spaced high-pass; most pieces are resumed.
#include "columns/FilteredPieceExtremes.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <random>
#include <string>
#include <vector>

#include "datafile/CscRecord.h"
#include "datafile/IDataSourceManager.h"
#include "datafile/RecordContiguity.h"
#include "datafile/RecordReader.h"
#include "filter/FilterStream.h"
#include "filter/SpacedHighPassResume.h"
#include "platform/StatusCodes.h"
#include "summary/HighPassStateCodec.h"
#include "summary/SourceSummary.h"
#include "tests/support/TempDir.h"
#include "tools/CscFileWriter.h"

namespace skelvane {
namespace {

constexpr int64_t kHeaderBytes = 16384;

enum class Signal { kSpikyNoise, kSlowWaves, kFullScale, kFlat };

// `count` records of `signal`, with two gaps or steps back in time.
std::vector<CscRecordData> MakeRecords(Signal signal, int64_t count, double rate, std::mt19937& random) {
  std::vector<CscRecordData> records;
  std::normal_distribution<double> noise(0.0, 30.0);
  const double step = kSamplesPerRecord * 1e6 / rate;
  const int64_t breakAt[2] = {count / 4 + static_cast<int64_t>(random() % 50), count / 2 + static_cast<int64_t>(random() % 50)};
  double time = 1e9;
  for (int64_t r = 0; r < count; ++r) {
    if (r == breakAt[0] || r == breakAt[1]) time += (random() % 2 == 0 ? 9.0 : -3.0) * step;
    CscRecordData record;
    record.timestamp = static_cast<int64_t>(std::llround(time));
    for (int32_t i = 0; i < kSamplesPerRecord; ++i) {
      const double t = (static_cast<double>(r) * kSamplesPerRecord + i) / rate;
      double v = -1234.0;
      if (signal == Signal::kSpikyNoise) v = noise(random) + (random() % 400 == 0 ? 600.0 : 0.0);
      if (signal == Signal::kSlowWaves) v = 600.0 * std::sin(2.0 * 3.14159265358979 * 3.0 * t) + noise(random);
      if (signal == Signal::kFullScale) v = std::uniform_real_distribution<double>(-32768.0, 32767.0)(random);
      record.samples[static_cast<std::size_t>(i)] = static_cast<int16_t>(std::lround(std::clamp(v, -32768.0, 32767.0)));
    }
    records.push_back(record);
    time += step;
  }
  return records;
}

std::vector<int16_t> WholePass(const FilterDesign& design, double sampleInterval, const std::vector<CscRecordData>& records) {
  FilterStream stream(design, sampleInterval);
  std::vector<int16_t> passed;
  const auto take = [&] {
    for (; stream.Ready() > 0; stream.Pop()) passed.insert(passed.end(), stream.FrontSamples(), stream.FrontSamples() + kSamplesPerRecord);
  };
  for (const CscRecordData& record : records) {
    stream.Push(record.timestamp, record.samples.data());
    take();
  }
  stream.Finish();
  take();
  return passed;
}

TEST(FilteredPieceExtremesTest, PiecesResumedFromKeptStatesHaveTheExtremesOfAWholePass) {
  test::TempDir dir;
  std::mt19937 random(77);
  std::string refusal;
  // The LFP Band at 32 kHz and 20 kHz (high-pass values 16 and 8 apart), 0.5-40 Hz at 4 kHz.
  const std::vector<FilterDesign> designs = {*FilterDesign::For(FilterChoice::Lfp(), 32000.0, refusal),
                                             *FilterDesign::For(FilterChoice::Lfp(), 20000.0, refusal),
                                             *FilterDesign::For(FilterChoice::Custom(0.5, 40.0), 4000.0, refusal)};
  int32_t made = 0;
  for (const FilterDesign& design : designs) {
    ASSERT_TRUE(SpacedHighPassResume::Fits(design)) << design.Structure();
    const SpacedHighPassResume resume(design);
    for (const Signal signal : {Signal::kSpikyNoise, Signal::kSlowWaves, Signal::kFullScale, Signal::kFlat}) {
      SCOPED_TRACE(design.Choice().Description() + " at " + FilterChoice::FormatHz(design.RateHz()) + " Hz, signal " +
                   std::to_string(static_cast<int>(signal)));
      const int64_t count = 700;
      const std::vector<CscRecordData> records = MakeRecords(signal, count, design.RateHz(), random);
      const std::string path = dir.File("r" + std::to_string(made++) + ".kcs");
      ASSERT_EQ(CscFileWriter::Write(path, CscFileWriter::MakeHeader({}), records), 0);
      const double interval = 1e6 / design.RateHz();
      const std::vector<int16_t> expected = WholePass(design, interval, records);

      const RecordLayout layout{path, kHeaderBytes, kCscRecordSize, count};
      SourceSummary summary;
      std::atomic<bool> cancel{false};
      std::atomic<int64_t> done{0};
      ASSERT_EQ(SourceSummary::BuildFiltered(layout, design, interval, cancel, done, summary), kStatusOk);
      ASSERT_EQ(summary.CheckpointBytes(), HighPassStateCodec(*design.Parts()[1].spacedHighPass).SlotBytes());
      RecordReader reader;
      ASSERT_EQ(reader.Open(layout), 0);
      FilteredPieceExtremes pieces(reader, design, interval);
      pieces.UseStates(&summary);

      // Whether a piece of `record` can be resumed: its state is kept and what the resumption reads
      // lies in one segment.
      const auto resumable = [&](const PieceExtremes::Piece& piece) {
        const int64_t at = piece.record / SourceSummary::kCheckpointRecords * SourceSummary::kCheckpointRecords;
        SpacedHighPass::Running sums;
        const int64_t from = piece.record * kSamplesPerRecord + piece.first;
        const int64_t lo = resume.RawFrom(at, from) >= 0 ? resume.RawFrom(at, from) / kSamplesPerRecord : -1;
        const int64_t hi = (resume.RawTo(at, (piece.record + 1) * kSamplesPerRecord) + kSamplesPerRecord - 1) / kSamplesPerRecord;
        if (lo < 0 || hi > count || !summary.Checkpoint(at, sums)) return false;
        for (int64_t r = lo + 1; r < hi; ++r) {
          if (!RecordContiguity::Contiguous(records[r - 1].timestamp, records[r].timestamp, interval)) return false;
        }
        return true;
      };
      int64_t asked = 0;
      int64_t resumed = 0;
      for (int32_t batch = 0; batch < 12; ++batch) {
        // Column edges: pieces here and there, and some crowded into a few records.
        std::vector<PieceExtremes::Piece> batchPieces;
        const int64_t crowd = static_cast<int64_t>(random() % count);
        for (int32_t p = 0; p < 30; ++p) {
          const int64_t record = p % 3 == 0 ? std::min<int64_t>(count - 1, crowd + static_cast<int64_t>(random() % 9))
                                            : static_cast<int64_t>(random() % count);
          const auto first = static_cast<int16_t>(random() % kSamplesPerRecord);
          const auto last = static_cast<int16_t>(std::min<int64_t>(kSamplesPerRecord - 1, first + static_cast<int64_t>(random() % 40)));
          batchPieces.push_back({record, first, last});
          resumed += resumable(batchPieces.back()) ? 1 : 0;
        }
        asked += static_cast<int64_t>(batchPieces.size());
        std::vector<PieceExtremes::Extremes> found(batchPieces.size());
        ASSERT_EQ(pieces.Find(batchPieces, found), kStatusOk);
        for (std::size_t p = 0; p < batchPieces.size(); ++p) {
          const PieceExtremes::Piece& piece = batchPieces[p];
          const auto from = expected.begin() + piece.record * kSamplesPerRecord + piece.first;
          const auto [low, high] = std::minmax_element(from, from + (piece.last - piece.first + 1));
          ASSERT_EQ(found[p].low, *low) << "record " << piece.record << " samples " << piece.first << "-" << piece.last;
          ASSERT_EQ(found[p].high, *high) << "record " << piece.record << " samples " << piece.first << "-" << piece.last;
        }
      }
      EXPECT_GT(resumed * 2, asked) << "most pieces lie where a kept state reaches";
    }
  }
}

}  // namespace
}  // namespace skelvane
